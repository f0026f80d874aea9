// Where the system keeps its screen saver settings, per platform family, and
// the operations that read and write them. Nothing is cached: every call
// goes to the system.
#pragma once
#include <windows.h>

enum SaverFamily {
    FAMILY_NT = 0,  // NT 4, 2000, XP and later
    FAMILY_95 = 1,  // Windows 95, 98, Me
};

#define NO_SAVER_TEXT "[none]"
#define SAVER_PATH_SIZE 260

struct PasswordValues {
    DWORD usePassword;   // 95 family: "ScreenSaveUsePassword"
    DWORD passwordData;  // 95 family: first 4 bytes of "ScreenSave_Data"
    LONG isSecure;       // NT family: "ScreenSaverIsSecure" as a decimal number
};

// out holds SAVER_PATH_SIZE bytes: the configured screen saver or "[none]".
void readCurrentSaver(SaverFamily family, char* out);
void writeCurrentSaver(SaverFamily family, const char* fileName);
void clearCurrentSaver(SaverFamily family);

bool isSaverActive();
void setSaverActive(bool active);
UINT getSaverTimeout();
void setSaverTimeout(UINT seconds);

PasswordValues readPasswordValues(SaverFamily family);
void writePasswordEnabled(SaverFamily family, bool enabled);

// Sent, not posted: returns once every responsive top-level window, this
// program's own included, has handled the change.
void broadcastSettingsChange();

// The leading decimal integer of a text (leading white space, optional sign,
// digits); 0 when there are none.
LONG leadingInteger(const char* text);

// The 6-byte header test of a screen saver file (the configured one) on the
// 95 family; always true on the NT family.
bool isWin4Saver(SaverFamily family, const char* path);
bool isWin4Saver(SaverFamily family);

// The test on the first bytes of a file: bytes 2 to 5 are 90 00 03 00.
bool hasWin4Header(const unsigned char* bytes, size_t length);

// How long the broadcast waits for each window before skipping it.
#define SETTINGS_BROADCAST_TIMEOUT_MS 5000
