// Faults from outside the program: a log file that cannot be written, a
// system.ini that cannot be written, the desktop settings key missing, a
// top-level window of another program that stops answering during the
// program's own broadcast, a fatal error in the real program with a second
// start while its error box shows, and twenty starts at once.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/application.h"
#include "app/error_log.h"
#include "app/handles.h"
#include "app/tray_window.h"
#include "res/resource.h"
#include "support/savers.h"
#include "support/pixels.h"
#include "support/processes.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"

namespace {

HINSTANCE self()
{
    return GetModuleHandleA(nullptr);
}

// Runs the test in a fresh directory of its own, as the program's current
// directory, where "error.txt" goes.
class InDirectory {
public:
    explicit InDirectory(const char* name)
    {
        char previous[MAX_PATH];
        GetCurrentDirectoryA(sizeof previous, previous);
        previous_ = previous;
        directory_ = freshTempDirectory(name);
        SetCurrentDirectoryA(directory_.c_str());
    }
    ~InDirectory() { SetCurrentDirectoryA(previous_.c_str()); }
    std::string path(const char* name) const { return directory_ + "\\" + name; }
    const std::string& directory() const { return directory_; }

private:
    std::string previous_;
    std::string directory_;
};

std::string systemText(DWORD code)
{
    char text[300];
    memset(text, 0, sizeof text);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text,
                                  sizeof text, nullptr);
    return length ? std::string(text) : std::string("Unknown Error.");
}

// Whether the C library can open the file for appending here, as the log
// does.
bool appendable(const char* name)
{
    FILE* file = fopen(name, "a+");
    if (!file)
        return false;
    fclose(file);
    return true;
}

// --- Processes --------------------------------------------------------------

struct Process {
    HANDLE handle = nullptr;
    DWORD id = 0;
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    Process(Process&& other) noexcept : handle(other.handle), id(other.id) { other.handle = nullptr; }
    ~Process()
    {
        if (handle) {
            if (WaitForSingleObject(handle, 0) == WAIT_TIMEOUT)
                TerminateProcess(handle, 1);
            WaitForSingleObject(handle, 5000);
            CloseHandle(handle);
        }
    }
    bool running() const { return handle && WaitForSingleObject(handle, 0) == WAIT_TIMEOUT; }
    DWORD waitExit(DWORD timeoutMs) const
    {
        if (WaitForSingleObject(handle, timeoutMs) != WAIT_OBJECT_0)
            return STILL_ACTIVE;
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(handle, &code);
        return code;
    }
};

bool startProcess(Process& process, const std::string& program, const std::string& arguments,
                  const std::string& directory)
{
    std::string command = "\"" + program + "\"";
    if (!arguments.empty())
        command += " " + arguments;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &info))
        return false;
    CloseHandle(info.hThread);
    process.handle = info.hProcess;
    process.id = info.dwProcessId;
    return true;
}

std::string dormityPath()
{
    return moduleDirectory() + "\\Dormity.exe";
}

struct WindowSearch {
    DWORD processId;
    const char* className;
    std::vector<HWND> found;
};

BOOL CALLBACK collectWindows(HWND window, LPARAM lParam)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    char name[64];
    GetClassNameA(window, name, sizeof name);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (strcmp(name, search->className) == 0 && (search->processId == 0 || owner == search->processId))
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> topLevelWindows(const char* className, DWORD processId = 0)
{
    WindowSearch search{processId, className, {}};
    EnumWindows(collectWindows, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Dormity windows of other processes (the tests' own in-process ones are
// not counted).
std::vector<HWND> otherDormityWindows()
{
    std::vector<HWND> windows;
    for (HWND window : topLevelWindows("DORMITY")) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != GetCurrentProcessId())
            windows.push_back(window);
    }
    return windows;
}

template <typename Predicate>
bool waitFor(Predicate predicate, DWORD timeoutMs)
{
    DWORD begin = GetTickCount();
    while (!predicate()) {
        if (GetTickCount() - begin > timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}

BOOL CALLBACK collectTexts(HWND window, LPARAM lParam)
{
    char text[1024];
    GetWindowTextA(window, text, sizeof text);
    reinterpret_cast<std::vector<std::string>*>(lParam)->push_back(text);
    return TRUE;
}

// The error box of a process: a dialog with the caption "Dormity".
HWND errorBoxOf(DWORD processId)
{
    for (HWND dialog : topLevelWindows("#32770", processId)) {
        char caption[64];
        GetWindowTextA(dialog, caption, sizeof caption);
        if (strcmp(caption, "Dormity") == 0)
            return dialog;
    }
    return nullptr;
}

std::string boxText(HWND box)
{
    std::vector<std::string> texts;
    EnumChildWindows(box, collectTexts, reinterpret_cast<LPARAM>(&texts));
    for (const std::string& text : texts)
        if (text.find("\n") != std::string::npos)
            return text;
    return std::string();
}

size_t countOf(const std::string& text, const char* what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

BOOL CALLBACK firstLanguage(HMODULE, LPCSTR, LPCSTR, WORD found, LONG_PTR parameter)
{
    *reinterpret_cast<WORD*>(parameter) = found;
    return FALSE;
}

// A copy of the real program whose menu resource is damaged, as after a
// broken installation: its one item is a plain command instead of the
// popup. The program then has no screen saver submenu to add its entries
// to, which it reports as a fatal error: the one failure it logs apart from
// running out of memory. Nothing in the program is changed for the test.
std::string damagedProgram(const std::string& directory)
{
    std::string copy = directory + "\\DormDmg.exe";
    if (!CopyFileA(dormityPath().c_str(), copy.c_str(), FALSE))
        return std::string();
    WORD language = 0;
    {
        UniqueModule module(LoadLibraryExA(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (!module)
            return std::string();
        EnumResourceLanguagesA(module.get(), reinterpret_cast<LPCSTR>(RT_MENU),
                               MAKEINTRESOURCEA(IDR_TRAYMENU), firstLanguage,
                               reinterpret_cast<LONG_PTR>(&language));
    }
    // Menu template: header (version 0, offset 0), then one item with the
    // last-item flag, id 1 and the text "x".
    static const WORD kMenu[] = {0, 0, MF_END, 1, 'x', 0};
    HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
    if (!update)
        return std::string();
    if (!UpdateResourceA(update, reinterpret_cast<LPCSTR>(RT_MENU), MAKEINTRESOURCEA(IDR_TRAYMENU),
                         language, const_cast<WORD*>(kMenu), sizeof kMenu)) {
        EndUpdateResourceA(update, TRUE);
        return std::string();
    }
    if (!EndUpdateResourceA(update, FALSE))
        return std::string();
    // Check the result: the new menu, the icons still there.
    UniqueModule module(LoadLibraryExA(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module)
        return std::string();
    HRSRC menu = FindResourceA(module.get(), MAKEINTRESOURCEA(IDR_TRAYMENU),
                               reinterpret_cast<LPCSTR>(RT_MENU));
    if (!menu || SizeofResource(module.get(), menu) != sizeof kMenu)
        return std::string();
    if (!FindResourceA(module.get(), MAKEINTRESOURCEA(IDI_SAVER_ON),
                       reinterpret_cast<LPCSTR>(RT_GROUP_ICON)))
        return std::string();
    return copy;
}

} // namespace

// --- The error log ----------------------------------------------------------

TEST(FaultErrorLog, WritableLogGetsTheEntry)
{
    // The control case for the two below: here the same calls do write.
    InDirectory directory("rl-log-ok");
    Application app(self());
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    logError("AppendMenu", nullptr);
    std::string log = readFileBytes(directory.path("error.txt"));
    EXPECT_NE(log.find("Error Log File for Dormity"), std::string::npos);
    EXPECT_NE(log.find("      AppendMenu -- "), std::string::npos);
}

// Running as root, Wine lets a file with the read-only attribute be opened
// for writing, so a log that cannot be written is made here the way any
// system makes one: another program holds it open and denies writing.
TEST(FaultErrorLog, LockedLogFileIsLeftAloneAndTheErrorStillEnds)
{
    InDirectory directory("rl-log-locked");
    const std::string path = directory.path("error.txt");
    const char kOld[] = "an older log\r\n";
    writeFileBytes(path, kOld, sizeof kOld - 1);
    UniqueFile lock(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr));
    ASSERT_TRUE(static_cast<bool>(lock));
    ASSERT_FALSE(appendable("error.txt")) << "the lock does not keep writers out";

    {
        Application app(self());
        ASSERT_NE(app.trayWindow, nullptr);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        logError("AppendMenu", nullptr);
        EXPECT_EQ(app.flags & (APP_ERROR | APP_QUIT), static_cast<DWORD>(APP_ERROR | APP_QUIT));
        ASSERT_NE(app.errorText, nullptr);
        EXPECT_EQ(std::string(app.errorText),
                  "AppendMenu\n\n" + systemText(ERROR_NOT_ENOUGH_MEMORY));
        logError("Second", "Its detail.");
        EXPECT_STREQ(app.errorText, "Second\n\nIts detail.");
    }
    lock.reset();
    EXPECT_EQ(readFileBytes(path), std::string(kOld)) << "the locked log was changed";
}

TEST(FaultErrorLog, DirectoryNamedErrorTxtTakesNoEntryAndTheErrorStillEnds)
{
    InDirectory directory("rl-log-directory");
    const std::string path = directory.path("error.txt");
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    ASSERT_FALSE(appendable("error.txt")) << "a directory opened as a file";

    // The out-of-memory road too: the window allocation fails first.
    static int calls;
    calls = 0;
    setAllocator([](size_t size) -> void* { return calls++ == 0 ? nullptr : allocateBlock(size); });
    {
        Application app(self());
        setAllocator(nullptr);
        EXPECT_EQ(app.trayWindow, nullptr);
        EXPECT_EQ(app.flags & (APP_ERROR | APP_QUIT), static_cast<DWORD>(APP_ERROR | APP_QUIT));
        ASSERT_NE(app.errorText, nullptr);
        EXPECT_EQ(std::string(app.errorText).find("Out of Memory\n\nThere is not enough memory"), 0u);
        logError("AppendMenu", "Detail.");
        EXPECT_STREQ(app.errorText, "AppendMenu\n\nDetail.");
    }
    setAllocator(nullptr);
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    WIN32_FIND_DATAA found;
    int entries = 0;
    {
        UniqueFind search(FindFirstFileA((path + "\\*").c_str(), &found));
        if (search)
            do
                entries += strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0;
            while (FindNextFileA(search.get(), &found));
    }
    EXPECT_EQ(entries, 0) << "something was written into the directory";
}

// --- The settings store -----------------------------------------------------

// system.ini that cannot be written: held open by another program that
// denies writing (the read-only attribute does not stop Wine running as
// root).
class FaultLockedIni : public testing::Test {
protected:
    void SetUp() override
    {
        path_ = windowsDirectory() + "\\system.ini";
        existed_ = fileExists(path_);
        bytes_ = readFileBytes(path_);
        attributes_ = GetFileAttributesA(path_.c_str());
    }
    void TearDown() override
    {
        SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (existed_) {
            writeFileBytes(path_, bytes_.data(), bytes_.size());
            SetFileAttributesA(path_.c_str(), attributes_);
        } else {
            DeleteFileA(path_.c_str());
        }
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, "system.ini");
    }
    std::string path_;
    bool existed_ = false;
    std::string bytes_;
    DWORD attributes_ = 0;
};

TEST_F(FaultLockedIni, WritesAreSkippedReadsStillWork)
{
    InstalledFiles savers("zrini");
    savers.copy(fixtureSaverPath(), 0);
    const std::string configured = savers.catalogueNameOf(0);
    setIniSaver(configured.c_str());
    const std::string frozen = readFileBytes(path_);
    UniqueFile lock(CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(static_cast<bool>(lock));
    {
        UniqueFile writer(CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_FALSE(static_cast<bool>(writer)) << "the lock does not keep writers out";
    }

    char buffer[SAVER_PATH_SIZE];
    writeCurrentSaver(FAMILY_95, "C:\\OTHER.SCR");
    readCurrentSaver(FAMILY_95, buffer);
    EXPECT_STREQ(buffer, configured.c_str()) << "the write went through";
    clearCurrentSaver(FAMILY_95);
    readCurrentSaver(FAMILY_95, buffer);
    EXPECT_STREQ(buffer, configured.c_str()) << "the removal went through";

    // The program on the 95 family: its submenu marks the configured file,
    // and choosing "[none]" or another entry changes nothing on disk.
    Application app(self());
    ASSERT_NE(app.trayWindow, nullptr);
    TrayWindow& tray = *app.trayWindow;
    app.flags = (app.flags & ~(APP_WIN2K)) | APP_WIN9X;
    SendMessageA(tray.window, WM_SETTINGCHANGE, 0, 0);
    EXPECT_STRCASEEQ(tray.currentDescription, fixtureDescription().c_str());
    SendMessageA(tray.window, WM_COMMAND, MAKEWPARAM(IDM_NONE, 0), 0);
    EXPECT_STRCASEEQ(tray.currentDescription, fixtureDescription().c_str());
    EXPECT_FALSE(tray.noneEntry->flags & SAVER_CHECKED);
    lock.reset();
    EXPECT_EQ(readFileBytes(path_), frozen) << "system.ini was written";
}

TEST(FaultDesktopKey, MissingKeyReadsDefaultsAndWritesNothing)
{
    InstalledFiles savers("zrdesk");
    savers.copy(fixtureSaverPath(), 0);
    SavedRegistryKey desktop(HKEY_CURRENT_USER, DESKTOP_KEY);
    ASSERT_TRUE(desktop.existed());
    printf("[ desktop  ] %zu values saved\n", desktop.valueCount());
    ASSERT_TRUE(desktop.removeFromRegistry());

    auto ourValuesAbsent = [] {
        for (const char* name : {"SCRNSAVE.EXE", "ScreenSaveUsePassword", "ScreenSave_Data",
                                 "ScreenSaverIsSecure"})
            if (readRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, name, nullptr))
                return false;
        return true;
    };

    char buffer[SAVER_PATH_SIZE];
    readCurrentSaver(FAMILY_NT, buffer);
    EXPECT_STREQ(buffer, "[none]");
    PasswordValues old95 = readPasswordValues(FAMILY_95);
    EXPECT_EQ(old95.usePassword, 1u);
    EXPECT_EQ(old95.passwordData, 1u);
    EXPECT_EQ(readPasswordValues(FAMILY_NT).isSecure, 0);
    writeCurrentSaver(FAMILY_NT, savers.catalogueNameOf(0).c_str());
    writePasswordEnabled(FAMILY_NT, true);
    writePasswordEnabled(FAMILY_95, true);
    clearCurrentSaver(FAMILY_NT);
    EXPECT_TRUE(ourValuesAbsent()) << "a write created a value";
    UniqueRegKey key;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, DESKTOP_KEY, 0, KEY_READ, key.put()), ERROR_SUCCESS)
        << "a write created the key";

    // The whole program: start, choose a screen saver, switch the password,
    // draw every item.
    {
        Application app(self());
        ASSERT_NE(app.trayWindow, nullptr);
        TrayWindow& tray = *app.trayWindow;
        EXPECT_TRUE(tray.noneEntry->flags & SAVER_CHECKED);
        SendMessageA(tray.window, WM_COMMAND, MAKEWPARAM(IDM_NONE + 1, 0), 0);
        SendMessageA(tray.window, WM_COMMAND, MAKEWPARAM(IDM_PASSWORD, 0), 0);
        SendMessageA(tray.window, WM_COMMAND, MAKEWPARAM(IDM_NONE, 0), 0);
        EXPECT_TRUE(tray.noneEntry->flags & SAVER_CHECKED);
        EXPECT_STREQ(tray.currentDescription, "none");
        SendMessageA(tray.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(tray.popupMenu), 0);
        std::vector<MenuItemView> items = ownerDrawnItems(tray);
        EXPECT_GE(items.size(), 14u);
        EXPECT_FALSE(renderAllItems(tray.window, items).empty());
        pumpMessages();
    }
    EXPECT_TRUE(ourValuesAbsent()) << "the program created a value";

    EXPECT_TRUE(desktop.restore()) << "the desktop key could not be put back";
    EXPECT_TRUE(desktop.matchesRegistry());
}

// --- A hung window during the program's own broadcast -------------------------

namespace {

struct Poke {
    HWND window;
    BOOL answered;
};

DWORD WINAPI pokeWindow(void* parameter)
{
    Poke* poke = static_cast<Poke*>(parameter);
    DWORD_PTR result = 0;
    poke->answered = SendMessageTimeoutA(poke->window, WM_SETTINGCHANGE, 0, 0, SMTO_NORMAL, 5000,
                                         &result) != 0;
    return 0;
}

} // namespace

TEST(FaultHungWindow, BroadcastReturnsWithinItsTimeoutAndTheProgramGoesOn)
{
    resetScreenSaverSettings();
    InstalledFiles savers("zrhung");
    savers.copy(fixtureSaverPath(), 0);
    writeCurrentSaver(FAMILY_NT, savers.catalogueNameOf(0).c_str());

    const char kReady[] = "DormityReliabilityHungReady";
    UniqueKernelObject ready(CreateEventA(nullptr, TRUE, FALSE, kReady));
    ASSERT_TRUE(static_cast<bool>(ready));
    Process helper;
    ASSERT_TRUE(startProcess(helper, moduleDirectory() + "\\reliability_hung_window.exe", kReady, ""));
    ASSERT_EQ(WaitForSingleObject(ready.get(), 20000), WAIT_OBJECT_0) << "the helper did not start";
    std::vector<HWND> hung = topLevelWindows("Static", helper.id);
    ASSERT_EQ(hung.size(), 1u);
    DWORD_PTR answer = 0;
    ASSERT_FALSE(SendMessageTimeoutA(hung[0], WM_NULL, 0, 0, SMTO_NORMAL, 300, &answer))
        << "the helper's window still answers";

    Application app(self());
    ASSERT_NE(app.trayWindow, nullptr);
    TrayWindow& tray = *app.trayWindow;
    ASSERT_FALSE(tray.noneEntry->flags & SAVER_CHECKED);

    // Choosing "[none]" broadcasts the change and waits for every window.
    DWORD begin = GetTickCount();
    SendMessageA(tray.window, WM_COMMAND, MAKEWPARAM(IDM_NONE, 0), 0);
    DWORD first = GetTickCount() - begin;
    // Choosing the file again, with the helper hung for longer by now.
    begin = GetTickCount();
    SendMessageA(tray.window, WM_COMMAND, MAKEWPARAM(IDM_NONE + 1, 0), 0);
    DWORD second = GetTickCount() - begin;
    printf("[ hung     ] broadcasts returned after %lu ms and %lu ms (timeout %d ms)\n",
           static_cast<unsigned long>(first), static_cast<unsigned long>(second),
           SETTINGS_BROADCAST_TIMEOUT_MS);
    EXPECT_LE(first, static_cast<DWORD>(SETTINGS_BROADCAST_TIMEOUT_MS + 1500));
    EXPECT_LE(second, static_cast<DWORD>(SETTINGS_BROADCAST_TIMEOUT_MS + 1500));

    // The own window handled each broadcast before the command returned.
    char buffer[SAVER_PATH_SIZE];
    readCurrentSaver(FAMILY_NT, buffer);
    EXPECT_STRCASEEQ(buffer, savers.catalogueNameOf(0).c_str());
    EXPECT_FALSE(tray.noneEntry->flags & SAVER_CHECKED);
    EXPECT_STREQ(tray.currentDescription, fixtureDescription().c_str());

    // And it still answers: a message from another thread is handled while
    // this one pumps.
    Poke poke = {tray.window, FALSE};
    HANDLE thread = CreateThread(nullptr, 0, pokeWindow, &poke, 0, nullptr);
    ASSERT_TRUE(thread);
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        pumpMessages();
    CloseHandle(thread);
    EXPECT_TRUE(poke.answered) << "the program's window no longer answers";

    TerminateProcess(helper.handle, 0);
    EXPECT_NE(helper.waitExit(10000), static_cast<DWORD>(STILL_ACTIVE));
    resetScreenSaverSettings();
}

// --- The real program ---------------------------------------------------------

class FaultProcess : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fileExists(dormityPath())) << dormityPath();
        ASSERT_TRUE(otherDormityWindows().empty()) << "a Dormity is already running";
    }
    void TearDown() override
    {
        // Nothing of ours may be left running for the next test.
        waitFor([] { return otherDormityWindows().empty(); }, 5000);
    }
};

TEST_F(FaultProcess, FatalErrorShowsTheBoxExitsZeroAndASecondStartIsAnswered)
{
    InstalledFiles savers("zrfatal");
    savers.copy(fixtureSaverPath(), 0);
    InDirectory directory("rl-fatal");
    const std::string program = damagedProgram(directory.directory());
    ASSERT_FALSE(program.empty()) << "could not make the damaged copy";

    Process first;
    ASSERT_TRUE(startProcess(first, program, "", directory.directory()));
    HWND box = nullptr;
    ASSERT_TRUE(waitFor([&] { return (box = errorBoxOf(first.id)) != nullptr; }, 20000))
        << "no error box";
    EXPECT_EQ(boxText(box).find("AppendMenu\n\n"), 0u) << boxText(box);
    const std::string log = directory.path("error.txt");
    const size_t entries = countOf(readFileBytes(log), "Error occurred at ");
    EXPECT_GE(entries, 1u);
    ASSERT_EQ(otherDormityWindows().size(), 1u) << "the window stays while the box shows";

    // A second start while the box shows: it exits with 0 at once, and the
    // box's own message loop hands its WM_REINSTALL to the first one's
    // window, whose rebuild meets the same fault and logs it again.
    Process second;
    ASSERT_TRUE(startProcess(second, dormityPath(), "", directory.directory()));
    EXPECT_EQ(second.waitExit(20000), 0u);
    EXPECT_TRUE(waitFor([&] { return countOf(readFileBytes(log), "Error occurred at ") == 2 * entries; },
                        10000))
        << "the second start's WM_REINSTALL was not handled";
    EXPECT_TRUE(first.running());
    EXPECT_EQ(errorBoxOf(first.id), box) << "the box is still the same";

    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    EXPECT_EQ(first.waitExit(20000), 0u);
}

TEST_F(FaultProcess, FatalErrorWithAnUnwritableLogStillShowsTheBoxAndExitsZero)
{
    InstalledFiles savers("zrfatal");
    savers.copy(fixtureSaverPath(), 0);
    InDirectory directory("rl-fatal-nolog");
    const std::string program = damagedProgram(directory.directory());
    ASSERT_FALSE(program.empty());
    ASSERT_TRUE(CreateDirectoryA(directory.path("error.txt").c_str(), nullptr));

    Process first;
    ASSERT_TRUE(startProcess(first, program, "", directory.directory()));
    HWND box = nullptr;
    ASSERT_TRUE(waitFor([&] { return (box = errorBoxOf(first.id)) != nullptr; }, 20000))
        << "no error box";
    EXPECT_EQ(boxText(box).find("AppendMenu\n\n"), 0u) << boxText(box);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    EXPECT_EQ(first.waitExit(20000), 0u);
    EXPECT_EQ(GetFileAttributesA(directory.path("error.txt").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(FaultProcess, TwentyStartsAtOnceLeaveExactlyOne)
{
    InDirectory directory("rl-twenty");
    const int kStarts = 20;
    std::vector<Process> processes(kStarts);
    DWORD begin = GetTickCount();
    for (Process& process : processes)
        ASSERT_TRUE(startProcess(process, dormityPath(), "", directory.directory()));

    // All but one end by themselves, each with 0.
    Process* survivor = nullptr;
    int exited = 0;
    ASSERT_TRUE(waitFor(
        [&] {
            int running = 0;
            for (Process& process : processes)
                running += process.running();
            return running <= 1;
        },
        60000))
        << "more than one instance keeps running";
    for (Process& process : processes) {
        if (process.running()) {
            survivor = &process;
            continue;
        }
        EXPECT_EQ(process.waitExit(0), 0u);
        ++exited;
    }
    DWORD settled = GetTickCount() - begin;
    EXPECT_EQ(exited, kStarts - 1);
    ASSERT_NE(survivor, nullptr) << "none kept running";
    HWND window = nullptr;
    ASSERT_TRUE(waitFor(
        [&] {
            std::vector<HWND> windows = topLevelWindows("DORMITY", survivor->id);
            window = windows.empty() ? nullptr : windows[0];
            return window != nullptr;
        },
        20000));
    Sleep(300);  // late pokes from the others, if any, are handled
    EXPECT_TRUE(survivor->running());
    EXPECT_EQ(otherDormityWindows().size(), 1u);
    EXPECT_TRUE(errorBoxOf(survivor->id) == nullptr);
    printf("[ twenty   ] %d of %d ended with 0 after %lu ms\n", exited, kStarts,
           static_cast<unsigned long>(settled));

    // Ended the way a script ends it.
    Process control;
    ASSERT_TRUE(startProcess(control, moduleDirectory() + "\\dormity_ctl.exe", "exit", ""));
    EXPECT_EQ(control.waitExit(30000), 0u);
    EXPECT_EQ(survivor->waitExit(20000), 0u);
    EXPECT_FALSE(fileExists(directory.path("error.txt")));
}
