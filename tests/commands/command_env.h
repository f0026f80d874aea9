// What the command tests share: the fixture programs and their log, a count
// of the processes the test started, a window that counts settings
// broadcasts, the answerer of the "No Screen Saver" prompt and an ear for
// the sounds the system plays.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <string>
#include <vector>

#include "app/application.h"
#include "app/tray_window.h"
#include "saverconfig/saver_settings.h"

// --- Fixture programs, built next to the test executables -----------------

// Logs "<own file>\t<command line>" to DORMITY_TEST_LOG and ends at once.
std::string quickSaverPath();
// Logs the same, answers messages for three seconds, then logs "done".
std::string lingeringSaverPath();
// The quick fixture again, under the name rundll32.exe, planted in the
// directory that a search for a bare program name looks in first (the
// test's own): the program must never start it.
std::string plantedRundllPath();
// Where the system's own rundll32.exe is: the Windows directory on the 95
// family, the system directory on the NT family.
std::string systemRundllPath(SaverFamily family);
// The command line the display control panel is started with.
std::string displayPropertiesLine(SaverFamily family);

// Asks for winmm.dll by its bare name (and logs its start like the quick
// fixture): the loader's search decides which file it gets.
std::string winmmByNamePath();
// The fixture DLL named winmm.dll beside this test program; loaded into a
// process, it leaves plantedWinmmMarker(that process's id).
std::string plantedWinmmPath();
std::string plantedWinmmMarker(DWORD processId);

// Copies a file into place and removes it again. A file already there (a
// system program of the prefix) is moved aside first and put back after.
class InstalledFile {
public:
    InstalledFile(const std::string& from, const std::string& to);
    ~InstalledFile();
    InstalledFile(const InstalledFile&) = delete;
    InstalledFile& operator=(const InstalledFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string saved_;
    bool replaced_ = false;
    std::string createdDirectory_;
};

// The stand-in for rundll32.exe installed where the system keeps its own,
// in both the Windows and the system directory (so a wrong choice shows
// as the wrong file, not as the prefix's real control panel).
class SystemRundllStandIns {
public:
    SystemRundllStandIns();

private:
    InstalledFile windows_;
    InstalledFile system_;
};

struct LoggedRun {
    std::string module;
    std::string commandLine;
};

// The fixtures' log for this test process.
class FixtureLog {
public:
    FixtureLog();
    ~FixtureLog();
    FixtureLog(const FixtureLog&) = delete;
    FixtureLog& operator=(const FixtureLog&) = delete;
    std::vector<std::string> lines() const;
    // Lines that record a start (file and command line).
    std::vector<LoggedRun> runs() const;
    bool waitForLines(size_t count, DWORD timeoutMs) const;
    void clear();

private:
    std::string directory_;
    std::string path_;
};

// Every process this test starts joins one job, so the number started is
// known the moment the starting call returns, without waiting for the
// programs themselves. Counted from the start of the current test.
DWORD processesStarted();
void restartProcessCount();
DWORD processesRunning();
// Waits until only the test itself is left.
bool waitForStartedProcesses(DWORD timeoutMs);

// --- Settings ---------------------------------------------------------------

// The family the program detects on this run (from the reported system).
SaverFamily runFamily();
// The current screen saver in one family's own place: system.ini for the
// 95 family, the registry for NT. Null removes it.
void storeCurrentSaver(SaverFamily family, const char* path);
// False when nothing is stored there.
bool storedCurrentSaver(SaverFamily family, std::string* value);

bool readDesktopDword(const char* name, DWORD* value);
// A value's type and raw bytes; false when missing.
bool readDesktopRaw(const char* name, std::string* bytes, DWORD* type);

#define SOUND_SCHEME_KEY "AppEvents\\Schemes\\Apps\\Dormity"

// --- Windows and messages ---------------------------------------------------

// A hidden top-level window of the test that counts the settings-change
// broadcasts reaching it.
class BroadcastCounter {
public:
    BroadcastCounter();
    ~BroadcastCounter();
    BroadcastCounter(const BroadcastCounter&) = delete;
    BroadcastCounter& operator=(const BroadcastCounter&) = delete;
    int count() const { return count_; }
    void reset() { count_ = 0; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_;
    int count_;
};

// A small visible window of the test that notes the system commands it
// gets and does not act on them. One for the whole run: under Xvfb without
// a window manager Wine waits two seconds for every visible window that
// goes away.
class CommandSink {
public:
    static CommandSink& instance();
    // Makes it the foreground window and forgets what it got.
    void takeForeground();
    HWND window = nullptr;
    int screenSaves = 0;
    int sent = 0;
    WPARAM lastWParam = 0;
    LPARAM lastLParam = -1;

private:
    CommandSink();
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// A dialog box of this process with the caption (any caption for null).
HWND ownDialog(const char* caption);
int visibleWindowsOfThisProcess();

// What the answerer saw of the "No Screen Saver" box at the moment it
// found it.
struct PromptSeen {
    bool seen = false;
    std::vector<std::string> texts;  // every static control's text
    bool topmost = false;
    bool hasOwner = true;
    bool yesButton = false;
    bool noButton = false;
    bool okButton = false;
    bool cancelButton = false;
    bool informationIcon = false;
    bool systemActive = false;
    bool recordActive = false;
    bool iconOn = false;
};

// Watches from a thread of its own for the program's "No Screen Saver"
// box, notes what it sees and presses one of its buttons.
class PromptAnswerer {
public:
    PromptAnswerer(Application& app, int button);
    ~PromptAnswerer();
    PromptAnswerer(const PromptAnswerer&) = delete;
    PromptAnswerer& operator=(const PromptAnswerer&) = delete;
    // Stops watching; what was seen, if anything.
    PromptSeen finish();

private:
    static DWORD WINAPI watch(void* self);
    Application& app_;
    int button_;
    volatile LONG stop_;
    PromptSeen seen_;
    HANDLE thread_;
};

// --- Sounds -----------------------------------------------------------------

// The system's winmm.dll, taken by its full path as the program takes it:
// beside this test lies a planted winmm.dll that a bare name would find.
struct SystemWinmm {
    HMODULE module = nullptr;
    decltype(&PlaySoundA) playSound = nullptr;
};
const SystemWinmm& systemWinmm();

// Hears what the system really plays. CTest points ALSA's configuration
// (ALSA_CONFIG_PATH) at a default device that writes every sample to the
// file DORMITY_SOUND_CAPTURE, truncated whenever a sound starts; each
// sound of the tests is a tone of its own, so the samples name it.
class SoundRecorder {
public:
    SoundRecorder();
    ~SoundRecorder();
    SoundRecorder(const SoundRecorder&) = delete;
    SoundRecorder& operator=(const SoundRecorder&) = delete;
    // Waits until the system plays nothing, then names the sound whose
    // samples it wrote since the last call (empty: silence).
    std::vector<std::string> settle();
    // Whether a sound heard had already ended when settle() came
    // (playback that was not asynchronous).
    bool playedSynchronously() const { return synchronous_; }

    // A wave file of a tone kept for this name, made on first use:
    // 0.3 s, 22,050 Hz, mono, 16-bit, each name its own frequency.
    static std::string tone(const char* name);
    // Where the tones are kept.
    static std::string directory();

private:
    std::string captured_;
    bool synchronous_ = false;
};

void assignEventSound(const char* event, const char* fileName, DWORD type = REG_SZ);

// --- The program ------------------------------------------------------------

class CommandTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Sets the system flag as given, then builds the whole program.
    TrayWindow& start(bool active);
    void stop();
    void command(WORD id);
    bool recordActive() const { return (app_->flags & APP_SAVER_ACTIVE) != 0; }
    bool blinking() const;
    Application& app() { return *app_; }
    TrayWindow& tray() { return *app_->trayWindow; }
    // The catalogue entry with this description in the current list.
    const SaverEntry* entryNamed(const char* description) const;
    const SaverEntry* entryWithId(WORD id) const;

    FixtureLog log_;
    Application* app_ = nullptr;
    bool wasActive_ = true;
};
