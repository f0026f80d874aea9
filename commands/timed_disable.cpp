#include "timed_disable.h"

#include <string.h>

#include "../base/handles.h"
#include "../base/text.h"
#include "../res/resource.h"
#include "blink_preference.h"

namespace {

// The choices in menu order: command and minutes.
const struct {
    UINT command;
    DWORD minutes;
} kChoices[] = {
    {IDM_DISABLE_15, 15}, {IDM_DISABLE_30, 30}, {IDM_DISABLE_60, 60},
    {IDM_DISABLE_120, 120}, {IDM_DISABLE_240, 240},
};
const size_t kChoiceCount = sizeof kChoices / sizeof kChoices[0];

ULONGLONG fromFileTime(const FILETIME& time)
{
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME toFileTime(ULONGLONG time)
{
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(time);
    result.dwHighDateTime = static_cast<DWORD>(time >> 32);
    return result;
}

} // namespace

ULONGLONG timeLeftMs(ULONGLONG time, ULONGLONG now)
{
    if (time <= now)
        return 0;
    return (time - now + FILETIME_TICKS_PER_MS - 1) / FILETIME_TICKS_PER_MS;
}

TimedStep timedDisableStep(const StoredEnableAt& stored, bool saverActive, ULONGLONG now,
                           DWORD* waitMs)
{
    *waitMs = 0;
    if (!stored.present || saverActive)
        return TIMED_FORGET;
    if (stored.type != REG_BINARY || stored.size != sizeof(ULONGLONG))
        return TIMED_ENABLE;
    ULONGLONG left = timeLeftMs(stored.time, now);
    if (left == 0 || left > ENABLE_AT_LIMIT_MS)
        return TIMED_ENABLE;
    *waitMs = static_cast<DWORD>(left);
    return TIMED_WAIT;
}

DWORD disableMinutes(UINT commandId)
{
    for (size_t i = 0; i < kChoiceCount; ++i)
        if (kChoices[i].command == commandId)
            return kChoices[i].minutes;
    return 0;
}

UINT choiceForTimeLeft(ULONGLONG msLeft)
{
    for (size_t i = 0; i < kChoiceCount; ++i)
        if (msLeft <= kChoices[i].minutes * 60000ULL)
            return kChoices[i].command;
    return IDM_DISABLE_240;
}

ULONGLONG currentFileTime()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return fromFileTime(now);
}

StoredEnableAt readEnableAt()
{
    StoredEnableAt stored = {false, REG_NONE, 0, 0};
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
        return stored;
    // Room for more than the 8 bytes, so that a longer value is told apart.
    BYTE data[16];
    DWORD size = sizeof data;
    LONG result = RegQueryValueExA(key.get(), ENABLE_AT_VALUE, nullptr, &stored.type, data, &size);
    if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA)
        return stored;
    stored.present = true;
    stored.size = result == ERROR_MORE_DATA ? sizeof data + 1 : size;
    if (stored.size == sizeof(ULONGLONG)) {
        FILETIME time;
        memcpy(&time, data, sizeof time);
        stored.time = fromFileTime(time);
    }
    return stored;
}

void writeEnableAt(ULONGLONG time)
{
    UniqueRegKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return;
    FILETIME stored = toFileTime(time);
    RegSetValueExA(key.get(), ENABLE_AT_VALUE, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&stored),
                   sizeof stored);
}

void deleteEnableAt()
{
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, KEY_ALL_ACCESS, key.put()) == ERROR_SUCCESS)
        RegDeleteValueA(key.get(), ENABLE_AT_VALUE);
}

void formatLocalTime(ULONGLONG time, char* out, size_t size)
{
    copyText(out, size, "");
    FILETIME utc = toFileTime(time);
    FILETIME local;
    SYSTEMTIME parts;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &parts))
        return;
    if (!GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &parts, nullptr, out,
                        static_cast<int>(size)))
        copyText(out, size, "");
}
