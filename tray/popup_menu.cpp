#include <string.h>

#include "../app/application.h"
#include "../app/tray_window.h"
#include "../base/ui_text.h"
#include "../res/string_ids.h"
#include "dpi.h"
#include "menu_metrics.h"
#include "menu_palette.h"
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
        // Its text until the refresh makes it owner-drawn, as every item.
        char text[260];
        ansiFromWide(uiText(IDS_MANAGED), text, sizeof text);
        InsertMenuA(popup, static_cast<UINT>(exit), MF_BYPOSITION | MF_STRING | MF_GRAYED,
                    IDM_MANAGED, text);
    }
}

} // namespace

namespace {

typedef BOOL(WINAPI* SetMenuInfoFunction)(HMENU menu, const MENUINFO* info);

// The background of the popup and of every submenu it holds (Windows 98 and
// 2000 on); null gives them the system's again.
void setMenusBackground(HMENU popup, HBRUSH brush)
{
    SetMenuInfoFunction setMenuInfo
        = findLoadedFunction<SetMenuInfoFunction>("user32.dll", "SetMenuInfo");
    if (!setMenuInfo)
        return;
    MENUINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = MIM_BACKGROUND | MIM_APPLYTOSUBMENUS;
    info.hbrBack = brush;
    setMenuInfo(popup, &info);
}

// The system draws its separators in its own light colours whatever the
// menu's background: on dark menus the program draws them itself.
void useOwnSeparators(HMENU menu, bool own)
{
    const UINT wanted = own ? MFT_SEPARATOR | MFT_OWNERDRAW : MFT_SEPARATOR;
    int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        MENUITEMINFOA info;
        memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = MIIM_TYPE;
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(position), TRUE, &info)
            || !(info.fType & MFT_SEPARATOR) || info.fType == wanted)
            continue;
        info.fType = wanted;
        info.dwTypeData = nullptr;
        info.cch = 0;
        SetMenuItemInfoA(menu, static_cast<UINT>(position), TRUE, &info);
    }
}

} // namespace

UINT fixedItemsWidth(const MenuLayout& layout, CaptionMeasure& measure, const ItemLook* looks,
                     int count)
{
    UINT width = layout.ruleWidth;
    for (int i = 0; i < count; ++i) {
        UINT need = drawnItemWidth(measure.width(looks[i].caption, looks[i].bold), layout.geometry,
                                   looks[i].checkRoom);
        if (need > width)
            width = need;
    }
    return width;
}

bool TrayWindow::showPopupMenu()
{
    POINT cursor;
    GetCursorPos(&cursor);
    // The refresh lays the menu out for the monitor it opens on.
    menuPoint = cursor;
    // The menu only closes on a click elsewhere when our window is in the
    // foreground, and the posted message makes the next click count.
    SetForegroundWindow(window);
    // Mirrored, submenus too, for a language read right to left.
    TrackPopupMenuEx(popupMenu, uiMirrored() ? TPM_LAYOUTRTL : 0, cursor.x, cursor.y, window,
                     nullptr);
    SetForegroundWindow(window);
    PostMessageA(window, WM_NULL, 0, 0);
    return true;
}

void TrayWindow::choosePalette()
{
    // Read once per opening (and only where menus can be dark): every item
    // drawn until the next opening follows it.
    menuDark = darkMenusExist && menusAreDark(readAppsTheme(), highContrastOn(), true);
    if (menuDark && !menuBackground) {
        menuBackground.reset(CreateSolidBrush(menuPalette(true).background));
        setMenusBackground(popupMenu, static_cast<HBRUSH>(menuBackground.get()));
    } else if (!menuDark && menuBackground) {
        setMenusBackground(popupMenu, nullptr);
        menuBackground.reset();
    }
    useOwnSeparators(popupMenu, menuDark);
}

MenuContext TrayWindow::menuContext(bool win4Test)
{
    MenuContext context = {};
    context.flags = owner->flags;
    context.noSaverSelected = noSaverSelected();
    context.passwords = passwordsInForce(readPasswordValues(family()), policy);
    if (win4Test && needsWin4Test(context.noSaverSelected)) {
        char saver[SAVER_PATH_SIZE];
        saverInForce(family(), policy, saver);
        context.win4Saver = isWin4Saver(family(), saver);
    }
    context.timedChoice = timedChoice;
    context.policy = policyFlags(policy);
    context.processesListed = keepOff.canList;
    context.listByPolicy = keepOff.rules.byPolicy;
    return context;
}

bool TrayWindow::refreshPopupMenu()
{
    menuLayout = menuLayoutAt(systemDpiSource(), menuPoint);
    // Read once for the menu now opening: every item drawn until it closes
    // follows it, unless a settings change reads it again.
    readPolicy();
    MenuContext context = menuContext(true);
    showManagedLine(popupMenu, context.policy != 0);
    // After the line's separator is in place: dark menus draw their own.
    choosePalette();

    ItemLook looks[POPUP_ITEM_COUNT];
    for (int i = 0; i < POPUP_ITEM_COUNT; ++i) {
        fixedItems[i].id = kPopupItems[i].id;
        looks[i] = decideFixedItem(kPopupItems[i].id, context);
    }
    UINT width;
    {
        CaptionMeasure measure(window, menuLayout.font);
        width = fixedItemsWidth(menuLayout, measure, looks, POPUP_ITEM_COUNT);
    }

    MENUITEMINFOA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE | MIIM_ID | MIIM_TYPE | MIIM_DATA;
    info.fType = MFT_OWNERDRAW;
    for (int i = 0; i < POPUP_ITEM_COUNT; ++i) {
        FixedItemRecord& record = fixedItems[i];
        record.width = width;
        info.wID = kPopupItems[i].id;
        info.fState = looks[i].state;
        info.dwItemData = reinterpret_cast<ULONG_PTR>(&record);
        SetMenuItemInfoA(popupMenu, kPopupItems[i].item, kPopupItems[i].byPosition ? TRUE : FALSE,
                         &info);
    }
    return true;
}

namespace {

typedef LPWSTR(WINAPI* CharUpperWFunction)(LPWSTR text);

// A character as access keys compare it, letter case aside: by the
// system's own table, UTF-16 where it has one (looked up: Windows 95 has
// no CharUpperW), else in the ANSI code page.
WCHAR foldedKey(WCHAR key)
{
    CharUpperWFunction upper = uiTextIsWide()
        ? findLoadedFunction<CharUpperWFunction>("user32.dll", "CharUpperW")
        : nullptr;
    // A single character travels in the pointer's low word.
    if (upper)
        return static_cast<WCHAR>(reinterpret_cast<ULONG_PTR>(upper(
            reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(key)))));
    char ansi[4];
    if (WideCharToMultiByte(CP_ACP, 0, &key, 1, ansi, sizeof ansi, nullptr, nullptr) != 1)
        return key;
    char folded = static_cast<char>(reinterpret_cast<ULONG_PTR>(
        CharUpperA(reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<BYTE>(ansi[0]))))));
    WCHAR wide = key;
    MultiByteToWideChar(CP_ACP, 0, &folded, 1, &wide, 1);
    return wide;
}

} // namespace

LRESULT TrayWindow::menuChar(WORD typed, HMENU menu)
{
    // Owner-drawn items get no keyboard handling of their own: the keys are
    // their captions' marks. The window is an ANSI one: so is the character.
    char ansi = static_cast<char>(typed);
    WCHAR key = 0;
    if (MultiByteToWideChar(CP_ACP, 0, &ansi, 1, &key, 1) != 1)
        return MAKELRESULT(0, MNC_IGNORE);
    WCHAR keys[64];
    int count = GetMenuItemCount(menu);
    count = count < 0 ? 0 : count > 64 ? 64 : count;
    int selected = -1;
    for (int position = 0; position < count; ++position) {
        MENUITEMINFOA info;
        memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_DATA | MIIM_STATE | MIIM_TYPE;
        keys[position] = 0;
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(position), TRUE, &info))
            continue;
        selected = (info.fState & MFS_HILITE) ? position : selected;
        // Fixed items alone have captions with keys; greyed ones are not chosen.
        const FixedItemRecord* record = reinterpret_cast<const FixedItemRecord*>(info.dwItemData);
        if (!record || (info.fType & MFT_SEPARATOR) || info.wID >= IDM_NONE
            || (info.fState & MFS_GRAYED) || !hasItemName(record->name))
            continue;
        WCHAR caption = accessKeyOf(record->name.text);
        keys[position] = caption ? foldedKey(caption) : 0;
    }
    MenuCharAnswer answer = menuCharAnswer(keys, count, foldedKey(key), selected);
    return MAKELRESULT(answer.item, answer.action);
}
