// Command lines built from the configured screen saver's file name, and the
// system programs' full paths.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "../saverconfig/saver_settings.h"

// fileName followed by switchText (" /c", " /a 0"). A name with a blank
// that is not already quoted is quoted, so that "C:\Program Files\x.scr"
// cannot start "C:\Program.exe". False when it does not fit in size bytes.
bool buildSaverCommand(const char* fileName, const char* switchText, char* out, size_t size);

// Enough for a 259-character name, two quotes, a switch and the terminator.
#define SAVER_COMMAND_SIZE 300

// What the display control panel is started with: its screen saver page.
// Before Windows Vista rundll32.exe opens the page by its index; from Vista
// on the indexes changed, and control.exe opens it by its canonical name.
#define DISPLAY_PROPERTIES_ARGUMENTS "shell32.dll,Control_RunDLL DESK.CPL,,1"
#define SCREEN_SAVER_PAGE_ARGUMENTS "desk.cpl,screensaver,@screensaver"

// directory, a separator and fileName: the full path of a system file. A
// root directory ("C:\") keeps its one separator. False, with out empty,
// for an empty (unknown) directory or when the path does not fit.
bool buildSystemFilePath(const char* directory, const char* fileName, char* out, size_t size);

// A DLL of the system directory, loaded by its full path, its own imports
// looked up from there too. DLLs outside the system's known ones, asked for
// by name, would be taken from the program's own folder first. Null when
// it cannot be loaded.
HMODULE loadSystemLibrary(const char* fileName);

// The system's own rundll32.exe with the display control panel's arguments,
// or from Windows Vista on (the NT family's majorVersion 6 and later; left
// out, a system before) its control.exe with the page's name. The program
// is named by its full path, so that nothing in the program's own folder
// (searched first for a bare name) can stand in for it: in the Windows
// directory on the 95 family, in the system directory on the NT family;
// quoted when the path holds a blank. False, with out empty, when that
// directory is unknown (empty) or the command does not fit. program, when
// given (SAVER_PATH_SIZE bytes), gets the program's path alone.
bool buildDisplayPropertiesCommand(SaverFamily family, const char* windowsDirectory,
                                   const char* systemDirectory, char* out, size_t size,
                                   DWORD majorVersion = 0, char* program = nullptr);

// The program's application in the sound scheme, and the events' labels,
// under HKEY_CURRENT_USER.
#define SOUND_APPLICATION_KEY "AppEvents\\Schemes\\Apps\\Dormity"
#define SOUND_LABELS_KEY "AppEvents\\EventLabels"

// Registry key (under HKEY_CURRENT_USER) holding the sound of an event, or
// null for an index outside 0 to 5.
const char* soundKeyForEvent(int event);
// The name of an event's keys ("Dormity-Launch"), or null outside 0 to 5.
const char* soundEventName(int event);
