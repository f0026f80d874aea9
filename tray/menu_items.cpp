#include <windows.h>
#include <shellapi.h>
#include <string.h>

#include "../app/application.h"
#include "../base/handles.h"
#include "../base/text.h"
#include "../base/ui_text.h"
#include "../res/string_ids.h"
#include "../app/tray_window.h"
#include "../res/resource.h"
#include "../saverconfig/native_system.h"
#include "icon_state.h"
#include "menu_metrics.h"
#include "menu_palette.h"
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

// One pass of a caption at x, y: its access key underlined where shown.
// ExtTextOutW and GetTextExtentPoint32W are among the wide calls Windows 95
// carries out; the reading order follows the language's.
void drawCaptionText(HDC dc, int x, int y, const WCHAR* shown, int key, int thickness)
{
    int length = static_cast<int>(textLength(shown));
    ExtTextOutW(dc, x, y, uiMirrored() ? ETO_RTLREADING : 0, nullptr, shown,
                static_cast<UINT>(length), nullptr);
    if (key < 0)
        return;
    SIZE before = {0, 0};
    SIZE letter = {0, 0};
    TEXTMETRICA metrics;
    memset(&metrics, 0, sizeof metrics);
    GetTextExtentPoint32W(dc, shown, key, &before);
    GetTextExtentPoint32W(dc, shown + key, 1, &letter);
    GetTextMetricsA(dc, &metrics);
    RECT line = {x + before.cx, y + metrics.tmAscent + 1, x + before.cx + letter.cx,
                 y + metrics.tmAscent + 1 + thickness};
    UniqueGdiObject brush(CreateSolidBrush(GetTextColor(dc)));
    if (brush)
        FillRect(dc, &line, static_cast<HBRUSH>(brush.get()));
}

// A caption after the icon column. A menu caption's "&" marks are taken
// out and its access key underlined, unless the menu hides the keyboard's
// cues (ODS_NOACCEL, from Windows 2000 on, until the keyboard is used), as
// the system's own menus do; a description is drawn as it stands.
void drawCaption(HDC dc, const RECT& rect, const ItemGeometry& g, const MenuPalette& palette,
                 const WCHAR* caption, bool marked, bool greyed, bool selected, int greyOffset,
                 bool showKey)
{
    WCHAR shown[260];
    int key = -1;
    if (marked)
        key = shownCaption(caption, shown, sizeof shown / sizeof shown[0]);
    else
        copyText(shown, sizeof shown / sizeof shown[0], caption);
    key = showKey ? key : -1;
    int top = rect.top + g.captionDown;
    if (!greyed) {
        drawCaptionText(dc, g.captionX, top, shown, key, g.shadow);
        return;
    }
    // Embossed in the system's colours: a light shadow down and right,
    // unless the item is highlighted, then the grey text. Dark menus have
    // no such shadow, only their grey.
    SetBkMode(dc, TRANSPARENT);
    if (!selected && !palette.dark) {
        SetTextColor(dc, GetSysColor(COLOR_WINDOW));
        drawCaptionText(dc, g.captionX + g.shadow, top + g.shadow, shown, key, g.shadow);
    }
    SetTextColor(dc, palette.greyText);
    drawCaptionText(dc, g.captionX, top + greyOffset, shown, key, g.shadow);
}

void fillWith(HDC dc, const RECT& rect, COLORREF colour)
{
    UniqueGdiObject brush(CreateSolidBrush(colour));
    if (brush)
        FillRect(dc, &rect, static_cast<HBRUSH>(brush.get()));
}

// A separator on a dark menu: one line across the middle, inset as the
// icons are.
void drawSeparator(HDC dc, const RECT& rect, const ItemGeometry& g, const MenuPalette& palette)
{
    RECT line = rect;
    int thickness = g.shadow;
    line.left += g.iconX;
    line.right -= g.iconX;
    line.top += (rect.bottom - rect.top - thickness) / 2;
    line.bottom = line.top + thickness;
    fillWith(dc, line, palette.separator);
}

// The arrow of an item that opens a submenu, drawn by the program on dark
// menus: the system's own shows light there.
void drawSubmenuArrow(HDC dc, const RECT& rect, const ItemGeometry& g, COLORREF colour)
{
    UniqueGdiObject brush(CreateSolidBrush(colour));
    if (!brush)
        return;
    int tip = rect.right - g.arrowFromRight;
    int middle = rect.top + (rect.bottom - rect.top) / 2;
    for (int column = 0; column <= g.arrowHalf; ++column) {
        int reach = g.arrowHalf - column;
        RECT line = {tip - g.arrowHalf + column, middle - reach, tip - g.arrowHalf + column + 1,
                     middle + reach + 1};
        FillRect(dc, &line, static_cast<HBRUSH>(brush.get()));
    }
}

bool opensSubmenu(UINT itemId)
{
    return itemId == IDM_SAVERMENU || itemId == IDM_PASSWORDMENU || itemId == IDM_DISABLEMENU
        || itemId == IDM_KEEPOFFMENU;
}

// Keeps the item's state (the bits of mask), which screen readers report,
// with what its drawing shows: the state can change while the menu is open.
void keepItemState(HMENU menu, const DRAWITEMSTRUCT* item, UINT state, UINT mask)
{
    UINT held = ((item->itemState & ODS_CHECKED) ? MFS_CHECKED : 0u)
        | ((item->itemState & ODS_GRAYED) ? MFS_GRAYED : 0u);
    if ((held & mask) == (state & mask))
        return;
    MENUITEMINFOA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE;
    if (!menu || !GetMenuItemInfoA(menu, item->itemID, FALSE, &info))
        return;
    info.fState = (info.fState & ~mask) | (state & mask);
    SetMenuItemInfoA(menu, item->itemID, FALSE, &info);
}

// A screen saver file's own icon at the size drawn. One of the native
// System32 on 64-bit Windows is reached through its alias, found by the
// rebuild (one without the alias the rebuild has read). Only a file without
// an icon of its own shows the shell's small one for its type, stretched.
HICON readEntryIcon(const SaverEntry& entry, int size)
{
    bool alias = entry.nativeAccess == NATIVE_THROUGH_ALIAS;
    HICON icon = fileIconAtSize(alias ? entry.nativeName : entry.fileName, size, false);
    if (icon || alias)
        return icon ? icon : nativeSystemFileIcon(entry.nativeName);
    SHFILEINFOA info;
    memset(&info, 0, sizeof info);
    // Only a call that succeeded hands over an icon: a failed one can leave
    // a stale handle in the record.
    return SHGetFileInfoA(entry.fileName, 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON)
        ? info.hIcon : nullptr;
}

} // namespace

BOOL measureMenuItem(MEASUREITEMSTRUCT* item, const MenuLayout& layout)
{
    item->itemHeight = layout.itemHeight;
    if (item->itemID == 0) {
        // A separator, drawn by the program on dark menus.
        item->itemWidth = 0;
        item->itemHeight = layout.separatorHeight;
    } else if (item->itemID < IDM_NONE) {
        const FixedItemRecord* record = reinterpret_cast<const FixedItemRecord*>(item->itemData);
        item->itemWidth = record ? record->width : 0;
    } else {
        const SaverEntry* entry = reinterpret_cast<const SaverEntry*>(item->itemData);
        item->itemWidth = entry ? entry->itemWidth : 0;
    }
    return TRUE;
}

ItemLook TrayWindow::decideFixedItem(UINT itemId, const MenuContext& context)
{
    ItemLook look = fixedItemLook(itemId, context);
    for (FixedItemRecord& record : fixedItems) {
        if (record.id == itemId)
            setItemName(record.name, look.caption);
    }
    return look;
}

BOOL TrayWindow::drawMenuItem(const DRAWITEMSTRUCT* item)
{
    HDC dc = item->hDC;
    RECT rect = item->rcItem;
    bool selected = (item->itemState & ODS_SELECTED) != 0;
    MenuPalette palette = menuPalette(menuDark);
    const ItemGeometry& g = menuLayout.geometry;

    int savedState = SaveDC(dc);
    SetTextColor(dc, selected ? palette.highlightText : palette.text);
    SetBkColor(dc, selected ? palette.highlight : palette.background);
    if (palette.dark)
        fillWith(dc, rect, selected ? palette.highlight : palette.background);
    else
        FillRect(dc, &rect, selected ? highlightBrush : menuBrush);
    if (item->itemID == 0) {
        drawSeparator(dc, rect, g, palette);
        RestoreDC(dc, savedState);
        return TRUE;
    }
    // The font the system selected is for the one display's pixels per
    // inch; on a monitor of another, the menu font for that monitor.
    UniqueGdiObject layoutFont;
    if (menuLayout.font.pixelsPerInch != GetDeviceCaps(dc, LOGPIXELSY))
        layoutFont.reset(CreateFontIndirectA(&menuLayout.font.font));
    SelectedObject selectedLayoutFont(dc, layoutFont ? layoutFont.get()
                                                     : GetCurrentObject(dc, OBJ_FONT));

    int y = iconTop(g, rect.top, rect.bottom);
    bool showKey = (item->itemState & ODS_NOACCEL) == 0;
    if (item->itemID >= IDM_NONE) {
        const SaverEntry* entry = reinterpret_cast<const SaverEntry*>(item->itemData);
        if (entry) {
            // "[none]" in the language spoken; a description as the file has it.
            WCHAR description[260];
            wideFromAnsi(entry->description, description, sizeof description / sizeof description[0]);
            // Greyed while a policy names the screen saver.
            drawCaption(dc, rect, g, palette,
                        entry->menuId == IDM_NONE ? uiText(IDS_NONE_ENTRY) : description, false,
                        (item->itemState & ODS_GRAYED) != 0, selected, 0, false);
            // "[none]" names no file. Read with redirection off, an icon
            // stays with its entry until the next rebuild.
            if (entry->nativeAccess == NATIVE_REDIRECTION_OFF) {
                drawIcon(dc, g.iconX, y, entry->icon, g.iconSize);
            } else if (entry->menuId != IDM_NONE) {
                UniqueIcon icon(readEntryIcon(*entry, g.iconSize));
                drawIcon(dc, g.iconX, y, icon.get(), g.iconSize);
            }
            bool checked = (entry->flags & SAVER_CHECKED) != 0;
            if (checked)
                drawResourceIcon(dc, owner->instance, IDI_CHECK, rect.right - g.checkFromRight, y,
                                 g.iconSize);
            keepItemState(popupMenu, item, checked ? MFS_CHECKED : 0u, MFS_CHECKED);
        }
        RestoreDC(dc, savedState);
        return TRUE;
    }

    // The policy as read for the open menu; the rest as it stands now.
    MenuContext context = menuContext(item->itemID == IDM_PASSWORD
                                      || item->itemID == IDM_CHANGEPASSWORD);
    const ListedItemRecord* listed = item->itemID >= IDM_KEEPOFF_FIRST
            && item->itemID <= IDM_KEEPOFF_LAST
        ? reinterpret_cast<const ListedItemRecord*>(item->itemData) : nullptr;
    ItemLook look = listed ? listedProgramLook(*listed, context)
                           : decideFixedItem(item->itemID, context);
    UniqueGdiObject boldFont;
    if (look.bold)
        boldFont.reset(createBoldFont(dc));
    {
        // Declared after the font so that it is deselected before deletion.
        SelectedObject selectedFont(dc, boldFont ? boldFont.get() : GetCurrentObject(dc, OBJ_FONT));
        if (look.iconId)
            drawResourceIcon(dc, owner->instance, look.iconId, g.iconX, y, g.iconSize);
        drawCaption(dc, rect, g, palette, look.caption, true, look.greyed, selected,
                    look.bold ? g.shadow : 0, showKey);
        if (look.check)
            drawResourceIcon(dc, owner->instance, IDI_CHECK, rect.right - g.checkFromRight, y,
                             g.iconSize);
    }
    keepItemState(popupMenu, item, look.state, MFS_CHECKED | MFS_GRAYED);
    bool ownArrow = palette.dark && opensSubmenu(item->itemID);
    if (ownArrow)
        drawSubmenuArrow(dc, rect, g, selected ? palette.highlightText : palette.text);
    RestoreDC(dc, savedState);
    // The system draws its arrow after this, inside the item: kept out.
    if (ownArrow)
        ExcludeClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
    return TRUE;
}
