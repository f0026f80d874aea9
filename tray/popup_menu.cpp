#include <string.h>

#include "../app/application.h"
#include "../app/tray_window.h"
#include "menu_metrics.h"
#include "menu_rules.h"

bool TrayWindow::showPopupMenu()
{
    POINT cursor;
    GetCursorPos(&cursor);
    // The menu only closes on a click elsewhere when our window is in the
    // foreground, and the posted message makes the next click count.
    SetForegroundWindow(window);
    TrackPopupMenuEx(popupMenu, 0, cursor.x, cursor.y, window, nullptr);
    SetForegroundWindow(window);
    PostMessageA(window, WM_NULL, 0, 0);
    return true;
}

bool TrayWindow::refreshPopupMenu()
{
    int points = menuFontPoints(window);

    MenuContext context;
    context.flags = owner->flags;
    context.noSaverSelected = !noneEntry || (noneEntry->flags & SAVER_CHECKED);
    context.passwords.usePassword = 1;
    context.passwords.passwordData = 1;
    context.passwords.isSecure = 0;
    if (owner->flags & APP_WIN9X)
        context.passwords = readPasswordValues(FAMILY_95);
    context.win4Saver = needsWin4Test(context.noSaverSelected) && isWin4Saver(family());
    context.timedChoice = timedChoice;

    PopupItemUpdate updates[POPUP_UPDATE_COUNT];
    popupItemUpdates(context, updates);

    MENUITEMINFOA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE | MIIM_ID | MIIM_TYPE | MIIM_DATA;
    info.fType = MFT_OWNERDRAW;
    info.dwItemData = commonItemWidth(points);
    for (const PopupItemUpdate& update : updates) {
        info.wID = update.id;
        info.fState = update.state;
        SetMenuItemInfoA(popupMenu, update.item, update.byPosition ? TRUE : FALSE, &info);
    }
    return true;
}
