// Stands in for a screen saver, rundll32.exe or a trap: logs "<own file>\t
// <command line>" to DORMITY_TEST_LOG. FIXTURE_LINGER_MS: then waits like a
// dialog and logs "done"; FIXTURE_LOADS_WINMM: asks for winmm.dll by name.
#include <windows.h>
#include <stdio.h>
#include <string.h>

static void appendLine(const char* path, const char* text)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  0, nullptr);  // held by another copy: retried
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
            CloseHandle(file);
            return;
        }
        Sleep(10);
    }
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char log[MAX_PATH], module[MAX_PATH], line[2 * MAX_PATH + 400];
    if (GetEnvironmentVariableA("DORMITY_TEST_LOG", log, sizeof log) == 0)
        return 0;
    GetModuleFileNameA(nullptr, module, sizeof module);
    snprintf(line, sizeof line, "%s\t%s\n", module, GetCommandLineA());
    appendLine(log, line);
#ifdef FIXTURE_LOADS_WINMM
    FreeLibrary(LoadLibraryA("winmm.dll"));
#endif
#ifdef FIXTURE_LINGER_MS
    MSG message;
    for (DWORD start = GetTickCount(); GetTickCount() - start < FIXTURE_LINGER_MS;) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    appendLine(log, "done\n");
#endif
    return 0;
}
