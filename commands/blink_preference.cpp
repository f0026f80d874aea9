#include "blink_preference.h"

#include "../base/handles.h"

bool blinkFromStoredValue(bool readSucceeded, DWORD size, DWORD value)
{
    return !(readSucceeded && size == sizeof(DWORD) && value == 0);
}

bool readBlinkPreference()
{
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
        return true;
    DWORD value = 1;
    DWORD size = sizeof value;
    bool ok = RegQueryValueExA(key.get(), BLINK_VALUE, nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS;
    return blinkFromStoredValue(ok, size, value);
}

void writeBlinkPreference(bool blink)
{
    UniqueRegKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return;
    DWORD value = blink ? 1 : 0;
    RegSetValueExA(key.get(), BLINK_VALUE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof value);
}
