// Launch, Configure, the display properties and Change Password: what the
// program starts (the fixtures log it), what it posts, and the prompt shown
// when no screen saver is selected.
#include <algorithm>
#include <set>

#include "command_env.h"
#include "commands/command_line.h"
#include "res/resource.h"
#include "support/wine_env.h"

namespace {

const char kPromptText[] =
    "There is no Screen Saver currently selected.  Would you like to select a Screen Saver?";
// The prompt as it must be seen: system-modal Yes/No with the information
// icon, the saver already enabled (system, record and icon).
const char kPrompt[] = "seen asks yes no info topmost active record on";
const char kBlankName[] = "C:\\Program Files\\Dormity Test\\log saver.scr";
const char kTrap[] = "C:\\Program.exe";

std::string described(const PromptSeen& seen)
{
    bool asks = false;
    for (const std::string& text : seen.texts)
        asks = asks || text == kPromptText;
    const struct { bool has; const char* word; } parts[] = {
        {seen.seen, "seen"},         {asks, "asks"},         {seen.yesButton, "yes"},
        {seen.noButton, "no"},       {seen.okButton, "ok"},  {seen.cancelButton, "cancel"},
        {seen.informationIcon, "info"}, {seen.topmost, "topmost"}, {seen.hasOwner, "owned"},
        {seen.systemActive, "active"}, {seen.recordActive, "record"}, {seen.iconOn, "on"}};
    std::string words;
    for (const auto& part : parts) {
        if (part.has)
            words += std::string(words.empty() ? "" : " ") + part.word;
    }
    return words;
}

bool systemCommandQueued(HWND window)
{
    MSG message;
    return PeekMessageA(&message, window, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_NOREMOVE) != FALSE;
}

class FamilySaverPrograms : public CommandTest {
protected:
    // A bare command line starts the trap: proves the trap before the test.
    void expectTrapTaken(const std::string& line, const std::string& trap)
    {
        ASSERT_GT(WinExec(line.c_str(), SW_SHOWNORMAL), 31u);
        ASSERT_TRUE(log_.waitForLines(1, 10000));
        ASSERT_EQ(log_.runs()[0].module, trap);
        ASSERT_TRUE(waitForStartedProcesses(10000));
        log_.clear();
        restartProcessCount();
    }
};
class SaverPrograms : public CommandTest {};

} // namespace

TEST_F(FamilySaverPrograms, NoSelectionEnablesFirstThenPromptsAndNoStartsNothing)
{
    TrayWindow& window = start(false);
    ASSERT_TRUE(iconShows(window.trayIcon.hIcon, IDI_SAVER_OFF));
    PromptAnswerer answerer(app(), IDNO);
    command(IDM_CONFIGURE);
    EXPECT_EQ(described(answerer.finish()), kPrompt);
    EXPECT_EQ(processesStarted(), 0u) << "No started something";
    EXPECT_TRUE(isSaverActive() && recordActive());
    EXPECT_TRUE(iconShows(window.trayIcon.hIcon, IDI_SAVER_ON));
    EXPECT_FALSE(blinking());
}

TEST_F(FamilySaverPrograms, ConfigureQuotesANameWithABlankAndNeverRunsProgramExe)
{
    InstalledFile saver(quickSaverPath(), kBlankName);
    InstalledFile trap(quickSaverPath(), kTrap);
    expectTrapTaken(std::string(kBlankName) + " /c", kTrap);

    SaverFamily family = runFamily();
    storeCurrentSaver(family, kBlankName);
    TrayWindow& window = start(true);
    HICON icon = window.trayIcon.hIcon;
    command(IDM_CONFIGURE);
    EXPECT_EQ(window.trayIcon.hIcon, icon) << "already enabled: the icon stays";
    command(IDM_CHANGEPASSWORD);
    // Already quoted: left as it is; without a blank: the name and switch.
    std::string quoted = std::string("\"") + kBlankName + "\"";
    storeCurrentSaver(family, quoted.c_str());
    command(IDM_CONFIGURE);
    storeCurrentSaver(family, quickSaverPath().c_str());
    command(IDM_CONFIGURE);

    EXPECT_EQ(processesStarted(), 4u);
    ASSERT_TRUE(log_.waitForLines(4, 10000));
    ASSERT_TRUE(waitForStartedProcesses(10000));
    // Logged in any order; the quoted configure line twice.
    std::multiset<std::string> runs;
    for (const LoggedRun& run : log_.runs())
        runs.insert(run.module + " <- " + run.commandLine);
    std::string blank = std::string(kBlankName) + " <- " + quoted;
    EXPECT_EQ(runs, (std::multiset<std::string>{blank + " /c", blank + " /c", blank + " /a 0",
                                                quickSaverPath() + " <- " + quickSaverPath() + " /c"}));
}

TEST_F(FamilySaverPrograms, OnlyTheExactNoneTextMeansNoSelection)
{
    start(true);
    // "[NONE]" and "" are file names that Configure fails to run, silently;
    // Change Password with nothing selected fails on "[none] /a 0", silently.
    const struct { const char* name; WORD id; } cases[] = {
        {"[NONE]", IDM_CONFIGURE}, {"", IDM_CONFIGURE}, {nullptr, IDM_CHANGEPASSWORD}};
    for (const auto& c : cases) {
        storeCurrentSaver(runFamily(), c.name);
        PromptAnswerer answerer(app(), IDNO);
        command(c.id);
        EXPECT_FALSE(answerer.finish().seen) << "prompted for \"" << (c.name ? c.name : "") << "\"";
    }
    EXPECT_EQ(processesStarted(), 0u);
}

TEST_F(SaverPrograms, LaunchPostsScreenSaveToTheForegroundWindowOnly)
{
    storeCurrentSaver(runFamily(), quickSaverPath().c_str());
    start(true);
    CommandSink& sink = CommandSink::instance();
    sink.takeForeground();
    ASSERT_EQ(GetForegroundWindow(), sink.window);
    // The command and the double click: posted, and the system (not the
    // program) starts the screen saver.
    command(IDM_LAUNCH);
    EXPECT_TRUE(systemCommandQueued(sink.window)) << "not posted";
    SendMessageA(tray().window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_LBUTTONDBLCLK);
    pumpMessages();
    EXPECT_EQ(sink.screenSaves, 2);
    EXPECT_EQ(sink.sent, 0);
    EXPECT_EQ(sink.lastWParam, static_cast<WPARAM>(SC_SCREENSAVE));
    EXPECT_EQ(sink.lastLParam, 0);

    // No foreground window: the hidden window's default processing gets the
    // request (Wine does nothing with it); nothing is posted anywhere.
    sink.takeForeground();
    SetActiveWindow(nullptr);
    pumpMessages();
    ASSERT_EQ(GetForegroundWindow(), static_cast<HWND>(nullptr));
    command(IDM_LAUNCH);
    EXPECT_FALSE(systemCommandQueued(nullptr));
    pumpMessages();
    EXPECT_EQ(sink.screenSaves, 0);
    EXPECT_EQ(processesStarted(), 0u);
}

TEST_F(FamilySaverPrograms, TheDisplayControlPanelIsTheSystemsRundll32NeverTheOneBeside)
{
    SystemRundllStandIns rundll;
    expectTrapTaken("rundll32.exe " DISPLAY_PROPERTIES_ARGUMENTS, plantedRundllPath());
    assignEventSound("Launch", SoundRecorder::tone("Launch").c_str());
    SoundRecorder sounds;
    TrayWindow& window = start(false);
    // Nothing selected: Launch (its sound plays all the same) and Configure
    // prompt, and Yes opens the panel; Properties opens it directly.
    for (WORD id : {IDM_LAUNCH, IDM_CONFIGURE}) {
        PromptAnswerer answerer(app(), IDYES);
        command(id);
        EXPECT_EQ(described(answerer.finish()), kPrompt) << "command " << id;
        EXPECT_EQ(sounds.settle(), id == IDM_LAUNCH ? std::vector<std::string>{"Launch"}
                                                    : std::vector<std::string>{});
    }
    command(IDM_PROPERTIES);
    EXPECT_TRUE(tray().openDisplayProperties()) << "WinExec reported a failure";
    EXPECT_TRUE(iconShows(window.trayIcon.hIcon, IDI_SAVER_ON));
    EXPECT_EQ(processesStarted(), 4u);
    ASSERT_TRUE(log_.waitForLines(4, 10000));
    for (const LoggedRun& run : log_.runs()) {
        EXPECT_EQ(run.module, systemRundllPath(runFamily())) << "not the system's rundll32.exe";
        EXPECT_EQ(run.commandLine, displayPropertiesLine(runFamily()));
    }
}

TEST_F(SaverPrograms, ConfigureAndChangePasswordDoNotWaitForWhatTheyStart)
{
    storeCurrentSaver(runFamily(), lingeringSaverPath().c_str());
    start(true);
    setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data", REG_BINARY, "", 1);
    setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword", 1);
    // Both programs live for three seconds; the commands are back long
    // before, and password use is off while the password program runs.
    DWORD begin = GetTickCount();
    command(IDM_CONFIGURE);
    command(IDM_CHANGEPASSWORD);
    EXPECT_LT(GetTickCount() - begin, 2000u);
    EXPECT_EQ(processesStarted(), 2u);
    EXPECT_EQ(processesRunning(), 2u);
    DWORD usePassword = 1;
    EXPECT_TRUE(readDesktopDword("ScreenSaveUsePassword", &usePassword) && usePassword == 0);
    std::vector<std::string> lines = log_.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "done"), 0);

    // They ran on, and ended by themselves.
    ASSERT_TRUE(log_.waitForLines(4, 10000));
    EXPECT_TRUE(waitForStartedProcesses(5000));
    lines = log_.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "done"), 2);
    ASSERT_EQ(log_.runs().size(), 2u);
    EXPECT_EQ(log_.runs()[0].module, lingeringSaverPath());
}
