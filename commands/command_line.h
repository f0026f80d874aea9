// Command lines built from the configured screen saver's file name.
#pragma once
#include <stddef.h>

// fileName followed by switchText (" /c", " /a 0"). A name with a blank
// that is not already quoted is quoted, so that "C:\Program Files\x.scr"
// cannot start "C:\Program.exe". False when it does not fit in size bytes.
bool buildSaverCommand(const char* fileName, const char* switchText, char* out, size_t size);

// Enough for a 259-character name, two quotes, a switch and the terminator.
#define SAVER_COMMAND_SIZE 300

#define DISPLAY_PROPERTIES_COMMAND "rundll32.exe shell32.dll,Control_RunDLL DESK.CPL,,1"

// Registry key (under HKEY_CURRENT_USER) holding the sound of an event, or
// null for an index outside 0 to 5.
const char* soundKeyForEvent(int event);
