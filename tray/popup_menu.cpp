#include <string.h>

#include "../app/application.h"
#include "../app/tray_window.h"
#include "menu_metrics.h"
#include "menu_rules.h"
#include "../res/resource.h"

namespace {

// The line that says why items are greyed, with a separator below it, just
// above Exit while a policy applies; both gone while none does. The items
// above keep their places.
void showManagedLine(HMENU popup, bool shown)
{
    MENUITEMINFOA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID;
    int line = -1;
    int exit = -1;
    for (int item = GetMenuItemCount(popup) - 1; item >= 0; --item) {
        if (GetMenuItemInfoA(popup, static_cast<UINT>(item), TRUE, &info)) {
            line = info.wID == IDM_MANAGED ? item : line;
            exit = info.wID == IDM_EXIT ? item : exit;
        }
    }
    if (!shown && line >= 0) {
        DeleteMenu(popup, static_cast<UINT>(line) + 1, MF_BYPOSITION);  // its separator
        DeleteMenu(popup, static_cast<UINT>(line), MF_BYPOSITION);
    } else if (shown && line < 0 && exit >= 0) {
        InsertMenuA(popup, static_cast<UINT>(exit), MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
        InsertMenuA(popup, static_cast<UINT>(exit), MF_BYPOSITION | MF_STRING | MF_GRAYED,
                    IDM_MANAGED, MANAGED_CAPTION);
    }
}

} // namespace

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
    MenuFont font = currentMenuFont(window);

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
    context.policy = readPolicyFlags();
    showManagedLine(popupMenu, context.policy != 0);

    PopupItemUpdate updates[POPUP_UPDATE_COUNT];
    popupItemUpdates(context, updates);

    // One width for all: the rule's, or what the widest caption needs in its
    // own font (bold Launch, "Password Enabled" with room for its check).
    ItemLook looks[POPUP_UPDATE_COUNT];
    UINT width = commonItemWidth(menuFontPoints(font));
    {
        CaptionMeasure measure(window, font);
        ItemGeometry geometry = itemGeometry(font.pixelsPerInch, GetSystemMetrics(SM_CXSMICON));
        for (int i = 0; i < POPUP_UPDATE_COUNT; ++i) {
            looks[i] = fixedItemLook(updates[i].id, context);
            UINT need = drawnItemWidth(measure.width(looks[i].caption, looks[i].bold), geometry,
                                       looks[i].checkRoom);
            if (need > width)
                width = need;
        }
    }

    MENUITEMINFOA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE | MIIM_ID | MIIM_TYPE | MIIM_DATA;
    info.fType = MFT_OWNERDRAW;
    for (int i = 0; i < POPUP_UPDATE_COUNT; ++i) {
        // Named as drawn now: the captions follow the same context.
        FixedItemRecord& record = fixedItems[i];
        setItemName(record.name, looks[i].caption);
        record.width = width;
        info.wID = updates[i].id;
        info.fState = updates[i].state;
        info.dwItemData = reinterpret_cast<ULONG_PTR>(&record);
        SetMenuItemInfoA(popupMenu, updates[i].item, updates[i].byPosition ? TRUE : FALSE, &info);
    }
    return true;
}
