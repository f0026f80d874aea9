// Disabling for a while: the real registry value, clock and sounds, on each family.
#include "commands/blink_preference.h"
#include "support/program.h"
#include "res/resource.h"

#include <sddl.h>

namespace {

typedef std::vector<std::string> Names;

class FamilyTimedDisable : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        for (const char* event : {"Enable", "Disable"})
            assignEventSound(event, SoundRecorder::tone(event).c_str());
    }
    bool timerArmed() { return timerRuns(tray().window, IDT_ENABLE, 60000); }
    bool tipShowsTime() { return strstr(tray().trayIcon.szTip, " - on at ") != nullptr; }
    SoundRecorder heard_;
};
class TimedDisable : public FamilyTimedDisable {};

}  // namespace

// The chosen time cannot be stored (the key may be read, not written): the older time still
// stored must not end it.
TEST_F(TimedDisable, AfterAFailedWriteTheChosenTimeWinsOverAnOlderStoredOne)
{
    start(true);
    storeEnableAt(2);  // left by an earlier disable
    HKEY key = nullptr;
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    char saved[4096];
    DWORD size = sizeof saved;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, KEY_ALL_ACCESS, &key), 0);
    ASSERT_EQ(RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, saved, &size), 0);
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", 1,
                                                                     &readOnly, nullptr));
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly);
    command(IDM_DISABLE_240);
    double ahead = 0;
    EXPECT_TRUE(storedEnableAt(&ahead) && ahead < 3) << "the write did not fail: " << ahead;
    PostMessageA(tray().window, WM_TIMECHANGE, 0, 0);
    EXPECT_FALSE(pumpUntil([] { return isSaverActive(); }, 4000)) << "the older time ended it";
    EXPECT_TRUE(timerArmed() && tipShowsTime());
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, saved);
    RegCloseKey(key);
    LocalFree(readOnly);
}

TEST_F(FamilyTimedDisable, AChosenTimeEndsByTheClockAnotherProgramOrExit)
{
    start(true);
    command(IDM_DISABLE_15);
    EXPECT_EQ(heard_.settle(), Names{"Disable"});
    EXPECT_FALSE(isSaverActive() || recordActive());
    EXPECT_TRUE(blinking() && timerArmed() && tipShowsTime()) << tray().trayIcon.szTip;
    double ahead = 0;
    ASSERT_TRUE(storedEnableAt(&ahead));
    EXPECT_NEAR(ahead, 15 * 60, 5);

    // The stored time is the truth: moved to 2 s ahead, the clock change re-arms the timer.
    storeEnableAt(2);
    PostMessageA(tray().window, WM_TIMECHANGE, 0, 0);
    EXPECT_FALSE(pumpUntil([] { return isSaverActive(); }, 1000)) << "enabled before its time";
    EXPECT_TRUE(pumpUntil([] { return isSaverActive(); }, 2000)) << "not enabled within 3 s";
    EXPECT_EQ(heard_.settle(), Names{"Enable"});
    EXPECT_TRUE(recordActive());
    EXPECT_FALSE(storedEnableAt() || tipShowsTime() || blinking());
    EXPECT_FALSE(timerArmed()) << "a timer while nothing is pending";

    command(IDM_DISABLE_30);
    ASSERT_TRUE(announceFromAnotherProgram(true));
    EXPECT_TRUE(recordActive());
    EXPECT_FALSE(storedEnableAt() || timerArmed()) << "another program's enabling left the time";

    command(IDM_DISABLE_240);
    ASSERT_FALSE(isSaverActive());
    command(IDM_EXIT);
    EXPECT_TRUE(isSaverActive()) << "Exit left the screen saver off";
    EXPECT_FALSE(storedEnableAt());
    MSG quit;
    PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

// Whatever an earlier run left: only a time at most 24 h 1 min ahead keeps it off.
TEST_F(FamilyTimedDisable, TheNextStartHonoursAStoredTimeAndEnablesForAnyOther)
{
    const struct { long long seconds; DWORD type, size; bool waits; } rows[] = {
        {-60, REG_BINARY, 8, false}, {25 * 3600, REG_BINARY, 8, false},
        {60, REG_BINARY, 7, false},  {60, REG_DWORD, 4, false}, {3600, REG_BINARY, 8, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.seconds << " s, " << row.size << " bytes");
        stop();
        storeEnableAt(row.seconds, row.type, row.size);
        start(false);
        EXPECT_EQ(isSaverActive(), !row.waits);
        EXPECT_EQ(storedEnableAt(), row.waits);
        EXPECT_EQ(timerArmed(), row.waits);
        EXPECT_EQ(heard_.settle(), row.waits ? Names{} : Names{"Enable"});
    }
    EXPECT_EQ(tray().timedChoice, static_cast<UINT>(IDM_DISABLE_60));
    stop();  // as at a logoff or a crash: the time stays for the next start
    EXPECT_TRUE(storedEnableAt());
}

// The Restart Manager closes Dormity for an installer (WM_ENDSESSION with ENDSESSION_CLOSEAPP):
// it ends as on Exit, the screen saver enabled. A sign-out or a shutdown, or a session end
// called off, ends nothing here, and the time stays stored for the next start.
TEST_F(FamilyTimedDisable, TheRestartManagersCloseEndsItAsExitASignOutKeepsTheTime)
{
    const LPARAM close = ENDSESSION_CLOSEAPP, logoff = LPARAM(ENDSESSION_LOGOFF);
    const struct { WPARAM ending; LPARAM reason; bool ends; } rows[] = {
        {TRUE, close, true}, {TRUE, close | logoff, true}, {FALSE, close, false},
        {TRUE, logoff, false}, {TRUE, 0, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "ending " << row.ending << ", reason " << row.reason);
        start(true);
        command(IDM_DISABLE_15);
        ASSERT_TRUE(storedEnableAt() && !isSaverActive());
        EXPECT_TRUE(SendMessageA(tray().window, WM_QUERYENDSESSION, 0, row.reason))
            << "it refused to close";
        SendMessageA(tray().window, WM_ENDSESSION, row.ending, row.reason);
        MSG quit;
        bool quitPosted = PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        EXPECT_EQ(quitPosted && (app().flags & APP_QUIT), row.ends);
        EXPECT_EQ(isSaverActive(), row.ends);
        EXPECT_EQ(storedEnableAt(), !row.ends);
        heard_.settle();
    }
}
