// The arithmetic of a timed disable: what a stored value leads to, the time
// left, the choice shown as running and the tooltip.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>

#include <string>

#include "commands/timed_disable.h"
#include "res/resource.h"
#include "tray/icon_state.h"

namespace {

const ULONGLONG kNow = 0x01DB123456789ABCULL;
const ULONGLONG kMs = FILETIME_TICKS_PER_MS;

}  // namespace

TEST(TimedDisable, EveryStoredValueEitherWaitsAtMostFourHoursAndAMinuteOrEnables)
{
    const ULONGLONG limit = (4 * 60 + 1) * 60000ULL;
    const struct { bool present, active; DWORD type, size; ULONGLONG time; TimedStep step;
                   DWORD wait; } rows[] = {
        {false, false, REG_BINARY, 8, kNow + 60000 * kMs, TIMED_FORGET, 0},
        {true, true, REG_BINARY, 8, kNow + 60000 * kMs, TIMED_FORGET, 0},  // enabled meanwhile
        {true, false, REG_BINARY, 8, kNow + 15 * 60000 * kMs, TIMED_WAIT, 15 * 60000},
        {true, false, REG_BINARY, 8, kNow + 1, TIMED_WAIT, 1},  // rounded up, never early
        {true, false, REG_BINARY, 8, kNow + limit * kMs, TIMED_WAIT, static_cast<DWORD>(limit)},
        {true, false, REG_BINARY, 8, kNow + limit * kMs + 1, TIMED_ENABLE, 0},
        {true, false, REG_BINARY, 8, ~0ULL, TIMED_ENABLE, 0},
        {true, false, REG_BINARY, 8, kNow, TIMED_ENABLE, 0},
        {true, false, REG_BINARY, 8, kNow - 1, TIMED_ENABLE, 0},
        {true, false, REG_BINARY, 8, 0, TIMED_ENABLE, 0},
        {true, false, REG_QWORD, 8, kNow + 60000 * kMs, TIMED_ENABLE, 0},
        {true, false, REG_SZ, 8, kNow + 60000 * kMs, TIMED_ENABLE, 0},
        {true, false, REG_BINARY, 4, kNow + 60000 * kMs, TIMED_ENABLE, 0},
        {true, false, REG_BINARY, 9, kNow + 60000 * kMs, TIMED_ENABLE, 0},
        {true, false, REG_BINARY, 0, 0, TIMED_ENABLE, 0},
    };
    for (const auto& row : rows) {
        StoredEnableAt stored = {row.present, row.type, row.size, row.time};
        DWORD wait = 12345;
        EXPECT_EQ(timedDisableStep(stored, row.active, kNow, &wait), row.step)
            << "type " << row.type << ", size " << row.size << ", " << row.time - kNow << " ticks";
        EXPECT_EQ(wait, row.wait) << row.time - kNow << " ticks";
    }
    EXPECT_EQ(timeLeftMs(kNow + 10001, kNow), 2u);
    EXPECT_EQ(timeLeftMs(kNow + 10000, kNow), 1u);
    EXPECT_EQ(timeLeftMs(kNow - 10000, kNow), 0u);
}

TEST(TimedDisable, ChoicesTheirMinutesAndTheOneShownForATimeLeft)
{
    const struct { UINT command; DWORD minutes; ULONGLONG leftMs; } rows[] = {
        {IDM_DISABLE_15, 15, 1}, {IDM_DISABLE_15, 15, 15 * 60000},
        {IDM_DISABLE_30, 30, 15 * 60000 + 1}, {IDM_DISABLE_60, 60, 31 * 60000},
        {IDM_DISABLE_120, 120, 2 * 3600000}, {IDM_DISABLE_240, 240, 241 * 60000}};
    for (const auto& row : rows) {
        EXPECT_EQ(disableMinutes(row.command), row.minutes) << row.command;
        EXPECT_EQ(choiceForTimeLeft(row.leftMs), row.command) << row.leftMs;
    }
    EXPECT_EQ(disableMinutes(IDM_DISABLEMENU), 0u);
    EXPECT_EQ(disableMinutes(IDM_TOGGLE), 0u);
}

TEST(TimedDisable, TooltipKeepsTheTimeAndCutsTheDescriptionFirst)
{
    // "Dormity - [" and "] - on at 10:15 PM": 11 + 18, leaving 34 of 63 for the description.
    const struct { std::string description, onAt, tip; } rows[] = {
        {"Starfield", "10:15 PM", "Dormity - [Starfield] - on at 10:15 PM"},
        {std::string(34, 'd'), "10:15 PM", "Dormity - [" + std::string(34, 'd') + "] - on at 10:15 PM"},
        {std::string(35, 'd'), "10:15 PM", "Dormity - [" + std::string(34, 'd') + "] - on at 10:15 PM"},
        {std::string(259, 'h'), "22:15", "Dormity - [" + std::string(37, 'h') + "] - on at 22:15"},
        {"none", std::string(70, 't'), ("Dormity - [] - on at " + std::string(70, 't')).substr(0, 63)},
    };
    for (const auto& row : rows) {
        char tip[64];
        memset(tip, 'x', sizeof tip);
        formatTimedTrayTip(row.description.c_str(), row.onAt.c_str(), tip, sizeof tip);
        EXPECT_EQ(std::string(tip), row.tip) << row.description.size() << " characters";
        EXPECT_EQ(tip[63], '\0');
    }
}
