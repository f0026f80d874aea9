// The tray icon's state machine, driven through the real window: settings
// changes made with the real system parameters, timer ticks, a second
// start's WM_REINSTALL and the shell's "TaskbarCreated".
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/application.h"
#include "app/tray_window.h"
#include "commands/blink_preference.h"
#include "res/resource.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"
#include "tray/icon_state.h"

namespace {

bool iconDestroyed(HICON icon)
{
    ICONINFO info;
    if (!GetIconInfo(icon, &info))
        return true;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return false;
}

// Whether the shell still holds our icon: modifying it succeeds only then.
bool shellHasIcon(TrayWindow& tray)
{
    return Shell_NotifyIconA(NIM_MODIFY, reinterpret_cast<NOTIFYICONDATAA*>(&tray.trayIcon));
}

class TrayIcon : public testing::Test {
protected:
    void SetUp() override
    {
        wasActive_ = isSaverActive();
        resetScreenSaverSettings();
    }
    void TearDown() override
    {
        app_.reset();
        deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
        setSaverActive(wasActive_);
        pumpMessages();
    }
    // Starts the program with the system flag and the preference given.
    TrayWindow& start(bool active, bool blink)
    {
        setSaverActive(active);
        setRegDword(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, blink ? 1 : 0);
        app_.reset(new Application(GetModuleHandleA(nullptr)));
        EXPECT_NE(app_->trayWindow, nullptr);
        return *app_->trayWindow;
    }
    bool blinking() { return timerRuns(app_->trayWindow->window, IDT_BLINK, BLINK_PERIOD_MS); }
    bool flagActive() const { return (app_->flags & APP_SAVER_ACTIVE) != 0; }
    // Another program changes the flag and has the system announce it, as
    // the display control panel does. (Wine announces only changes that are
    // also written to the profile.)
    void systemSets(bool active)
    {
        SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, active ? 1 : 0, nullptr,
                              SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
        pumpMessages();
    }

    struct AppHolder {
        Application* app = nullptr;
        ~AppHolder() { delete app; }
        void reset(Application* next = nullptr)
        {
            delete app;
            app = next;
        }
        Application* operator->() const { return app; }
    } app_;
    bool wasActive_ = true;
};

} // namespace

TEST_F(TrayIcon, StartsEnabledWithTheOnIconAndNoTimer)
{
    TrayWindow& tray = start(true, true);
    EXPECT_TRUE(flagActive());
    EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON));
    EXPECT_FALSE(blinking());
    EXPECT_TRUE(shellHasIcon(tray));
    // The first version of the record: 88 bytes in a 32-bit program.
    EXPECT_EQ(tray.trayIcon.cbSize, sizeof(void*) == 4 ? 88u : 104u);
    EXPECT_EQ(tray.trayIcon.uID, 1u);
    EXPECT_EQ(tray.trayIcon.uFlags, 7u);
    EXPECT_EQ(tray.trayIcon.uCallbackMessage, static_cast<UINT>(WM_TRAYNOTIFY));
    EXPECT_EQ(tray.trayIcon.hWnd, tray.window);
    EXPECT_STREQ(tray.trayIcon.szTip, "Dormity - [none]");
}

TEST_F(TrayIcon, StartsDisabledBlinkingOrSteadyByThePreference)
{
    TrayWindow& blinkingTray = start(false, true);
    EXPECT_FALSE(flagActive());
    EXPECT_TRUE(iconShows(blinkingTray.trayIcon.hIcon, IDI_SAVER_OFF));
    EXPECT_TRUE(blinking());

    TrayWindow& steadyTray = start(false, false);
    EXPECT_FALSE(flagActive());
    EXPECT_TRUE(iconShows(steadyTray.trayIcon.hIcon, IDI_SAVER_OFF));
    EXPECT_FALSE(blinking());
}

TEST_F(TrayIcon, FollowsTheSystemFlagSetByOthers)
{
    TrayWindow& tray = start(true, true);
    systemSets(false);
    EXPECT_FALSE(flagActive());
    EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_OFF));
    EXPECT_TRUE(blinking());
    systemSets(true);
    EXPECT_TRUE(flagActive());
    EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON));
    EXPECT_FALSE(blinking());
}

TEST_F(TrayIcon, SteadyWhenBlinkIsOff)
{
    TrayWindow& tray = start(true, false);
    systemSets(false);
    EXPECT_FALSE(flagActive());
    EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_OFF));
    EXPECT_FALSE(blinking());
}

TEST_F(TrayIcon, UnrelatedSettingChangeLeavesIconAndTimerButRefreshesTheTip)
{
    TrayWindow& tray = start(false, true);
    HICON before = tray.trayIcon.hIcon;
    strcpy(tray.trayIcon.szTip, "stale");
    SendMessageA(tray.window, WM_SETTINGCHANGE, SPI_SETDOUBLECLICKTIME, 0);
    EXPECT_EQ(tray.trayIcon.hIcon, before) << "the icon was not replaced";
    EXPECT_TRUE(blinking());
    EXPECT_STREQ(tray.trayIcon.szTip, "Dormity - [none]");
}

TEST_F(TrayIcon, BlinkTicksAlternateAndReleaseEveryReplacedIcon)
{
    TrayWindow& tray = start(false, true);
    std::vector<HICON> replaced;
    int onCount = 0;
    int offCount = 0;
    bool lastOn = false;
    for (int tick = 0; tick < 1000; ++tick) {
        HICON previous = tray.trayIcon.hIcon;
        SendMessageA(tray.window, WM_TIMER, IDT_BLINK, 0);
        ASSERT_NE(tray.trayIcon.hIcon, static_cast<HICON>(nullptr));
        bool on = iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON);
        bool off = iconShows(tray.trayIcon.hIcon, IDI_SAVER_OFF);
        ASSERT_NE(on, off) << "tick " << tick;
        onCount += on;
        offCount += off;
        if (tick < 50)
            replaced.push_back(previous);
        if (tick > 0) {
            ASSERT_NE(on, lastOn) << "not alternating at tick " << tick;
        }
        lastOn = on;
    }
    EXPECT_EQ(onCount, 500);
    EXPECT_EQ(offCount, 500);
    for (HICON icon : replaced)
        EXPECT_TRUE(iconDestroyed(icon));
    EXPECT_TRUE(shellHasIcon(tray));
    EXPECT_TRUE(resourcesStillAvailable());
}

TEST_F(TrayIcon, EnablingStopsBlinkingOnTheOnIconFromEitherPhase)
{
    for (int phase = 0; phase < 2; ++phase) {
        TrayWindow& tray = start(false, true);
        for (int i = 0; i <= phase; ++i)
            SendMessageA(tray.window, WM_TIMER, IDT_BLINK, 0);
        systemSets(true);
        EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON)) << "phase " << phase;
        EXPECT_FALSE(blinking());
        EXPECT_TRUE(flagActive());
    }
}

TEST_F(TrayIcon, ShowSaverStateTwiceIsLikeOnce)
{
    TrayWindow& tray = start(true, true);
    tray.showSaverState(false);
    tray.showSaverState(false);
    EXPECT_FALSE(flagActive());
    EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_OFF));
    EXPECT_TRUE(blinking());
    tray.showSaverState(true);
    tray.showSaverState(true);
    EXPECT_TRUE(flagActive());
    EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON));
    EXPECT_FALSE(blinking());
}

TEST_F(TrayIcon, ReinstallRemovesAndReaddsTheIcon)
{
    TrayWindow& tray = start(true, true);
    HICON before = tray.trayIcon.hIcon;
    SendMessageA(tray.window, WM_REINSTALL, 0, 0);
    EXPECT_TRUE(iconDestroyed(before));
    EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON));
    EXPECT_TRUE(shellHasIcon(tray));
    EXPECT_STREQ(tray.trayIcon.szTip, "Dormity - [none]");

    // Re-added even when the shell had lost it.
    Shell_NotifyIconA(NIM_DELETE, reinterpret_cast<NOTIFYICONDATAA*>(&tray.trayIcon));
    EXPECT_FALSE(shellHasIcon(tray));
    SendMessageA(tray.window, WM_REINSTALL, 0, 0);
    EXPECT_TRUE(shellHasIcon(tray));
}

TEST_F(TrayIcon, ReinstallKeepsAStaleActiveFlagUntilTheNextChange)
{
    TrayWindow& tray = start(true, true);
    // The system is disabled behind the program's back, without an
    // announcement.
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 0, nullptr, 0);
    SendMessageA(tray.window, WM_REINSTALL, 0, 0);
    EXPECT_TRUE(flagActive()) << "adding the icon never clears the flag";
    EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_OFF));
    SendMessageA(tray.window, WM_SETTINGCHANGE, 0, 0);
    EXPECT_FALSE(flagActive());
    EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_OFF));
}

TEST_F(TrayIcon, ComesBackAfterTheShellIsRecreated)
{
    TrayWindow& tray = start(false, false);
    // The shell lost every icon when it restarted...
    Shell_NotifyIconA(NIM_DELETE, reinterpret_cast<NOTIFYICONDATAA*>(&tray.trayIcon));
    ASSERT_FALSE(shellHasIcon(tray));
    HICON before = tray.trayIcon.hIcon;
    // ...and announces its new taskbar to every top-level window.
    UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    DWORD_PTR result = 0;
    SendMessageTimeoutA(HWND_BROADCAST, taskbarCreated, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    EXPECT_TRUE(shellHasIcon(tray));
    EXPECT_TRUE(iconDestroyed(before));
    EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_OFF));
    EXPECT_STREQ(tray.trayIcon.szTip, "Dormity - [none]");
}

TEST_F(TrayIcon, TeardownTakesTheIconOutOfTheShell)
{
    TrayWindow& tray = start(true, true);
    TrayIconRecord record = tray.trayIcon;
    HICON icon = tray.trayIcon.hIcon;
    app_.reset();
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, reinterpret_cast<NOTIFYICONDATAA*>(&record)));
    EXPECT_TRUE(iconDestroyed(icon));
}

TEST(TrayTip, NamesTheDescriptionAndCutsAt63Characters)
{
    char tip[64];
    memset(tip, 'x', sizeof tip);
    formatTrayTip("none", tip, sizeof tip);
    EXPECT_STREQ(tip, "Dormity - [none]");
    std::string exact(51, 'd');  // 11 + 51 + 1 = 63: the bracket just fits
    formatTrayTip(exact.c_str(), tip, sizeof tip);
    EXPECT_EQ(std::string(tip), "Dormity - [" + exact + "]");
    std::string longer(52, 'd');
    formatTrayTip(longer.c_str(), tip, sizeof tip);
    EXPECT_EQ(std::string(tip), "Dormity - [" + longer);
    EXPECT_EQ(strlen(tip), 63u);
    std::string huge(259, 'h');
    formatTrayTip(huge.c_str(), tip, sizeof tip);
    EXPECT_EQ(strlen(tip), 63u);
}

TEST(BlinkPhase, AlternatesOnThenOff)
{
    BYTE phase = 0;
    EXPECT_EQ(blinkTickIcon(&phase), IDI_SAVER_ON);
    EXPECT_EQ(phase, 1);
    EXPECT_EQ(blinkTickIcon(&phase), IDI_SAVER_OFF);
    EXPECT_EQ(phase, 0);
}
