// What Launch, Configure, Properties and Change Password start or post.
#include <algorithm>
#include <set>

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

// The prompt as seen: system-modal Yes/No, shown after enabling the saver.
const char kPrompt[] = " seen asks yes no info topmost active record on";
std::string described(const PromptSeen& s)
{
    const bool has[] = {s.seen, std::count(s.texts.begin(), s.texts.end(), kPromptText) > 0,
                        s.yesButton, s.noButton, s.okButton, s.cancelButton, s.informationIcon,
                        s.topmost, s.hasOwner, s.systemActive, s.recordActive, s.iconOn};
    const char* const words[] = {"seen", "asks", "yes", "no", "ok", "cancel", "info", "topmost",
                                 "owned", "active", "record", "on"};
    std::string text;
    for (int i = 0; i < 12; ++i)
        text += has[i] ? std::string(" ") + words[i] : "";
    return text;
}

class FamilySaverPrograms : public CommandTest {
protected:
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

TEST_F(FamilySaverPrograms, ConfigureAndChangePasswordQuoteTheNameAndDoNotWait)
{
    InstalledFiles saver(lingeringSaverPath(), kBlankName);
    InstalledFiles trap(quickSaverPath(), kTrap);
    expectTrapTaken(std::string(kBlankName) + " /c", kTrap);
    SaverFamily family = runFamily();
    storeCurrentSaver(family, kBlankName);
    setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data", REG_BINARY, "", 1);
    setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword", 1);
    TrayWindow& window = start(true);
    HICON icon = window.trayIcon.hIcon;
    // The saver lives 3 s; the commands and their follow-up do not wait.
    DWORD begin = GetTickCount();
    command(IDM_CONFIGURE);
    command(IDM_CHANGEPASSWORD);
    EXPECT_LT(GetTickCount() - begin, 2000u);
    EXPECT_EQ(processesRunning(), 2u);
    DWORD usePassword = 1;
    EXPECT_TRUE(readDesktopDword("ScreenSaveUsePassword", &usePassword) && usePassword == 0);
    std::vector<std::string> lines = log_.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "done"), 0);
    EXPECT_EQ(window.trayIcon.hIcon, icon) << "already enabled: the icon stays";
    // Already quoted: left as it is; without a blank: the name and switch.
    std::string quoted = std::string("\"") + kBlankName + "\"";
    storeCurrentSaver(family, quoted.c_str());
    command(IDM_CONFIGURE);
    storeCurrentSaver(family, quickSaverPath().c_str());
    command(IDM_CONFIGURE);

    // All ran, in any order, and ended by themselves.
    EXPECT_EQ(processesStarted(), 4u);
    ASSERT_TRUE(log_.waitForLines(7, 10000));
    ASSERT_TRUE(waitForStartedProcesses(10000));
    lines = log_.lines();
    std::string blank = std::string(kBlankName) + "\t" + quoted;
    typedef std::multiset<std::string> Lines;
    EXPECT_EQ(Lines(lines.begin(), lines.end()),
              (Lines{blank + " /c", blank + " /c", blank + " /a 0", "done", "done", "done",
                     quickSaverPath() + "\t" + quickSaverPath() + " /c"}));
}

TEST_F(SaverPrograms, LaunchPostsScreenSaveToTheForegroundWindowOnly)
{
    storeCurrentSaver(runFamily(), quickSaverPath().c_str());
    start(true);
    CommandSink& sink = CommandSink::instance();
    sink.takeForeground();
    ASSERT_EQ(GetForegroundWindow(), sink.window);
    // The command and the double click post it; the system starts the saver.
    command(IDM_LAUNCH);
    MSG queued;
    EXPECT_TRUE(PeekMessageA(&queued, sink.window, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_NOREMOVE));
    SendMessageA(tray().window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_LBUTTONDBLCLK);
    pumpMessages();
    EXPECT_EQ(sink.screenSaves, 2);
    EXPECT_EQ(sink.sent, 0);
    EXPECT_EQ(sink.lastWParam, static_cast<WPARAM>(SC_SCREENSAVE));
    EXPECT_EQ(sink.lastLParam, 0);

    // No foreground window: nothing is posted anywhere.
    sink.takeForeground();
    SetActiveWindow(nullptr);
    pumpMessages();
    ASSERT_EQ(GetForegroundWindow(), static_cast<HWND>(nullptr));
    command(IDM_LAUNCH);
    EXPECT_FALSE(PeekMessageA(&queued, nullptr, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_NOREMOVE));
    pumpMessages();
    EXPECT_EQ(sink.screenSaves, 0);
    EXPECT_EQ(processesStarted(), 0u);
}

TEST_F(FamilySaverPrograms, NoSelectionPromptsAndYesOpensTheSystemsDisplayPanel)
{
    SystemPanelStandIns panel;
    expectTrapTaken(panelProgram() + panelArguments(), plantedPanelPath());
    assignEventSound("Launch", SoundRecorder::tone("Launch").c_str());
    SoundRecorder sounds;
    TrayWindow& window = start(false);
    ASSERT_TRUE(iconShows(window.trayIcon.hIcon, IDI_SAVER_OFF));
    // Only no selection prompts: "[NONE]" and "" are names that fail to run.
    const struct { const char* stored; WORD id; int answer; bool prompt; DWORD started; } steps[] {
        {nullptr, IDM_CONFIGURE, IDNO, true, 0},  {nullptr, IDM_LAUNCH, IDYES, true, 1},
        {nullptr, IDM_CONFIGURE, IDYES, true, 2}, {"[NONE]", IDM_CONFIGURE, IDNO, false, 2},
        {"", IDM_CONFIGURE, IDNO, false, 2},      {nullptr, IDM_CHANGEPASSWORD, IDNO, false, 2}};
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << "command " << step.id << " on \""
                                        << (step.stored ? step.stored : "(none)") << "\"");
        storeCurrentSaver(runFamily(), step.stored);
        PromptAnswerer answerer(app(), step.answer);
        command(step.id);
        PromptSeen seen = answerer.finish();
        EXPECT_EQ(seen.seen, step.prompt);
        EXPECT_EQ(step.prompt ? described(seen) : kPrompt, kPrompt);
        EXPECT_EQ(processesStarted(), step.started);
        EXPECT_EQ(sounds.settle(), step.id == IDM_LAUNCH ? std::vector<std::string>{"Launch"}
                                                         : std::vector<std::string>{});
        EXPECT_TRUE(isSaverActive() && recordActive());
        EXPECT_TRUE(iconShows(window.trayIcon.hIcon, IDI_SAVER_ON));
        EXPECT_FALSE(blinking());
    }
    command(IDM_PROPERTIES);
    EXPECT_TRUE(tray().openDisplayProperties()) << "WinExec reported a failure";
    EXPECT_EQ(processesStarted(), 4u);
    ASSERT_TRUE(log_.waitForLines(4, 10000));
    for (const LoggedRun& run : log_.runs()) {
        EXPECT_EQ(run.module, systemPanelPath(runFamily())) << "not the system's own program";
        EXPECT_EQ(run.commandLine, systemPanelPath(runFamily()) + panelArguments());
    }
}

// A screen saver a policy names (a bare name in the System directory, or a long path) is in force:
// checked, in the tooltip, run by Configure and Launch (no word of none); the user's none stays.
TEST_F(FamilySaverPrograms, APolicysScreenSaverIsCheckedNamedConfiguredAndLaunched)
{
    const std::string bare = systemDirectory() + "\\dmpolicy.scr",
                      spaced = windowsDirectory() + "\\Dormity Policy Saver.scr";
    InstalledFiles files(quickSaverPath(), bare), more(quickSaverPath(), spaced);
    TrayWindow& window = start(true);
    for (const std::string& named : {std::string("dmpolicy.scr"), spaced}) {
        setPolicyValue("SCRNSAVE.EXE", REG_SZ, named.c_str(), static_cast<DWORD>(named.size() + 1));
        SendMessageA(window.window, WM_SETTINGCHANGE, 0, 0);
        const std::string file = shortPath(named == spaced ? spaced : bare);
        for (const SaverEntry* entry = window.saverList; entry; entry = entry->next)
            EXPECT_EQ((entry->flags & SAVER_CHECKED) != 0, file == entry->fileName) << named;
        EXPECT_STREQ(window.trayIcon.szTip, "Dormity - [Dormity Command Test]");
        for (WORD id : {IDM_CONFIGURE, IDM_LAUNCH}) {
            PromptAnswerer answerer(app(), IDNO);
            command(id);
            EXPECT_FALSE(answerer.finish().seen) << id << ": none said to be selected";
        }
        ASSERT_TRUE(log_.waitForLines(1, 10000) && waitForStartedProcesses(10000));
        EXPECT_EQ(shortPath(log_.runs().at(0).module), file);
        log_.clear();
    }
    std::string stored;
    EXPECT_FALSE(storedCurrentSaver(runFamily(), &stored)) << stored;
}
