// The event sounds: which key of the sound scheme each action reads and
// what the system then really plays. Each event is assigned a tone of its
// own; the samples the sound device is handed tell which one was heard.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>

#include <string>
#include <vector>

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

Names heard(const char* event)
{
    return Names{event};
}

void assignAllSix()
{
    for (const char* event : kEvents)
        assignEventSound(event, SoundRecorder::tone(event).c_str());
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

    command(IDM_TOGGLE);
    EXPECT_EQ(sounds.settle(), heard("Disable"));
    ASSERT_FALSE(isSaverActive());
    command(IDM_TOGGLE);
    EXPECT_EQ(sounds.settle(), heard("Enable"));
    ASSERT_TRUE(isSaverActive());

    command(IDM_LAUNCH);
    EXPECT_EQ(sounds.settle(), heard("Launch"));
    SendMessageA(tray().window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_LBUTTONDBLCLK);
    EXPECT_EQ(sounds.settle(), heard("Launch"));
    SendMessageA(tray().window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_LBUTTONDOWN);
    SendMessageA(tray().window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_LBUTTONUP);
    EXPECT_TRUE(sounds.settle().empty()) << "a single click";

    // The 95 family reads the missing flag as on, the NT family as off.
    bool on = runFamily() == FAMILY_95;
    command(IDM_PASSWORD);
    EXPECT_EQ(sounds.settle(), heard(on ? "Pass_Disable" : "Pass_Enable"));
    command(IDM_PASSWORD);
    EXPECT_EQ(sounds.settle(), heard(on ? "Pass_Enable" : "Pass_Disable"));

    command(4999);  // no such entry: the sound plays all the same
    EXPECT_EQ(sounds.settle(), heard("Select"));

    const WORD silent[] = {IDM_CONFIGURE, IDM_PROPERTIES, IDM_CHANGEPASSWORD, IDM_LOCK, IDM_NONE};
    for (WORD id : silent) {
        command(id);
        EXPECT_TRUE(sounds.settle().empty()) << "command " << id << " played a sound";
    }
    EXPECT_FALSE(sounds.playedSynchronously()) << "a sound was played synchronously";
}

// Beside this test lies a planted winmm.dll, and Wine is told to prefer a
// winmm.dll that the search finds to its own (as Windows does for a DLL
// that is not a known one): a bare name loads the planted one. The
// program's first sound must load the system's, and all of them play.
// A module already loaded is found by its name alone, so this runs in a
// process of its own where nothing loaded winmm before (CTest's
// commands_winmm runs).
TEST_F(PlantedWinmm, NeverLoadedAndTheSoundsStillPlay)
{
    ASSERT_EQ(GetModuleHandleA("winmm.dll"), static_cast<HMODULE>(nullptr))
        << "winmm is loaded already: run with --gtest_filter=PlantedWinmm.*";
    ASSERT_TRUE(fileExists(plantedWinmmPath()));
    const std::string ownMarker = plantedWinmmMarker(GetCurrentProcessId());
    DeleteFileA(ownMarker.c_str());  // from an earlier process of the same id

    // The trap works: a program here asking for winmm.dll by name gets it.
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
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
    EXPECT_FALSE(fileExists(ownMarker)) << "the planted winmm.dll was loaded";
    char loaded[MAX_PATH] = "";
    GetModuleFileNameA(tray().soundLibrary.get(), loaded, sizeof loaded);
    EXPECT_EQ(lstrcmpiA(loaded, (systemDirectory() + "\\winmm.dll").c_str()), 0) << loaded;

    // Every event plays through it.
    SoundRecorder sounds;
    sounds.settle();
    for (int event = 0; event < 6; ++event) {
        EXPECT_TRUE(tray().playEventSound(event));
        EXPECT_EQ(sounds.settle(), heard(kEvents[event])) << "event " << event;
    }
    stop();
    EXPECT_FALSE(fileExists(ownMarker)) << "the planted winmm.dll was loaded";
    DeleteFileA(ownMarker.c_str());
}

TEST_F(Sounds, SixKeysAndNothingOutsideThem)
{
    const char* const keys[] = {
        "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Launch\\.Current",
        "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Enable\\.Current",
        "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Disable\\.Current",
        "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Select\\.Current",
        "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Pass_Enable\\.Current",
        "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Pass_Disable\\.Current",
    };
    for (int event = 0; event < 6; ++event)
        EXPECT_STREQ(soundKeyForEvent(event), keys[event]) << "event " << event;
    EXPECT_EQ(soundKeyForEvent(-1), nullptr);
    EXPECT_EQ(soundKeyForEvent(6), nullptr);

    assignAllSix();
    SoundRecorder sounds;
    start(true);
    EXPECT_FALSE(tray().playEventSound(-1));
    EXPECT_FALSE(tray().playEventSound(6));
    EXPECT_TRUE(sounds.settle().empty());
    for (int event = 0; event < 6; ++event) {
        EXPECT_TRUE(tray().playEventSound(event));
        EXPECT_EQ(sounds.settle(), heard(kEvents[event])) << "event " << event;
    }
}

TEST_F(Sounds, WithoutASchemeEveryCommandWorksSilently)
{
    // SetUp removed the program's scheme entirely.
    storeCurrentSaver(runFamily(), quickSaverPath().c_str());
    SoundRecorder sounds;
    TrayWindow& window = start(true);
    CommandSink::instance().takeForeground();

    command(IDM_TOGGLE);
    EXPECT_FALSE(isSaverActive());
    EXPECT_TRUE(iconShows(window.trayIcon.hIcon, IDI_SAVER_OFF));
    command(IDM_TOGGLE);
    EXPECT_TRUE(isSaverActive());
    command(IDM_PASSWORD);
    std::string secure;
    EXPECT_TRUE(readDesktopRaw("ScreenSaverIsSecure", &secure, nullptr));
    command(IDM_LAUNCH);
    command(4999);
    command(IDM_NONE);
    std::string stored;
    EXPECT_FALSE(storedCurrentSaver(runFamily(), &stored));
    EXPECT_STREQ(window.trayIcon.szTip, "Dormity - [none]");
    EXPECT_TRUE(sounds.settle().empty());
}

TEST_F(Sounds, ValuesAreUsedAsStoredAndOverlongOnesAreSilent)
{
    SoundRecorder sounds;
    start(true);

    // Not expanded, whatever the type says: the name, relative to the
    // current directory, is a folder called "%TEMP%" there, while the
    // expanded one holds another tone.
    std::string home = SoundRecorder::directory();
    std::string literal = home + "\\%TEMP%";
    CreateDirectoryA(literal.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(SoundRecorder::tone("unexpanded").c_str(),
                          (literal + "\\dormity-tone.wav").c_str(), FALSE));
    char temp[MAX_PATH] = "";
    GetEnvironmentVariableA("TEMP", temp, sizeof temp);
    std::string expanded = std::string(temp) + "\\dormity-tone.wav";
    ASSERT_TRUE(CopyFileA(SoundRecorder::tone("expanded").c_str(), expanded.c_str(), FALSE));
    char current[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof current, current);
    SetCurrentDirectoryA(home.c_str());
    assignEventSound("Select", "%TEMP%\\dormity-tone.wav", REG_EXPAND_SZ);
    tray().playEventSound(SOUND_SELECT);
    EXPECT_EQ(sounds.settle(), Names{"unexpanded"});
    SetCurrentDirectoryA(current);
    DeleteFileA(expanded.c_str());
    DeleteFileA((literal + "\\dormity-tone.wav").c_str());
    RemoveDirectoryA(literal.c_str());

    // The type is not checked.
    assignEventSound("Select", SoundRecorder::tone("binary").c_str(), REG_BINARY);
    tray().playEventSound(SOUND_SELECT);
    EXPECT_EQ(sounds.settle(), Names{"binary"});

    // 259 characters fit the 260-byte buffer; 260 do not. The names are
    // padded with ".\" so that the files they name stay short: the first
    // 259 characters of the overlong one name a tone as well, and so does
    // the whole of it.
    std::string prefix = home + "\\";
    size_t padding = (259 - prefix.size() - 5) / 2;
    std::string file = std::string(259 - prefix.size() - 2 * padding - 4, 'f') + ".wav";
    std::string dots;
    for (size_t i = 0; i < padding; ++i)
        dots += ".\\";
    std::string fits = prefix + dots + file;
    ASSERT_EQ(fits.size(), 259u);
    ASSERT_TRUE(CopyFileA(SoundRecorder::tone("fits").c_str(), (prefix + file).c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(SoundRecorder::tone("overlong").c_str(), (prefix + file + "o").c_str(),
                          FALSE));
    assignEventSound("Select", fits.c_str());
    tray().playEventSound(SOUND_SELECT);
    EXPECT_EQ(sounds.settle(), Names{"fits"});
    assignEventSound("Select", (fits + "o").c_str());
    tray().playEventSound(SOUND_SELECT);
    EXPECT_TRUE(sounds.settle().empty());
    DeleteFileA((prefix + file).c_str());
    DeleteFileA((prefix + file + "o").c_str());

    // Empty: silence. (Wine never falls back to the default sound for a
    // file name, so what the request asks for is not seen here.)
    assignEventSound("Select", "");
    tray().playEventSound(SOUND_SELECT);
    EXPECT_TRUE(sounds.settle().empty());
}
