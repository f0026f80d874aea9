#include "command_env.h"

#include <mmsystem.h>
#include <string.h>

#include "app/handles.h"
#include "commands/blink_preference.h"
#include "res/resource.h"
#include "support/wine_env.h"

// --- Fixture programs --------------------------------------------------------

std::string quickSaverPath()
{
    return moduleDirectory() + "\\fixture_saver.exe";
}

std::string lingeringSaverPath()
{
    return moduleDirectory() + "\\fixture_lingering_saver.exe";
}

std::string plantedRundllPath()
{
    return moduleDirectory() + "\\rundll32.exe";
}

std::string systemRundllPath(SaverFamily family)
{
    return (family == FAMILY_95 ? windowsDirectory() : systemDirectory()) + "\\rundll32.exe";
}

std::string displayPropertiesLine(SaverFamily family)
{
    return systemRundllPath(family) + " shell32.dll,Control_RunDLL DESK.CPL,,1";
}

std::string winmmByNamePath()
{
    return moduleDirectory() + "\\fixture_winmm_by_name.exe";
}

std::string plantedWinmmPath()
{
    return moduleDirectory() + "\\winmm.dll";
}

std::string plantedWinmmMarker(DWORD processId)
{
    return plantedWinmmPath() + "." + std::to_string(processId) + ".loaded";
}

InstalledFile::InstalledFile(const std::string& from, const std::string& to)
    : path_(to), saved_(to + ".dormity-saved")
{
    // An earlier run that ended before putting the original back left it
    // aside: it goes back first, so that it is never lost.
    if (fileExists(saved_))
        MoveFileExA(saved_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING);
    if (fileExists(path_)) {
        replaced_ = MoveFileA(path_.c_str(), saved_.c_str()) != FALSE;
        EXPECT_TRUE(replaced_) << "cannot move " << path_ << " aside";
    }
    std::string directory = to.substr(0, to.find_last_of('\\'));
    if (CreateDirectoryA(directory.c_str(), nullptr))
        createdDirectory_ = directory;
    EXPECT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE)) << "cannot install " << to;
}

InstalledFile::~InstalledFile()
{
    // A fixture started from here may still be ending.
    waitForStartedProcesses(10000);
    SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path_.c_str());
    if (replaced_) {
        EXPECT_TRUE(MoveFileA(saved_.c_str(), path_.c_str()))
            << "the original " << path_ << " was not put back";
    }
    if (!createdDirectory_.empty())
        RemoveDirectoryA(createdDirectory_.c_str());
}

SystemRundllStandIns::SystemRundllStandIns()
    : windows_(quickSaverPath(), systemRundllPath(FAMILY_95)),
      system_(quickSaverPath(), systemRundllPath(FAMILY_NT))
{
}

FixtureLog::FixtureLog()
{
    std::string name = "commands-log-" + requestedVersion();
    directory_ = freshTempDirectory(name.c_str());
    path_ = directory_ + "\\fixtures.log";
    SetEnvironmentVariableA("DORMITY_TEST_LOG", path_.c_str());
}

FixtureLog::~FixtureLog()
{
    SetEnvironmentVariableA("DORMITY_TEST_LOG", nullptr);
    DeleteFileA(path_.c_str());
    RemoveDirectoryA(directory_.c_str());
}

std::vector<std::string> FixtureLog::lines() const
{
    std::vector<std::string> result;
    std::string text = readFileBytes(path_);
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos)
            break;  // a line still being written
        result.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return result;
}

std::vector<LoggedRun> FixtureLog::runs() const
{
    std::vector<LoggedRun> result;
    for (const std::string& line : lines()) {
        size_t tab = line.find('\t');
        if (tab == std::string::npos)
            continue;
        result.push_back({line.substr(0, tab), line.substr(tab + 1)});
    }
    return result;
}

bool FixtureLog::waitForLines(size_t count, DWORD timeoutMs) const
{
    return pumpUntil([&] { return lines().size() >= count; }, timeoutMs);
}

void FixtureLog::clear()
{
    DeleteFileA(path_.c_str());
}

namespace {

HANDLE testJob()
{
    static UniqueKernelObject job;
    if (!job) {
        job.reset(CreateJobObjectA(nullptr, nullptr));
        if (!job || !AssignProcessToJobObject(job.get(), GetCurrentProcess()))
            ADD_FAILURE() << "the test cannot follow the processes it starts";
    }
    return job.get();
}

JOBOBJECT_BASIC_ACCOUNTING_INFORMATION jobAccounting()
{
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info;
    memset(&info, 0, sizeof info);
    QueryInformationJobObject(testJob(), JobObjectBasicAccountingInformation, &info, sizeof info,
                              nullptr);
    return info;
}

} // namespace

namespace {

DWORD processCountBase = 1;  // the test itself

} // namespace

DWORD processesStarted()
{
    return jobAccounting().TotalProcesses - processCountBase;
}

void restartProcessCount()
{
    processCountBase = jobAccounting().TotalProcesses;
}

DWORD processesRunning()
{
    return jobAccounting().ActiveProcesses - 1;
}

bool waitForStartedProcesses(DWORD timeoutMs)
{
    return pumpUntil([] { return processesRunning() == 0; }, timeoutMs);
}

// --- Settings ----------------------------------------------------------------

SaverFamily runFamily()
{
    return familyFromFlags(reportedPlatformFlags());
}

void storeCurrentSaver(SaverFamily family, const char* path)
{
    if (family == FAMILY_95) {
        setIniSaver(path);
        return;
    }
    if (path)
        setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE", path);
    else
        deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE");
}

bool storedCurrentSaver(SaverFamily family, std::string* value)
{
    if (family == FAMILY_95) {
        if (!iniSaverPresent())
            return false;
        char buffer[300];
        GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "", buffer, sizeof buffer,
                                 "system.ini");
        *value = buffer;
        return true;
    }
    std::string data;
    if (!readRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE", &data))
        return false;
    // The text as stored, up to its terminator.
    *value = data.substr(0, data.find('\0'));
    return true;
}

bool readDesktopDword(const char* name, DWORD* value)
{
    std::string data;
    DWORD type = 0;
    if (!readRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, name, &data, &type) || type != REG_DWORD
        || data.size() != 4)
        return false;
    memcpy(value, data.data(), 4);
    return true;
}

bool readDesktopRaw(const char* name, std::string* bytes, DWORD* type)
{
    return readRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, name, bytes, type);
}

// --- Windows and messages ------------------------------------------------------

namespace {

const char kCounterClass[] = "DormityTestBroadcastCounter";

} // namespace

BroadcastCounter::BroadcastCounter() : window_(nullptr), count_(0)
{
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kCounterClass;
    RegisterClassA(&windowClass);  // already registered by an earlier test: fine
    window_ = CreateWindowExA(0, kCounterClass, "broadcast counter", WS_POPUP, 0, 0, 1, 1,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    EXPECT_NE(window_, static_cast<HWND>(nullptr));
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

BroadcastCounter::~BroadcastCounter()
{
    if (window_)
        DestroyWindow(window_);
}

LRESULT CALLBACK BroadcastCounter::procedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam)
{
    if (message == WM_SETTINGCHANGE) {
        BroadcastCounter* self =
            reinterpret_cast<BroadcastCounter*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self)
            ++self->count_;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

CommandSink& CommandSink::instance()
{
    static CommandSink sink;
    return sink;
}

CommandSink::CommandSink()
{
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "DormityTestCommandSink";
    RegisterClassA(&windowClass);
    window = CreateWindowExA(0, "DormityTestCommandSink", "command sink", WS_POPUP | WS_VISIBLE,
                             300, 300, 120, 60, nullptr, nullptr, GetModuleHandleA(nullptr),
                             nullptr);
    EXPECT_NE(window, static_cast<HWND>(nullptr));
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void CommandSink::takeForeground()
{
    SetForegroundWindow(window);
    pumpMessages();
    screenSaves = 0;
    sent = 0;
    lastWParam = 0;
    lastLParam = -1;
}

LRESULT CALLBACK CommandSink::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CommandSink* self = reinterpret_cast<CommandSink*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message == WM_SYSCOMMAND) {
        if ((wParam & 0xFFF0) == SC_SCREENSAVE)
            ++self->screenSaves;
        if (InSendMessage())
            ++self->sent;
        self->lastWParam = wParam;
        self->lastLParam = lParam;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

PromptAnswerer::PromptAnswerer(Application& app, int button)
    : app_(app), button_(button), stop_(0), thread_(nullptr)
{
    thread_ = CreateThread(nullptr, 0, watch, this, 0, nullptr);
    EXPECT_NE(thread_, static_cast<HANDLE>(nullptr));
}

PromptAnswerer::~PromptAnswerer()
{
    finish();
}

PromptSeen PromptAnswerer::finish()
{
    if (thread_) {
        InterlockedExchange(&stop_, 1);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    return seen_;
}

namespace {

struct ChildScan {
    std::vector<std::string> texts;
    bool informationIcon = false;
};

BOOL CALLBACK scanChild(HWND child, LPARAM data)
{
    ChildScan* scan = reinterpret_cast<ChildScan*>(data);
    char className[32] = "";
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") != 0)
        return TRUE;
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        HICON shown = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        if (shown && shown == LoadIconA(nullptr, IDI_INFORMATION))
            scan->informationIcon = true;
        return TRUE;
    }
    char text[512] = "";
    GetWindowTextA(child, text, sizeof text);
    scan->texts.push_back(text);
    return TRUE;
}

bool visibleChild(HWND box, int id)
{
    HWND child = GetDlgItem(box, id);
    return child && IsWindowVisible(child);
}

BOOL CALLBACK countVisible(HWND window, LPARAM data)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window))
        ++*reinterpret_cast<int*>(data);
    return TRUE;
}

} // namespace

HWND ownDialog(const char* caption)
{
    HWND box = nullptr;
    while ((box = FindWindowExA(nullptr, box, "#32770", caption)) != nullptr) {
        DWORD process = 0;
        GetWindowThreadProcessId(box, &process);
        if (process == GetCurrentProcessId())
            return box;
    }
    return nullptr;
}

int visibleWindowsOfThisProcess()
{
    int count = 0;
    EnumWindows(countVisible, reinterpret_cast<LPARAM>(&count));
    return count;
}

DWORD WINAPI PromptAnswerer::watch(void* parameter)
{
    PromptAnswerer* self = static_cast<PromptAnswerer*>(parameter);
    DWORD begin = GetTickCount();
    while (!self->stop_) {
        HWND box = ownDialog("No Screen Saver");
        if (box && IsWindowVisible(box)) {
            PromptSeen& seen = self->seen_;
            seen.seen = true;
            // The state of the program while its prompt is up.
            seen.systemActive = isSaverActive();
            seen.recordActive = (self->app_.flags & APP_SAVER_ACTIVE) != 0;
            seen.iconOn = iconShows(self->app_.trayWindow->trayIcon.hIcon, IDI_SAVER_ON);
            ChildScan scan;
            EnumChildWindows(box, scanChild, reinterpret_cast<LPARAM>(&scan));
            seen.texts = scan.texts;
            seen.informationIcon = scan.informationIcon;
            seen.topmost = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            seen.hasOwner = GetWindow(box, GW_OWNER) != nullptr;
            seen.yesButton = visibleChild(box, IDYES);
            seen.noButton = visibleChild(box, IDNO);
            seen.okButton = visibleChild(box, IDOK);
            seen.cancelButton = visibleChild(box, IDCANCEL);
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(self->button_, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, self->button_)));
            return 0;
        }
        // Never leave a box of another caption hanging the test.
        if (GetTickCount() - begin > 15000) {
            HWND other = ownDialog(nullptr);
            if (other)
                PostMessageA(other, WM_CLOSE, 0, 0);
        }
        Sleep(10);
    }
    return 0;
}

// --- Sounds -------------------------------------------------------------------

const SystemWinmm& systemWinmm()
{
    static SystemWinmm winmm;
    if (!winmm.module) {
        winmm.module = LoadLibraryA((systemDirectory() + "\\winmm.dll").c_str());
        EXPECT_NE(winmm.module, static_cast<HMODULE>(nullptr)) << "no winmm.dll in the system";
        if (winmm.module)
            winmm.playSound = reinterpret_cast<decltype(&PlaySoundA)>(
                reinterpret_cast<void (*)(void)>(GetProcAddress(winmm.module, "PlaySoundA")));
    }
    return winmm;
}

namespace {

const DWORD kToneRate = 22050;
const DWORD kToneSamples = kToneRate * 3 / 10;

std::vector<std::string>& toneNames()
{
    static std::vector<std::string> names;
    return names;
}

// A square wave, a different period for each name.
std::string samplesOfTone(size_t index)
{
    std::string samples;
    DWORD half = static_cast<DWORD>(4 + 3 * index);
    for (DWORD i = 0; i < kToneSamples; ++i) {
        short value = (i / half) % 2 ? 6000 : -6000;
        samples += static_cast<char>(value & 0xFF);
        samples += static_cast<char>((value >> 8) & 0xFF);
    }
    return samples;
}

std::string waveOf(const std::string& samples)
{
    auto word = [](std::string& out, DWORD value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    std::string wave = "RIFF";
    word(wave, static_cast<DWORD>(36 + samples.size()), 4);
    wave += "WAVEfmt ";
    word(wave, 16, 4);
    word(wave, WAVE_FORMAT_PCM, 2);
    word(wave, 1, 2);               // channels
    word(wave, kToneRate, 4);       // samples per second
    word(wave, kToneRate * 2, 4);   // bytes per second
    word(wave, 2, 2);               // block align
    word(wave, 16, 2);              // bits per sample
    wave += "data";
    word(wave, static_cast<DWORD>(samples.size()), 4);
    return wave + samples;
}

std::string capturePath()
{
    char unixPath[MAX_PATH] = "";
    if (!GetEnvironmentVariableA("DORMITY_SOUND_CAPTURE", unixPath, sizeof unixPath))
        return "";
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// Whether the system is playing a sound: a request that must not stop
// another is refused while one plays. Its own name names no file, so it
// plays nothing and opens no device.
bool somethingPlays()
{
    std::string none = SoundRecorder::directory() + "\\no such sound.wav";
    return !systemWinmm().playSound(none.c_str(), nullptr,
                                    SND_FILENAME | SND_ASYNC | SND_NOSTOP | SND_NODEFAULT);
}

} // namespace

SoundRecorder::SoundRecorder() : captured_(capturePath())
{
    EXPECT_FALSE(captured_.empty())
        << "DORMITY_SOUND_CAPTURE is not set (CTest sets it with ALSA_CONFIG_PATH)";
    DeleteFileA(captured_.c_str());
}

SoundRecorder::~SoundRecorder()
{
    // Stops and waits for every sound.
    if (systemWinmm().playSound)
        systemWinmm().playSound(nullptr, nullptr, 0);
    DeleteFileA(captured_.c_str());
}

std::vector<std::string> SoundRecorder::settle()
{
    if (!systemWinmm().playSound) {
        ADD_FAILURE() << "no PlaySoundA";
        return {};
    }
    bool playing = somethingPlays();
    bool ended = pumpUntil([] { return !somethingPlays(); }, 5000);
    EXPECT_TRUE(ended) << "a sound never ended";
    std::string samples = readFileBytes(captured_);
    DeleteFileA(captured_.c_str());
    if (samples.empty())
        return {};
    if (!playing)
        synchronous_ = true;
    const std::vector<std::string>& names = toneNames();
    for (size_t i = 0; i < names.size(); ++i) {
        if (samples.find(samplesOfTone(i)) != std::string::npos)
            return {names[i]};
    }
    return {"<" + std::to_string(samples.size()) + " bytes of no tone of the test>"};
}

std::string SoundRecorder::tone(const char* name)
{
    std::vector<std::string>& names = toneNames();
    size_t index = 0;
    while (index < names.size() && names[index] != name)
        ++index;
    std::string path = directory() + "\\" + name + ".wav";
    if (index == names.size()) {
        names.push_back(name);
        CreateDirectoryA(directory().c_str(), nullptr);
        std::string wave = waveOf(samplesOfTone(index));
        writeFileBytes(path, wave.data(), wave.size());
    }
    return path;
}

std::string SoundRecorder::directory()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    return std::string(temp) + "dormity-sounds";
}

void assignEventSound(const char* event, const char* fileName, DWORD type)
{
    std::string key = std::string(SOUND_SCHEME_KEY "\\Dormity-") + event + "\\.Current";
    setRegValue(HKEY_CURRENT_USER, key.c_str(), "", type, fileName,
                static_cast<DWORD>(strlen(fileName) + 1));
}

// --- The program ----------------------------------------------------------------

void CommandTest::SetUp()
{
    restartProcessCount();  // also joins the job before anything is started
    // Each family run must really see its family.
    std::string version = requestedVersion();
    DWORD platform = reportedPlatformFlags();
    if (version == "win98") {
        ASSERT_EQ(platform, static_cast<DWORD>(APP_WIN9X));
    } else if (version == "nt40") {
        ASSERT_EQ(platform, 0u);
    } else if (version == "win2k") {
        ASSERT_EQ(platform, static_cast<DWORD>(APP_WIN2K));
    }
    wasActive_ = isSaverActive();
    resetScreenSaverSettings();
    deleteRegTree(HKEY_CURRENT_USER, SOUND_SCHEME_KEY);
    setRegDword(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, 1);
}

void CommandTest::TearDown()
{
    stop();
    EXPECT_TRUE(waitForStartedProcesses(10000)) << "a started program did not end";
    resetScreenSaverSettings();
    deleteRegTree(HKEY_CURRENT_USER, SOUND_SCHEME_KEY);
    deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
    setSaverActive(wasActive_);
    pumpMessages();
}

TrayWindow& CommandTest::start(bool active)
{
    stop();
    setSaverActive(active);
    app_ = new Application(GetModuleHandleA(nullptr));
    EXPECT_NE(app_->trayWindow, nullptr);
    pumpMessages();
    return *app_->trayWindow;
}

void CommandTest::stop()
{
    delete app_;
    app_ = nullptr;
    pumpMessages();
}

void CommandTest::command(WORD id)
{
    SendMessageA(tray().window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

bool CommandTest::blinking() const
{
    return timerRuns(app_->trayWindow->window, IDT_BLINK, BLINK_PERIOD_MS);
}

const SaverEntry* CommandTest::entryNamed(const char* description) const
{
    for (const SaverEntry* entry = app_->trayWindow->saverList; entry; entry = entry->next) {
        if (strcmp(entry->description, description) == 0)
            return entry;
    }
    return nullptr;
}

const SaverEntry* CommandTest::entryWithId(WORD id) const
{
    for (const SaverEntry* entry = app_->trayWindow->saverList; entry; entry = entry->next) {
        if (entry->menuId == id)
            return entry;
    }
    return nullptr;
}
