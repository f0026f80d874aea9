// Times the catalogue rebuild with 10, 100 and 500 installed screen savers
// (copies of the Starfield fixture in the Windows directory), next to the
// same directory scan done with nothing but LoadLibraryA, LoadStringA and
// FreeLibrary (and with data-file loading), and times opening the screen
// saver submenu (WM_INITMENUPOPUP for it) with 100 installed.
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

} // namespace

int main()
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    std::string fixture = moduleDirectory() + "\\catalogue_fixtures\\starfield.scr";
    if (GetFileAttributesA(fixture.c_str()) == INVALID_FILE_ATTRIBUTES) {
        fprintf(stderr, "fixture missing: %s\n", fixture.c_str());
        return 1;
    }
    printf("%6s %7s %11s %9s %16s %9s %15s %9s\n", "files", "rounds", "rebuild ms", "per file",
           "LoadLibraryA ms", "per file", "data file ms", "per file");
    int status = 0;
    for (int count : {10, 100, 500}) {
        for (int i = 0; i < count; ++i)
            CopyFileA(fixture.c_str(), copyName(i).c_str(), FALSE);
        int rounds = count <= 10 ? 200 : count <= 100 ? 40 : 8;
        {
            Application app(GetModuleHandleA(nullptr));
            TrayWindow& tray = *app.trayWindow;
            if (tray.saverCount != count) {
                fprintf(stderr, "expected %d entries, the catalogue has %u\n", count,
                        tray.saverCount);
                status = 1;
            }
            double start = now();
            for (int r = 0; r < rounds; ++r)
                tray.rebuildSaverMenu();
            double rebuild = (now() - start) / rounds;

            start = now();
            for (int r = 0; r < rounds; ++r)
                plainScan(0);
            double plain = (now() - start) / rounds;

            start = now();
            for (int r = 0; r < rounds; ++r)
                plainScan(LOAD_LIBRARY_AS_DATAFILE);
            double data = (now() - start) / rounds;

            printf("%6d %7d %11.3f %9.4f %16.3f %9.4f %15.3f %9.4f\n", count, rounds, rebuild,
                   rebuild / count, plain, plain / count, data, data / count);

            if (count == 100) {
                HMENU submenu = GetSubMenu(tray.popupMenu, 0);
                start = now();
                for (int r = 0; r < rounds; ++r)
                    SendMessageA(tray.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(submenu),
                                 0);
                double open = (now() - start) / rounds;
                printf("opening the submenu with %d files: %.3f ms (%d rounds)\n", count, open,
                       rounds);
            }
        }
        for (int i = 0; i < count; ++i)
            DeleteFileA(copyName(i).c_str());
    }
    return status;
}
