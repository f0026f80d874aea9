#include "catalogue.h"

#include <stdlib.h>
#include <string.h>

#include "../app/application.h"
#include "../app/error_log.h"
#include "../app/handles.h"
#include "../app/text.h"
#include "../app/tray_window.h"
#include "../res/resource.h"
#include "../tray/menu_metrics.h"

void saverNameFromFile(const char* longName, char* out, size_t size)
{
    copyText(out, size, longName);
    size_t length = strlen(out);
    out[length > 4 ? length - 4 : 0] = '\0';
}

bool buildSaverPath(const char* shortDirectory, const char* fileName, char* out, size_t size)
{
    if (!formatText(out, size, "%s\\%s", shortDirectory, fileName)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool isConfiguredSaver(const char* configured, const char* path)
{
    return lstrcmpiA(configured, NO_SAVER_TEXT) != 0 && lstrcmpiA(configured, path) == 0;
}

void TrayWindow::freeSaverList()
{
    SaverEntry* entry = saverList;
    while (entry) {
        SaverEntry* next = entry->next;
        free(entry);
        entry = next;
    }
    saverList = nullptr;
    noneEntry = nullptr;
}

bool TrayWindow::rebuildSaverMenu()
{
    freeSaverList();
    HMENU submenu = popupMenu ? GetSubMenu(popupMenu, 0) : nullptr;
    if (submenu) {
        while (GetMenuItemCount(submenu) > 0) {
            if (!DeleteMenu(submenu, 0, MF_BYPOSITION))
                break;
        }
    }
    saverCount = 0;

    int points = menuFontPoints(window);
    SaverEntry* none = static_cast<SaverEntry*>(calloc(1, sizeof(SaverEntry)));
    copyText(currentDescription, sizeof currentDescription, "none");
    if (none) {
        copyText(none->description, sizeof none->description, NO_SAVER_TEXT);
        copyText(none->fileName, sizeof none->fileName, NO_SAVER_TEXT);
        none->itemWidth = noneItemWidth(points);
        none->flags = SAVER_CHECKED;
        none->menuId = IDM_NONE;
        saverList = none;
        noneEntry = none;
        if (submenu)
            AppendMenuA(submenu, MF_OWNERDRAW, IDM_NONE, reinterpret_cast<const char*>(none));

        char longName[MAX_PATH + 8];
        char shortName[MAX_PATH];
        UINT length = GetWindowsDirectoryA(longName, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            shortName[0] = '\0';
            DWORD shortLength = GetShortPathNameA(longName, shortName, sizeof shortName);
            if (shortLength == 0 || shortLength >= sizeof shortName)
                copyText(shortName, sizeof shortName, longName);
            appendText(longName, sizeof longName, "\\*.scr");
            scanSaverDirectory(longName, shortName);
        }
        length = GetSystemDirectoryA(longName, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            shortName[0] = '\0';
            DWORD shortLength = GetShortPathNameA(longName, shortName, sizeof shortName);
            if (shortLength == 0 || shortLength >= sizeof shortName)
                copyText(shortName, sizeof shortName, longName);
            appendText(longName, sizeof longName, "\\*.scr");
            scanSaverDirectory(longName, shortName);
        }
    }
    updateTrayTip();
    return true;
}

bool TrayWindow::scanSaverDirectory(const char* pattern, const char* shortDirectory)
{
    char configured[SAVER_PATH_SIZE];
    readCurrentSaver(family(), configured);
    int points = menuFontPoints(window);
    HMENU submenu = popupMenu ? GetSubMenu(popupMenu, 0) : nullptr;

    WIN32_FIND_DATAA found;
    UniqueFind search(FindFirstFileA(pattern, &found));
    if (!search)
        return true;
    do {
        char name[MAX_PATH];
        saverNameFromFile(found.cFileName, name, sizeof name);
        const char* fileName = found.cAlternateFileName[0] ? found.cAlternateFileName
                                                           : found.cFileName;
        char path[SAVER_PATH_SIZE];
        if (!buildSaverPath(shortDirectory, fileName, path, sizeof path))
            continue;

        // Loaded as data only: reading its description must never resolve
        // the file's imports or run any of its code.
        UniqueModule module(LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (!module)
            continue;
        SaverEntry* entry = static_cast<SaverEntry*>(calloc(1, sizeof(SaverEntry)));
        if (!entry)
            continue;
        if (LoadStringA(module.get(), 1, entry->description, sizeof entry->description) <= 0)
            copyText(entry->description, sizeof entry->description, name);
        entry->description[sizeof entry->description - 1] = '\0';
        module.reset();

        ++saverCount;
        entry->menuId = static_cast<WORD>(IDM_NONE + saverCount);
        copyText(entry->fileName, sizeof entry->fileName, path);
        entry->itemWidth = saverItemWidth(strlen(entry->description), points, family());
        if (isConfiguredSaver(configured, path)) {
            if (noneEntry)
                noneEntry->flags &= static_cast<BYTE>(~SAVER_CHECKED);
            entry->flags = SAVER_CHECKED;
            copyText(currentDescription, sizeof currentDescription, entry->description);
        }
        if (saverList)
            saverList->prev = entry;
        entry->next = saverList;
        saverList = entry;

        if (!submenu || !AppendMenuA(submenu, MF_OWNERDRAW, entry->menuId,
                                     reinterpret_cast<const char*>(entry)))
            logError("AppendMenu", nullptr);
    } while (FindNextFileA(search.get(), &found));
    search.reset();
    SetLastError(0);
    return true;
}
