// Keeping the display on while Dormity holds the screen saver off: the
// preference (value "KeepDisplayOn" in Dormity's key, off unless set), the
// organisation's display-off time, and the request to the system.
#pragma once
#include <windows.h>

#include "../saverconfig/preference_policy.h"

#define KEEP_DISPLAY_ON_VALUE "KeepDisplayOn"
// Where Group Policy sets the time after which the display turns off, on
// mains (ACSettingIndex) and on battery (DCSettingIndex).
#define DISPLAY_OFF_POLICY_KEY                                                                    \
    "Software\\Policies\\Microsoft\\Power\\PowerSettings\\3C0BC021-C8A8-4E07-A973-6B14CBCB2B7E"

// On only for a four-byte value that is not 0.
bool keepDisplayOnFromStoredValue(bool readSucceeded, DWORD size, DWORD value);
// A policy that sets the preference wins over the user's choice: any number
// but 0 keeps the display on.
bool keepDisplayOnInForce(const DwordPolicy& policy, bool userKeepsOn);
// The user's own choice as stored, and the preference in force now.
bool readStoredKeepDisplayOn();
inline bool readKeepDisplayOn()
{
    return keepDisplayOnInForce(readDwordPolicy(POLICY_KEEP_DISPLAY_ON), readStoredKeepDisplayOn());
}
// Creates the key when it is missing.
void writeKeepDisplayOn(bool on);

// Whether either of the organisation's display-off times is set.
bool displayOffTimeByPolicy();

// Windows 98 and 2000 on; null before.
typedef DWORD(WINAPI* ExecutionStateFunction)(DWORD flags);
ExecutionStateFunction executionStateFunction();

// The request made (display and system required until cleared) or cleared.
void requestDisplayOn(ExecutionStateFunction setState, bool on);
