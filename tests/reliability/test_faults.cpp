// Faults from outside: unwritable files, a missing key, a hung window, a fatal error with a
// second start meanwhile, twenty starts at once.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/application.h"
#include "app/error_log.h"
#include "base/handles.h"
#include "app/tray_window.h"
#include "res/resource.h"
#include "support/savers.h"
#include "support/pixels.h"
#include "support/processes.h"
#include "support/system.h"

namespace {

// Held open, denying writers (as root, Wine writes read-only files anyway).
HANDLE lockFile(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

// Whether the C library can open the file for appending, as the log does.
bool appendable(const std::string& path)
{
    FILE* file = fopen(path.c_str(), "a+");
    if (file)
        fclose(file);
    return file != nullptr;
}

std::string boxText(HWND box)
{
    char text[1024];
    for (HWND item = nullptr; (item = FindWindowExA(box, item, "Static", nullptr));)
        if (GetWindowTextA(item, text, sizeof text) && strchr(text, '\n'))
            return text;
    return "";
}

size_t logEntries(const std::string& path)
{
    const std::string text = readFileBytes(path);
    size_t count = 0;
    for (size_t at = 0; (at = text.find("Error occurred at ", at)) != std::string::npos; ++at)
        ++count;
    return count;
}

// A copy of the program with its menu damaged, as by a broken installation:
// a plain item instead of the popup, so no submenu to fill, a fatal error.
std::string damagedProgram(const std::string& directory)
{
    const std::string copy = directory + "\\DormDmg.exe";
    // Header (version 0, offset 0), then one last item, id 1, text "x".
    static const WORD kMenu[] = {0, 0, MF_END, 1, 'x', 0};
    HANDLE update = CopyFileA(dormityExe().c_str(), copy.c_str(), FALSE)
                        ? BeginUpdateResourceA(copy.c_str(), FALSE)
                        : nullptr;
    bool updated = update
                   && UpdateResourceA(update, reinterpret_cast<LPCSTR>(RT_MENU),
                                      MAKEINTRESOURCEA(IDR_TRAYMENU),
                                      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                      const_cast<WORD*>(kMenu), sizeof kMenu);
    updated = update && EndUpdateResourceA(update, !updated) && updated;
    return updated ? copy : "";
}

// Whether the window answers a message sent from this (another) thread.
DWORD WINAPI answers(void* window)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(static_cast<HWND>(window), WM_SETTINGCHANGE, 0, 0, SMTO_NORMAL, 5000,
                               &result)
           != 0;
}

}  // namespace

// The log writable, locked, a directory: only the first is written, and the
// error (out of memory first, the window's allocation failing) still ends.
TEST(FaultErrorLog, UnwritableLogIsLeftAloneAndTheErrorStillEnds)
{
    enum Shape { kWritable, kLocked, kDirectory };
    const char kOld[] = "an older log\r\n";
    char system[300] = "Unknown Error.";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   ERROR_NOT_ENOUGH_MEMORY, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), system,
                   sizeof system, nullptr);
    for (Shape shape : {kWritable, kLocked, kDirectory}) {
        static const char* const kNames[] = {"writable", "locked", "directory"};
        const char* name = kNames[shape];
        SCOPED_TRACE(name);
        InDirectory directory((std::string("rl-log-") + name).c_str());
        const std::string path = directory.path("error.txt");
        UniqueFile lock;
        if (shape == kLocked) {
            writeFileBytes(path, kOld, sizeof kOld - 1);
            lock.reset(lockFile(path));
            ASSERT_TRUE(static_cast<bool>(lock));
        }
        ASSERT_TRUE(shape != kDirectory || CreateDirectoryA(path.c_str(), nullptr));
        ASSERT_TRUE(shape == kWritable || !appendable(path)) << "the log can be written";

        static int calls;
        calls = 0;
        setAllocator([](size_t size) { return calls++ == 0 ? nullptr : allocateBlock(size); });
        {
            Application app(GetModuleHandleA(nullptr));
            setAllocator(nullptr);
            EXPECT_EQ(app.trayWindow, nullptr);
            EXPECT_EQ(app.flags & (APP_ERROR | APP_QUIT), static_cast<DWORD>(APP_ERROR | APP_QUIT));
            ASSERT_NE(app.errorText, nullptr);
            EXPECT_EQ(
                std::string(app.errorText).find("Out of Memory\n\nThere is not enough memory"), 0u);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            logError("AppendMenu", nullptr);
            EXPECT_EQ(app.errorText, "AppendMenu\n\n" + std::string(system));
        }
        setAllocator(nullptr);
        lock.reset();
        if (shape == kWritable) {
            std::string log = readFileBytes(path);
            EXPECT_NE(log.find("Error Log File for Dormity"), std::string::npos);
            EXPECT_NE(log.find("      Out of Memory -- "), std::string::npos);
            EXPECT_NE(log.find("      AppendMenu -- "), std::string::npos);
        }
        EXPECT_TRUE(shape != kLocked || readFileBytes(path) == kOld)
            << "the locked log was changed";
        // Removing a directory fails when anything was written into it.
        EXPECT_TRUE(shape != kDirectory || RemoveDirectoryA(path.c_str()))
            << "the directory was written into";
    }
}

// system.ini held open by another program: writes are skipped, reads work.
TEST(FaultLockedIni, WritesAreSkippedReadsStillWork)
{
    const std::string path = windowsDirectory() + "\\system.ini";
    struct Reset {
        Reset() { resetScreenSaverSettings(); }
        ~Reset() { resetScreenSaverSettings(); }
    } reset;
    InstalledFiles savers("zrini");
    savers.copy(fixtureSaverPath(), 0);
    const std::string configured = savers.catalogueNameOf(0);
    setIniSaver(configured.c_str());
    const std::string frozen = readFileBytes(path);  // as the program must leave it
    UniqueFile lock(lockFile(path));
    ASSERT_TRUE(static_cast<bool>(lock));
    ASSERT_FALSE(appendable(path)) << "the lock does not keep writers out";

    char buffer[SAVER_PATH_SIZE];
    writeCurrentSaver(FAMILY_95, "C:\\OTHER.SCR");
    readCurrentSaver(FAMILY_95, buffer);
    EXPECT_STREQ(buffer, configured.c_str()) << "the write went through";
    clearCurrentSaver(FAMILY_95);
    readCurrentSaver(FAMILY_95, buffer);
    EXPECT_STREQ(buffer, configured.c_str()) << "the removal went through";
    EXPECT_FALSE(readRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE", nullptr))
        << "the write went to the registry instead";

    // The program on the 95 family still marks the file after "[none]".
    Application app(GetModuleHandleA(nullptr));
    ASSERT_NE(app.trayWindow, nullptr);
    TrayWindow& tray = *app.trayWindow;
    app.flags = (app.flags & ~(APP_WIN2K)) | APP_WIN9X;
    SendMessageA(tray.window, WM_SETTINGCHANGE, 0, 0);
    EXPECT_STRCASEEQ(tray.currentDescription, fixtureDescription().c_str());
    SendMessageA(tray.window, WM_COMMAND, MAKEWPARAM(IDM_NONE, 0), 0);
    EXPECT_STRCASEEQ(tray.currentDescription, fixtureDescription().c_str());
    EXPECT_FALSE(tray.noneEntry->flags & SAVER_CHECKED);
    lock.reset();
    EXPECT_EQ(readFileBytes(path), frozen) << "system.ini was written";
}

TEST(FaultDesktopKey, MissingKeyReadsDefaultsAndWritesNothing)
{
    InstalledFiles savers("zrdesk");
    savers.copy(fixtureSaverPath(), 0);
    SavedRegistryKey desktop(HKEY_CURRENT_USER, DESKTOP_KEY);
    ASSERT_TRUE(desktop.existed());
    ASSERT_TRUE(desktop.removeFromRegistry());
    auto keyAbsent = [] {
        UniqueRegKey key;
        return RegOpenKeyExA(HKEY_CURRENT_USER, DESKTOP_KEY, 0, KEY_READ, key.put())
               != ERROR_SUCCESS;
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
    EXPECT_TRUE(keyAbsent()) << "a write created the key";

    // The program: choose a saver, switch the password, draw every item.
    {
        Application app(GetModuleHandleA(nullptr));
        ASSERT_NE(app.trayWindow, nullptr);
        TrayWindow& tray = *app.trayWindow;
        EXPECT_TRUE(tray.noneEntry->flags & SAVER_CHECKED);
        for (UINT command : {IDM_NONE + 1, IDM_PASSWORD, IDM_NONE})
            SendMessageA(tray.window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
        EXPECT_TRUE(tray.noneEntry->flags & SAVER_CHECKED);
        EXPECT_STREQ(tray.currentDescription, "none");
        SendMessageA(tray.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(tray.popupMenu), 0);
        std::vector<MenuItemView> items = ownerDrawnItems(tray);
        EXPECT_GE(items.size(), 14u);
        EXPECT_FALSE(renderAllItems(tray.window, items).empty());
        pumpMessages();
    }
    EXPECT_TRUE(keyAbsent()) << "the program created the key";
    EXPECT_TRUE(desktop.restore()) << "the desktop key could not be put back";
    EXPECT_TRUE(desktop.matchesRegistry());
}

TEST(FaultHungWindow, BroadcastReturnsWithinItsTimeoutAndTheProgramGoesOn)
{
    resetScreenSaverSettings();
    InstalledFiles savers("zrhung");
    savers.copy(fixtureSaverPath(), 0);
    writeCurrentSaver(FAMILY_NT, savers.catalogueNameOf(0).c_str());

    // Another program whose window stops answering: its thread suspended.
    ChildProcess other;
    ASSERT_TRUE(other.start(systemDirectory() + "\\notepad.exe"));
    std::vector<HWND> hung;
    ASSERT_TRUE(pumpUntil([&] { return !(hung = windowsOfClass("Notepad", other.id)).empty(); },
                          20000));
    UniqueKernelObject thread(
        OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(hung[0], nullptr)));
    ASSERT_NE(SuspendThread(thread.get()), static_cast<DWORD>(-1));
    DWORD_PTR answer = 0;
    ASSERT_FALSE(SendMessageTimeoutA(hung[0], WM_NULL, 0, 0, SMTO_NORMAL, 300, &answer))
        << "the other program's window still answers";

    Application app(GetModuleHandleA(nullptr));
    ASSERT_NE(app.trayWindow, nullptr);
    TrayWindow& tray = *app.trayWindow;
    ASSERT_FALSE(tray.noneEntry->flags & SAVER_CHECKED);
    // "[none]", then the file again: each broadcasts and waits for every window.
    for (UINT command : {IDM_NONE, IDM_NONE + 1}) {
        DWORD begin = GetTickCount();
        SendMessageA(tray.window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
        DWORD took = GetTickCount() - begin;
        printf("[ hung     ] broadcast returned after %lu ms (timeout %d ms)\n",
               static_cast<unsigned long>(took), SETTINGS_BROADCAST_TIMEOUT_MS);
        EXPECT_LE(took, static_cast<DWORD>(SETTINGS_BROADCAST_TIMEOUT_MS + 1500));
    }
    // The own window handled each broadcast before the command returned.
    char buffer[SAVER_PATH_SIZE];
    readCurrentSaver(FAMILY_NT, buffer);
    EXPECT_STRCASEEQ(buffer, savers.catalogueNameOf(0).c_str());
    EXPECT_FALSE(tray.noneEntry->flags & SAVER_CHECKED);
    EXPECT_STREQ(tray.currentDescription, fixtureDescription().c_str());

    // And it still answers another thread while this one pumps.
    UniqueKernelObject poke(CreateThread(nullptr, 0, answers, tray.window, 0, nullptr));
    ASSERT_TRUE(static_cast<bool>(poke));
    DWORD answered = 0;
    pumpUntil([&] { return WaitForSingleObject(poke.get(), 0) == WAIT_OBJECT_0; }, 10000);
    EXPECT_TRUE(GetExitCodeThread(poke.get(), &answered) && answered == 1)
        << "the program's window no longer answers";
    resetScreenSaverSettings();
}

class FaultProcess : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fileExists(dormityExe())) << dormityExe();
        ASSERT_TRUE(dormityWindows().empty()) << "a Dormity is already running";
    }
    // Nothing of ours may be left running for the next test.
    void TearDown() override
    {
        pumpUntil([] { return dormityWindows().empty(); }, 5000);
    }
};

// The box shows and OK ends with 0, the log writable or a directory. A second start meanwhile
// exits with 0; its WM_REINSTALL reaches the first one's window, whose rebuild logs again.
TEST_F(FaultProcess, FatalErrorShowsTheBoxAndExitsZero)
{
    InstalledFiles savers("zrfatal");
    savers.copy(fixtureSaverPath(), 0);
    for (bool logIsDirectory : {false, true}) {
        SCOPED_TRACE(logIsDirectory ? "log a directory" : "log writable");
        InDirectory directory(logIsDirectory ? "rl-fatal-nolog" : "rl-fatal");
        const std::string program = damagedProgram(directory.directory);
        ASSERT_FALSE(program.empty()) << "could not make the damaged copy";
        const std::string log = directory.path("error.txt");
        ASSERT_TRUE(!logIsDirectory || CreateDirectoryA(log.c_str(), nullptr));

        ChildProcess first;
        ASSERT_TRUE(first.start(program, "", directory.directory));
        HWND box = nullptr;
        ASSERT_TRUE(pumpUntil([&] { return (box = ownDialog("Dormity", false, first.id)); }, 20000))
            << "no error box";
        EXPECT_EQ(boxText(box).find("AppendMenu\n\n"), 0u) << boxText(box);
        if (!logIsDirectory) {
            const size_t entries = logEntries(log);
            EXPECT_GE(entries, 1u);
            ASSERT_EQ(dormityWindows().size(), 1u) << "the window stays while the box shows";
            ChildProcess second;
            ASSERT_TRUE(second.start(dormityExe(), "", directory.directory));
            EXPECT_EQ(second.waitExit(20000), 0u);
            EXPECT_TRUE(pumpUntil([&] { return logEntries(log) == 2 * entries; }, 10000))
                << "the second start's WM_REINSTALL was not handled";
            EXPECT_TRUE(first.running());
            EXPECT_EQ(ownDialog("Dormity", false, first.id), box) << "the box is still the same";
        }
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
        EXPECT_EQ(first.waitExit(20000), 0u);
        EXPECT_TRUE(!logIsDirectory || RemoveDirectoryA(log.c_str()))
            << "the directory was written into";
    }
}

TEST_F(FaultProcess, TwentyStartsAtOnceLeaveExactlyOne)
{
    InDirectory directory("rl-twenty");
    const int kStarts = 20;
    std::vector<ChildProcess> processes(kStarts);
    DWORD begin = GetTickCount();
    for (ChildProcess& process : processes)
        ASSERT_TRUE(process.start(dormityExe(), "", directory.directory));

    // All but one end by themselves, each with 0.
    auto runningCount = [&] {
        int running = 0;
        for (ChildProcess& process : processes)
            running += process.running();
        return running;
    };
    ASSERT_TRUE(pumpUntil([&] { return runningCount() <= 1; }, 60000))
        << "more than one keeps running";
    ChildProcess* survivor = nullptr;
    for (ChildProcess& process : processes) {
        survivor = process.running() ? &process : survivor;
        EXPECT_TRUE(&process == survivor || process.waitExit(0) == 0);
    }
    ASSERT_NE(survivor, nullptr) << "none kept running";
    printf("[ twenty   ] %d of %d ended with 0 after %lu ms\n", kStarts - 1, kStarts,
           static_cast<unsigned long>(GetTickCount() - begin));
    ASSERT_TRUE(
        pumpUntil([&] { return !dormityWindows(survivor->id).empty(); }, 20000));
    Sleep(300);  // late pokes from the others, if any, are handled
    EXPECT_TRUE(survivor->running());
    EXPECT_EQ(dormityWindows().size(), 1u);
    EXPECT_TRUE(ownDialog("Dormity", false, survivor->id) == nullptr);

    // Ended the way a script ends it.
    ChildProcess control;
    ASSERT_TRUE(control.start(moduleDirectory() + "\\dormity_ctl.exe", "exit"));
    EXPECT_EQ(control.waitExit(30000), 0u);
    EXPECT_EQ(survivor->waitExit(20000), 0u);
    EXPECT_FALSE(fileExists(directory.path("error.txt")));
}
