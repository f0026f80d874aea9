#include <windows.h>
#include <mmsystem.h>
#include <string.h>

#include "../app/application.h"
#include "../base/handles.h"
#include "../base/system_version.h"
#include "../base/text.h"
#include "../base/ui_text.h"
#include "../app/tray_window.h"
#include "../res/resource.h"
#include "../res/string_ids.h"
#include "../saverconfig/native_system.h"
#include "command_line.h"

namespace {

typedef BOOL(WINAPI* PlaySoundFunction)(LPCSTR sound, HMODULE module, DWORD flags);

// The directory a system program lives in, or "" when it cannot be read.
void readDirectory(UINT(WINAPI* read)(LPSTR, UINT), char (&out)[SAVER_PATH_SIZE])
{
    UINT length = read(out, sizeof out);
    if (length == 0 || length >= sizeof out)
        out[0] = '\0';
}


PlaySoundFunction soundPlayer(HMODULE library)
{
    if (!library)
        return nullptr;
    return findFunction<PlaySoundFunction>(library, "PlaySoundA");
}

// The display control panel on its screen saver page, through the system's
// own rundll32.exe or control.exe: on 64-bit Windows the native one, as
// WoW64 would start the 32-bit one from SysWOW64. WinExec's result, or 0
// when no command could be built.
UINT startDisplayProperties(SaverFamily family)
{
    char windowsDirectory[SAVER_PATH_SIZE];
    char systemDirectory[SAVER_PATH_SIZE];
    readDirectory(GetWindowsDirectoryA, windowsDirectory);
    readDirectory(GetSystemDirectoryA, systemDirectory);
    char program[SAVER_PATH_SIZE];
    char command[SAVER_PATH_SIZE + 64];
    if (!buildDisplayPropertiesCommand(family, windowsDirectory, systemDirectory, command,
                                       sizeof command, reportedVersion().dwMajorVersion, program))
        return 0;
    return winExecNative(program, command, SW_SHOWNORMAL);
}

} // namespace

HMODULE loadSystemLibrary(const char* fileName)
{
    char directory[SAVER_PATH_SIZE];
    readDirectory(GetSystemDirectoryA, directory);
    char path[SAVER_PATH_SIZE];
    if (!buildSystemFilePath(directory, fileName, path, sizeof path))
        return nullptr;
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

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
    // Nothing to play and nothing of ours playing: silence, and the
    // library is not loaded for it.
    if (!soundLibrary && sound[0] == '\0')
        return false;
    if (!soundLibrary)
        soundLibrary.reset(loadSystemLibrary("winmm.dll"));
    // Without the library, silence as for an empty name. No default sound:
    // an empty or unplayable name is silence too.
    PlaySoundFunction play = soundPlayer(soundLibrary.get());
    if (!play)
        return false;
    return play(sound, nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT) != FALSE;
}

void TrayWindow::stopSound()
{
    PlaySoundFunction play = soundPlayer(soundLibrary.get());
    if (play)
        play(nullptr, nullptr, 0);
}

bool TrayWindow::runSaver(bool launch)
{
    // Its own settings are the screen saver's too.
    if (!launch && refuses(IDM_CONFIGURE))
        return false;
    // The one a policy names runs, whatever the user chose.
    char fileName[SAVER_PATH_SIZE];
    saverInForce(family(), policy, fileName);

    // Not where a policy holds the flag: it may keep it off.
    if (!(owner->flags & APP_SAVER_ACTIVE) && !refuses(IDM_TOGGLE)) {
        setSaverActive(true);
        showSaverState(true);
    }

    if (textEquals(fileName, NO_SAVER_TEXT)) {
        // The page to choose one on is withheld: nothing to offer.
        if (refuses(IDM_PROPERTIES)) {
            showMessage(nullptr, uiText(IDS_NO_SAVER), uiText(IDS_NO_SAVER_CAPTION),
                        MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
            return true;
        }
        int answer = showMessage(nullptr, uiText(IDS_NO_SAVER_ASK), uiText(IDS_NO_SAVER_CAPTION),
                                 MB_YESNO | MB_ICONINFORMATION | MB_SYSTEMMODAL);
        if (answer == IDYES)
            startDisplayProperties(family());
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
        winExecNative(fileName, command, SW_SHOWNORMAL);
    return true;
}

bool TrayWindow::openDisplayProperties()
{
    if (refuses(IDM_PROPERTIES))
        return false;
    return startDisplayProperties(family()) > 31;
}

void TrayWindow::changePassword()
{
    char fileName[SAVER_PATH_SIZE];
    saverInForce(family(), policy, fileName);
    char command[SAVER_COMMAND_SIZE];
    if (buildSaverCommand(fileName, " /a 0", command, sizeof command))
        winExecNative(fileName, command, SW_SHOWNORMAL);
}

void TrayWindow::lockWorkstation()
{
    // Looked up at run time: systems before Windows 2000 lack it, and the
    // program must still load there.
    UniqueModule user32(LoadLibraryA("user32.dll"));
    if (!user32)
        return;
    typedef BOOL(WINAPI * LockFunction)(void);
    LockFunction lock = findFunction<LockFunction>(user32.get(), "LockWorkStation");
    if (lock)
        lock();
}
