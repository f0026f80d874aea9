// The program's one preference of its own: whether the tray icon blinks
// while the screen saver is disabled. An organisation's policy
// (saverconfig/preference_policy.h) wins over the user's choice.
#pragma once
#include <windows.h>

#include "../saverconfig/preference_policy.h"

struct Application;

#define BLINK_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Dormity"
#define BLINK_VALUE "Blink"

// Blinking is on unless a 4-byte value of 0 was read: a missing key or
// value, or one of another length, means blink.
bool blinkFromStoredValue(bool readSucceeded, DWORD size, DWORD value);
// A policy that sets the preference wins over the user's choice: any
// number but 0 blinks.
bool blinkInForce(const DwordPolicy& policy, bool userBlinks);

// The user's own choice as stored.
bool readStoredBlinkPreference();
// The preference in force now.
inline bool readBlinkPreference()
{
    return blinkInForce(readDwordPolicy(POLICY_BLINK), readStoredBlinkPreference());
}
// Creates the key when it is missing.
void writeBlinkPreference(bool blink);

// Sets the flag and the running icon to the preference given (stops a
// blinking icon on the disabled image); nothing is stored.
void applyBlinkPreference(Application& app, bool blink);
