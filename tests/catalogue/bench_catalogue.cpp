// Times the catalogue rebuild over 10, 100 and 500 fixture copies: first, unchanged, one file
// touched, and a plain LoadLibraryA/LoadStringA scan; with 100, the submenu's opening too.
#include <windows.h>
#include <stdio.h>

#include <functional>
#include <string>

#include "app/application.h"
#include "base/handles.h"
#include "app/tray_window.h"

namespace {

std::string directory(bool system)
{
    char path[MAX_PATH];
    system ? GetSystemDirectoryA(path, sizeof path) : GetWindowsDirectoryA(path, sizeof path);
    return path;
}

std::string copyName(int i)
{
    return directory(false) + "\\dmcatbench" + std::to_string(1000 + i).substr(1) + ".scr";
}

// Milliseconds per round of work, what comes before it in a round not counted.
double timed(
    int rounds, const std::function<void()>& work, const std::function<void()>& before = [] {})
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    double total = 0;
    for (int r = 0; r < rounds; ++r) {
        before();
        QueryPerformanceCounter(&start);
        work();
        QueryPerformanceCounter(&end);
        total += static_cast<double>(end.QuadPart - start.QuadPart);
    }
    return total * 1000.0 / static_cast<double>(frequency.QuadPart) / rounds;
}

// The bare scan: both directories, every file loaded, its string read.
void plainScan()
{
    for (bool system : {false, true}) {
        const std::string base = directory(system) + "\\";
        WIN32_FIND_DATAA found;
        UniqueFind search(FindFirstFileA((base + "*.scr").c_str(), &found));
        for (bool more = bool(search); more; more = FindNextFileA(search.get(), &found)) {
            UniqueModule module(LoadLibraryA((base + found.cFileName).c_str()));
            char text[260];
            if (module)
                LoadStringA(module.get(), 1, text, sizeof text);
        }
    }
}

// What opening the submenu costs until it first paints: the rebuild, every
// entry measured (an item's data is its entry), the first item, "[none]", drawn.
void openSubmenu(TrayWindow& tray, HDC dc)
{
    SendMessageA(tray.window, WM_INITMENUPOPUP,
                 reinterpret_cast<WPARAM>(GetSubMenu(tray.popupMenu, 0)), 0);
    for (SaverEntry* entry = tray.saverList; entry; entry = entry->next) {
        ULONG_PTR data = reinterpret_cast<ULONG_PTR>(entry);
        MEASUREITEMSTRUCT measure = {ODT_MENU, 0, entry->menuId, 0, 0, data};
        SendMessageA(tray.window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
        DRAWITEMSTRUCT draw
            = {ODT_MENU,
               0,
               entry->menuId,
               ODA_DRAWENTIRE,
               0,
               nullptr,
               dc,
               {0, 0, static_cast<LONG>(measure.itemWidth), static_cast<LONG>(measure.itemHeight)},
               data};
        if (entry == tray.noneEntry)
            SendMessageA(tray.window, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
    }
}

const char* verdict(bool met) { return met ? "met" : "MISSED"; }

} // namespace

int main()
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string fixture = self;
    fixture = fixture.substr(0, fixture.find_last_of('\\')) + "\\catalogue_fixtures\\starfield.scr";
    printf(
        "Rebuilds in ms (per file in brackets); the plain scan is LoadLibraryA + LoadStringA.\n");
    printf("%6s %7s %18s %18s %18s %18s\n", "files", "rounds", "first (no cache)", "unchanged",
           "one file changed", "plain scan");
    int status = 0;
    double perFile100 = 0;
    for (int count : {10, 100, 500}) {
        for (int i = 0; i < count; ++i) {
            if (!CopyFileA(fixture.c_str(), copyName(i).c_str(), FALSE)) {
                fprintf(stderr, "cannot copy %s\n", fixture.c_str());
                return 1;
            }
        }
        int rounds = count <= 10 ? 100 : count <= 100 ? 20 : 6;
        {
            Application app(GetModuleHandleA(nullptr));
            TrayWindow& tray = *app.trayWindow;
            if (tray.saverCount != count) {
                fprintf(stderr, "expected %d entries, the catalogue has %u\n", count,
                        tray.saverCount);
                status = 1;
            }
            double first = timed(
                rounds, [&] { tray.rebuildSaverMenu(); }, [&] { tray.freeSaverList(); });
            double unchanged = timed(rounds, [&] { tray.rebuildSaverMenu(); });
            int round = 0;
            double changed = timed(rounds, [&] { tray.rebuildSaverMenu(); }, [&] {
                // A new last-write time, so that the next rebuild reads the file again.
                UniqueFile file(CreateFileA(copyName(count / 2).c_str(), FILE_WRITE_ATTRIBUTES,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
                FILETIME time;
                GetSystemTimeAsFileTime(&time);
                time.dwLowDateTime += static_cast<DWORD>(++round) * 10000000u;
                SetFileTime(file.get(), nullptr, nullptr, &time);
            });
            double plain = timed(rounds, plainScan);
            printf("%6d %7d %9.2f (%5.3f) %9.2f (%5.3f) %9.2f (%5.3f) %9.2f (%5.3f)\n", count,
                   rounds, first, first / count, unchanged, unchanged / count, changed,
                   changed / count, plain, plain / count);
            printf("       first / plain %.2f (target <= 1.0: %s); unchanged / plain %.2f%s\n",
                   first / plain, verdict(first <= plain), unchanged / plain,
                   count < 100                ? ""
                   : unchanged <= 0.2 * plain ? " (target <= 0.2: met)"
                                              : " (target <= 0.2: MISSED)");
            if (count == 100)
                perFile100 = first / count;
            if (count == 500 && perFile100 > 0)
                printf("       per file at 500 / per file at 100: %.2f (target <= 1.2: %s)\n",
                       first / count / perFile100, verdict(first / count <= 1.2 * perFile100));
            if (count == 100) {
                HDC dc = CreateCompatibleDC(nullptr);
                UniqueGdiObject bitmap(CreateBitmap(600, 800, 1, 32, nullptr));
                HGDIOBJ previous = SelectObject(dc, bitmap.get());
                openSubmenu(tray, dc);
                double open = timed(rounds, [&] { openSubmenu(tray, dc); });
                printf("opening the submenu with %d files (rebuild, measure, first paint): %.2f ms "
                       "(target <= 40: %s)\n", count, open, verdict(open <= 40));
                SelectObject(dc, previous);
                DeleteDC(dc);
            }
        }
        for (int i = 0; i < count; ++i)
            DeleteFileA(copyName(i).c_str());
    }
    // 100 language-neutral files, each with its satellite in en-US, as Windows'
    // own: every rebuild also looks for the satellites of each.
    const std::string base = fixture.substr(0, fixture.find_last_of('\\')) + "\\";
    const std::string languageFolder = directory(false) + "\\en-US";
    bool madeFolder = CreateDirectoryA(languageFolder.c_str(), nullptr);
    auto satelliteOf = [&](int i) {
        return languageFolder + copyName(i).substr(copyName(i).find_last_of('\\')) + ".mui";
    };
    const int count = 100;
    for (int i = 0; i < count; ++i) {
        if (!CopyFileA((base + "mui_neutral_en.scr").c_str(), copyName(i).c_str(), FALSE)
            || !CopyFileA((base + "en.mui").c_str(), satelliteOf(i).c_str(), FALSE)) {
            fprintf(stderr, "cannot copy the language-neutral fixtures\n");
            return 1;
        }
    }
    {
        Application app(GetModuleHandleA(nullptr));
        TrayWindow& tray = *app.trayWindow;
        if (tray.saverCount != count || lstrcmpA(tray.saverList->description, "Satellite In English")) {
            fprintf(stderr, "the satellites' descriptions are not listed\n");
            status = 1;
        }
        double first = timed(20, [&] { tray.rebuildSaverMenu(); }, [&] { tray.freeSaverList(); });
        double unchanged = timed(20, [&] { tray.rebuildSaverMenu(); });
        double plain = timed(20, plainScan);
        printf("%d language-neutral files with satellites: first %.2f ms (%.3f per file), "
               "unchanged %.2f ms, plain scan %.2f ms; first / plain %.2f (target <= 1.0: %s), "
               "unchanged / plain %.2f (target <= 0.2: %s)\n",
               count, first, first / count, unchanged, plain, first / plain,
               verdict(first <= plain), unchanged / plain, verdict(unchanged <= 0.2 * plain));
    }
    for (int i = 0; i < count; ++i) {
        DeleteFileA(satelliteOf(i).c_str());
        DeleteFileA(copyName(i).c_str());
    }
    if (madeFolder)
        RemoveDirectoryA(languageFolder.c_str());
    return status;
}
