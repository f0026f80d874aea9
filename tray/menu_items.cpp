#include <windows.h>
#include <shellapi.h>
#include <string.h>

#include "../app/application.h"
#include "../base/handles.h"
#include "../app/tray_window.h"
#include "../res/resource.h"
#include "../saverconfig/native_system.h"
#include "icon_state.h"
#include "menu_metrics.h"
#include "menu_rules.h"

namespace {

void drawIcon(HDC dc, int x, int y, HICON icon, int size)
{
    if (icon)
        DrawIconEx(dc, x, y, icon, size, size, 0, nullptr, DI_NORMAL);
}

void drawResourceIcon(HDC dc, HINSTANCE instance, int iconId, int x, int y, int size)
{
    UniqueIcon icon(loadSmallIcon(instance, iconId, size));
    drawIcon(dc, x, y, icon.get(), size);
}

void drawCaption(HDC dc, const RECT& rect, const ItemGeometry& g, const char* caption,
                 bool greyed, bool selected, int greyOffset)
{
    int length = lstrlenA(caption);
    int top = rect.top + g.captionDown;
    if (!greyed) {
        TextOutA(dc, g.captionX, top, caption, length);
        return;
    }
    // Embossed: a light shadow down and right, unless the item is
    // highlighted, then the grey text.
    SetBkMode(dc, TRANSPARENT);
    if (!selected) {
        SetTextColor(dc, GetSysColor(COLOR_WINDOW));
        TextOutA(dc, g.captionX + g.shadow, top + g.shadow, caption, length);
    }
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    TextOutA(dc, g.captionX, top + greyOffset, caption, length);
}

} // namespace

BOOL measureMenuItem(MEASUREITEMSTRUCT* item)
{
    if (item->itemID < IDM_NONE) {
        const FixedItemRecord* record = reinterpret_cast<const FixedItemRecord*>(item->itemData);
        item->itemWidth = record ? record->width : 0;
    } else {
        const SaverEntry* entry = reinterpret_cast<const SaverEntry*>(item->itemData);
        item->itemWidth = entry ? entry->itemWidth : 0;
    }
    item->itemHeight = GetSystemMetrics(SM_CYMENUSIZE) + 2;
    return TRUE;
}

BOOL TrayWindow::drawMenuItem(const DRAWITEMSTRUCT* item)
{
    HDC dc = item->hDC;
    RECT rect = item->rcItem;
    bool selected = (item->itemState & ODS_SELECTED) != 0;

    MenuContext context;
    context.flags = owner->flags;
    context.noSaverSelected = !noneEntry || (noneEntry->flags & SAVER_CHECKED);
    context.passwords = readPasswordValues(family());
    // Only the password items depend on the header test, which maps a file.
    context.win4Saver = (item->itemID == IDM_PASSWORD || item->itemID == IDM_CHANGEPASSWORD)
        && needsWin4Test(context.noSaverSelected) && isWin4Saver(family());
    context.timedChoice = timedChoice;

    int savedState = SaveDC(dc);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
    SetBkColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
    FillRect(dc, &rect, selected ? highlightBrush : menuBrush);

    ItemGeometry g = displayGeometry(dc);
    int y = iconTop(g, rect.top, rect.bottom);
    if (item->itemID >= IDM_NONE) {
        const SaverEntry* entry = reinterpret_cast<const SaverEntry*>(item->itemData);
        if (entry) {
            // Greyed while a policy names the screen saver.
            drawCaption(dc, rect, g, entry->description, (item->itemState & ODS_GRAYED) != 0,
                        selected, 0);
            // The file's own icon. One of the native System32 on 64-bit
            // Windows is reached through its alias: the shell may load DLLs,
            // which fail while redirection is off.
            HICON icon = nullptr;
            if (!nativeSystemFileIcon(entry->fileName, &icon)) {
                SHFILEINFOA info;
                memset(&info, 0, sizeof info);
                // Only a call that succeeded hands over an icon: a failed one
                // can leave a stale handle in the record (Wine does, for
                // "[none]").
                if (SHGetFileInfoA(entry->fileName, 0, &info, sizeof info,
                                   SHGFI_ICON | SHGFI_SMALLICON))
                    icon = info.hIcon;
            }
            UniqueIcon shellIcon(icon);
            drawIcon(dc, g.iconX, y, shellIcon.get(), g.iconSize);
            if (entry->flags & SAVER_CHECKED)
                drawResourceIcon(dc, owner->instance, IDI_CHECK, rect.right - g.checkFromRight, y,
                                 g.iconSize);
        }
        RestoreDC(dc, savedState);
        return TRUE;
    }

    // Only the items a policy can grey, and the line that says so, ask it.
    WORD id = static_cast<WORD>(item->itemID);
    context.policy = id == IDM_MANAGED || policyLocks(~0u, id) ? readPolicyFlags() : 0;
    ItemLook look = fixedItemLook(item->itemID, context);
    UniqueGdiObject boldFont;
    if (look.bold)
        boldFont.reset(createBoldFont(dc));
    {
        // Declared after the font so that it is deselected before deletion.
        SelectedObject selectedFont(dc, boldFont ? boldFont.get() : GetCurrentObject(dc, OBJ_FONT));
        if (look.iconId)
            drawResourceIcon(dc, owner->instance, look.iconId, g.iconX, y, g.iconSize);
        drawCaption(dc, rect, g, look.caption, look.greyed, selected, look.bold ? g.shadow : 0);
        if (look.check)
            drawResourceIcon(dc, owner->instance, IDI_CHECK, rect.right - g.checkFromRight, y,
                             g.iconSize);
    }
    RestoreDC(dc, savedState);
    return TRUE;
}
