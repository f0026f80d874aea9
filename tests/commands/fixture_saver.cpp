// A stand-in for a screen saver (and for rundll32.exe, and for a program
// that must never run): it appends its own file name, a tab and its command
// line to the file named by DORMITY_TEST_LOG and ends. Built three times:
// the lingering variant stays alive for three seconds, answering messages
// like a configuration dialog that waits for the user, and then logs
// "done"; the winmm variant asks for winmm.dll by its bare name before it
// ends, as a program importing it does.
// The same source is built once more as a 64-bit program (tests/win64/win64.cmake).
#include <windows.h>
#include <stdio.h>
#include <string.h>

namespace {

void appendLine(const char* path, const char* text)
{
    // Several copies may log at once; retry while another holds the file.
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
            WriteFile(file, "\n", 1, &written, nullptr);
            CloseHandle(file);
            return;
        }
        Sleep(10);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char log[MAX_PATH];
    if (GetEnvironmentVariableA("DORMITY_TEST_LOG", log, sizeof log) == 0)
        return 0;
    // Which file ran, then how it was started: a command line alone would
    // not tell "C:\Program.exe" from the file meant.
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, sizeof module);
    char line[2 * MAX_PATH + 400];
    snprintf(line, sizeof line, "%s\t%s", module, GetCommandLineA());
    appendLine(log, line);
#ifdef FIXTURE_LOADS_WINMM
    HMODULE winmm = LoadLibraryA("winmm.dll");
    if (winmm)
        FreeLibrary(winmm);
#endif
#ifdef FIXTURE_LINGER_MS
    // Waiting for input, as a dialog would: whoever started it with
    // WinExec gets control back now.
    DWORD start = GetTickCount();
    MSG message;
    while (GetTickCount() - start < FIXTURE_LINGER_MS) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    appendLine(log, "done");
#endif
    return 0;
}
