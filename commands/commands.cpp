#include <windows.h>
#include <mmsystem.h>
#include <string.h>

#include "../app/application.h"
#include "../app/handles.h"
#include "../app/tray_window.h"
#include "../saverconfig/native_system.h"
#include "command_line.h"

bool TrayWindow::playEventSound(int event)
{
    // 260 bytes are offered, so a 259-character name with its terminator
    // fits; the one byte beyond them stays a terminator for a value stored
    // without one.
    char sound[SAVER_PATH_SIZE + 1];
    memset(sound, 0, sizeof sound);
    const char* keyName = soundKeyForEvent(event);
    if (!keyName)
        return false;
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyName, 0, KEY_ALL_ACCESS, key.put()) == ERROR_SUCCESS) {
        DWORD size = SAVER_PATH_SIZE;
        if (RegQueryValueExA(key.get(), "", nullptr, nullptr, reinterpret_cast<BYTE*>(sound),
                             &size) != ERROR_SUCCESS)
            memset(sound, 0, sizeof sound);
    }
    // No default sound: an empty or unplayable name is silence.
    return PlaySoundA(sound, nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT) != FALSE;
}

bool TrayWindow::runSaver(bool launch)
{
    char fileName[SAVER_PATH_SIZE];
    readCurrentSaver(family(), fileName);

    if (!(owner->flags & APP_SAVER_ACTIVE)) {
        setSaverActive(true);
        showSaverState(true);
    }

    if (strcmp(fileName, NO_SAVER_TEXT) == 0) {
        int answer = MessageBoxA(nullptr,
                                 "There is no Screen Saver currently selected.  "
                                 "Would you like to select a Screen Saver?",
                                 "No Screen Saver", MB_YESNO | MB_ICONINFORMATION | MB_SYSTEMMODAL);
        if (answer == IDYES)
            WinExec(DISPLAY_PROPERTIES_COMMAND, SW_SHOWNORMAL);
        return true;
    }

    if (launch) {
        // The system starts the screen saver it has configured.
        HWND foreground = GetForegroundWindow();
        if (foreground)
            PostMessageA(foreground, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
        else
            DefWindowProcA(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
        return true;
    }

    char command[SAVER_COMMAND_SIZE];
    // On 64-bit Windows the stored path names the native System32.
    if (buildSaverCommand(fileName, " /c", command, sizeof command))
        winExecNative(command, SW_SHOWNORMAL);
    return true;
}

bool TrayWindow::openDisplayProperties()
{
    return WinExec(DISPLAY_PROPERTIES_COMMAND, SW_SHOWNORMAL) > 31;
}

void TrayWindow::changePassword()
{
    char fileName[SAVER_PATH_SIZE];
    readCurrentSaver(family(), fileName);
    char command[SAVER_COMMAND_SIZE];
    if (buildSaverCommand(fileName, " /a 0", command, sizeof command))
        winExecNative(command, SW_SHOWNORMAL);
}

void TrayWindow::lockWorkstation()
{
    // Looked up at run time: systems before Windows 2000 lack it, and the
    // program must still load there.
    UniqueModule user32(LoadLibraryA("user32.dll"));
    if (!user32)
        return;
    typedef BOOL(WINAPI * LockFunction)(void);
    LockFunction lock =
        reinterpret_cast<LockFunction>(GetProcAddress(user32.get(), "LockWorkStation"));
    if (lock)
        lock();
}
