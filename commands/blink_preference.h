// The program's one preference of its own: whether the tray icon blinks
// while the screen saver is disabled.
#pragma once
#include <windows.h>

#define BLINK_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Dormity"
#define BLINK_VALUE "Blink"

// Blinking is on unless a 4-byte value of 0 was read: a missing key or
// value, or one of another length, means blink.
bool blinkFromStoredValue(bool readSucceeded, DWORD size, DWORD value);

bool readBlinkPreference();
// Creates the key when it is missing.
void writeBlinkPreference(bool blink);
