// Dormity.exe started as a real process under Wine (with a real program of Wine's to keep the
// screen saver off for).
#include <gtest/gtest.h>
#include <string.h>

#include "app/application.h"
#include "app/start_command.h"
#include "commands/blink_preference.h"
#include "commands/keep_off.h"
#include "commands/timed_disable.h"
#include "res/resource.h"
#include "res/string_ids.h"
#include "support/processes.h"
#include "support/system.h"

namespace {

// No preference stored, the screen saver on. With a window of its own the test reads, under
// Wine, the X server's flag: Dormity's.
class Process_ : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fileExists(dormityExe())) << dormityExe();
        ASSERT_TRUE(dormityWindows().empty()) << "an earlier Dormity is still running";
        preferences_.removeFromRegistry();
        setSaverActive(true);
    }
    // Starts it and waits for its window.
    HWND start(ChildProcess& process, const std::string& arguments = "")
    {
        EXPECT_TRUE(process.start(dormityExe(), arguments, directory_));
        return waitForWindow(process.id);
    }
    // Ends the first instance through its own Exit command.
    void exitCleanly(ChildProcess& process, HWND window)
    {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
        EXPECT_EQ(process.waitExit(15000), 0u);
    }
    // Dormity with the arguments (on the desktop given) run to its end while this thread's
    // messages are handled and a box it shows is answered: its exit code, STILL_ACTIVE when it
    // runs on (then ended), ~0 unstarted.
    DWORD runToEnd(const std::string& arguments, const char* desktop = nullptr)
    {
        ChildProcess child;
        if (!child.start(dormityExe(), arguments, directory_, desktop))
            return ~0u;
        pumpUntil([&] {
            if (HWND box = ownDialog("Dormity", false, child.id))
                PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
            return !child.running();
        }, 15000);
        return child.waitExit(0);
    }
    static bool becomes(bool active, DWORD timeoutMs)
    {
        return pumpUntil([active] { return isSaverActive() == active; }, timeoutMs);
    }
    BroadcastCounter window_;
    SavedRegistryKey preferences_{HKEY_CURRENT_USER, BLINK_KEY};
    std::string directory_ = freshTempDirectory("e2e");
};

const std::string kNotepad = systemDirectory() + "\\notepad.exe";

// The program the marker of a listed program names; "-" without one.
std::string marker()
{
    std::string value;
    return readRegValue(HKEY_CURRENT_USER, BLINK_KEY, KEPT_OFF_FOR_VALUE, &value) ? value.c_str()
                                                                                 : "-";
}

} // namespace

TEST_F(Process_, StartsHiddenPublishesItsWindowAndExitsWithZero)
{
    ChildProcess first;
    HWND window = start(first);
    ASSERT_TRUE(window) << "no window of class DORMITY";
    // The handle is published right after the window is built.
    pumpUntil([] { return sharedWindowValue() != 0; }, 5000);
    char title[64];
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "Dormity");
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(windowFromShared(sharedWindowValue()), window);
    Sleep(300);
    EXPECT_TRUE(first.running());

    exitCleanly(first, window);
    EXPECT_TRUE(windowsOfClass("#32770", first.id).empty()) << "a box was left";
    EXPECT_FALSE(fileExists(directory_ + "\\error.txt")) << "Exit is not an error";
    EXPECT_TRUE(dormityWindows().empty());
}

TEST_F(Process_, SecondInstanceExitsAtOnceAndPokesTheFirst)
{
    ChildProcess first, second;
    HWND window = start(first);
    ASSERT_TRUE(window);
    ASSERT_TRUE(second.start(dormityExe(), "", directory_));
    EXPECT_EQ(second.waitExit(15000), 0u);
    EXPECT_TRUE(dormityWindows(second.id).empty()) << "the second made a window";
    EXPECT_EQ(dormityWindows().size(), 1u);
    EXPECT_TRUE(first.running());
    // The first is still responsive after handling the poke.
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
    exitCleanly(first, window);
}

TEST_F(Process_, QuitPostedByAnotherProgramDoesNotEndIt)
{
    ChildProcess first;
    HWND window = start(first);
    ASSERT_TRUE(window);
    PostMessageA(window, WM_QUIT, 0, 0);
    PostThreadMessageA(GetWindowThreadProcessId(window, nullptr), WM_QUIT, 3, 0);
    EXPECT_EQ(first.waitExit(1500), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(IsWindow(window));
    exitCleanly(first, window);
}

// One minute's wait serves two cases: "/disable-until" starting Dormity, and the time it
// remembers ending the disable once another program deleted the stored value; so does Exit.
TEST_F(Process_, SwitchesStartItOrReachTheRunningOneAndTheRememberedTimeEndsTheWait)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    const int later = now.wSecond < 45 ? 1 : 2;  // the clock minute 15 to 75 s ahead
    const DWORD began = GetTickCount();
    const DWORD dueMs = (later * 60 - now.wSecond) * 1000 - now.wMilliseconds;
    char until[32];
    const int minutes = (now.wHour * 60 + now.wMinute + later) % 1440;
    snprintf(until, sizeof until, "/disable-until %02d:%02d", minutes / 60, minutes % 60);
    ChildProcess first;
    HWND window = start(first, until);
    ASSERT_TRUE(window);
    double left = 0;
    ASSERT_TRUE(pumpUntil([&] { return storedEnableAt(&left); }, 5000)) << until;
    EXPECT_NEAR(left, (dueMs - (GetTickCount() - began)) / 1e3, 2) << until;
    EXPECT_FALSE(isSaverActive());

    // Not understood: the usage in a box of its own, exit code 2, nothing changed.
    std::string stored, after;
    readRegValue(HKEY_CURRENT_USER, BLINK_KEY, ENABLE_AT_VALUE, &stored);
    for (const char* bad : {"/bogus", "/disable-for 0"})
        EXPECT_EQ(runToEnd(bad), 2u) << bad;
    readRegValue(HKEY_CURRENT_USER, BLINK_KEY, ENABLE_AT_VALUE, &after);
    EXPECT_TRUE(after == stored && !isSaverActive());

    deleteRegValue(HKEY_CURRENT_USER, BLINK_KEY, ENABLE_AT_VALUE);
    EXPECT_FALSE(becomes(true, dueMs - 1000 - (GetTickCount() - began))) << "early: " << until;
    EXPECT_TRUE(becomes(true, 4000)) << "not enabled within 3 s of " << until;

    // Handed to the running one.
    EXPECT_EQ(runToEnd("/disable-for 90"), 0u);
    EXPECT_TRUE(pumpUntil([&] { return storedEnableAt(&left) && left > 60; }, 5000));
    EXPECT_NEAR(left, 5400, 5);
    EXPECT_FALSE(isSaverActive());
    EXPECT_EQ(runToEnd("-ENABLE"), 0u);
    EXPECT_TRUE(becomes(true, 5000) && pumpUntil([] { return !storedEnableAt(); }, 5000));

    // "15 Minutes", the value deleted, Exit (here by its switch): enabled.
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_DISABLE_15, 0), 0);
    EXPECT_TRUE(pumpUntil([&] { return storedEnableAt(&left) && left > 800 && !isSaverActive(); },
                          5000));
    deleteRegValue(HKEY_CURRENT_USER, BLINK_KEY, ENABLE_AT_VALUE);
    EXPECT_EQ(runToEnd("/Exit"), 0u);
    // An installer replaces the file once /exit returns: the running one has ended by then.
    EXPECT_EQ(first.waitExit(0), 0u);
    EXPECT_TRUE(isSaverActive()) << "Exit left the screen saver off";
}

// A Dormity seems to run (its mutex exists), but the switch cannot reach it: no window published
// within the wait, or one that drops the message as one with higher rights does under Windows'
// integrity levels (Wine has none: here a window that answers 0, as one that does not know it).
TEST_F(Process_, ASwitchThatCannotBeHandedOverEndsWithThreeAndChangesNothing)
{
    UniqueKernelObject mutex(CreateMutexA(nullptr, FALSE, "DORMITY"));
    UniqueKernelObject mapping(
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, "DormityMem"));
    UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_TRUE(view);
    HWND refusing = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    for (HWND published : {HWND(nullptr), refusing}) {
        *static_cast<volatile DWORD*>(const_cast<void*>(view.get())) = windowToShared(published);
        EXPECT_EQ(runToEnd("/disable-for 90"), 3u) << published;
        EXPECT_TRUE(isSaverActive() && !storedEnableAt());
    }
    DestroyWindow(refusing);
}

// "/launch" works as the menu's command, which the right click brought to the front: the running
// one comes to the front and starts the screen saver there, not in the program in front.
TEST_F(Process_, LaunchHandedOverBringsTheRunningOneToTheFront)
{
    SavedRegistryKey desktop(HKEY_CURRENT_USER, DESKTOP_KEY);
    configureSaver(dormityExe());  // any name: with none, Launch offers the display settings
    ChildProcess first;
    HWND window = start(first);
    CommandSink& sink = CommandSink::instance();
    sink.takeForeground();
    ASSERT_TRUE(window && GetForegroundWindow() == sink.window);
    EXPECT_EQ(runToEnd("/launch"), 0u);
    EXPECT_TRUE(pumpUntil([&] { return GetForegroundWindow() == window; }, 5000));
    pumpUntil([] { return false; }, 300);
    EXPECT_EQ(sink.screenSaves, 0) << "posted to the program in front";
    exitCleanly(first, window);
}

// Started where nobody sees it: no box (it would wait for ever), the usage on the console of the
// program that started it, no Dormity left running, and exit codes that say what happened.
TEST_F(Process_, WhereNobodySeesItThereIsNoBoxNoIconAndTheExitCodeSays)
{
    // The usage as the system reads it from the program's own string table.
    UniqueModule image(LoadLibraryExA(dormityExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    char usage[1024] = "";
    ASSERT_GT(LoadStringA(image.get(), IDS_USAGE, usage, sizeof usage), 0);
    // A window station nobody sees, as a task run without the user gets, with its desktop.
    HWINSTA own = GetProcessWindowStation();
    HWINSTA hidden = CreateWindowStationA("DormityHidden", 0, WINSTA_ALL_ACCESS, nullptr);
    SetProcessWindowStation(hidden);
    HDESK desktop = CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(own);
    // A console of the test's own to read back; the test's output stays where it was.
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE), errors = GetStdHandle(STD_ERROR_HANDLE);
    FreeConsole();
    AllocConsole();
    HANDLE screen = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    SetConsoleScreenBufferSize(screen, {240, 100});
    const struct { const char* arguments; DWORD code; } runs[] = {
        {"/bogus", 2}, {"", 5}, {"/disable-for 90", 5}};
    for (const auto& run : runs)
        EXPECT_EQ(runToEnd(run.arguments, "DormityHidden\\Default"), run.code) << run.arguments;
    std::string shown(240 * 100, ' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterA(screen, &shown[0], 240 * 100, {0, 0}, &read);
    CloseHandle(screen);
    FreeConsole();
    SetStdHandle(STD_OUTPUT_HANDLE, output);
    SetStdHandle(STD_ERROR_HANDLE, errors);
    CloseDesktop(desktop);
    CloseWindowStation(hidden);
    EXPECT_TRUE(isSaverActive() && !storedEnableAt());
    // Each of its lines, in order.
    size_t at = 0;
    for (char* line = strtok(usage, "\n"); line && at != std::string::npos;
         line = strtok(nullptr, "\n"))
        at = shown.find(std::string(line) + " ", at);
    EXPECT_NE(at, std::string::npos) << "not on the console:\n" << shown;
}

// The list changed while Dormity runs, a start and an end seen, Dormity ended by force while it
// holds and started again, and Exit while it holds.
TEST_F(Process_, AListedProgramKeepsItOffUntilItEndsAlsoAcrossAnEndedDormity)
{
    ChildProcess dormity;
    ASSERT_TRUE(start(dormity));
    {
        // Listed while it runs: the change of the list is seen, with no other news.
        ChildProcess player;
        ASSERT_TRUE(player.start(kNotepad));
        ASSERT_TRUE(pumpUntil([&] { return !windowsOfClass(nullptr, player.id, true).empty(); },
                              10000));
        Sleep(1000);
        listKeepOffPrograms(std::string("NOTEPAD.EXE\0", 12));
        EXPECT_TRUE(becomes(false, 10000)) << "not off while a listed program runs";
        EXPECT_EQ(marker(), "notepad.exe");

        // Ended by force while it holds: nobody brings it back until the next start, which
        // holds on while the program still runs.
        TerminateProcess(dormity.handle.get(), 9);
        ASSERT_EQ(dormity.waitExit(10000), 9u);
        ASSERT_TRUE(start(dormity));
        EXPECT_FALSE(becomes(true, 1500)) << "the restart let go while the program runs";
        EXPECT_NE(marker(), "-");
        TerminateProcess(player.handle.get(), 0);
        EXPECT_TRUE(becomes(true, 10000)) << "not back when the program ended";
        EXPECT_EQ(marker(), "-");

        // Ended by force again, the program ends meanwhile: back at the next start.
        ASSERT_TRUE(player.start(kNotepad));
        ASSERT_TRUE(becomes(false, 10000));
        TerminateProcess(dormity.handle.get(), 9);
        ASSERT_EQ(dormity.waitExit(10000), 9u);
    }
    EXPECT_FALSE(isSaverActive());
    HWND tray = start(dormity);
    ASSERT_TRUE(tray);
    EXPECT_TRUE(becomes(true, 10000)) << "not back at the start after a forced end";
    EXPECT_EQ(marker(), "-");

    // Held by its full path in another letter case; Exit brings it back at once.
    std::string upper = kNotepad;
    CharUpperA(&upper[0]);
    listKeepOffPrograms(upper + std::string(1, '\0'));
    ChildProcess player;
    ASSERT_TRUE(player.start(kNotepad));
    ASSERT_TRUE(becomes(false, 10000)) << "a full path not matched";
    exitCleanly(dormity, tray);
    EXPECT_TRUE(isSaverActive()) << "Exit left it off";
    EXPECT_EQ(marker(), "-");
}

// "/disable-while": starting Dormity or handed to the running one, by process id or by name;
// a program that does not run, and values that name none.
TEST_F(Process_, TheSwitchHoldsItOffOnceUntilItsProgramEnds)
{
    ChildProcess player, dormity;
    ASSERT_TRUE(player.start(kNotepad));
    HWND tray = start(dormity, "/disable-while " + std::to_string(player.id));
    ASSERT_TRUE(tray);
    EXPECT_TRUE(becomes(false, 10000)) << "the start's switch by process id";
    TerminateProcess(player.handle.get(), 0);
    EXPECT_TRUE(becomes(true, 10000)) << "not back when its process ended";

    ASSERT_TRUE(player.start(kNotepad));
    EXPECT_EQ(runToEnd("-Disable-While NOTEPAD.EXE"), static_cast<DWORD>(EXIT_DONE));
    EXPECT_TRUE(becomes(false, 10000)) << "handed over by name";
    EXPECT_NE(marker(), "-");
    TerminateProcess(player.handle.get(), 0);
    EXPECT_TRUE(becomes(true, 10000));
    EXPECT_EQ(marker(), "-");

    // Nothing runs by that name: refused, nothing changed; no such process: the usage.
    const DWORD ended = player.id;
    for (const std::string& program : {std::string("notepad.exe"), std::string("\"C:\\x y\\z.exe\"")})
        EXPECT_EQ(runToEnd("/disable-while " + program), static_cast<DWORD>(EXIT_REFUSED)) << program;
    for (const std::string& id : {std::string("0"), std::string("4294967296"), std::to_string(ended)})
        EXPECT_EQ(runToEnd("/disable-while " + id), static_cast<DWORD>(EXIT_USAGE)) << id;
    EXPECT_TRUE(isSaverActive());
    EXPECT_EQ(marker(), "-");
    exitCleanly(dormity, tray);
}
