// The event sounds: which key of the sound scheme each action reads and
// what the system's sound player is then asked to open.
//
// Wine here has no sound device, so nothing is heard and an asynchronous
// PlaySound reports success whatever it is given. What the player does is
// seen instead through a private multimedia I/O procedure: a scheme value
// "<file>.DMTS+<element>" makes the player open it through the test, which
// notes the name and the thread, and serves <file>.DMTS when it exists.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>
#include <string.h>

#include <string>
#include <vector>

#include "command_env.h"
#include "commands/command_line.h"
#include "res/resource.h"
#include "support/wine_env.h"

namespace {

const char* const kEvents[] = {"Launch", "Enable", "Disable", "Select", "Pass_Enable",
                               "Pass_Disable"};

typedef std::vector<std::string> Names;

Names heard(const char* event)
{
    return Names{SoundRecorder::probeName(event)};
}

void assignAllSix()
{
    for (const char* event : kEvents)
        assignEventSound(event, SoundRecorder::probeName(event).c_str());
}

// A real PCM wave file: 8 kHz, 8-bit mono, a tenth of a second.
std::string waveFile()
{
    std::string samples(800, '\0');
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<char>((i / 10) % 2 ? 0xA0 : 0x60);
    auto word = [](std::string& out, unsigned value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    std::string wave = "RIFF";
    word(wave, static_cast<unsigned>(36 + samples.size()), 4);
    wave += "WAVEfmt ";
    word(wave, 16, 4);
    word(wave, WAVE_FORMAT_PCM, 2);
    word(wave, 1, 2);     // channels
    word(wave, 8000, 4);  // samples per second
    word(wave, 8000, 4);  // bytes per second
    word(wave, 1, 2);     // block align
    word(wave, 8, 2);     // bits per sample
    wave += "data";
    word(wave, static_cast<unsigned>(samples.size()), 4);
    return wave + samples;
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
    EXPECT_FALSE(sounds.openedOnCallingThread()) << "a sound was played synchronously";
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

    // Every event plays through it (the first sound, still on its way when
    // the recorder came, may or may not have reached it).
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

    // Not expanded, whatever the type says.
    std::string unexpanded = "%TEMP%\\dormity.DMTS+probe";
    assignEventSound("Select", unexpanded.c_str(), REG_EXPAND_SZ);
    tray().playEventSound(SOUND_SELECT);
    EXPECT_EQ(sounds.settle(), Names{unexpanded});

    // The type is not checked.
    std::string binary = SoundRecorder::probeName("binary");
    assignEventSound("Select", binary.c_str(), REG_BINARY);
    tray().playEventSound(SOUND_SELECT);
    EXPECT_EQ(sounds.settle(), Names{binary});

    // 259 characters fit the 260-byte buffer; 260 do not.
    std::string prefix = SoundRecorder::directory() + "\\";
    std::string fits = prefix + std::string(259 - prefix.size() - 11, 'f') + ".DMTS+probe";
    ASSERT_EQ(fits.size(), 259u);
    assignEventSound("Select", fits.c_str());
    tray().playEventSound(SOUND_SELECT);
    EXPECT_EQ(sounds.settle(), Names{fits});
    std::string overlong = prefix + std::string(260 - prefix.size() - 11, 'o') + ".DMTS+probe";
    assignEventSound("Select", overlong.c_str());
    tray().playEventSound(SOUND_SELECT);
    EXPECT_TRUE(sounds.settle().empty());

    // Empty: silence, not the system's default sound.
    assignEventSound("Select", "");
    tray().playEventSound(SOUND_SELECT);
    EXPECT_TRUE(sounds.settle().empty());
}

TEST_F(Sounds, ARealWaveFileIsHandedToTheSystemPlayer)
{
    std::string directory = SoundRecorder::directory();
    CreateDirectoryA(directory.c_str(), nullptr);
    std::string wave = waveFile();
    std::string served = directory + "\\tone.DMTS";
    std::string plain = directory + "\\tone.wav";
    writeFileBytes(served, wave.data(), wave.size());
    writeFileBytes(plain, wave.data(), wave.size());

    SoundRecorder sounds;
    start(true);
    // The plain file goes to the disk; the player accepts it (whether a
    // device plays it is up to the system: Wine here has none).
    assignEventSound("Launch", plain.c_str());
    EXPECT_TRUE(tray().playEventSound(SOUND_LAUNCH));
    EXPECT_TRUE(sounds.settle().empty());

    // The same wave through the recorder: the player reads it and closes it.
    std::string name = served + "+probe";
    assignEventSound("Select", name.c_str());
    EXPECT_TRUE(tray().playEventSound(SOUND_SELECT));
    EXPECT_EQ(sounds.settle(), Names{name});
    EXPECT_GE(sounds.bytesServed(), 44u) << "the wave's header was not read";
    EXPECT_EQ(sounds.filesClosed(), 1);
    RecordProperty("waveOutDevices", static_cast<int>(systemWinmm().waveOutDevices()));

    DeleteFileA(served.c_str());
    DeleteFileA(plain.c_str());
    RemoveDirectoryA(directory.c_str());
}
