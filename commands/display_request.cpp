#include "display_request.h"

#include "../base/handles.h"
#include "blink_preference.h"

// The headers name these for Windows 98 and 2000 on.
#ifndef ES_CONTINUOUS
#define ES_SYSTEM_REQUIRED 0x00000001
#define ES_DISPLAY_REQUIRED 0x00000002
#define ES_CONTINUOUS 0x80000000
#endif

bool keepDisplayOnFromStoredValue(bool readSucceeded, DWORD size, DWORD value)
{
    return readSucceeded && size == sizeof(DWORD) && value != 0;
}

bool keepDisplayOnInForce(const DwordPolicy& policy, bool userKeepsOn)
{
    return policy.set ? policy.value != 0 : userKeepsOn;
}

bool readStoredKeepDisplayOn()
{
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD value = 0;
    DWORD size = sizeof value;
    bool ok = RegQueryValueExA(key.get(), KEEP_DISPLAY_ON_VALUE, nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS;
    return keepDisplayOnFromStoredValue(ok, size, value);
}

void writeKeepDisplayOn(bool on)
{
    UniqueRegKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return;
    DWORD value = on ? 1 : 0;
    RegSetValueExA(key.get(), KEEP_DISPLAY_ON_VALUE, 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&value), sizeof value);
}

bool displayOffTimeByPolicy()
{
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, DISPLAY_OFF_POLICY_KEY, 0, KEY_QUERY_VALUE, key.put())
        != ERROR_SUCCESS)
        return false;
    // Any value of either name: the organisation set it.
    static const char* const names[] = {"ACSettingIndex", "DCSettingIndex"};
    for (const char* name : names) {
        LONG result = RegQueryValueExA(key.get(), name, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA)
            return true;
    }
    return false;
}

ExecutionStateFunction executionStateFunction()
{
    return findLoadedFunction<ExecutionStateFunction>("kernel32.dll", "SetThreadExecutionState");
}

void requestDisplayOn(ExecutionStateFunction setState, bool on)
{
    if (setState)
        setState(on ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED : ES_CONTINUOUS);
}
