#include "policy.h"

#include <string.h>

#include "../base/handles.h"
#include "../base/text.h"
#include "native_system.h"
#include "preference_policy.h"
#include "saver_settings.h"

namespace {

// A value too long for the buffer is there, and holds the number of an
// empty text; text, when asked for, gets what it holds as text.
PolicyValue readPolicyValue(HKEY key, const char* name, char* text = nullptr)
{
    PolicyValue value = {false, 0};
    if (text)
        text[0] = '\0';
    BYTE data[SAVER_PATH_SIZE];
    DWORD type = REG_NONE;
    DWORD size = sizeof data;
    LONG result = key ? RegQueryValueExA(key, name, nullptr, &type, data, &size)
                      : ERROR_FILE_NOT_FOUND;
    if (result == ERROR_MORE_DATA)
        value.set = true;
    else if (result == ERROR_SUCCESS)
        value = {true, policyNumber(type, data, size)};
    if (text && result == ERROR_SUCCESS)
        policyText(type, data, size, text, SAVER_PATH_SIZE);
    return value;
}

// Users may only read their policy keys: asking for more would fail.
HKEY openPolicyKey(const char* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

} // namespace

bool policyText(DWORD type, const BYTE* data, DWORD size, char* out, size_t outSize)
{
    if (outSize == 0)
        return false;
    out[0] = '\0';
    bool isText = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (!isText && size == sizeof(DWORD))
        return false;
    size_t length = size < outSize ? size : outSize - 1;
    memcpy(out, data, length);
    out[length] = '\0';
    return true;
}

LONG policyNumber(DWORD type, const BYTE* data, DWORD size)
{
    char text[SAVER_PATH_SIZE];
    if (policyText(type, data, size, text, sizeof text))
        return leadingInteger(text);
    DWORD number = 0;
    memcpy(&number, data, sizeof number);
    return static_cast<LONG>(number);
}

PolicyState readPolicyState()
{
    PolicyState state;
    UniqueRegKey desktop(openPolicyKey(POLICY_DESKTOP_KEY));
    state.saverActive = readPolicyValue(desktop.get(), "ScreenSaveActive");
    state.isSecure = readPolicyValue(desktop.get(), "ScreenSaverIsSecure");
    state.timeout = readPolicyValue(desktop.get(), "ScreenSaveTimeOut");
    state.saverFile = readPolicyValue(desktop.get(), "SCRNSAVE.EXE", state.saverText);
    UniqueRegKey system(openPolicyKey(POLICY_SYSTEM_KEY));
    state.noSaverPage = readPolicyValue(system.get(), "NoDispScrSavPage");
    state.noDisplayPanel = readPolicyValue(system.get(), "NoDispCPL");
    state.preferenceHeld = preferencePolicyHolds();
    return state;
}

DWORD policyFlags(const PolicyState& state)
{
    DWORD flags = 0;
    if (state.saverActive.set)
        flags |= POLICY_ACTIVE;
    if (state.saverActive.set && state.saverActive.number == 0)
        flags |= POLICY_KEEPS_OFF;
    if (state.saverFile.set)
        flags |= POLICY_SAVER;
    if (state.isSecure.set)
        flags |= POLICY_PASSWORD;
    if (state.timeout.set)
        flags |= POLICY_TIMEOUT;
    if (state.noSaverPage.set && state.noSaverPage.number != 0)
        flags |= POLICY_NO_CHANGES;
    if (state.noDisplayPanel.set && state.noDisplayPanel.number != 0)
        flags |= POLICY_NO_PROPERTIES;
    if (state.preferenceHeld)
        flags |= POLICY_PREFERENCE;
    return flags;
}

bool policySaverPath(const char* text, const char* systemDirectory, char* out, size_t size)
{
    bool fits = true;
    if (!text[0])
        fits = copyText(out, size, NO_SAVER_TEXT);
    else if (textContains(text, '\\') || textContains(text, ':'))
        fits = copyText(out, size, text);
    else
        fits = formatText(out, size, "%s\\%s", systemDirectory, text);
    if (!fits)
        copyText(out, size, NO_SAVER_TEXT);
    return fits;
}

void saverInForce(SaverFamily family, const PolicyState& policy, char* out)
{
    if (!policy.saverFile.set) {
        readCurrentSaver(family, out);
        return;
    }
    char systemDirectory[SAVER_PATH_SIZE];
    UINT length = GetSystemDirectoryA(systemDirectory, sizeof systemDirectory);
    if (length == 0 || length >= sizeof systemDirectory)
        systemDirectory[0] = '\0';
    char path[SAVER_PATH_SIZE];
    policySaverPath(policy.saverText, systemDirectory, path, sizeof path);
    // Written by hand, in any form; the catalogue names its files by their
    // short names, as the system's own page stores a choice.
    DWORD shortLength = textEquals(path, NO_SAVER_TEXT)
        ? 0 : nativeShortPathName(path, out, SAVER_PATH_SIZE);
    if (shortLength == 0 || shortLength >= SAVER_PATH_SIZE)
        copyText(out, SAVER_PATH_SIZE, path);
}

PasswordValues passwordsInForce(PasswordValues values, const PolicyState& policy)
{
    if (policy.isSecure.set)
        values.isSecure = policy.isSecure.number;
    return values;
}
