// Disabling for a while: the real registry value, clock and sounds, on each family.
#include "support/program.h"
#include "commands/blink_preference.h"
#include "commands/timed_disable.h"
#include "res/resource.h"

namespace {

typedef std::vector<std::string> Names;
const long long kSecond = 10000000;

class FamilyTimedDisable : public CommandTest {
protected:
    void store(long long secondsAhead, DWORD type = REG_BINARY, DWORD size = 8)
    {
        ULONGLONG time = currentFileTime() + secondsAhead * kSecond;
        setRegValue(HKEY_CURRENT_USER, BLINK_KEY, ENABLE_AT_VALUE, type, &time, size);
    }
    // Seconds from now to the stored time; false without a value.
    bool stored(double* secondsAhead = nullptr)
    {
        std::string data;
        ULONGLONG time = 0;
        bool found = readRegValue(HKEY_CURRENT_USER, BLINK_KEY, ENABLE_AT_VALUE, &data);
        memcpy(&time, data.data(), data.size() == 8 ? 8 : 0);
        if (secondsAhead)
            *secondsAhead = (static_cast<double>(time) - currentFileTime()) / kSecond;
        return found;
    }
    bool timerArmed() { return timerRuns(tray().window, IDT_ENABLE, 60000); }
    bool tipShowsTime() { return strstr(tray().trayIcon.szTip, " - on at ") != nullptr; }
    SoundRecorder& sounds()
    {
        assignEventSound("Enable", SoundRecorder::tone("Enable").c_str());
        assignEventSound("Disable", SoundRecorder::tone("Disable").c_str());
        return sounds_;
    }
    SoundRecorder sounds_;
};

}  // namespace

TEST_F(FamilyTimedDisable, AChosenTimeIsStoredAndTheClockEndsIt)
{
    SoundRecorder& heard = sounds();
    start(true);
    command(IDM_DISABLE_15);
    EXPECT_EQ(heard.settle(), Names{"Disable"});
    EXPECT_FALSE(isSaverActive() || recordActive());
    EXPECT_TRUE(blinking() && timerArmed() && tipShowsTime()) << tray().trayIcon.szTip;
    double ahead = 0;
    ASSERT_TRUE(stored(&ahead));
    EXPECT_NEAR(ahead, 15 * 60, 5);

    // The stored time is the truth: moved to 2 s ahead, the clock change re-arms the timer.
    store(2);
    PostMessageA(tray().window, WM_TIMECHANGE, 0, 0);
    EXPECT_FALSE(pumpUntil([] { return isSaverActive(); }, 1000)) << "enabled before its time";
    EXPECT_TRUE(pumpUntil([] { return isSaverActive(); }, 2000)) << "not enabled within 3 s";
    EXPECT_EQ(heard.settle(), Names{"Enable"});
    EXPECT_TRUE(recordActive());
    EXPECT_FALSE(stored() || tipShowsTime() || blinking());
    EXPECT_FALSE(timerArmed()) << "a timer while nothing is pending";
}

// Whatever an earlier run left: only a time at most 4 h 1 min ahead keeps it off.
TEST_F(FamilyTimedDisable, TheNextStartHonoursAStoredTimeAndEnablesForAnyOther)
{
    const struct { long long seconds; DWORD type, size; bool waits; } rows[] = {
        {-60, REG_BINARY, 8, false}, {5 * 3600, REG_BINARY, 8, false},
        {60, REG_BINARY, 7, false},  {60, REG_DWORD, 4, false}, {3600, REG_BINARY, 8, true}};
    SoundRecorder& heard = sounds();
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.seconds << " s, " << row.size << " bytes");
        stop();
        store(row.seconds, row.type, row.size);
        start(false);
        EXPECT_EQ(isSaverActive(), !row.waits);
        EXPECT_EQ(stored(), row.waits);
        EXPECT_EQ(timerArmed(), row.waits);
        EXPECT_EQ(heard.settle(), row.waits ? Names{} : Names{"Enable"});
    }
    EXPECT_EQ(tray().timedChoice, static_cast<UINT>(IDM_DISABLE_60));
    stop();  // as at a logoff or a crash: the time stays for the next start
    EXPECT_TRUE(stored());
}

TEST_F(FamilyTimedDisable, AnotherProgramEnablingAndExitEndIt)
{
    start(true);
    command(IDM_DISABLE_30);
    ASSERT_TRUE(stored());
    ASSERT_TRUE(announceFromAnotherProgram(true));
    EXPECT_TRUE(recordActive());
    EXPECT_FALSE(stored()) << "another program's enabling left the time";
    EXPECT_FALSE(timerArmed());

    command(IDM_DISABLE_240);
    ASSERT_FALSE(isSaverActive());
    command(IDM_EXIT);
    EXPECT_TRUE(isSaverActive()) << "Exit left the screen saver off";
    EXPECT_FALSE(stored());
    MSG quit;
    PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}
