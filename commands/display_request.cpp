#include "display_request.h"

#include "../base/handles.h"
#include "blink_preference.h"

// The headers name these for Windows 98 and 2000 on.
#ifndef ES_CONTINUOUS
#define ES_SYSTEM_REQUIRED 0x00000001
#define ES_DISPLAY_REQUIRED 0x00000002
#define ES_CONTINUOUS 0x80000000
#endif

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
