// Launch, configure, the display properties and the change-password
// program: what the program starts (recorded by the fixture programs),
// what it posts, and the "No Screen Saver" prompt.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>

#include <string>

#include "support/program.h"
#include "commands/command_line.h"
#include "res/resource.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"

namespace {

const char kPromptText[] =
    "There is no Screen Saver currently selected.  Would you like to select a Screen Saver?";
const char kBlankName[] = "C:\\Program Files\\Dormity Test\\log saver.scr";
const char kTrap[] = "C:\\Program.exe";

bool contains(const std::vector<std::string>& texts, const char* text)
{
    for (const std::string& candidate : texts) {
        if (candidate == text)
            return true;
    }
    return false;
}

bool systemCommandQueued(HWND window)
{
    MSG message;
    return PeekMessageA(&message, window, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_NOREMOVE) != FALSE;
}

class FamilySaverPrograms : public CommandTest {};
class SaverPrograms : public CommandTest {};

} // namespace

TEST_F(FamilySaverPrograms, NoSelectionEnablesFirstThenPromptsAndNoStartsNothing)
{
    TrayWindow& window = start(false);
    ASSERT_FALSE(recordActive());
    ASSERT_TRUE(iconShows(window.trayIcon.hIcon, IDI_SAVER_OFF));

    PromptAnswerer answerer(app(), IDNO);
    command(IDM_CONFIGURE);
    PromptSeen seen = answerer.finish();

    ASSERT_TRUE(seen.seen) << "no \"No Screen Saver\" box";
    EXPECT_TRUE(contains(seen.texts, kPromptText));
    EXPECT_TRUE(seen.systemActive) << "not enabled before the prompt";
    EXPECT_TRUE(seen.recordActive);
    EXPECT_TRUE(seen.iconOn);
    EXPECT_TRUE(seen.yesButton);
    EXPECT_TRUE(seen.noButton);
    EXPECT_FALSE(seen.okButton);
    EXPECT_FALSE(seen.cancelButton);
    EXPECT_TRUE(seen.informationIcon);
    EXPECT_TRUE(seen.topmost) << "not system-modal";
    EXPECT_FALSE(seen.hasOwner);

    EXPECT_EQ(processesStarted(), 0u) << "No started something";
    EXPECT_TRUE(isSaverActive());
    EXPECT_TRUE(recordActive());
    EXPECT_TRUE(iconShows(window.trayIcon.hIcon, IDI_SAVER_ON));
    EXPECT_FALSE(blinking());
}

TEST_F(FamilySaverPrograms, ConfigureQuotesANameWithABlankAndNeverRunsProgramExe)
{
    SaverFamily family = runFamily();
    InstalledFiles saver(quickSaverPath(), kBlankName);
    InstalledFiles trap(quickSaverPath(), kTrap);

    // The trap works: the bare name starts "C:\Program.exe".
    std::string bare = std::string(kBlankName) + " /c";
    ASSERT_GT(WinExec(bare.c_str(), SW_SHOWNORMAL), 31u);
    ASSERT_TRUE(log_.waitForLines(1, 10000));
    ASSERT_EQ(log_.runs()[0].module, kTrap);
    ASSERT_TRUE(waitForStartedProcesses(10000));
    log_.clear();
    DWORD started = processesStarted();

    storeCurrentSaver(family, kBlankName);
    TrayWindow& window = start(true);
    HICON icon = window.trayIcon.hIcon;
    command(IDM_CONFIGURE);
    EXPECT_EQ(window.trayIcon.hIcon, icon) << "already enabled: the icon stays";
    command(IDM_CHANGEPASSWORD);

    // Already quoted: left as it is.
    std::string quoted = std::string("\"") + kBlankName + "\"";
    storeCurrentSaver(family, quoted.c_str());
    command(IDM_CONFIGURE);

    // Without a blank: exactly the name and the switch.
    storeCurrentSaver(family, quickSaverPath().c_str());
    command(IDM_CONFIGURE);

    EXPECT_EQ(processesStarted(), started + 4);
    ASSERT_TRUE(log_.waitForLines(4, 10000));
    ASSERT_TRUE(waitForStartedProcesses(10000));
    std::vector<LoggedRun> runs = log_.runs();
    ASSERT_EQ(runs.size(), 4u);
    // They may have logged in any order.
    auto logged = [&](const std::string& module, const std::string& line) {
        for (const LoggedRun& run : runs) {
            if (run.module == module && run.commandLine == line)
                return true;
        }
        return false;
    };
    EXPECT_TRUE(logged(kBlankName, quoted + " /c"));
    EXPECT_TRUE(logged(kBlankName, quoted + " /a 0"));
    EXPECT_TRUE(logged(quickSaverPath(), quickSaverPath() + " /c"));
    int quotedConfigures = 0;
    for (const LoggedRun& run : runs) {
        EXPECT_NE(run.module, kTrap) << "started " << run.commandLine;
        quotedConfigures += run.commandLine == quoted + " /c";
    }
    EXPECT_EQ(quotedConfigures, 2) << "a quoted name was quoted again";
}

TEST_F(FamilySaverPrograms, OnlyTheExactNoneTextMeansNoSelection)
{
    SaverFamily family = runFamily();
    start(true);
    DWORD started = processesStarted();
    // "[NONE]" and "" are file names: configure tries to run them and
    // fails without a word.
    const char* names[] = {"[NONE]", ""};
    for (const char* name : names) {
        storeCurrentSaver(family, name);
        PromptAnswerer answerer(app(), IDNO);
        command(IDM_CONFIGURE);
        EXPECT_FALSE(answerer.finish().seen) << "prompted for \"" << name << "\"";
    }
    // Change Password does not look at the name at all: with nothing
    // selected it tries "[none] /a 0", which fails, and asks nothing.
    storeCurrentSaver(family, nullptr);
    PromptAnswerer answerer(app(), IDNO);
    command(IDM_CHANGEPASSWORD);
    EXPECT_FALSE(answerer.finish().seen);
    EXPECT_EQ(processesStarted(), started);
}

TEST_F(SaverPrograms, LaunchPostsScreenSaveToTheForegroundWindow)
{
    storeCurrentSaver(runFamily(), quickSaverPath().c_str());
    start(true);
    CommandSink& sink = CommandSink::instance();
    sink.takeForeground();
    ASSERT_EQ(GetForegroundWindow(), sink.window);

    command(IDM_LAUNCH);
    EXPECT_TRUE(systemCommandQueued(sink.window)) << "not posted";
    pumpMessages();
    EXPECT_EQ(sink.screenSaves, 1);
    EXPECT_EQ(sink.sent, 0);
    EXPECT_EQ(sink.lastWParam, static_cast<WPARAM>(SC_SCREENSAVE));
    EXPECT_EQ(sink.lastLParam, 0);
    // The system starts the screen saver, not the program.
    EXPECT_EQ(processesStarted(), 0u);

    // The double click takes the same road.
    SendMessageA(tray().window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_LBUTTONDBLCLK);
    pumpMessages();
    EXPECT_EQ(sink.screenSaves, 2);
}

TEST_F(SaverPrograms, LaunchWithoutAForegroundWindowPostsNothing)
{
    storeCurrentSaver(runFamily(), quickSaverPath().c_str());
    start(true);
    // The test's window was in the foreground and is no longer active:
    // no window is in the foreground now.
    CommandSink& bystander = CommandSink::instance();
    bystander.takeForeground();
    SetActiveWindow(nullptr);
    pumpMessages();
    ASSERT_EQ(GetForegroundWindow(), static_cast<HWND>(nullptr));

    command(IDM_LAUNCH);
    // The hidden window's default processing got the request (Wine does
    // nothing with it); nothing was posted anywhere.
    EXPECT_FALSE(systemCommandQueued(nullptr));
    pumpMessages();
    EXPECT_EQ(bystander.screenSaves, 0);
    EXPECT_EQ(processesStarted(), 0u);
}

TEST_F(FamilySaverPrograms, LaunchWithNoSelectionAndYesOpensTheDisplayControlPanel)
{
    SystemRundllStandIns rundll;
    assignEventSound("Launch", SoundRecorder::tone("Launch").c_str());
    SoundRecorder sounds;
    TrayWindow& window = start(false);
    PromptAnswerer answerer(app(), IDYES);
    command(IDM_LAUNCH);
    PromptSeen seen = answerer.finish();
    // The Launch sound plays even though there is nothing to launch.
    EXPECT_EQ(sounds.settle(), std::vector<std::string>{"Launch"});
    ASSERT_TRUE(seen.seen);
    EXPECT_TRUE(contains(seen.texts, kPromptText));
    EXPECT_TRUE(seen.systemActive);
    EXPECT_TRUE(seen.recordActive);
    EXPECT_TRUE(seen.iconOn);

    // The system's own rundll32.exe, where this family keeps it (the
    // fixture stands in for it there).
    EXPECT_EQ(processesStarted(), 1u);
    ASSERT_TRUE(log_.waitForLines(1, 10000));
    std::vector<LoggedRun> runs = log_.runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].module, systemRundllPath(runFamily()));
    EXPECT_EQ(runs[0].commandLine, displayPropertiesLine(runFamily()));
    EXPECT_TRUE(iconShows(window.trayIcon.hIcon, IDI_SAVER_ON));
}

TEST_F(FamilySaverPrograms, PropertiesStartsTheDisplayControlPanel)
{
    SystemRundllStandIns rundll;
    start(true);
    command(IDM_PROPERTIES);
    EXPECT_TRUE(tray().openDisplayProperties()) << "WinExec reported a failure";
    EXPECT_EQ(processesStarted(), 2u);
    ASSERT_TRUE(log_.waitForLines(2, 10000));
    for (const LoggedRun& run : log_.runs()) {
        EXPECT_EQ(run.module, systemRundllPath(runFamily()));
        EXPECT_EQ(run.commandLine, displayPropertiesLine(runFamily()));
    }
}

TEST_F(FamilySaverPrograms, ARundll32BesideTheProgramIsNeverRun)
{
    SystemRundllStandIns rundll;
    ASSERT_TRUE(fileExists(plantedRundllPath()));
    // The trap works: the bare name finds the one beside this program.
    ASSERT_GT(WinExec("rundll32.exe " DISPLAY_PROPERTIES_ARGUMENTS, SW_SHOWNORMAL), 31u);
    ASSERT_TRUE(log_.waitForLines(1, 10000));
    ASSERT_EQ(log_.runs()[0].module, plantedRundllPath());
    ASSERT_TRUE(waitForStartedProcesses(10000));
    log_.clear();
    restartProcessCount();

    // Both of the program's roads to the control panel.
    start(false);
    PromptAnswerer answerer(app(), IDYES);
    command(IDM_CONFIGURE);
    ASSERT_TRUE(answerer.finish().seen);
    command(IDM_PROPERTIES);
    EXPECT_EQ(processesStarted(), 2u);
    ASSERT_TRUE(log_.waitForLines(2, 10000));
    for (const LoggedRun& run : log_.runs()) {
        EXPECT_NE(run.module, plantedRundllPath()) << "the planted rundll32.exe ran";
        EXPECT_EQ(run.module, systemRundllPath(runFamily()));
    }
}

TEST_F(SaverPrograms, ConfigureAndChangePasswordDoNotWaitForWhatTheyStart)
{
    storeCurrentSaver(runFamily(), lingeringSaverPath().c_str());
    start(true);
    setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data", REG_BINARY, "", 1);
    setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword", 1);

    DWORD begin = GetTickCount();
    command(IDM_CONFIGURE);
    command(IDM_CHANGEPASSWORD);
    DWORD elapsed = GetTickCount() - begin;
    // Both programs live for three seconds; the commands are back long
    // before, and the follow-up already switched password use off while
    // the password program still runs.
    EXPECT_LT(elapsed, 2000u);
    EXPECT_EQ(processesStarted(), 2u);
    EXPECT_EQ(processesRunning(), 2u);
    DWORD usePassword = 1;
    EXPECT_TRUE(readDesktopDword("ScreenSaveUsePassword", &usePassword));
    EXPECT_EQ(usePassword, 0u);
    for (const std::string& line : log_.lines())
        EXPECT_NE(line, "done");

    // They did run on, and ended by themselves.
    ASSERT_TRUE(log_.waitForLines(4, 10000));
    EXPECT_TRUE(waitForStartedProcesses(5000));
    int done = 0;
    for (const std::string& line : log_.lines())
        done += line == "done";
    EXPECT_EQ(done, 2);
    std::vector<LoggedRun> runs = log_.runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].module, lingeringSaverPath());
}
