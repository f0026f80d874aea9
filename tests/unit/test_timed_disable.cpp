// The arithmetic of a timed disable: a stored value's outcome, the choice shown, the tooltip.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "commands/timed_disable.h"
#include "res/resource.h"
#include "tray/icon_state.h"

TEST(TimedDisable, EveryStoredValueWaitsAtMostFourHoursAndAMinuteOrEnables)
{
    const ULONGLONG now = 0x01DB123456789ABCULL, ms = FILETIME_TICKS_PER_MS, limit = 241 * 60000;
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
    for (const auto& r : rows) {
        DWORD wait = 7;
        EXPECT_EQ(timedDisableStep({r.present, r.type, r.size, r.time}, r.active, now, &wait), r.step)
            << "type " << r.type << ", " << r.size << " bytes, " << r.time - now << " ticks";
        EXPECT_EQ(wait, r.wait) << r.time - now << " ticks";
    }
    // After a restart the choice shown is the shortest that covers the time left.
    const ULONGLONG shown[][2] = {{15 * 60000, IDM_DISABLE_15}, {15 * 60000 + 1, IDM_DISABLE_30},
                                  {241 * 60000, IDM_DISABLE_240}};
    for (const auto& s : shown)
        EXPECT_EQ(choiceForTimeLeft(s[0]), s[1]) << s[0] << " ms";
}

TEST(TimedDisable, TooltipKeepsTheTimeAndCutsTheDescriptionFirst)
{
    // "Dormity - [" and "] - on at 10:15 PM" leave 34 of the 63 characters.
    const std::string d34(34, 'd'), t(70, 't');
    const struct { std::string description, onAt, tip; } rows[] = {
        {"Starfield", "10:15 PM", "Dormity - [Starfield] - on at 10:15 PM"},
        {d34 + "cut", "10:15 PM", "Dormity - [" + d34 + "] - on at 10:15 PM"},
        {"none", t, ("Dormity - [] - on at " + t).substr(0, 63)}};
    for (const auto& row : rows) {
        char tip[64];
        memset(tip, 'x', sizeof tip);
        formatTimedTrayTip(row.description.c_str(), row.onAt.c_str(), tip, sizeof tip);
        EXPECT_EQ(std::string(tip), row.tip);
    }
}
