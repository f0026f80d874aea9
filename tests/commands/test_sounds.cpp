// The event sounds: the scheme key each action reads and what the system
// then really plays; each event has a tone of its own, named by its samples.
#include "command_env.h"
#include "commands/command_line.h"
#include "res/resource.h"
#include "support/wine_env.h"

namespace {

const char* const kEvents[] = {"Launch", "Enable", "Disable", "Select", "Pass_Enable",
                               "Pass_Disable"};

typedef std::vector<std::string> Names;

void assignAllSix()
{
    for (const char* event : kEvents)
        assignEventSound(event, SoundRecorder::tone(event).c_str());
}

// Each event plays its own key's sound; numbers outside the six play none.
void expectEveryEventHeard(TrayWindow& tray, SoundRecorder& sounds)
{
    EXPECT_FALSE(tray.playEventSound(-1));
    EXPECT_FALSE(tray.playEventSound(6));
    EXPECT_TRUE(sounds.settle().empty());
    for (int event = 0; event < 6; ++event) {
        EXPECT_TRUE(tray.playEventSound(event));
        EXPECT_EQ(sounds.settle(), Names{kEvents[event]}) << "event " << event;
    }
}

class FamilySounds : public CommandTest {};
class Sounds : public CommandTest {};
class PlantedWinmm : public CommandTest {};

} // namespace

TEST_F(FamilySounds, EachActionPlaysItsOwnEventsSoundAndNoOtherDoes)
{
    assignAllSix();
    storeCurrentSaver(runFamily(), quickSaverPath().c_str());
    // A password stored, so that switching it on starts no dialog.
    setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data", REG_BINARY, "\x05\0\0\0", 4);
    SoundRecorder sounds;
    start(true);
    CommandSink::instance().takeForeground();
    ASSERT_TRUE(sounds.settle().empty()) << "start-up played something";
    // The 95 family reads the missing password flag as on, the NT family as
    // off; an id of no entry plays Select all the same; a click is silent.
    const bool on = runFamily() == FAMILY_95;
    const struct { WORD id; UINT mouse; const char* heard; } actions[] = {
        {IDM_TOGGLE, 0, "Disable"}, {IDM_TOGGLE, 0, "Enable"}, {IDM_LAUNCH, 0, "Launch"},
        {0, WM_LBUTTONDBLCLK, "Launch"}, {0, WM_LBUTTONDOWN, nullptr}, {0, WM_LBUTTONUP, nullptr},
        {IDM_PASSWORD, 0, on ? "Pass_Disable" : "Pass_Enable"},
        {IDM_PASSWORD, 0, on ? "Pass_Enable" : "Pass_Disable"}, {4999, 0, "Select"},
        {IDM_CONFIGURE, 0, nullptr}, {IDM_PROPERTIES, 0, nullptr}, {IDM_CHANGEPASSWORD, 0, nullptr},
        {IDM_LOCK, 0, nullptr}, {IDM_NONE, 0, nullptr}};
    for (const auto& action : actions) {
        SCOPED_TRACE(testing::Message() << "command " << action.id << ", mouse " << action.mouse);
        if (action.mouse)
            SendMessageA(tray().window, WM_TRAYNOTIFY, TRAY_ICON_ID, action.mouse);
        else
            command(action.id);
        EXPECT_EQ(sounds.settle(), action.heard ? Names{action.heard} : Names{});
    }
    EXPECT_FALSE(sounds.playedSynchronously()) << "a sound was played synchronously";
}

// Wine is told to prefer a winmm.dll found by the search (as Windows does
// for a DLL that is not a known one), and one is planted beside this test:
// the program must load the system's, in a process where nothing loaded
// winmm before (a loaded module is found by name alone: CTest's
// commands_winmm runs).
TEST_F(PlantedWinmm, NeverLoadedAndTheSoundsStillPlay)
{
    ASSERT_EQ(GetModuleHandleA("winmm.dll"), static_cast<HMODULE>(nullptr))
        << "winmm is loaded already: run with --gtest_filter=PlantedWinmm.*";
    const std::string ownMarker = plantedWinmmMarker(GetCurrentProcessId());
    DeleteFileA(ownMarker.c_str());  // from an earlier process of the same id

    // The trap works: a program here asking for winmm.dll by name gets it.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    std::string line = "\"" + winmmByNamePath() + "\"";
    ASSERT_TRUE(CreateProcessA(winmmByNamePath().c_str(), &line[0], nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &process));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::string childMarker = plantedWinmmMarker(process.dwProcessId);
    bool trapWorks = fileExists(childMarker);
    DeleteFileA(childMarker.c_str());
    ASSERT_TRUE(trapWorks) << "the planted winmm.dll is not found by name (CTest runs these "
                              "tests with WINEDLLOVERRIDES winmm=n,b)";

    // No sound yet, no winmm; the first sound loads the system's.
    assignAllSix();
    start(true);
    EXPECT_EQ(GetModuleHandleA("winmm.dll"), static_cast<HMODULE>(nullptr));
    tray().playEventSound(SOUND_LAUNCH);
    char loaded[MAX_PATH] = "";
    GetModuleFileNameA(tray().soundLibrary.get(), loaded, sizeof loaded);
    EXPECT_EQ(lstrcmpiA(loaded, (systemDirectory() + "\\winmm.dll").c_str()), 0) << loaded;
    SoundRecorder sounds;
    sounds.settle();
    expectEveryEventHeard(tray(), sounds);
    stop();
    EXPECT_FALSE(fileExists(ownMarker)) << "the planted winmm.dll was loaded";
    DeleteFileA(ownMarker.c_str());
}

TEST_F(Sounds, SilentWithoutASchemeAndPlayedAsStoredWithOne)
{
    // Without a scheme (SetUp removed it) every command works, silently.
    storeCurrentSaver(runFamily(), quickSaverPath().c_str());
    SoundRecorder sounds;
    TrayWindow& window = start(true);
    CommandSink::instance().takeForeground();
    command(IDM_TOGGLE);
    EXPECT_FALSE(isSaverActive());
    EXPECT_TRUE(iconShows(window.trayIcon.hIcon, IDI_SAVER_OFF));
    command(IDM_TOGGLE);
    EXPECT_TRUE(isSaverActive());
    std::string secure;
    command(IDM_PASSWORD);
    EXPECT_TRUE(readDesktopRaw("ScreenSaverIsSecure", &secure, nullptr));
    command(IDM_LAUNCH);
    command(4999);
    command(IDM_NONE);
    EXPECT_FALSE(storedCurrentSaver(runFamily(), &secure));
    EXPECT_STREQ(window.trayIcon.szTip, "Dormity - [none]");
    EXPECT_TRUE(sounds.settle().empty());

    assignAllSix();
    expectEveryEventHeard(tray(), sounds);
    // Not expanded, whatever the type: relative to the current directory,
    // "%TEMP%" is a folder there, while the expanded name holds another tone.
    std::string home = SoundRecorder::directory();
    std::string literal = home + "\\%TEMP%";
    CreateDirectoryA(literal.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(SoundRecorder::tone("unexpanded").c_str(),
                          (literal + "\\dormity-tone.wav").c_str(), FALSE));
    char temp[MAX_PATH] = "", current[MAX_PATH] = "";
    GetEnvironmentVariableA("TEMP", temp, sizeof temp);
    std::string expanded = std::string(temp) + "\\dormity-tone.wav";
    ASSERT_TRUE(CopyFileA(SoundRecorder::tone("expanded").c_str(), expanded.c_str(), FALSE));
    GetCurrentDirectoryA(sizeof current, current);
    SetCurrentDirectoryA(home.c_str());
    // 259 characters fit the 260-byte buffer, 260 do not; ".\" padding keeps
    // the files short, and the overlong name's first 259 characters name a
    // tone too. The type is not checked; empty is silent.
    std::string prefix = home + "\\";
    size_t padding = (259 - prefix.size() - 5) / 2;
    std::string file = std::string(259 - prefix.size() - 2 * padding - 4, 'f') + ".wav";
    std::string fits = prefix;
    for (size_t i = 0; i < padding; ++i)
        fits += ".\\";
    fits += file;
    ASSERT_EQ(fits.size(), 259u);
    ASSERT_TRUE(CopyFileA(SoundRecorder::tone("fits").c_str(), (prefix + file).c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(SoundRecorder::tone("overlong").c_str(), (prefix + file + "o").c_str(),
                          FALSE));
    const struct { std::string value; DWORD type; const char* heard; } values[] = {
        {"%TEMP%\\dormity-tone.wav", REG_EXPAND_SZ, "unexpanded"},
        {SoundRecorder::tone("binary"), REG_BINARY, "binary"},
        {fits, REG_SZ, "fits"}, {fits + "o", REG_SZ, nullptr}, {"", REG_SZ, nullptr}};
    for (const auto& value : values) {
        assignEventSound("Select", value.value.c_str(), value.type);
        tray().playEventSound(SOUND_SELECT);
        EXPECT_EQ(sounds.settle(), value.heard ? Names{value.heard} : Names{}) << value.value;
    }
    SetCurrentDirectoryA(current);
    for (const std::string& name : {expanded, literal + "\\dormity-tone.wav", prefix + file,
                                    prefix + file + "o"})
        DeleteFileA(name.c_str());
    RemoveDirectoryA(literal.c_str());
}
