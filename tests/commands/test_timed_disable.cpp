// Disabling for a while, with the real registry value, the real clock and
// the sounds really played; on each family.
#include "support/program.h"
#include "commands/blink_preference.h"
#include "commands/timed_disable.h"
#include "res/resource.h"

namespace {

typedef std::vector<std::string> Names;

ULONGLONG now()
{
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

const ULONGLONG kSecond = 10000000;

class FamilyTimedDisable : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        assignEventSound("Enable", SoundRecorder::tone("Enable").c_str());
        assignEventSound("Disable", SoundRecorder::tone("Disable").c_str());
    }
    void store(DWORD type, const void* data, DWORD size)
    {
        setRegValue(HKEY_CURRENT_USER, BLINK_KEY, ENABLE_AT_VALUE, type, data, size);
    }
    void storeSecondsAhead(long long seconds)
    {
        ULONGLONG time = now() + seconds * static_cast<long long>(kSecond);
        store(REG_BINARY, &time, sizeof time);
    }
    // Seconds from now to the stored time; false when there is no value.
    bool storedSecondsAhead(double* seconds = nullptr)
    {
        std::string data;
        if (!readRegValue(HKEY_CURRENT_USER, BLINK_KEY, ENABLE_AT_VALUE, &data))
            return false;
        ULONGLONG time = 0;
        memcpy(&time, data.data(), data.size() == 8 ? 8 : 0);
        if (seconds)
            *seconds = (static_cast<double>(time) - static_cast<double>(now())) / kSecond;
        return true;
    }
    bool enableTimerArmed() { return timerRuns(tray().window, IDT_ENABLE, 60000); }
    bool tipShowsTime() { return strstr(tray().trayIcon.szTip, " - on at ") != nullptr; }
};

}  // namespace

TEST_F(FamilyTimedDisable, AChosenTimeIsStoredAndTheClockEndsIt)
{
    SoundRecorder sounds;
    start(true);
    ASSERT_TRUE(sounds.settle().empty());
    command(IDM_DISABLE_15);
    EXPECT_EQ(sounds.settle(), Names{"Disable"});
    EXPECT_FALSE(isSaverActive());
    EXPECT_FALSE(recordActive());
    EXPECT_TRUE(blinking());
    double ahead = 0;
    ASSERT_TRUE(storedSecondsAhead(&ahead));
    EXPECT_NEAR(ahead, 15 * 60, 5);
    EXPECT_TRUE(tipShowsTime()) << tray().trayIcon.szTip;
    EXPECT_TRUE(enableTimerArmed());

    // The stored time is the truth: moved to 2 s ahead, the clock change re-arms the timer.
    storeSecondsAhead(2);
    PostMessageA(tray().window, WM_TIMECHANGE, 0, 0);
    EXPECT_FALSE(pumpUntil([] { return isSaverActive(); }, 1000)) << "enabled before its time";
    EXPECT_TRUE(pumpUntil([] { return isSaverActive(); }, 2000)) << "not enabled within 3 s";
    EXPECT_EQ(sounds.settle(), Names{"Enable"});
    EXPECT_TRUE(recordActive());
    EXPECT_FALSE(storedSecondsAhead());
    EXPECT_FALSE(tipShowsTime()) << tray().trayIcon.szTip;
    EXPECT_FALSE(enableTimerArmed()) << "a timer left while nothing is pending";
    EXPECT_FALSE(blinking());
}

// Whatever an earlier run left: only a time at most 4 h 1 min ahead keeps it off.
TEST_F(FamilyTimedDisable, TheNextStartHonoursAStoredTimeAndEnablesForAnyOther)
{
    const ULONGLONG passed = now() - 60 * kSecond;
    const DWORD word = 1;
    const struct { const char* what; DWORD type; long long seconds; DWORD size; bool waits; } rows[]
        = {{"a passed time", REG_BINARY, -60, 8, false},
           {"5 hours ahead", REG_BINARY, 5 * 3600, 8, false},
           {"7 bytes", REG_BINARY, 0, 7, false},
           {"a DWORD", REG_DWORD, 0, 4, false},
           {"1 hour ahead", REG_BINARY, 3600, 8, true}};
    SoundRecorder sounds;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        stop();
        if (row.size == 8)
            storeSecondsAhead(row.seconds);
        else
            store(row.type, row.type == REG_DWORD ? static_cast<const void*>(&word) : &passed,
                  row.size);
        sounds.settle();
        start(false);
        EXPECT_EQ(isSaverActive(), !row.waits);
        EXPECT_EQ(storedSecondsAhead(), row.waits);
        EXPECT_EQ(enableTimerArmed(), row.waits);
        EXPECT_EQ(sounds.settle(), row.waits ? Names{} : Names{"Enable"});
    }
    EXPECT_EQ(tray().timedChoice, static_cast<UINT>(IDM_DISABLE_60));
    // Ended without Exit, as by a logoff or a crash: the time stays for the next start.
    stop();
    EXPECT_TRUE(storedSecondsAhead());
}

TEST_F(FamilyTimedDisable, AnotherProgramEnablingAndExitEndIt)
{
    start(true);
    command(IDM_DISABLE_30);
    ASSERT_TRUE(storedSecondsAhead());
    ASSERT_TRUE(announceFromAnotherProgram(true));
    EXPECT_TRUE(recordActive());
    EXPECT_FALSE(storedSecondsAhead()) << "another program's enabling left the time";
    EXPECT_FALSE(enableTimerArmed());

    command(IDM_DISABLE_240);
    ASSERT_FALSE(isSaverActive());
    command(IDM_EXIT);
    EXPECT_TRUE(app().flags & APP_QUIT);
    EXPECT_TRUE(isSaverActive()) << "Exit left the screen saver off";
    EXPECT_FALSE(storedSecondsAhead());
    MSG quit;
    PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}
