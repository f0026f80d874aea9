// The "Set Screen Saver" submenu, filled from the catalogue.
#include <string.h>

#include "../app/application.h"
#include "../app/error_log.h"
#include "../base/hash.h"
#include "../base/text.h"
#include "../base/ui_text.h"
#include "../res/string_ids.h"
#include "../app/tray_window.h"
#include "../res/resource.h"
#include "../saverconfig/native_system.h"
#include "dpi.h"
#include "menu_metrics.h"

namespace {

struct SaverWidths {
    int points;
    SaverFamily family;
    CaptionMeasure* measure;
    ItemGeometry geometry;
};

WORD saverEntryWidth(const void* context, const char* description, bool none)
{
    const SaverWidths& widths = *static_cast<const SaverWidths*>(context);
    WORD rule = none ? noneItemWidth(widths.points)
                     : saverItemWidth(textLength(description), widths.points, widths.family);
    // "[none]" as it is drawn, in the language spoken.
    int drawn = none ? widths.measure->widthUnmarked(uiText(IDS_NONE_ENTRY))
                     : widths.measure->width(description);
    return fittedItemWidth(rule, drawn, widths.geometry);
}

// Names what the entries' sizes depend on, so that a changed menu font,
// monitor or family measures every entry again.
DWORD layoutKey(const MenuLayout& layout, SaverFamily family)
{
    DWORD familyValue = static_cast<DWORD>(family);
    return hashBytes(hashBytes(HASH_START, &layout, sizeof layout), &familyValue,
                     sizeof familyValue);
}

// Each entry checked for screen readers exactly when it shows the check,
// and greyed while a policy names the screen saver. One pass by position
// (the submenu holds the list in order from none): a lookup by id walks the
// menu, which made every rebuild cost the square of the entries.
void setEntryStates(HMENU submenu, const SaverEntry* none, bool greyed)
{
    MENUITEMINFOA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE;
    UINT position = 0;
    for (const SaverEntry* entry = none; entry; entry = entry->prev, ++position) {
        info.fState = (entry->flags & SAVER_CHECKED) ? MFS_CHECKED : 0;
        if (greyed)
            info.fState |= MFS_GRAYED;
        SetMenuItemInfoA(submenu, position, TRUE, &info);
    }
}

// Scans one directory as the system names it, with entries carrying its
// short form.
void scanDirectory(TrayWindow& tray, UINT (WINAPI* directoryOf)(LPSTR, UINT))
{
    char longName[MAX_PATH + 8];
    char shortName[MAX_PATH];
    UINT length = directoryOf(longName, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    shortName[0] = '\0';
    DWORD shortLength = nativeShortPathName(longName, shortName, sizeof shortName);
    if (shortLength == 0 || shortLength >= sizeof shortName)
        copyText(shortName, sizeof shortName, longName);
    appendText(longName, sizeof longName, "\\*.scr");
    tray.scanSaverDirectory(longName, shortName);
}

// Whether the submenu holds exactly the items of the list starting at none.
bool submenuShows(HMENU submenu, const SaverEntry* none, WORD count)
{
    if (!none || GetMenuItemCount(submenu) != count + 1)
        return false;
    MENUITEMINFOA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = MIIM_DATA;
    return GetMenuItemInfoA(submenu, 0, TRUE, &info)
        && info.dwItemData == reinterpret_cast<ULONG_PTR>(none);
}

} // namespace

void TrayWindow::freeSaverList()
{
    catalogue.clear();
    saverList = nullptr;
    noneEntry = nullptr;
    saverCount = 0;
}

bool TrayWindow::rebuildSaverMenu()
{
    menuLayout = menuLayoutAt(systemDpiSource(), menuPoint);
    CaptionMeasure measure(window, menuLayout.font);
    SaverWidths widths = {menuLayout.points, family(), &measure, menuLayout.geometry};
    DWORD key = layoutKey(menuLayout, family());
    SaverWidthRule rule = {saverEntryWidth, &widths, key};

    char configured[SAVER_PATH_SIZE];
    saverInForce(family(), policy, configured);
    catalogue.beginRebuild(family(), rule, configured);
    // On 64-bit Windows the system's own screen savers lie in the native
    // System32, which this 32-bit program otherwise sees as SysWOW64: the
    // scan's file calls reach it (and nothing else runs with redirection
    // off). The entries keep the system's spelling of the directory, as the
    // system's own settings page stores it.
    scanDirectory(*this, GetWindowsDirectoryA);
    scanDirectory(*this, GetSystemDirectoryA);
    bool changed = catalogue.finishRebuild();
    // Where the alias is missing, the icon is read with redirection off:
    // once here, at the menu's size, never while drawing.
    for (SaverEntry* entry = catalogue.newest; entry; entry = entry->next) {
        if (entry->nativeAccess == NATIVE_REDIRECTION_OFF) {
            UniqueIcon previous(entry->icon);
            entry->icon = fileIconAtSize(entry->fileName, menuLayout.geometry.iconSize, true);
        }
    }

    HMENU submenu = popupMenu ? GetSubMenu(popupMenu, 0) : nullptr;
    if (changed || key != saverMenuKey || !submenu
        || !submenuShows(submenu, catalogue.none, catalogue.count)) {
        saverMenuKey = key;
        // Removed from the end: removing the first item moves every other.
        // The first rebuild also removes the resource's placeholder item.
        if (submenu) {
            for (int item = GetMenuItemCount(submenu) - 1; item >= 0; --item) {
                if (!DeleteMenu(submenu, static_cast<UINT>(item), MF_BYPOSITION))
                    break;
            }
        }
        for (const SaverEntry* entry = catalogue.oldest(); entry; entry = entry->prev) {
            bool appended = submenu
                && AppendMenuA(submenu, MF_OWNERDRAW, entry->menuId,
                               reinterpret_cast<const char*>(entry));
            if (!appended && entry != catalogue.none)
                logError("AppendMenu", nullptr);
        }
    }
    // A policy that names the screen saver greys every entry, "[none]"
    // included; the check stays at the system's setting.
    if (submenu)
        setEntryStates(submenu, catalogue.none, refuses(IDM_NONE));
    // Only now is no item left that points at the replaced entries.
    catalogue.releasePrevious();

    saverList = catalogue.newest;
    noneEntry = catalogue.none;
    // Heard as it is drawn, in the language spoken.
    if (noneEntry)
        setItemName(noneEntry->name, uiText(IDS_NONE_ENTRY));
    saverCount = catalogue.count;
    copyText(currentDescription, sizeof currentDescription, catalogue.currentDescription);
    updateTrayTip();
    return true;
}

bool TrayWindow::scanSaverDirectory(const char* pattern, const char* shortDirectory)
{
    catalogue.scanDirectory(pattern, shortDirectory);
    return true;
}
