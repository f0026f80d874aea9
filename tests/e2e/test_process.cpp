// Dormity.exe started as a real process under Wine.
#include <gtest/gtest.h>

#include "app/application.h"
#include "res/resource.h"
#include "support/processes.h"
#include "support/system.h"

namespace {

class Process_ : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fileExists(dormityExe())) << dormityExe();
        ASSERT_TRUE(dormityWindows().empty()) << "an earlier Dormity is still running";
    }
    // Starts it and waits for its window.
    HWND start(ChildProcess& process, const char* arguments = "")
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
    std::string directory_ = freshTempDirectory("e2e");
};

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

TEST_F(Process_, AnyCommandLineStartsItTheSameWay)
{
    for (const char* arguments : {"/s", "-C", "/c:1234", "some words AND Letters", "/?"}) {
        SCOPED_TRACE(arguments);
        ChildProcess first;
        HWND window = start(first, arguments);
        ASSERT_TRUE(window);
        EXPECT_FALSE(IsWindowVisible(window));
        EXPECT_TRUE(windowsOfClass("#32770", first.id).empty());
        exitCleanly(first, window);
    }
}
