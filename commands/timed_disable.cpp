#include "timed_disable.h"

#include <string.h>

#include "../base/handles.h"
#include "../base/text.h"
#include "../res/resource.h"
#include "blink_preference.h"

namespace {

// Built for Windows 95 on: the headers leave out what Windows 7 added.
#ifndef LOCALE_SSHORTTIME
#define LOCALE_SSHORTTIME 0x00000079
#endif

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

TimedCheck timedDisableStep(const StoredEnableAt& stored, ULONGLONG remembered, bool saverActive,
                            ULONGLONG now, const StoredEnableAt& unreplaced)
{
    TimedCheck check = {TIMED_FORGET, 0, 0};
    // Enabled by anyone at all, or no time at all: nothing is pending.
    if (saverActive || (!stored.present && !remembered))
        return check;
    check.step = TIMED_ENABLE;
    bool older = remembered && unreplaced.present && stored.present
        && stored.type == unreplaced.type && stored.size == unreplaced.size
        && stored.time == unreplaced.time;
    bool sound = stored.present && !older && stored.type == REG_BINARY
        && stored.size == sizeof(ULONGLONG) && timeLeftMs(stored.time, now) <= ENABLE_AT_LIMIT_MS;
    if (!sound && !remembered)
        return check;
    ULONGLONG endsAt = sound ? stored.time : remembered;
    ULONGLONG left = timeLeftMs(endsAt, now);
    if (left == 0 || left > ENABLE_AT_LIMIT_MS)
        return check;
    check.step = TIMED_WAIT;
    check.waitMs = static_cast<DWORD>(left);
    check.endsAt = endsAt;
    return check;
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
    return 0;
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
    // Reading asks for no more: a key this user may not write is still read.
    if (RegOpenKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
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

bool writeEnableAt(ULONGLONG time)
{
    UniqueRegKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    FILETIME stored = toFileTime(time);
    return RegSetValueExA(key.get(), ENABLE_AT_VALUE, 0, REG_BINARY,
                          reinterpret_cast<const BYTE*>(&stored), sizeof stored)
        == ERROR_SUCCESS;
}

void deleteEnableAt()
{
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, KEY_ALL_ACCESS, key.put()) == ERROR_SUCCESS)
        RegDeleteValueA(key.get(), ENABLE_AT_VALUE);
}

bool localTimeOf(ULONGLONG time, const TIME_ZONE_INFORMATION* zone, ULONGLONG* local)
{
    // The 95 family lacks the conversion by a zone's rules; there the older
    // one, with today's daylight saving bias, is all there is.
    typedef BOOL(WINAPI * ToZone)(const TIME_ZONE_INFORMATION*, const SYSTEMTIME*, SYSTEMTIME*);
    ToZone toZone = findLoadedFunction<ToZone>("kernel32.dll", "SystemTimeToTzSpecificLocalTime");
    FILETIME utc = toFileTime(time);
    FILETIME result;
    if (toZone) {
        SYSTEMTIME universal, zoned;
        if (!FileTimeToSystemTime(&utc, &universal) || !toZone(zone, &universal, &zoned)
            || !SystemTimeToFileTime(&zoned, &result))
            return false;
    } else if (!FileTimeToLocalFileTime(&utc, &result)) {
        return false;
    }
    *local = fromFileTime(result);
    return true;
}

void formatTimeInZone(ULONGLONG time, const TIME_ZONE_INFORMATION* zone, const char* format,
                      char* out, size_t size)
{
    copyText(out, size, "");
    ULONGLONG local = 0;
    if (!localTimeOf(time, zone, &local))
        return;
    FILETIME localTime = toFileTime(local);
    SYSTEMTIME parts;
    if (!FileTimeToSystemTime(&localTime, &parts))
        return;
    int room = static_cast<int>(size);
    if (format && GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &parts, format, out, room))
        return;
    if (!GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &parts, nullptr, out, room))
        copyText(out, size, "");
}

void formatLocalTime(ULONGLONG time, char* out, size_t size)
{
    // The user's short time format is known from Windows 7 on; before, the
    // call fails and the time format without seconds stands in.
    char format[80];
    bool known = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTTIME, format, sizeof format) > 0;
    formatTimeInZone(time, nullptr, known ? format : nullptr, out, size);
}

bool nextClockTime(ULONGLONG now, const TIME_ZONE_INFORMATION* zone, DWORD clockMinutes,
                   ULONGLONG* at)
{
    const ULONGLONG day = 24 * 60 * FILETIME_TICKS_PER_MINUTE;
    ULONGLONG local = 0;
    if (!localTimeOf(now, zone, &local))
        return false;
    ULONGLONG target = local - local % day + clockMinutes * FILETIME_TICKS_PER_MINUTE;
    if (target <= local)
        target += day;
    ULONGLONG next = now + (target - local);
    // A change to or from daylight saving time on the way moves the clock:
    // the time is moved by the difference, unless the clock never shows the
    // target that day (the hour skipped in spring).
    ULONGLONG shown = target;
    if (!localTimeOf(next, zone, &shown))
        return false;
    if (shown != target) {
        ULONGLONG moved = next + (target - shown);
        if (localTimeOf(moved, zone, &shown) && shown == target && moved > now)
            next = moved;
    }
    // The hour repeated in autumn could take it past a day.
    *at = next - now > day ? now + day : next;
    return true;
}
