// The event sounds as really played: each event's tone is named by its samples.
#include "support/program.h"
#include "commands/command_line.h"
#include "res/resource.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"

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
    EXPECT_FALSE(tray.playEventSound(-1) || tray.playEventSound(6));
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
    // A missing password flag is on for the 95 family, off for NT.
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
        action.mouse ? (void)SendMessageA(tray().window, WM_TRAYNOTIFY, TRAY_ICON_ID, action.mouse)
                     : command(action.id);
        EXPECT_EQ(sounds.settle(), action.heard ? Names{action.heard} : Names{});
    }
    EXPECT_FALSE(sounds.playedSynchronously()) << "a sound was played synchronously";
}

// A winmm.dll planted here is found by a bare name; run alone (commands_winmm).
TEST_F(PlantedWinmm, NeverLoadedAndTheSoundsStillPlay)
{
    ASSERT_EQ(GetModuleHandleA("winmm.dll"), static_cast<HMODULE>(nullptr))
        << "winmm is loaded already: run with --gtest_filter=PlantedWinmm.*";
    const std::string ownMarker = plantedWinmmMarker(GetCurrentProcessId());
    DeleteFileA(ownMarker.c_str());  // from an earlier process of the same id

    ChildProcess child;
    ASSERT_TRUE(child.start(winmmByNamePath()));
    EXPECT_NE(child.waitExit(10000), STILL_ACTIVE);
    ASSERT_TRUE(DeleteFileA(plantedWinmmMarker(child.id).c_str()))
        << "the planted winmm.dll is not found by name (CTest sets winmm=n,b)";

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
    // "%TEMP%" as a folder here; 259 and 260 characters (".\" padding).
    std::vector<std::string> files;
    auto place = [&files](const char* tone, const std::string& path) {
        files.push_back(path);
        EXPECT_TRUE(CopyFileA(SoundRecorder::tone(tone).c_str(), path.c_str(), FALSE)) << path;
    };
    char temp[MAX_PATH] = "";
    GetEnvironmentVariableA("TEMP", temp, sizeof temp);
    CreateDirectoryA("%TEMP%", nullptr);
    place("unexpanded", "%TEMP%\\dormity-tone.wav");
    place("expanded", std::string(temp) + "\\dormity-tone.wav");
    std::string prefix = SoundRecorder::directory() + "\\";
    size_t padding = (259 - prefix.size() - 5) / 2;
    std::string file = prefix + std::string(259 - prefix.size() - 2 * padding - 4, 'f') + ".wav";
    std::string fits = prefix;
    for (size_t i = 0; i < padding; ++i)
        fits += ".\\";
    fits += file.substr(prefix.size());
    ASSERT_EQ(fits.size(), 259u);
    place("fits", file);
    place("overlong", file + "o");
    // Used as stored, whatever the type says; empty is silent.
    const struct { std::string value; DWORD type; const char* heard; } values[] = {
        {"%TEMP%\\dormity-tone.wav", REG_EXPAND_SZ, "unexpanded"},
        {SoundRecorder::tone("binary"), REG_BINARY, "binary"},
        {fits, REG_SZ, "fits"}, {fits + "o", REG_SZ, nullptr}, {"", REG_SZ, nullptr}};
    for (const auto& value : values) {
        assignEventSound("Select", value.value.c_str(), value.type);
        tray().playEventSound(SOUND_SELECT);
        EXPECT_EQ(sounds.settle(), value.heard ? Names{value.heard} : Names{}) << value.value;
    }
    for (const std::string& name : files)
        DeleteFileA(name.c_str());
    RemoveDirectoryA("%TEMP%");
}

// However Dormity came onto the PC, its start registers the six events for the user: the
// application's name, an empty sound where none is assigned, an assigned one kept, and labels
// as the program's own string table has them. From Windows Vista on each label also names its
// text in the program's resources, also after the program moved.
TEST_F(FamilySounds, StartRegistersTheEventsKeepingAnAssignedSound)
{
    const std::string labels = SOUND_LABELS_KEY "\\Dormity-";
    const std::string scheme = SOUND_SCHEME_KEY "\\Dormity-";
    for (const char* event : kEvents)
        deleteRegTree(HKEY_CURRENT_USER, (labels + event).c_str());
    assignEventSound("Select", "C:\\mine.wav");
    const bool named = runningAsVistaOrLater();
    if (named)
        setRegString(HKEY_CURRENT_USER, (labels + "Launch").c_str(), "DispFileName",
                     "@C:\\moved\\Dormity.exe,-280");
    start(true);
    auto read = [](const std::string& key, const char* name) -> std::string {  // "-": none
        std::string value;
        return readRegValue(HKEY_CURRENT_USER, key.c_str(), name, &value) ? value.c_str() : "-";
    };
    EXPECT_EQ(read(SOUND_SCHEME_KEY, ""), "Dormity");
    for (int event = 0; event < 6; ++event) {
        SCOPED_TRACE(kEvents[event]);
        char text[256] = "";
        ASSERT_GT(LoadStringA(GetModuleHandleA(nullptr), 280 + event, text, sizeof text), 0);
        const std::string sound = read(scheme + kEvents[event] + "\\.Current", "");
        EXPECT_EQ(sound, event == 3 ? "C:\\mine.wav" : "");
        EXPECT_EQ(read(labels + kEvents[event], ""), text);
        const std::string source = read(labels + kEvents[event], "DispFileName");
        const std::string id = std::to_string(280 + event);
        EXPECT_EQ(source, named ? "@" + moduleFileName() + ",-" + id : "-");
    }
}
