// Times the catalogue rebuild with 10, 100 and 500 installed screen savers
// (copies of the Starfield fixture in the Windows directory): the first one,
// with nothing remembered; one with nothing changed; one after a file was
// touched; next to the same directory scan done with nothing but
// LoadLibraryA, LoadStringA and FreeLibrary. Also times opening the screen
// saver submenu with 100 installed: the rebuild, every item measured and
// the first screenful drawn.
//   bench_catalogue.exe        run under Wine in the build directory's prefix
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "app/application.h"
#include "app/tray_window.h"

namespace {

std::string moduleDirectory()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string text = path;
    return text.substr(0, text.find_last_of('\\'));
}

std::string directory(bool system)
{
    char path[MAX_PATH];
    if (system)
        GetSystemDirectoryA(path, sizeof path);
    else
        GetWindowsDirectoryA(path, sizeof path);
    return path;
}

std::string copyName(int i)
{
    char name[32];
    wsprintfA(name, "dmcatbench%03d.scr", i);
    return directory(false) + "\\" + name;
}

double now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// The bare scan: both directories, every file loaded, its string read.
int plainScan(DWORD flags)
{
    int described = 0;
    for (bool system : {false, true}) {
        std::string base = directory(system);
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((base + "\\*.scr").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            std::string path = base + "\\" + found.cFileName;
            HMODULE module = flags ? LoadLibraryExA(path.c_str(), nullptr, flags)
                                   : LoadLibraryA(path.c_str());
            if (!module)
                continue;
            char text[260];
            if (LoadStringA(module, 1, text, sizeof text) > 0)
                ++described;
            FreeLibrary(module);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return described;
}

// A new last-write time for a file, so that the next rebuild reads it again.
void touch(const std::string& path, int round)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    time.dwLowDateTime += static_cast<DWORD>(round) * 10000000u;
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

// What opening the submenu costs the program until it first paints: the
// rebuild the system asks for, every item measured, the first item drawn.
void openSubmenu(TrayWindow& tray, HDC dc)
{
    HMENU submenu = GetSubMenu(tray.popupMenu, 0);
    SendMessageA(tray.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(submenu), 0);
    int items = GetMenuItemCount(submenu);
    for (int i = 0; i < items; ++i) {
        MENUITEMINFOA info;
        memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = MIIM_DATA | MIIM_ID;
        GetMenuItemInfoA(submenu, static_cast<UINT>(i), TRUE, &info);
        MEASUREITEMSTRUCT measure;
        memset(&measure, 0, sizeof measure);
        measure.CtlType = ODT_MENU;
        measure.itemID = info.wID;
        measure.itemData = info.dwItemData;
        SendMessageA(tray.window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
        if (i > 0)
            continue;
        DRAWITEMSTRUCT draw;
        memset(&draw, 0, sizeof draw);
        draw.CtlType = ODT_MENU;
        draw.itemID = info.wID;
        draw.itemAction = ODA_DRAWENTIRE;
        draw.hwndItem = reinterpret_cast<HWND>(submenu);
        draw.hDC = dc;
        draw.rcItem = {0, 0, static_cast<LONG>(measure.itemWidth), static_cast<LONG>(measure.itemHeight)};
        draw.itemData = info.dwItemData;
        SendMessageA(tray.window, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
    }
}

const char* verdict(bool met)
{
    return met ? "met" : "MISSED";
}

} // namespace

int main()
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    std::string fixture = moduleDirectory() + "\\catalogue_fixtures\\starfield.scr";
    if (GetFileAttributesA(fixture.c_str()) == INVALID_FILE_ATTRIBUTES) {
        fprintf(stderr, "fixture missing: %s\n", fixture.c_str());
        return 1;
    }
    printf("Rebuilds in ms (per file in brackets); the plain scan is LoadLibraryA + LoadStringA.\n");
    printf("%6s %7s %18s %18s %18s %18s\n", "files", "rounds", "first (no cache)", "unchanged",
           "one file changed", "plain scan");
    int status = 0;
    double perFile100 = 0;
    for (int count : {10, 100, 500}) {
        for (int i = 0; i < count; ++i)
            CopyFileA(fixture.c_str(), copyName(i).c_str(), FALSE);
        int rounds = count <= 10 ? 100 : count <= 100 ? 20 : 6;
        {
            Application app(GetModuleHandleA(nullptr));
            TrayWindow& tray = *app.trayWindow;
            if (tray.saverCount != count) {
                fprintf(stderr, "expected %d entries, the catalogue has %u\n", count,
                        tray.saverCount);
                status = 1;
            }
            double first = 0;
            for (int r = 0; r < rounds; ++r) {
                tray.freeSaverList();
                double start = now();
                tray.rebuildSaverMenu();
                first += now() - start;
            }
            first /= rounds;

            double start = now();
            for (int r = 0; r < rounds; ++r)
                tray.rebuildSaverMenu();
            double unchanged = (now() - start) / rounds;

            double changed = 0;
            for (int r = 0; r < rounds; ++r) {
                touch(copyName(count / 2), r + 1);
                start = now();
                tray.rebuildSaverMenu();
                changed += now() - start;
            }
            changed /= rounds;

            start = now();
            for (int r = 0; r < rounds; ++r)
                plainScan(0);
            double plain = (now() - start) / rounds;

            printf("%6d %7d %9.2f (%5.3f) %9.2f (%5.3f) %9.2f (%5.3f) %9.2f (%5.3f)\n", count, rounds,
                   first, first / count, unchanged, unchanged / count, changed, changed / count,
                   plain, plain / count);
            printf("       first / plain %.2f (target <= 1.0: %s); unchanged / plain %.2f%s\n",
                   first / plain, verdict(first <= plain), unchanged / plain,
                   count >= 100 ? (unchanged <= 0.2 * plain ? " (target <= 0.2: met)"
                                                            : " (target <= 0.2: MISSED)")
                                : "");
            if (count == 100)
                perFile100 = first / count;
            if (count == 500 && perFile100 > 0)
                printf("       per file at 500 / per file at 100: %.2f (target <= 1.2: %s)\n",
                       first / count / perFile100, verdict(first / count <= 1.2 * perFile100));

            if (count == 100) {
                HDC screen = GetDC(nullptr);
                HDC dc = CreateCompatibleDC(screen);
                HBITMAP bitmap = CreateCompatibleBitmap(screen, 600, 800);
                HGDIOBJ previous = SelectObject(dc, bitmap);
                openSubmenu(tray, dc);
                start = now();
                for (int r = 0; r < rounds; ++r)
                    openSubmenu(tray, dc);
                double open = (now() - start) / rounds;
                SelectObject(dc, previous);
                DeleteObject(bitmap);
                DeleteDC(dc);
                ReleaseDC(nullptr, screen);
                printf("opening the submenu with %d files (rebuild, measure, first paint): %.2f ms "
                       "(target <= 40: %s)\n",
                       count, open, verdict(open <= 40));
            }
        }
        for (int i = 0; i < count; ++i)
            DeleteFileA(copyName(i).c_str());
    }
    return status;
}
