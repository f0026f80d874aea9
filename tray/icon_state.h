// Small decisions of the tray icon, apart from the shell calls.
#pragma once
#include <windows.h>
#include <stddef.h>

// Loads a resource icon's square image of size pixels.
HICON loadSmallIcon(HINSTANCE instance, int iconId, int size);

// The icon a blink tick shows for the phase, and the phase it leaves.
int blinkTickIcon(BYTE* phase);

// "Dormity - [description]" in the language spoken, cut to fit the tip of
// tipSize characters (always terminated, zero-filled past its text).
void formatTrayTip(const WCHAR* description, WCHAR* tip, size_t tipSize);

// While a time runs: "Dormity - [description] - on at TIME", the description
// cut first so that the time always shows (always terminated, zero-filled).
void formatTimedTrayTip(const WCHAR* description, const WCHAR* onAt, WCHAR* tip, size_t tipSize);

// While Dormity holds the screen saver off for a program: format (one "%s",
// "Dormity - off while %s runs") with the program's name, the name cut so
// that the rest always shows (always terminated, zero-filled).
void formatOffWhileTrayTip(const WCHAR* format, const WCHAR* program, WCHAR* tip, size_t tipSize);
