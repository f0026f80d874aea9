#include "saver_settings.h"

#include <string.h>

#include "../base/handles.h"
#include "../base/text.h"

namespace {

const char kIniFile[] = "system.ini";
const char kIniSection[] = "boot";
const char kSaverValue[] = "SCRNSAVE.EXE";
// Both spellings name the same key; the registry ignores letter case.
const char kDesktopKeyForSaverRead[] = "Control Panel\\Desktop";
const char kDesktopKey[] = "Control Panel\\desktop";
const char kUsePasswordValue[] = "ScreenSaveUsePassword";
const char kPasswordDataValue[] = "ScreenSave_Data";
const char kIsSecureValue[] = "ScreenSaverIsSecure";

HKEY openDesktopKey(const char* spelling)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, spelling, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// Reads up to 4 bytes of a value as a little-endian number, zero-extended.
// Missing, empty or longer values keep the default: a failed read leaves the
// buffer undefined, so its contents are only used on success.
DWORD readSmallNumber(HKEY key, const char* name, DWORD fallback)
{
    BYTE data[4] = {0, 0, 0, 0};
    DWORD size = sizeof data;
    if (!key || RegQueryValueExA(key, name, nullptr, nullptr, data, &size) != ERROR_SUCCESS
        || size == 0 || size > sizeof data)
        return fallback;
    DWORD value = 0;
    for (DWORD i = 0; i < size; ++i)
        value |= static_cast<DWORD>(data[i]) << (8 * i);
    return value;
}

} // namespace

void readCurrentSaver(SaverFamily family, char* out)
{
    if (family == FAMILY_95) {
        GetPrivateProfileStringA(kIniSection, kSaverValue, NO_SAVER_TEXT, out, SAVER_PATH_SIZE,
                                 kIniFile);
        out[SAVER_PATH_SIZE - 1] = '\0';
        return;
    }
    memset(out, 0, SAVER_PATH_SIZE);
    copyText(out, SAVER_PATH_SIZE, NO_SAVER_TEXT);
    UniqueRegKey key(openDesktopKey(kDesktopKeyForSaverRead));
    if (!key)
        return;
    // Read into a buffer one byte larger than the caller's, so that a value
    // filling all 260 bytes without a terminator is never read past its end
    // and is recognised as too long; a failed read leaves the buffer
    // undefined, so only a successful one is used.
    char value[SAVER_PATH_SIZE + 1];
    memset(value, 0, sizeof value);
    DWORD size = SAVER_PATH_SIZE;
    // A value of no bytes at all names no file: it stays "[none]", so that
    // Launch and Configure offer to choose one instead of running nothing.
    if (RegQueryValueExA(key.get(), kSaverValue, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS
        || size == 0)
        return;
    value[SAVER_PATH_SIZE] = '\0';
    if (textLength(value) >= SAVER_PATH_SIZE)
        return;
    memcpy(out, value, SAVER_PATH_SIZE);
}

void writeCurrentSaver(SaverFamily family, const char* fileName)
{
    if (family == FAMILY_95) {
        WritePrivateProfileStringA(kIniSection, kSaverValue, fileName, kIniFile);
        return;
    }
    UniqueRegKey key(openDesktopKey(kDesktopKey));
    if (!key)
        return;
    RegSetValueExA(key.get(), kSaverValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(fileName),
                   static_cast<DWORD>(textLength(fileName) + 1));
}

void clearCurrentSaver(SaverFamily family)
{
    if (family == FAMILY_95) {
        WritePrivateProfileStringA(kIniSection, kSaverValue, nullptr, kIniFile);
        return;
    }
    UniqueRegKey key(openDesktopKey(kDesktopKey));
    if (!key)
        return;
    RegDeleteValueA(key.get(), kSaverValue);
}

bool isSaverActive()
{
    BOOL active = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    return active != FALSE;
}

void setSaverActive(bool active)
{
    // The system announces the change itself; the profile is not written.
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, active ? 1 : 0, nullptr, SPIF_SENDWININICHANGE);
}

UINT getSaverTimeout()
{
    UINT seconds = 0;
    SystemParametersInfoA(SPI_GETSCREENSAVETIMEOUT, 0, &seconds, 0);
    return seconds;
}

void setSaverTimeout(UINT seconds)
{
    // Made persistent, but no settings change is announced.
    SystemParametersInfoA(SPI_SETSCREENSAVETIMEOUT, seconds, nullptr, SPIF_UPDATEINIFILE);
}

LONG leadingInteger(const char* text)
{
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    // Accumulated unsigned so that overlong digit runs wrap instead of
    // overflowing; only the low 32 bits matter to the callers' tests.
    DWORD value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + static_cast<DWORD>(*p - '0');
        ++p;
    }
    if (negative)
        value = 0u - value;
    return static_cast<LONG>(value);
}

PasswordValues readPasswordValues(SaverFamily family)
{
    PasswordValues values;
    values.usePassword = 1;
    values.passwordData = 1;
    values.isSecure = 0;
    UniqueRegKey key(openDesktopKey(kDesktopKey));
    if (family == FAMILY_95) {
        values.usePassword = readSmallNumber(key.get(), kUsePasswordValue, 1);
        values.passwordData = readSmallNumber(key.get(), kPasswordDataValue, 1);
        return values;
    }
    if (!key)
        return values;
    // Ten bytes are offered as ever, but into a larger zeroed buffer, so the
    // text is terminated even when the value fills all ten.
    char text[11];
    memset(text, 0, sizeof text);
    DWORD size = 10;
    if (RegQueryValueExA(key.get(), kIsSecureValue, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS)
        return values;
    text[10] = '\0';
    values.isSecure = leadingInteger(text);
    return values;
}

void writePasswordEnabled(SaverFamily family, bool enabled)
{
    UniqueRegKey key(openDesktopKey(kDesktopKey));
    if (!key)
        return;
    if (family == FAMILY_95) {
        DWORD value = enabled ? 1 : 0;
        RegSetValueExA(key.get(), kUsePasswordValue, 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&value), sizeof value);
        return;
    }
    const char* text = enabled ? "1" : "0";
    RegSetValueExA(key.get(), kIsSecureValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 2);
}

void broadcastSettingsChange()
{
    // The timeout form skips hung windows instead of waiting for them
    // forever; every responsive window, ours included, has handled the
    // message when this returns.
    DWORD_PTR result = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, 0, SMTO_ABORTIFHUNG,
                        SETTINGS_BROADCAST_TIMEOUT_MS, &result);
}

bool hasWin4Header(const unsigned char* bytes, size_t length)
{
    return length >= 6 && bytes[2] == 0x90 && bytes[3] == 0x00 && bytes[4] == 0x03
        && bytes[5] == 0x00;
}

bool isWin4Saver(SaverFamily family)
{
    char path[SAVER_PATH_SIZE] = NO_SAVER_TEXT;
    if (family == FAMILY_95)
        readCurrentSaver(family, path);
    return isWin4Saver(family, path);
}

bool isWin4Saver(SaverFamily family, const char* path)
{
    if (family == FAMILY_NT)
        return true;
    if (textEquals(path, NO_SAVER_TEXT))
        return false;
    UniqueFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                nullptr));
    if (!file)
        return false;
    UniqueKernelObject mapping(
        CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping)
        return false;
    // A file shorter than the view cannot be mapped that far; the size
    // check keeps the bytes read inside the file on every system.
    DWORD high = 0;
    DWORD low = GetFileSize(file.get(), &high);
    if (high == 0 && low < 6)
        return false;
    UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 6));
    if (!view)
        return false;
    return hasWin4Header(static_cast<const unsigned char*>(view.get()), 6);
}
