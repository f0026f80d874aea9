// The About dialog run modally from a real Application: its texts, the System
// Information button with a stand-in tool, and what OK, Escape and the close
// box do to the stored blink preference, the flag, the timer and the icon.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/handles.h"
#include "app/tray_window.h"
#include "commands/blink_preference.h"
#include "commands/dialogs.h"
#include "res/resource.h"
#include "support/wine_env.h"
#include "dialog_driver.h"

namespace {

// The change log as the user reads it, one line each.
std::vector<std::string> changeLogLines()
{
    const char* const releases[][2] = {
        {"12/26/01", "- Uses a WindowsXP manifest file."},
        {"12/25/01", "- Checks for the description string stored\n  within screen saver files.\n"
                     "- Uses Windows XP style icons."},
        {"07/22/00", "- Added Lock Computer for Win2k only.\n- Passwords are handled by the "
                     "screensavers\n  in Win9x.\n- Checks for Win4 executables and disables\n"
                     "  the password option appropriately."},
        {"07/21/00", "- Added better handling when no\n  screensaver is currently selected."},
        {"07/21/00", "- Fixed the enumeration of screensavers."},
        {"07/20/00", "- Fixed a huge GDI objects leak."},
        {"07/19/00", "- First public release."}};
    std::vector<std::string> lines;
    for (const auto& release : releases) {
        if (!lines.empty())
            lines.push_back("");
        lines.push_back(std::string("What's New -- ") + release[0]);
        lines.push_back(std::string(39, '-'));
        std::istringstream body(release[1]);
        for (std::string line; std::getline(body, line);)
            lines.push_back(line);
    }
    return lines;
}

// The stored preference as a 4-byte REG_DWORD, or ~0 when it is anything else.
DWORD storedBlinkDword()
{
    std::string bytes;
    DWORD type = 0, value = ~0u;
    if (readRegValue(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, &bytes, &type)
        && type == REG_DWORD && bytes.size() == sizeof value)
        memcpy(&value, bytes.data(), sizeof value);
    return value;
}

bool boxTicked(HWND dialog) { return IsDlgButtonChecked(dialog, IDC_BLINK) == BST_CHECKED; }

struct Tick {
    DWORD at;
    bool showsOn;
};

// Handles this thread's messages for a while, noting each blink tick and the image it left.
std::vector<Tick> watchBlinkTicks(TrayWindow& tray, DWORD forMs)
{
    std::vector<Tick> ticks;
    for (DWORD begin = GetTickCount(); GetTickCount() - begin < forMs;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                continue;
            DispatchMessageA(&message);
            if (message.message == WM_TIMER && message.hwnd == tray.window
                && message.wParam == IDT_BLINK)
                ticks.push_back({GetTickCount(), iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON)});
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return ticks;
}

// The platform flags the family run was started for.
DWORD requestedFamily()
{
    std::string version = requestedVersion();
    return version == "win98" ? APP_WIN9X
         : version == "nt40"  ? 0
         : version == "win2k" ? APP_WIN2K
                              : reportedPlatformFlags();
}

class FamilyAboutDialog : public testing::Test {
protected:
    void SetUp() override
    {
        wasActive_ = isSaverActive();
        hadMsInfo_ = readRegValue(HKEY_LOCAL_MACHINE, MSINFO_KEY, MSINFO_VALUE, &msInfo_);
        deleteRegTree(HKEY_LOCAL_MACHINE, MSINFO_KEY);
        deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
    }
    void TearDown() override
    {
        app_.reset();
        deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
        deleteRegTree(HKEY_LOCAL_MACHINE, MSINFO_KEY);
        if (hadMsInfo_)
            setRegString(HKEY_LOCAL_MACHINE, MSINFO_KEY, MSINFO_VALUE, msInfo_.c_str());
        setSaverActive(wasActive_);
        pumpMessages();
    }
    // Starts the program with the system flag given and the preference as stored now.
    TrayWindow& start(bool active)
    {
        app_.reset();
        setSaverActive(active);
        pumpMessages();
        app_.reset(new Application(GetModuleHandleA(nullptr)));
        EXPECT_NE(app_->trayWindow, nullptr);
        return *app_->trayWindow;
    }
    DialogRun open(std::vector<DialogStep> steps, DWORD patienceMs = 4000)
    {
        Application& app = *app_;
        DialogRun run = runModal("About", [&app] { return showAboutDialog(app); },
                                 std::move(steps), patienceMs);
        EXPECT_TRUE(run.closedByItself);
        EXPECT_EQ(run.result, 1);
        return run;
    }
    // Opens the dialog, runs look on it and leaves with OK.
    void lookAndOk(std::function<void(HWND)> look) { open({act(std::move(look)), click(IDC_OK)}); }
    bool blinking() { return timerRuns(app_->trayWindow->window, IDT_BLINK, BLINK_PERIOD_MS); }
    bool blinkFlag() const { return (app_->flags & APP_BLINK) != 0; }

    std::unique_ptr<Application> app_;
    bool wasActive_ = true;
    bool hadMsInfo_ = false;
    std::string msInfo_;
};

} // namespace

TEST_F(FamilyAboutDialog, ShowsTheVersionAndTheChangeLogAndEveryTextFits)
{
    start(true);
    // The family runs are worth something only if the program sees that family.
    EXPECT_EQ(app_->flags & (APP_WIN9X | APP_WIN2K), requestedFamily());
    std::vector<std::string> lines = changeLogLines();
    std::string expectedLog;
    for (const std::string& line : lines)
        expectedLog += line + "\r\n";
    std::string version, log, face;
    std::vector<std::string> clipped, wideLines;
    bool focusOnOk = false;
    LRESULT firstVisibleLine = -1;
    lookAndOk([&](HWND dialog) {
        version = itemText(dialog, IDC_VERSION);
        log = itemText(dialog, IDC_CHANGELOG);
        focusOnOk = GetFocus() == GetDlgItem(dialog, IDC_OK);
        face = dialogFontFace(dialog);
        clipped = clippedTexts(dialog);
        // The change log's lines fit without scrolling sideways.
        HWND logControl = GetDlgItem(dialog, IDC_CHANGELOG);
        RECT room;
        SendMessageA(logControl, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&room));
        WindowDC dc(logControl);
        SelectedObject font(dc.get(), reinterpret_cast<HGDIOBJ>(
                                          SendMessageA(logControl, WM_GETFONT, 0, 0)));
        for (const std::string& line : lines) {
            SIZE extent;
            GetTextExtentPoint32A(dc.get(), line.c_str(), static_cast<int>(line.size()), &extent);
            if (extent.cx > room.right - room.left)
                wideLines.push_back(line);
        }
        firstVisibleLine = SendMessageA(logControl, EM_GETFIRSTVISIBLELINE, 0, 0);
    });
    EXPECT_EQ(version, "Version: 2.06.00");
    EXPECT_EQ(log, expectedLog);
    EXPECT_EQ(std::string(kChangeLog), expectedLog);
    EXPECT_TRUE(focusOnOk);
    ASSERT_EQ(face, "MS Sans Serif") << "laid out in a substitute face";
    for (const std::string& text : clipped)
        ADD_FAILURE() << text;
    for (const std::string& line : wideLines)
        ADD_FAILURE() << "the change log scrolls sideways for \"" << line << "\"";
    EXPECT_EQ(firstVisibleLine, 0) << "the change log does not open at its top";
}

TEST_F(FamilyAboutDialog, SystemInfoIsEnabledOnlyWhenTheToolIsRegistered)
{
    start(true);
    // The path is read with room for 255 bytes, its terminator included.
    struct Row {
        const char* name;
        std::string path;
        bool enabled;
    } rows[] = {{nullptr, "", false},
                {"Other", "x", false},
                {MSINFO_VALUE, "C:\\msinfo32.exe", true},
                {MSINFO_VALUE, "C:\\" + std::string(251, 'a'), true},
                {MSINFO_VALUE, "C:\\" + std::string(252, 'a'), false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.name ? row.name : "no key") + " of length "
                     + std::to_string(row.path.size()));
        deleteRegTree(HKEY_LOCAL_MACHINE, MSINFO_KEY);
        if (row.name)
            setRegString(HKEY_LOCAL_MACHINE, MSINFO_KEY, row.name, row.path.c_str());
        bool enabled = !row.enabled;
        lookAndOk([&enabled](HWND dialog) {
            enabled = IsWindowEnabled(GetDlgItem(dialog, IDC_SYSINFO)) != 0;
        });
        EXPECT_EQ(enabled, row.enabled);
    }
}

TEST_F(FamilyAboutDialog, SystemInfoStartsTheRegisteredToolAndTheDialogStaysOpen)
{
    std::string probe = moduleDirectory() + "\\dialog_sysinfo_probe.exe";
    std::string marker = freshTempDirectory("sysinfo") + "\\ran.txt";
    std::string commandLine = "\"" + probe + "\" " + marker + " --from-about";
    ASSERT_TRUE(fileExists(probe));
    setRegString(HKEY_LOCAL_MACHINE, MSINFO_KEY, MSINFO_VALUE, commandLine.c_str());
    start(true);
    bool openAfterPress = false, openAfterRun = false;
    open({click(IDC_SYSINFO),
          act([&](HWND dialog) { openAfterPress = IsWindowVisible(dialog) != 0; }),
          waitFor([&marker](HWND) { return fileExists(marker); }),
          act([&](HWND dialog) { openAfterRun = IsWindowVisible(dialog) != 0; }), click(IDC_OK)},
         15000);
    EXPECT_TRUE(openAfterPress);
    EXPECT_TRUE(openAfterRun);
    ASSERT_TRUE(fileExists(marker)) << "the tool was not started";
    EXPECT_EQ(readFileBytes(marker), commandLine);
}

TEST_F(FamilyAboutDialog, OkStoresAndAppliesTheBoxAndARestartKeepsIt)
{
    struct Row {
        int stored;  // -1: a clean profile
        bool active, tick;
    } rows[] = {{-1, true, true},   {1, false, false}, {0, false, true}, {1, false, true},
                {0, false, false}, {1, true, false},  {0, true, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "stored " << row.stored << ", active " << row.active
                                        << ", box set to " << row.tick);
        if (row.stored < 0)
            deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
        else
            setRegDword(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, row.stored);
        TrayWindow& tray = start(row.active);
        // Disabled, the icon shows the on image first: a blink phase, or put there by hand.
        if (!row.active && row.stored != 0)
            ASSERT_TRUE(pumpUntil([&] { return iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON); },
                                  2000));
        else if (!row.active)
            tray.setTrayIcon(IDI_SAVER_ON);
        HICON shown = tray.trayIcon.hIcon;
        bool wasTicked = false;
        DWORD pressed = 0;
        open({act([&](HWND dialog) {
            wasTicked = boxTicked(dialog);
            if (wasTicked != row.tick)
                SendMessageA(GetDlgItem(dialog, IDC_BLINK), BM_CLICK, 0, 0);
            EXPECT_EQ(boxTicked(dialog), row.tick);
            pressed = GetTickCount();
            SendMessageA(GetDlgItem(dialog, IDC_OK), BM_CLICK, 0, 0);
        })});
        EXPECT_EQ(wasTicked, row.stored != 0) << "the box does not show the stored choice";
        EXPECT_EQ(storedBlinkDword(), row.tick ? 1u : 0u);
        EXPECT_EQ(blinkFlag(), row.tick);
        if (row.active) {
            EXPECT_EQ(tray.trayIcon.hIcon, shown) << "the icon was replaced";
            EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON));
            EXPECT_TRUE(app_->flags & APP_SAVER_ACTIVE);
        } else if (!row.tick) {
            EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_OFF));
            if (row.stored != 0)
                EXPECT_TRUE(watchBlinkTicks(tray, 700).empty()) << "ticks after blinking stopped";
            EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_OFF)) << "it left the off image";
        } else {
            std::vector<Tick> ticks = watchBlinkTicks(tray, 1300);
            ASSERT_GE(ticks.size(), 2u) << "the icon does not blink";
            EXPECT_LE(ticks.size(), 3u) << "it blinks faster than every half second";
            // Half a second each, with room for a busy machine.
            EXPECT_GE(ticks[0].at - pressed, 400u);
            EXPECT_LE(ticks[0].at - pressed, 1000u);
            EXPECT_GE(ticks[1].at - ticks[0].at, 400u);
            EXPECT_LE(ticks[1].at - ticks[0].at, 900u);
            EXPECT_NE(ticks[0].showsOn, ticks[1].showsOn) << "consecutive ticks show one image";
        }
        EXPECT_EQ(blinking(), row.tick && !row.active);
        TrayWindow& again = start(row.active);
        EXPECT_EQ(blinkFlag(), row.tick) << "after a restart";
        EXPECT_EQ(blinking(), row.tick && !row.active) << "after a restart";
        EXPECT_TRUE(iconShows(again.trayIcon.hIcon, row.active ? IDI_SAVER_ON : IDI_SAVER_OFF));
    }
}

TEST_F(FamilyAboutDialog, EscapeAndTheCloseBoxCloseWithoutChangingAnything)
{
    // A clean profile and a disabled screen saver: the icon blinks.
    start(false);
    ASSERT_TRUE(blinkFlag());
    ASSERT_TRUE(blinking());
    const char* ways[] = {"Escape", "close box", "cancel command"};
    DialogStep closers[] = {pressKey(VK_ESCAPE), closeBox(), act([](HWND dialog) {
                                SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                            })};
    for (size_t i = 0; i < sizeof ways / sizeof ways[0]; ++i) {
        SCOPED_TRACE(ways[i]);
        bool wasTicked = false;
        open({act([&wasTicked](HWND dialog) {
                  wasTicked = boxTicked(dialog);
                  SendMessageA(GetDlgItem(dialog, IDC_BLINK), BM_CLICK, 0, 0);
              }),
              closers[i]});
        EXPECT_TRUE(wasTicked);
        EXPECT_FALSE(readRegValue(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, nullptr))
            << "the preference was written";
        EXPECT_TRUE(blinkFlag());
        EXPECT_TRUE(blinking());
    }
}
