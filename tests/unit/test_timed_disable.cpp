// The arithmetic of a timed disable: a stored value's outcome, the choice shown; the tooltips.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "commands/timed_disable.h"
#include "res/resource.h"
#include "tray/icon_state.h"

TEST(TimedDisable, EveryStoredOrRememberedTimeWaitsAtMostADayAndAMinuteOrEnables)
{
    const ULONGLONG now = 0x01DB123456789ABCULL, ms = FILETIME_TICKS_PER_MS, limit = 1441 * 60000;
    const struct { bool present, active; DWORD type, size; ULONGLONG time, wait; TimedStep step; }
        rows[] = {{false, false, REG_BINARY, 8, now + ms, 0, TIMED_FORGET},
                  {true, true, REG_BINARY, 8, now + ms, 0, TIMED_FORGET},  // enabled meanwhile
                  {true, false, REG_BINARY, 8, now + 1, 1, TIMED_WAIT},    // never early
                  {true, false, REG_BINARY, 8, now + limit * ms, limit, TIMED_WAIT},
                  {true, false, REG_BINARY, 8, now + limit * ms + 1, 0, TIMED_ENABLE},
                  {true, false, REG_BINARY, 8, ~0ULL, 0, TIMED_ENABLE},
                  {true, false, REG_BINARY, 8, now, 0, TIMED_ENABLE},
                  {true, false, REG_QWORD, 8, now + ms, 0, TIMED_ENABLE},
                  {true, false, REG_BINARY, 4, now + ms, 0, TIMED_ENABLE},
                  {true, false, REG_BINARY, 9, now + ms, 0, TIMED_ENABLE}};
    // Remembered 5 ms ahead: it stands in where no sound value is stored; a sound one wins.
    const struct { TimedStep step; ULONGLONG wait; } withRemembered[] = {
        {TIMED_WAIT, 5}, {TIMED_FORGET, 0}, {TIMED_WAIT, 1}, {TIMED_WAIT, limit}, {TIMED_WAIT, 5},
        {TIMED_WAIT, 5}, {TIMED_ENABLE, 0}, {TIMED_WAIT, 5}, {TIMED_WAIT, 5}, {TIMED_WAIT, 5}};
    for (ULONGLONG remembered : {0ULL, now + 5 * ms}) {
        for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
            const auto& r = rows[i];
            TimedCheck check = timedDisableStep({r.present, r.type, r.size, r.time}, remembered,
                                                r.active, now, {});
            SCOPED_TRACE(testing::Message() << "row " << i << (remembered ? ", remembered" : ""));
            EXPECT_EQ(check.step, remembered ? withRemembered[i].step : r.step);
            EXPECT_EQ(check.waitMs, remembered ? withRemembered[i].wait : r.wait);
            EXPECT_EQ(timeLeftMs(check.endsAt, now), check.waitMs) << "not the time waited for";
        }
    }
    // The choice shown is the shortest that covers the time left; none beyond the longest.
    const ULONGLONG shown[][2] = {{15 * 60000, IDM_DISABLE_15}, {15 * 60000 + 1, IDM_DISABLE_30},
                                  {240 * 60000, IDM_DISABLE_240}, {240 * 60000 + 1, 0}};
    for (const auto& s : shown)
        EXPECT_EQ(choiceForTimeLeft(s[0]), s[1]) << s[0] << " ms";
}

// Each tooltip names its screen saver or program and cuts that first, within the shell's 63
// characters: "Dormity - [" and "]" leave 51 of them, with " - on at 10:15 PM" 34, "Dormity -
// off while " and " runs" 38; a time too long to fit is cut itself.
TEST(TrayTip, NamesItsSubjectAndCutsItFirstAt63Characters)
{
    enum { PLAIN, TIMED, OFF_WHILE };
    const std::wstring d(259, L'd'), at = L"10:15 PM", t(70, L't');
    const struct { int kind; std::wstring name, onAt, tip; } rows[] = {
        {PLAIN, L"none", L"", L"Dormity - [none]"},
        {PLAIN, d.substr(0, 51), L"", L"Dormity - [" + d.substr(0, 51) + L"]"},
        {PLAIN, d.substr(0, 52), L"", L"Dormity - [" + d.substr(0, 52)},
        {PLAIN, d, L"", L"Dormity - [" + d.substr(0, 52)},
        {TIMED, L"Starfield", at, L"Dormity - [Starfield] - on at 10:15 PM"},
        {TIMED, d.substr(0, 37), at, L"Dormity - [" + d.substr(0, 34) + L"] - on at 10:15 PM"},
        {TIMED, L"none", t, (L"Dormity - [] - on at " + t).substr(0, 63)},
        {OFF_WHILE, L"vlc.exe", L"", L"Dormity - off while vlc.exe runs"},
        {OFF_WHILE, d.substr(0, 41), L"", L"Dormity - off while " + d.substr(0, 38) + L" runs"}};
    for (const auto& row : rows) {
        WCHAR tip[64];
        wmemset(tip, L'x', 64);
        if (row.kind == PLAIN)
            formatTrayTip(row.name.c_str(), tip, 64);
        else if (row.kind == TIMED)
            formatTimedTrayTip(row.name.c_str(), row.onAt.c_str(), tip, 64);
        else
            formatOffWhileTrayTip(L"Dormity - off while %s runs", row.name.c_str(), tip, 64);
        EXPECT_EQ(std::wstring(tip), row.tip) << row.kind << ", " << row.name.size() << " characters";
    }
}

// US Eastern time: summer time from the second Sunday of March to the first of November, 2:00.
TEST(TimedDisable, LocalTimesFollowTheRuleInForceThenAcrossADaylightSavingChange)
{
    const TIME_ZONE_INFORMATION eastern = {300, {}, {0, 11, 0, 1, 2, 0, 0, 0}, 0,
                                           {}, {0, 3, 0, 2, 2, 0, 0, 0}, -60};
    auto utc = [](WORD month, WORD day, WORD hour, WORD minute, WORD second) {
        SYSTEMTIME parts = {2024, month, 0, day, hour, minute, second, 0};
        FILETIME time;
        EXPECT_TRUE(SystemTimeToFileTime(&parts, &time));
        return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    // The tooltip: chosen at a UTC time, minutes ahead.
    const struct { WORD month, day, hour, minute, ahead; const char* shown; } tips[] = {
        {3, 10, 6, 0, 240, "06:00"},  // "4 Hours" at 1:00, an hour before the clocks go forward
        {3, 10, 6, 0, 30, "01:30"}, {11, 3, 4, 30, 240, "03:30"}, {7, 1, 12, 0, 15, "08:15"}};
    for (const auto& t : tips) {
        char shown[64];
        ULONGLONG at = utc(t.month, t.day, t.hour, t.minute, 0) + t.ahead * FILETIME_TICKS_PER_MINUTE;
        formatTimeInZone(at, &eastern, "HH:mm", shown, sizeof shown);
        EXPECT_STREQ(shown, t.shown) << t.month << "/" << t.day << " " << t.hour << ":" << t.minute;
    }
    // "/disable-until": the next time the local clock shows it, at most a day ahead.
    const struct { WORD month, day, hour, minute, second; DWORD clock, seconds; } untils[] = {
        {3, 10, 4, 0, 0, 480, 8 * 3600}, {11, 3, 3, 0, 0, 480, 10 * 3600},  // 23:00 to 08:00
        {7, 1, 12, 0, 30, 481, 30}, {7, 1, 12, 0, 0, 480, 24 * 3600}, {7, 1, 13, 0, 0, 480, 23 * 3600},
        {3, 10, 6, 30, 0, 150, 3600},      // 2:30 never comes: 3:30 instead
        {11, 3, 5, 30, 0, 89, 24 * 3600}};  // 1:29 after the repeated hour: a day at most
    for (const auto& u : untils) {
        ULONGLONG now = utc(u.month, u.day, u.hour, u.minute, u.second), at = 0;
        EXPECT_TRUE(nextClockTime(now, &eastern, u.clock, &at));
        EXPECT_EQ(timeLeftMs(at, now), u.seconds * 1000ULL)
            << u.month << "/" << u.day << " " << u.hour << ":" << u.minute << " until " << u.clock;
    }
    // A zone whose rule the system refuses (a sixth week): no local time, so no guess either.
    TIME_ZONE_INFORMATION refused = eastern;
    refused.StandardDate.wDay = 9;
    ULONGLONG at = 1;
    EXPECT_TRUE(!nextClockTime(utc(7, 1, 12, 0, 0), &refused, 480, &at) && at == 1) << at;
}
