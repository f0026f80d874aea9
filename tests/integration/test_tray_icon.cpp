// The tray icon's state machine driven through the real window: real system parameters, timer
// ticks, a second start's WM_REINSTALL and the shell's "TaskbarCreated".
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <string.h>

#include <memory>
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

// Whether the shell holds this icon record: modifying it succeeds only then.
bool shellHas(const TrayIconRecord& record)
{
    return Shell_NotifyIconA(NIM_MODIFY, reinterpret_cast<NOTIFYICONDATAA*>(
                                             const_cast<TrayIconRecord*>(&record)));
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
        app_.reset();
        setSaverActive(active);
        setRegDword(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, blink ? 1 : 0);
        app_.reset(new Application(GetModuleHandleA(nullptr)));
        EXPECT_NE(app_->trayWindow, nullptr);
        return *app_->trayWindow;
    }
    bool blinking() { return timerRuns(app_->trayWindow->window, IDT_BLINK, BLINK_PERIOD_MS); }
    // The flag, the image and the timer of the state given.
    void expectShows(bool active, bool blinks)
    {
        EXPECT_EQ((app_->flags & APP_SAVER_ACTIVE) != 0, active);
        HICON icon = app_->trayWindow->trayIcon.hIcon;
        EXPECT_TRUE(iconShows(icon, active ? IDI_SAVER_ON : IDI_SAVER_OFF));
        EXPECT_EQ(blinking(), blinks);
    }

    std::unique_ptr<Application> app_;
    bool wasActive_ = true;
};

} // namespace

TEST_F(TrayIcon, StartsInTheStateOfFlagAndPreferenceAndFollowsTheFlagSetByOthers)
{
    struct { bool blink, active; int ticks; bool changedTo; } rows[] = {  // ticks before the change
        {true, true, 0, false}, {true, false, 1, true}, {true, false, 2, true},
        {false, true, 0, false}, {false, false, 0, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "blink " << row.blink << ", active " << row.active
                                        << ", " << row.ticks << " ticks, set to " << row.changedTo);
        TrayWindow& tray = start(row.active, row.blink);
        expectShows(row.active, row.blink && !row.active);
        EXPECT_TRUE(shellHas(tray.trayIcon));
        // The first version of the record: 88 bytes in a 32-bit program.
        EXPECT_EQ(tray.trayIcon.cbSize, sizeof(void*) == 4 ? 88u : 104u);
        EXPECT_EQ(tray.trayIcon.uID, 1u);
        EXPECT_EQ(tray.trayIcon.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
        EXPECT_EQ(tray.trayIcon.uCallbackMessage, static_cast<UINT>(WM_TRAYNOTIFY));
        EXPECT_EQ(tray.trayIcon.hWnd, tray.window);
        EXPECT_STREQ(tray.trayIcon.szTip, "Dormity - [none]");
        for (int i = 0; i < row.ticks; ++i)
            SendMessageA(tray.window, WM_TIMER, IDT_BLINK, 0);
        // Another program changes the flag and has it announced, as the display
        // control panel does (Wine announces only changes written to the profile).
        SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, row.changedTo, nullptr,
                              SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
        pumpMessages();
        expectShows(row.changedTo, row.blink && !row.changedTo);
        // Showing the same state again changes nothing.
        tray.showSaverState(row.changedTo);
        tray.showSaverState(row.changedTo);
        expectShows(row.changedTo, row.blink && !row.changedTo);
    }
}

TEST_F(TrayIcon, BlinkTicksAlternateAndReleaseEveryReplacedIcon)
{
    TrayWindow& tray = start(false, true);
    std::vector<HICON> replaced;
    int onCount = 0;
    bool firstOn = false;
    for (int tick = 0; tick < 1000; ++tick) {
        if (tick < 50)
            replaced.push_back(tray.trayIcon.hIcon);
        SendMessageA(tray.window, WM_TIMER, IDT_BLINK, 0);
        bool on = iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON);
        ASSERT_NE(on, iconShows(tray.trayIcon.hIcon, IDI_SAVER_OFF)) << "tick " << tick;
        firstOn = tick == 0 ? on : firstOn;
        ASSERT_EQ(on, firstOn == (tick % 2 == 0)) << "not alternating at tick " << tick;
        onCount += on;
    }
    EXPECT_EQ(onCount, 500);
    for (HICON icon : replaced)
        EXPECT_TRUE(iconDestroyed(icon));
    EXPECT_TRUE(shellHas(tray.trayIcon));
    EXPECT_TRUE(resourcesStillAvailable());
}

TEST_F(TrayIcon, ComesBackOnReinstallOrANewShellKeepingAStaleFlagAndLeavesWithTheProgram)
{
    TrayWindow& tray = start(true, true);
    // A second start asks for it again; the shell announces its new taskbar to every
    // top-level window after it restarted and lost every icon.
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way == 0 ? "reinstall" : way == 1 ? "reinstall, lost" : "new shell, lost");
        if (way > 0)
            Shell_NotifyIconA(NIM_DELETE, reinterpret_cast<NOTIFYICONDATAA*>(&tray.trayIcon));
        EXPECT_EQ(shellHas(tray.trayIcon), way == 0);
        HICON before = tray.trayIcon.hIcon;
        DWORD_PTR result = 0;
        if (way < 2)
            SendMessageA(tray.window, WM_REINSTALL, 0, 0);
        else
            SendMessageTimeoutA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0,
                                SMTO_ABORTIFHUNG, 5000, &result);
        EXPECT_TRUE(shellHas(tray.trayIcon));
        EXPECT_TRUE(iconDestroyed(before));
        EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON));
        EXPECT_STREQ(tray.trayIcon.szTip, "Dormity - [none]");
    }
    // Disabled behind the program's back, without an announcement: adding the icon
    // shows the system's state but never clears the flag; the next change does, and any
    // change refreshes the tip.
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 0, nullptr, 0);
    SendMessageA(tray.window, WM_REINSTALL, 0, 0);
    EXPECT_TRUE(app_->flags & APP_SAVER_ACTIVE);
    EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_OFF));
    wcscpy(tray.tipText, L"stale");  // the tip as decided, which the shell gets
    SendMessageA(tray.window, WM_SETTINGCHANGE, 0, 0);
    expectShows(false, true);
    EXPECT_STREQ(tray.trayIcon.szTip, "Dormity - [none]");
    // An unrelated change leaves the icon and the timer.
    HICON before = tray.trayIcon.hIcon;
    wcscpy(tray.tipText, L"stale");
    SendMessageA(tray.window, WM_SETTINGCHANGE, SPI_SETDOUBLECLICKTIME, 0);
    EXPECT_EQ(tray.trayIcon.hIcon, before) << "the icon was replaced";
    expectShows(false, true);
    EXPECT_STREQ(tray.trayIcon.szTip, "Dormity - [none]");
    TrayIconRecord record = tray.trayIcon;
    app_.reset();
    EXPECT_FALSE(shellHas(record)) << "the icon outlived the program";
    EXPECT_TRUE(iconDestroyed(record.hIcon));
}

// A policy keeping the screen saver off stops the blink; when it goes, it blinks again at once.
TEST_F(TrayIcon, APolicyKeepingItOffStopsTheBlinkUntilItGoes)
{
    TrayWindow& tray = start(false, true);
    for (bool held : {true, false}) {
        held ? setPolicyValue("ScreenSaveActive", REG_SZ, "0", 2) : removePolicies();
        SendMessageA(tray.window, WM_SETTINGCHANGE, 0, 0);
        expectShows(false, !held);
    }
}
