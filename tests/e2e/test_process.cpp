// Dormity.exe started as a real process under Wine.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/application.h"
#include "app/handles.h"
#include "app/tray_window.h"
#include "res/resource.h"
#include "support/wine_env.h"

namespace {

struct Process {
    HANDLE handle = nullptr;
    DWORD id = 0;
    ~Process()
    {
        if (handle) {
            if (WaitForSingleObject(handle, 0) == WAIT_TIMEOUT)
                TerminateProcess(handle, 1);
            CloseHandle(handle);
        }
    }
    bool running() const { return handle && WaitForSingleObject(handle, 0) == WAIT_TIMEOUT; }
    // Exit code once ended within timeoutMs, else STILL_ACTIVE.
    DWORD waitExit(DWORD timeoutMs) const
    {
        if (WaitForSingleObject(handle, timeoutMs) != WAIT_OBJECT_0)
            return STILL_ACTIVE;
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(handle, &code);
        return code;
    }
};

std::string dormityPath()
{
    return moduleDirectory() + "\\Dormity.exe";
}

bool start(Process& process, const char* arguments, const std::string& directory)
{
    std::string command = "\"" + dormityPath() + "\"";
    if (arguments && *arguments)
        command += std::string(" ") + arguments;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &info))
        return false;
    CloseHandle(info.hThread);
    process.handle = info.hProcess;
    process.id = info.dwProcessId;
    return true;
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK collectDormityWindows(HWND window, LPARAM lParam)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    char name[64];
    GetClassNameA(window, name, sizeof name);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (strcmp(name, "DORMITY") == 0 && (search->processId == 0 || owner == search->processId))
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> dormityWindows(DWORD processId = 0)
{
    WindowSearch search{processId, {}};
    EnumWindows(collectDormityWindows, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForWindow(DWORD processId, DWORD timeoutMs = 20000)
{
    DWORD begin = GetTickCount();
    while (GetTickCount() - begin < timeoutMs) {
        std::vector<HWND> windows = dormityWindows(processId);
        if (!windows.empty())
            return windows[0];
        Sleep(50);
    }
    return nullptr;
}

DWORD sharedWindowValue()
{
    UniqueKernelObject mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, "DormityMem"));
    if (!mapping)
        return 0;
    UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 4));
    return view ? *static_cast<const DWORD*>(view.get()) : 0;
}

struct ErrorBoxSearch {
    DWORD processId;
    bool found;
};

BOOL CALLBACK findDialog(HWND window, LPARAM lParam)
{
    ErrorBoxSearch* search = reinterpret_cast<ErrorBoxSearch*>(lParam);
    char name[64];
    GetClassNameA(window, name, sizeof name);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && strcmp(name, "#32770") == 0)
        search->found = true;
    return TRUE;
}

bool showsADialog(DWORD processId)
{
    ErrorBoxSearch search{processId, false};
    EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class Process_ : public testing::Test {
protected:
    void SetUp() override
    {
        directory_ = freshTempDirectory("e2e");
        ASSERT_TRUE(fileExists(dormityPath())) << dormityPath();
        ASSERT_TRUE(dormityWindows().empty()) << "an earlier Dormity is still running";
    }
    // Ends the first instance through its own Exit command.
    void exitCleanly(Process& process, HWND window)
    {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
        EXPECT_EQ(process.waitExit(15000), 0u);
    }
    std::string directory_;
};

} // namespace

TEST_F(Process_, StartsHiddenPublishesItsWindowAndExitsWithZero)
{
    Process first;
    ASSERT_TRUE(start(first, "", directory_));
    HWND window = waitForWindow(first.id);
    ASSERT_TRUE(window) << "no window of class DORMITY";
    // The handle is published right after the window is built.
    DWORD begin = GetTickCount();
    while (sharedWindowValue() == 0 && GetTickCount() - begin < 5000)
        Sleep(20);
    char title[64];
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "Dormity");
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(windowFromShared(sharedWindowValue()), window);
    Sleep(300);
    EXPECT_TRUE(first.running());

    exitCleanly(first, window);
    EXPECT_FALSE(showsADialog(first.id));
    EXPECT_FALSE(fileExists(directory_ + "\\error.txt")) << "Exit is not an error";
    EXPECT_TRUE(dormityWindows().empty());
}

TEST_F(Process_, SecondInstanceExitsAtOnceAndPokesTheFirst)
{
    Process first;
    ASSERT_TRUE(start(first, "", directory_));
    HWND window = waitForWindow(first.id);
    ASSERT_TRUE(window);

    Process second;
    ASSERT_TRUE(start(second, "", directory_));
    EXPECT_EQ(second.waitExit(15000), 0u);
    EXPECT_TRUE(dormityWindows(second.id).empty()) << "the second made no window";
    EXPECT_EQ(dormityWindows().size(), 1u);
    EXPECT_TRUE(first.running());
    // The first is still responsive after handling the poke.
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
    exitCleanly(first, window);
}

TEST_F(Process_, QuitPostedByAnotherProgramDoesNotEndIt)
{
    Process first;
    ASSERT_TRUE(start(first, "", directory_));
    HWND window = waitForWindow(first.id);
    ASSERT_TRUE(window);
    PostMessageA(window, WM_QUIT, 0, 0);
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    PostThreadMessageA(thread, WM_QUIT, 3, 0);
    EXPECT_EQ(first.waitExit(1500), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(IsWindow(window));
    exitCleanly(first, window);
}

TEST_F(Process_, AnyCommandLineStartsItTheSameWay)
{
    const char* lines[] = {"/s", "-C", "/c:1234", "some words AND Letters", "/?"};
    for (const char* arguments : lines) {
        Process first;
        ASSERT_TRUE(start(first, arguments, directory_));
        HWND window = waitForWindow(first.id);
        ASSERT_TRUE(window) << "with \"" << arguments << "\"";
        EXPECT_FALSE(IsWindowVisible(window));
        EXPECT_FALSE(showsADialog(first.id));
        exitCleanly(first, window);
    }
}
