// Keeping the display on while Dormity holds the screen saver off: the
// preference (value "KeepDisplayOn" in Dormity's key, off unless set), the
// organisation's display-off time, and the request to the system.
#pragma once
#include <windows.h>

#include "../saverconfig/preference_policy.h"
#include "blink_preference.h"

#define KEEP_DISPLAY_ON_VALUE "KeepDisplayOn"
// Where Group Policy sets the time after which the display turns off, on
// mains (ACSettingIndex) and on battery (DCSettingIndex).
#define DISPLAY_OFF_POLICY_KEY                                                                    \
    "Software\\Policies\\Microsoft\\Power\\PowerSettings\\3C0BC021-C8A8-4E07-A973-6B14CBCB2B7E"

// The user's own choice as stored (off unless set), and the preference in
// force now.
inline bool readStoredKeepDisplayOn()
{
    return readStoredPreference(KEEP_DISPLAY_ON_VALUE, false, KEY_QUERY_VALUE);
}
inline bool readKeepDisplayOn()
{
    return preferenceInForce(readDwordPolicy(POLICY_KEEP_DISPLAY_ON), readStoredKeepDisplayOn());
}
inline void writeKeepDisplayOn(bool on)
{
    writeStoredPreference(KEEP_DISPLAY_ON_VALUE, on, KEY_SET_VALUE);
}

// Whether either of the organisation's display-off times is set.
bool displayOffTimeByPolicy();

// Windows 98 and 2000 on; null before.
typedef DWORD(WINAPI* ExecutionStateFunction)(DWORD flags);
ExecutionStateFunction executionStateFunction();

// The request made (display and system required until cleared) or cleared.
void requestDisplayOn(ExecutionStateFunction setState, bool on);
