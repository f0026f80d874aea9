// The program's one preference of its own: whether the tray icon blinks
// while the screen saver is disabled. An organisation's policy
// (saverconfig/preference_policy.h) wins over the user's choice.
#pragma once
#include <windows.h>

#include "../saverconfig/preference_policy.h"

struct Application;

#define BLINK_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Dormity"
#define BLINK_VALUE "Blink"

// A preference of Dormity's own key (REG_DWORD) as stored: a 4-byte value
// is on unless 0; a missing key or value, or one of another length, gives
// the preference's default.
bool storedPreference(bool readSucceeded, DWORD size, DWORD value, bool byDefault);
// A policy that sets a preference wins over the user's choice: any number
// but 0 is on.
bool preferenceInForce(const DwordPolicy& policy, bool userChoice);
// Reads or writes one of those values (the key opened with access; a write
// creates it when it is missing).
bool readStoredPreference(const char* name, bool byDefault, REGSAM access);
void writeStoredPreference(const char* name, bool on, REGSAM access);

// Blinking is on unless a 4-byte value of 0 was read; the key is opened
// with full access, for reads as for writes.
inline bool readStoredBlinkPreference()
{
    return readStoredPreference(BLINK_VALUE, true, KEY_ALL_ACCESS);
}
// The preference in force now.
inline bool readBlinkPreference()
{
    return preferenceInForce(readDwordPolicy(POLICY_BLINK), readStoredBlinkPreference());
}
inline void writeBlinkPreference(bool blink)
{
    writeStoredPreference(BLINK_VALUE, blink, KEY_ALL_ACCESS);
}

// Sets the flag and the running icon to the preference given (stops a
// blinking icon on the disabled image); nothing is stored.
void applyBlinkPreference(Application& app, bool blink);
