#include "policy.h"

#include <string.h>

#include "../base/handles.h"
#include "preference_policy.h"
#include "saver_settings.h"

namespace {

// A value too long for the buffer is there, and holds the number of an
// empty text.
PolicyValue readPolicyValue(HKEY key, const char* name)
{
    PolicyValue value = {false, 0};
    BYTE data[SAVER_PATH_SIZE];
    DWORD type = REG_NONE;
    DWORD size = sizeof data;
    LONG result = key ? RegQueryValueExA(key, name, nullptr, &type, data, &size)
                      : ERROR_FILE_NOT_FOUND;
    if (result == ERROR_MORE_DATA)
        value.set = true;
    else if (result == ERROR_SUCCESS)
        value = {true, policyNumber(type, data, size)};
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

LONG policyNumber(DWORD type, const BYTE* data, DWORD size)
{
    bool isText = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (!isText && size == sizeof(DWORD)) {
        DWORD number = 0;
        memcpy(&number, data, sizeof number);
        return static_cast<LONG>(number);
    }
    char text[SAVER_PATH_SIZE];
    DWORD length = size < sizeof text ? size : sizeof text - 1;
    memcpy(text, data, length);
    text[length] = '\0';
    return leadingInteger(text);
}

PolicyState readPolicyState()
{
    PolicyState state;
    UniqueRegKey desktop(openPolicyKey(POLICY_DESKTOP_KEY));
    state.saverActive = readPolicyValue(desktop.get(), "ScreenSaveActive");
    state.isSecure = readPolicyValue(desktop.get(), "ScreenSaverIsSecure");
    state.timeout = readPolicyValue(desktop.get(), "ScreenSaveTimeOut");
    state.saverFile = readPolicyValue(desktop.get(), "SCRNSAVE.EXE");
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
    if ((state.noSaverPage.set && state.noSaverPage.number != 0)
        || (state.noDisplayPanel.set && state.noDisplayPanel.number != 0))
        flags |= POLICY_NO_PROPERTIES;
    if (state.preferenceHeld)
        flags |= POLICY_PREFERENCE;
    return flags;
}
