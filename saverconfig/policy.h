// The organisation's screen saver policy, as Group Policy (and the 95
// family's System Policies) leave it in the user's registry. A policy can
// come or go at any moment: it is read afresh for each menu opening, each
// command and each settings change, and kept only between them.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "saver_settings.h"

#define POLICY_DESKTOP_KEY "Software\\Policies\\Microsoft\\Windows\\Control Panel\\Desktop"
#define POLICY_SYSTEM_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System"

// One policy value as read: whether it is there, and the number it holds.
struct PolicyValue {
    bool set;
    LONG number;
};

// The number a policy value's bytes hold. Group Policy's templates store
// the desktop values as text (REG_SZ), which the system reads as the
// leading decimal integer of the text, as it reads its own desktop values;
// the Windows 2000 templates and the shell's restrictions store a
// REG_DWORD, which the shell reads as four bytes whatever their type. So
// text (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) and any value of another
// length than four bytes is read as text up to its first zero byte (at most
// 259 bytes): white space, a sign, digits, no digits giving 0; four bytes of
// any other type are a little-endian number.
LONG policyNumber(DWORD type, const BYTE* data, DWORD size);
// The text of the same bytes by the same rule; false, and "" in out, for
// the four-byte number form.
bool policyText(DWORD type, const BYTE* data, DWORD size, char* out, size_t outSize);

// "ScreenSaveActive", "ScreenSaverIsSecure", "ScreenSaveTimeOut" and
// "SCRNSAVE.EXE" under POLICY_DESKTOP_KEY; "NoDispScrSavPage" and
// "NoDispCPL" under POLICY_SYSTEM_KEY.
struct PolicyState {
    PolicyValue saverActive;
    PolicyValue isSecure;
    PolicyValue timeout;
    PolicyValue saverFile;
    PolicyValue noSaverPage;
    PolicyValue noDisplayPanel;
    char saverText[SAVER_PATH_SIZE];  // what "SCRNSAVE.EXE" holds as text ("": none)
    bool preferenceHeld;  // one of Dormity's own (preference_policy.h)
};

PolicyState readPolicyState();

// What the policy holds, as bits.
enum : DWORD {
    POLICY_ACTIVE = 0x1,          // the active flag
    POLICY_SAVER = 0x2,           // the current screen saver
    POLICY_PASSWORD = 0x4,        // password protection
    POLICY_TIMEOUT = 0x8,         // the idle timeout
    POLICY_NO_PROPERTIES = 0x10,  // the control panel's screen saver page is withheld
    POLICY_KEEPS_OFF = 0x20,      // the active flag, held off
    POLICY_PREFERENCE = 0x40,     // one of Dormity's own preferences
    // "Prevent changing screen saver" (NoDispScrSavPage, its meaning from
    // Windows Vista on; on the 95 family it hides the page): no setting of
    // the screen saver changes, and its page is withheld.
    POLICY_NO_CHANGES = 0x80,
};

// A desktop value sets its setting whatever it holds, even in an odd form:
// the organisation put it there. The shell's restrictions apply only when
// nonzero, as the shell reads them.
DWORD policyFlags(const PolicyState& state);
inline DWORD readPolicyFlags()
{
    return policyFlags(readPolicyState());
}

// The file a policy's "SCRNSAVE.EXE" text names, as the catalogue names its
// files: a name without a folder lies in the system directory (as the
// policy's own help has it), an empty text names none ("[none]"). False when
// the path would not fit in size bytes (out then names none).
bool policySaverPath(const char* text, const char* systemDirectory, char* out, size_t size);

// The screen saver in force: the policy's where one sets it (in its short
// form when the file is there, as the system's own page stores a choice),
// else the family's own setting. out holds SAVER_PATH_SIZE bytes.
void saverInForce(SaverFamily family, const PolicyState& policy, char* out);

// The password values, a policy's "ScreenSaverIsSecure" in place of the
// user's own.
PasswordValues passwordsInForce(PasswordValues values, const PolicyState& policy);
