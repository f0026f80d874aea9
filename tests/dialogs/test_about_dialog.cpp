// The About dialog and the blink preference, run modally from a real
// Application under Wine: the texts it shows, the System Information button
// with a stand-in tool, and what OK, Escape and the close box do to the
// stored preference, the flag, the blink timer and the tray icon.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/handles.h"
#include "app/tray_window.h"
#include "commands/blink_preference.h"
#include "commands/dialogs.h"
#include "res/resource.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"
#include "support/dialogs.h"

namespace {

// The change log as the user reads it, one line each.
const char* const kExpectedLogLines[] = {
    "What's New -- 12/26/01",
    "---------------------------------------",
    "- Uses a WindowsXP manifest file.",
    "",
    "What's New -- 12/25/01",
    "---------------------------------------",
    "- Checks for the description string stored",
    "  within screen saver files.",
    "- Uses Windows XP style icons.",
    "",
    "What's New -- 07/22/00",
    "---------------------------------------",
    "- Added Lock Computer for Win2k only.",
    "- Passwords are handled by the screensavers",
    "  in Win9x.",
    "- Checks for Win4 executables and disables",
    "  the password option appropriately.",
    "",
    "What's New -- 07/21/00",
    "---------------------------------------",
    "- Added better handling when no",
    "  screensaver is currently selected.",
    "",
    "What's New -- 07/21/00",
    "---------------------------------------",
    "- Fixed the enumeration of screensavers.",
    "",
    "What's New -- 07/20/00",
    "---------------------------------------",
    "- Fixed a huge GDI objects leak.",
    "",
    "What's New -- 07/19/00",
    "---------------------------------------",
    "- First public release.",
};

std::string expectedChangeLog()
{
    std::string text;
    for (const char* line : kExpectedLogLines)
        text += std::string(line) + "\r\n";
    return text;
}

struct StoredBlink {
    bool present = false;
    DWORD type = 0;
    std::string bytes;
};

StoredBlink storedBlink()
{
    StoredBlink stored;
    stored.present = readRegValue(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, &stored.bytes,
                                  &stored.type);
    return stored;
}

bool blinkKeyExists()
{
    UniqueRegKey key;
    return RegOpenKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// The stored value as a REG_DWORD of 4 bytes, or ~0 when it is anything else.
DWORD storedBlinkDword()
{
    StoredBlink stored = storedBlink();
    if (!stored.present || stored.type != REG_DWORD || stored.bytes.size() != sizeof(DWORD))
        return ~0u;
    DWORD value = 0;
    memcpy(&value, stored.bytes.data(), sizeof value);
    return value;
}

bool boxTicked(HWND dialog)
{
    return IsDlgButtonChecked(dialog, IDC_BLINK) == BST_CHECKED;
}

struct Tick {
    DWORD at;
    bool showsOn;
};

// Handles this thread's messages for a while and notes each blink tick of
// the window with the image it left in the tray.
std::vector<Tick> watchBlinkTicks(TrayWindow& tray, DWORD forMs)
{
    std::vector<Tick> ticks;
    DWORD begin = GetTickCount();
    while (GetTickCount() - begin < forMs) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
            if (message.message == WM_TIMER && message.hwnd == tray.window
                && message.wParam == IDT_BLINK)
                ticks.push_back({GetTickCount(), iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON)});
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return ticks;
}

const char* const kMsInfoKey = MSINFO_KEY;

class FamilyAboutDialog : public testing::Test {
protected:
    void SetUp() override
    {
        wasActive_ = isSaverActive();
        hadMsInfo_ = readRegValue(HKEY_LOCAL_MACHINE, kMsInfoKey, MSINFO_VALUE, &msInfo_);
        deleteRegTree(HKEY_LOCAL_MACHINE, kMsInfoKey);
        deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
    }
    void TearDown() override
    {
        app_.reset();
        deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
        deleteRegTree(HKEY_LOCAL_MACHINE, kMsInfoKey);
        if (hadMsInfo_)
            setRegValue(HKEY_LOCAL_MACHINE, kMsInfoKey, MSINFO_VALUE, REG_SZ, msInfo_.data(),
                        static_cast<DWORD>(msInfo_.size()));
        setSaverActive(wasActive_);
        pumpMessages();
    }
    // Starts the program with the system flag given and the preference as
    // stored now.
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
        return runModal("About", [&app] { return showAboutDialog(app); }, std::move(steps),
                        patienceMs);
    }
    // Opens the dialog, notes whether the box was ticked, sets it as asked
    // with real clicks and leaves with OK.
    bool okWithBox(bool tick)
    {
        bool wasTicked = false;
        DialogRun run = open({act([&wasTicked, tick](HWND dialog) {
                                  wasTicked = boxTicked(dialog);
                                  if (wasTicked != tick)
                                      SendMessageA(GetDlgItem(dialog, IDC_BLINK), BM_CLICK, 0, 0);
                                  EXPECT_EQ(boxTicked(dialog), tick);
                              }),
                              click(IDC_OK)});
        EXPECT_TRUE(run.closedByItself);
        EXPECT_EQ(run.result, 1);
        return wasTicked;
    }
    bool blinking() { return timerRuns(app_->trayWindow->window, IDT_BLINK, BLINK_PERIOD_MS); }
    bool blinkFlag() const { return (app_->flags & APP_BLINK) != 0; }
    // Lets the blink timer swap the icon until it shows the on image.
    bool showOnImage(TrayWindow& tray)
    {
        return pumpUntil([&tray] { return iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON); }, 2000);
    }

    std::unique_ptr<Application> app_;
    bool wasActive_ = true;
    bool hadMsInfo_ = false;
    std::string msInfo_;
};

} // namespace

TEST(ChangeLog, IsTheReleaseHistoryWithCrLfLineEnds)
{
    EXPECT_EQ(strlen(kChangeLog), 959u);
    EXPECT_EQ(std::string(kChangeLog), expectedChangeLog());
    for (const char* c = kChangeLog; *c; ++c) {
        if (*c == '\n') {
            EXPECT_TRUE(c > kChangeLog && c[-1] == '\r') << "bare LF at " << (c - kChangeLog);
        } else if (*c == '\r') {
            EXPECT_EQ(c[1], '\n') << "bare CR at " << (c - kChangeLog);
        }
    }
}

// The family runs are worth something only if the program sees that family.
TEST_F(FamilyAboutDialog, RunsOnTheRequestedFamily)
{
    start(true);
    std::string version = requestedVersion();
    DWORD family = app_->flags & (APP_WIN9X | APP_WIN2K);
    if (version == "win98")
        EXPECT_EQ(family, static_cast<DWORD>(APP_WIN9X));
    else if (version == "nt40")
        EXPECT_EQ(family, 0u);
    else if (version == "win2k")
        EXPECT_EQ(family, static_cast<DWORD>(APP_WIN2K));
    else
        EXPECT_EQ(family, reportedPlatformFlags());
}

TEST_F(FamilyAboutDialog, ShowsTheVersionAndTheChangeLogWithFocusOnOk)
{
    start(true);
    std::string version, log;
    int logLength = 0;
    bool focusOnOk = false;
    DialogRun run = open({act([&](HWND dialog) {
                              version = itemText(dialog, IDC_VERSION);
                              log = itemText(dialog, IDC_CHANGELOG);
                              logLength = GetWindowTextLengthA(GetDlgItem(dialog, IDC_CHANGELOG));
                              focusOnOk = GetFocus() == GetDlgItem(dialog, IDC_OK);
                          }),
                          click(IDC_OK)});
    EXPECT_TRUE(run.closedByItself);
    EXPECT_EQ(version, "Version: 2.06.00");
    EXPECT_EQ(logLength, 959);
    EXPECT_EQ(log, expectedChangeLog());
    EXPECT_TRUE(focusOnOk);
}

TEST_F(FamilyAboutDialog, SystemInfoIsEnabledOnlyWhenTheToolIsRegistered)
{
    start(true);
    auto sysInfoEnabled = [this] {
        bool enabled = false;
        DialogRun run = open({act([&enabled](HWND dialog) {
                                  enabled = IsWindowEnabled(GetDlgItem(dialog, IDC_SYSINFO)) != 0;
                              }),
                              click(IDC_OK)});
        EXPECT_TRUE(run.closedByItself);
        return enabled;
    };
    EXPECT_FALSE(sysInfoEnabled()) << "no MSInfo key";
    setRegString(HKEY_LOCAL_MACHINE, kMsInfoKey, "Other", "x");
    EXPECT_FALSE(sysInfoEnabled()) << "the key without a Path";
    setRegString(HKEY_LOCAL_MACHINE, kMsInfoKey, MSINFO_VALUE, "C:\\msinfo32.exe");
    EXPECT_TRUE(sysInfoEnabled());
    // The path is read with room for 255 bytes, its terminator included.
    std::string longest = "C:\\" + std::string(251, 'a');
    ASSERT_EQ(longest.size(), 254u);
    setRegString(HKEY_LOCAL_MACHINE, kMsInfoKey, MSINFO_VALUE, longest.c_str());
    EXPECT_TRUE(sysInfoEnabled()) << "a path of 254 characters";
    std::string tooLong = longest + "b";
    setRegString(HKEY_LOCAL_MACHINE, kMsInfoKey, MSINFO_VALUE, tooLong.c_str());
    EXPECT_FALSE(sysInfoEnabled()) << "a path of 255 characters does not fit";
}

TEST_F(FamilyAboutDialog, SystemInfoStartsTheRegisteredToolAndTheDialogStaysOpen)
{
    std::string marker = freshTempDirectory("sysinfo") + "\\ran.txt";
    std::string commandLine =
        "\"" + moduleDirectory() + "\\dialog_sysinfo_probe.exe\" " + marker + " --from-about";
    ASSERT_TRUE(fileExists(moduleDirectory() + "\\dialog_sysinfo_probe.exe"));
    setRegString(HKEY_LOCAL_MACHINE, kMsInfoKey, MSINFO_VALUE, commandLine.c_str());
    start(true);
    bool openAfterPress = false;
    bool openAfterRun = false;
    DialogRun run = open({click(IDC_SYSINFO),
                          act([&openAfterPress](HWND dialog) {
                              openAfterPress = IsWindowVisible(dialog) != 0;
                          }),
                          waitFor([&marker](HWND) { return fileExists(marker); }),
                          act([&openAfterRun](HWND dialog) {
                              openAfterRun = IsWindowVisible(dialog) != 0;
                          }),
                          click(IDC_OK)},
                         15000);
    EXPECT_TRUE(run.closedByItself);
    EXPECT_TRUE(openAfterPress);
    EXPECT_TRUE(openAfterRun);
    ASSERT_TRUE(fileExists(marker)) << "the tool was not started";
    EXPECT_EQ(readFileBytes(marker), commandLine);
}

TEST_F(FamilyAboutDialog, FirstRunTicksTheBoxAndOkCreatesTheKeyWithBlinkOne)
{
    ASSERT_FALSE(blinkKeyExists());
    start(true);
    EXPECT_TRUE(okWithBox(true)) << "the box was clear on a clean profile";
    EXPECT_TRUE(blinkKeyExists());
    StoredBlink stored = storedBlink();
    EXPECT_TRUE(stored.present);
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(stored.bytes.size(), 4u);
    EXPECT_EQ(storedBlinkDword(), 1u);
}

TEST_F(FamilyAboutDialog, ClearingTheBoxStopsABlinkingIconOnTheOffImage)
{
    setRegDword(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, 1);
    TrayWindow& tray = start(false);
    ASSERT_TRUE(blinking());
    ASSERT_TRUE(showOnImage(tray)) << "the icon never blinked to the on image";
    EXPECT_TRUE(okWithBox(false));
    EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_OFF));
    EXPECT_FALSE(blinkFlag());
    EXPECT_EQ(storedBlinkDword(), 0u);
    std::vector<Tick> ticks = watchBlinkTicks(tray, 700);
    EXPECT_TRUE(ticks.empty()) << ticks.size() << " ticks after blinking was switched off";
    EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_OFF))
        << "it did not stay on the off image";
    EXPECT_FALSE(blinking());
    // Reopened, the dialog shows the stored choice.
    EXPECT_FALSE(okWithBox(false));
    EXPECT_FALSE(blinking());
}

TEST_F(FamilyAboutDialog, TickingTheBoxStartsBlinkingAtOnceEveryHalfSecond)
{
    setRegDword(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, 0);
    TrayWindow& tray = start(false);
    ASSERT_FALSE(blinking());
    DWORD pressed = 0;
    bool wasTicked = true;
    DialogRun run = open({act([&](HWND dialog) {
                              wasTicked = boxTicked(dialog);
                              SendMessageA(GetDlgItem(dialog, IDC_BLINK), BM_CLICK, 0, 0);
                              pressed = GetTickCount();
                              SendMessageA(GetDlgItem(dialog, IDC_OK), BM_CLICK, 0, 0);
                          })});
    EXPECT_TRUE(run.closedByItself);
    EXPECT_FALSE(wasTicked);
    EXPECT_TRUE(blinkFlag());
    EXPECT_EQ(storedBlinkDword(), 1u);
    std::vector<Tick> ticks = watchBlinkTicks(tray, 1300);
    ASSERT_GE(ticks.size(), 2u) << "the icon does not blink";
    EXPECT_LE(ticks.size(), 3u) << "it blinks faster than every half second";
    DWORD first = ticks[0].at - pressed;
    DWORD second = ticks[1].at - ticks[0].at;
    // Half a second each, with room for a busy machine.
    EXPECT_GE(first, 400u);
    EXPECT_LE(first, 1000u);
    EXPECT_GE(second, 400u);
    EXPECT_LE(second, 900u);
    EXPECT_NE(ticks[0].showsOn, ticks[1].showsOn) << "consecutive ticks show the same image";
    EXPECT_TRUE(blinking());
}

TEST_F(FamilyAboutDialog, OkReappliesAnUnchangedBox)
{
    // Blinking with the box ticked: the timer keeps running.
    setRegDword(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, 1);
    start(false);
    EXPECT_TRUE(okWithBox(true));
    EXPECT_TRUE(blinking());
    EXPECT_TRUE(blinkFlag());

    // Steady with the box clear: the off image is put back.
    setRegDword(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, 0);
    TrayWindow& tray = start(false);
    tray.setTrayIcon(IDI_SAVER_ON);
    EXPECT_FALSE(okWithBox(false));
    EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_OFF));
    EXPECT_FALSE(blinking());
    EXPECT_EQ(storedBlinkDword(), 0u);
}

TEST_F(FamilyAboutDialog, WithTheSaverEnabledOkChangesOnlyTheFlagAndTheStoredValue)
{
    setRegDword(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, 1);
    TrayWindow& tray = start(true);
    HICON shown = tray.trayIcon.hIcon;
    ASSERT_TRUE(iconShows(shown, IDI_SAVER_ON));

    EXPECT_TRUE(okWithBox(false));
    EXPECT_FALSE(blinkFlag());
    EXPECT_EQ(storedBlinkDword(), 0u);
    EXPECT_EQ(tray.trayIcon.hIcon, shown) << "the icon was replaced";
    EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON));
    EXPECT_FALSE(blinking());

    EXPECT_FALSE(okWithBox(true));
    EXPECT_TRUE(blinkFlag());
    EXPECT_EQ(storedBlinkDword(), 1u);
    EXPECT_EQ(tray.trayIcon.hIcon, shown) << "the icon was replaced";
    EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON));
    EXPECT_FALSE(blinking());
    EXPECT_TRUE((app_->flags & APP_SAVER_ACTIVE) != 0);
}

TEST_F(FamilyAboutDialog, EscapeAndTheCloseBoxCloseWithoutChangingAnything)
{
    // A clean profile and a disabled screen saver: the icon blinks.
    TrayWindow& tray = start(false);
    ASSERT_TRUE(blinkFlag());
    ASSERT_TRUE(blinking());
    const char* ways[] = {"Escape", "close box", "cancel command"};
    DialogStep closers[] = {
        pressKey(VK_ESCAPE),
        closeBox(),
        act([](HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0); }),
    };
    for (size_t i = 0; i < sizeof ways / sizeof ways[0]; ++i) {
        bool wasTicked = false;
        DialogRun run = open({act([&wasTicked](HWND dialog) {
                                  wasTicked = boxTicked(dialog);
                                  SendMessageA(GetDlgItem(dialog, IDC_BLINK), BM_CLICK, 0, 0);
                              }),
                              closers[i]});
        EXPECT_TRUE(run.closedByItself) << ways[i] << " did not close the dialog";
        EXPECT_EQ(run.result, 1) << ways[i];
        EXPECT_TRUE(wasTicked) << ways[i];
        EXPECT_FALSE(blinkKeyExists()) << ways[i] << " wrote the preference";
        EXPECT_TRUE(blinkFlag()) << ways[i];
        EXPECT_TRUE(blinking()) << ways[i];
    }
    EXPECT_NE(tray.trayIcon.hIcon, nullptr);
}

TEST_F(FamilyAboutDialog, ThePreferenceSurvivesARestart)
{
    start(false);
    EXPECT_TRUE(okWithBox(false));
    TrayWindow& steady = start(false);
    EXPECT_FALSE(blinkFlag());
    EXPECT_FALSE(blinking());
    EXPECT_TRUE(iconShows(steady.trayIcon.hIcon, IDI_SAVER_OFF));

    EXPECT_FALSE(okWithBox(true));
    start(false);
    EXPECT_TRUE(blinkFlag());
    EXPECT_TRUE(blinking());

    start(true);
    EXPECT_TRUE(blinkFlag());
    EXPECT_TRUE(okWithBox(false));
    start(true);
    EXPECT_FALSE(blinkFlag());
}

TEST_F(FamilyAboutDialog, EveryTextFitsItsControlInTheDialogsOwnFont)
{
    start(true);
    std::string face;
    std::vector<std::string> clipped;
    std::vector<std::string> wideLines;
    LRESULT firstVisibleLine = -1;
    DialogRun run = open({act([&](HWND dialog) {
                              face = dialogFontFace(dialog);
                              clipped = clippedTexts(dialog);
                              // The change log's lines fit without scrolling sideways.
                              HWND log = GetDlgItem(dialog, IDC_CHANGELOG);
                              RECT room;
                              SendMessageA(log, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&room));
                              WindowDC dc(log);
                              SelectedObject font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageA(
                                                                log, WM_GETFONT, 0, 0)));
                              for (const char* line : kExpectedLogLines) {
                                  SIZE extent;
                                  GetTextExtentPoint32A(dc.get(), line,
                                                        static_cast<int>(strlen(line)), &extent);
                                  if (extent.cx > room.right - room.left)
                                      wideLines.push_back(line);
                              }
                              firstVisibleLine = SendMessageA(log, EM_GETFIRSTVISIBLELINE, 0, 0);
                          }),
                          click(IDC_OK)});
    EXPECT_TRUE(run.closedByItself);
    ASSERT_EQ(face, "MS Sans Serif") << "laid out in a substitute face";
    for (const std::string& text : clipped)
        ADD_FAILURE() << text;
    for (const std::string& line : wideLines)
        ADD_FAILURE() << "the change log scrolls sideways for \"" << line << "\"";
    EXPECT_EQ(firstVisibleLine, 0) << "the change log does not open at its top";
}
