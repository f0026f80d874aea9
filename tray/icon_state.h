// Small decisions of the tray icon, apart from the shell calls.
#pragma once
#include <windows.h>
#include <stddef.h>

// Loads a resource icon's square image of size pixels.
HICON loadSmallIcon(HINSTANCE instance, int iconId, int size);

// The icon a blink tick shows for the phase, and the phase it leaves.
int blinkTickIcon(BYTE* phase);

// "Dormity - [description]", cut to fit the tip (always terminated).
void formatTrayTip(const char* description, char* tip, size_t tipSize);

// While a time runs: "Dormity - [description] - on at TIME", the description
// cut first so that the time always shows (always terminated).
void formatTimedTrayTip(const char* description, const char* onAt, char* tip, size_t tipSize);

// While Dormity holds the screen saver off for a program: format (one "%s",
// "Dormity - off while %s runs") with the program's name, the name cut so
// that the rest always shows (always terminated).
void formatOffWhileTrayTip(const char* format, const char* program, char* tip, size_t tipSize);
