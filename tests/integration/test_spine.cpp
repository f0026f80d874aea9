// The Application and its hidden window, built in this process and driven
// with real messages.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "app/application.h"
#include "app/error_log.h"
#include "app/tray_window.h"
#include "commands/blink_preference.h"
#include "res/resource.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"

namespace {

HINSTANCE self()
{
    return GetModuleHandleA(nullptr);
}

// Runs a test in a directory of its own, so that "error.txt" lands there.
class InDirectory {
public:
    explicit InDirectory(const char* name) : directory_(freshTempDirectory(name))
    {
        GetCurrentDirectoryA(sizeof previous_, previous_);
        SetCurrentDirectoryA(directory_.c_str());
    }
    ~InDirectory() { SetCurrentDirectoryA(previous_); }
    std::string path(const char* name) const { return directory_ + "\\" + name; }

private:
    std::string directory_;
    char previous_[MAX_PATH];
};

bool takeQuit(WPARAM* exitCode)
{
    MSG message;
    if (!PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        return false;
    *exitCode = message.wParam;
    return true;
}

size_t failAfter = 0;
void* failingAllocator(size_t size)
{
    if (failAfter == 0)
        return nullptr;
    --failAfter;
    return allocateBlock(size);
}

} // namespace

TEST(Spine, BuildsTheHiddenWindowOfClassDormity)
{
    Application app(self());
    ASSERT_NE(app.trayWindow, nullptr);
    HWND window = app.trayWindow->window;
    ASSERT_TRUE(IsWindow(window));
    char text[64];
    GetClassNameA(window, text, sizeof text);
    EXPECT_STREQ(text, "DORMITY");
    GetWindowTextA(window, text, sizeof text);
    EXPECT_STREQ(text, "Dormity");
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(FindWindowA("DORMITY", "Dormity"), window);
    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, static_cast<LONG>(WS_OVERLAPPEDWINDOW));
    EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
    EXPECT_EQ(GetParent(window), static_cast<HWND>(nullptr));
    EXPECT_EQ(GetMenu(window), static_cast<HMENU>(nullptr));

    RECT rect;
    GetWindowRect(window, &rect);
    POINT expected = hiddenWindowPosition(GetSystemMetrics(SM_CXSCREEN),
                                          GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(rect.left, expected.x);
    EXPECT_EQ(rect.top, expected.y);

    // The popup is the resource's first submenu; its own first submenu is
    // the screen saver list, which starts with "[none]".
    HMENU popup = app.trayWindow->popupMenu;
    ASSERT_TRUE(IsMenu(popup));
    EXPECT_EQ(GetMenuItemCount(popup), 15);
    HMENU savers = GetSubMenu(popup, 0);
    ASSERT_TRUE(IsMenu(savers));
    EXPECT_EQ(GetMenuItemID(savers, 0), static_cast<UINT>(IDM_NONE));
    EXPECT_EQ(app.flags & (APP_ERROR | APP_QUIT), 0u);
}

TEST(Spine, TeardownRemovesWindowClassAndMenu)
{
    HWND window;
    HMENU popup;
    {
        Application app(self());
        ASSERT_NE(app.trayWindow, nullptr);
        window = app.trayWindow->window;
        popup = app.trayWindow->popupMenu;
    }
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(IsMenu(popup));
    WNDCLASSA windowClass;
    EXPECT_FALSE(GetClassInfoA(self(), "DORMITY", &windowClass));
    // And it can be built again in the same process.
    Application again(self());
    ASSERT_NE(again.trayWindow, nullptr);
    EXPECT_TRUE(IsWindow(again.trayWindow->window));
}

TEST(Spine, ExitSetsQuitAndPostsQuitWithCodeZero)
{
    Application app(self());
    ASSERT_NE(app.trayWindow, nullptr);
    SendMessageA(app.trayWindow->window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    EXPECT_TRUE(app.flags & APP_QUIT);
    EXPECT_FALSE(app.flags & APP_ERROR);
    WPARAM code = 99;
    ASSERT_TRUE(takeQuit(&code));
    EXPECT_EQ(code, 0u);
}

TEST(Spine, CommandsWithANotificationCodeAreIgnored)
{
    Application app(self());
    ASSERT_NE(app.trayWindow, nullptr);
    SendMessageA(app.trayWindow->window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 1), 0);
    EXPECT_FALSE(app.flags & APP_QUIT);
    WPARAM code;
    EXPECT_FALSE(takeQuit(&code));
}

TEST(Spine, PumpMessageReturnsZeroForQuitWithoutEndingAnything)
{
    Application app(self());
    ASSERT_NE(app.trayWindow, nullptr);
    PostQuitMessage(0);
    EXPECT_EQ(app.trayWindow->pumpMessage(), 0u);
    EXPECT_FALSE(app.flags & APP_QUIT);
    PostMessageA(app.trayWindow->window, WM_NULL, 0, 0);
    EXPECT_EQ(app.trayWindow->pumpMessage(), static_cast<UINT>(WM_NULL));
}

TEST(Spine, RightClickPostsShowMenuAndAnswersOne)
{
    Application app(self());
    ASSERT_NE(app.trayWindow, nullptr);
    HWND window = app.trayWindow->window;
    LRESULT result = SendMessageA(window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_RBUTTONDOWN);
    EXPECT_EQ(result, 1);
    MSG message;
    // Taken off the queue here so that no menu opens in the test.
    ASSERT_TRUE(PeekMessageA(&message, window, WM_TRAYNOTIFY, WM_TRAYNOTIFY, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
    EXPECT_EQ(message.lParam, TRAY_SHOWMENU);
    // Other mouse messages do nothing and post nothing.
    SendMessageA(window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_LBUTTONDOWN);
    SendMessageA(window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_MOUSEMOVE);
    EXPECT_FALSE(PeekMessageA(&message, window, WM_TRAYNOTIFY, WM_TRAYNOTIFY, PM_NOREMOVE));
}

TEST(Spine, DisplayChangeRecentresTheWindow)
{
    Application app(self());
    ASSERT_NE(app.trayWindow, nullptr);
    HWND window = app.trayWindow->window;
    SetWindowPos(window, nullptr, 3, 5, 10, 10, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(window, WM_DISPLAYCHANGE, 32, MAKELPARAM(800, 600));
    RECT rect;
    GetWindowRect(window, &rect);
    POINT expected = hiddenWindowPosition(GetSystemMetrics(SM_CXSCREEN),
                                          GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(rect.left, expected.x);
    EXPECT_EQ(rect.top, expected.y);
    EXPECT_FALSE(IsWindowVisible(window));
}

TEST(Spine, MeasureItemAnswersTrueWithTheStoredWidth)
{
    Application app(self());
    ASSERT_NE(app.trayWindow, nullptr);
    MEASUREITEMSTRUCT item;
    memset(&item, 0, sizeof item);
    item.CtlType = ODT_MENU;
    item.itemID = IDM_EXIT;
    item.itemData = 188;
    EXPECT_EQ(SendMessageA(app.trayWindow->window, WM_MEASUREITEM, 0,
                           reinterpret_cast<LPARAM>(&item)),
              TRUE);
    EXPECT_EQ(item.itemWidth, 188u);
    EXPECT_EQ(item.itemHeight, static_cast<UINT>(GetSystemMetrics(SM_CYMENUSIZE) + 2));
}

TEST(BlinkPreference, MissingKeyValueOrOddLengthMeansBlink)
{
    deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
    EXPECT_TRUE(readBlinkPreference());
    setRegString(HKEY_CURRENT_USER, BLINK_KEY, "Other", "x");
    EXPECT_TRUE(readBlinkPreference());
    const BYTE eight[8] = {0};
    setRegValue(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, REG_BINARY, eight, sizeof eight);
    EXPECT_TRUE(readBlinkPreference());
    const BYTE one[1] = {0};
    setRegValue(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, REG_BINARY, one, sizeof one);
    EXPECT_TRUE(readBlinkPreference());
    setRegDword(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, 7);
    EXPECT_TRUE(readBlinkPreference());
    setRegDword(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, 0);
    EXPECT_FALSE(readBlinkPreference());
    // The type is not looked at: four zero bytes of any type are "off".
    const BYTE four[4] = {0};
    setRegValue(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, REG_BINARY, four, sizeof four);
    EXPECT_FALSE(readBlinkPreference());
    deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
}

TEST(BlinkPreference, ConstructionSetsTheBlinkFlagFromTheRegistry)
{
    setRegDword(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, 0);
    {
        Application app(self());
        EXPECT_FALSE(app.flags & APP_BLINK);
    }
    deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
    {
        Application app(self());
        EXPECT_TRUE(app.flags & APP_BLINK);
    }
}

TEST(ErrorLog, FirstErrorWritesHeaderThenEntriesAppendWithCrLf)
{
    InDirectory directory("log");
    Application app(self());
    logError("Test Failure", "First detail.");
    EXPECT_EQ(app.flags & (APP_ERROR | APP_QUIT), static_cast<DWORD>(APP_ERROR | APP_QUIT));
    ASSERT_NE(app.errorText, nullptr);
    EXPECT_STREQ(app.errorText, "Test Failure\n\nFirst detail.");
    std::string first = readFileBytes(directory.path("error.txt"));
    EXPECT_EQ(first.find("\r\n  ---"), 0u);
    EXPECT_NE(first.find("Error Log File for Dormity\r\n"), std::string::npos);
    EXPECT_NE(first.find("Version:  2.06.00\r\n"), std::string::npos);
    EXPECT_NE(first.find("      Test Failure -- First detail.\r\n---\r\n\r\n"), std::string::npos);
    // No bare line feeds: the file is text on Windows.
    for (size_t i = 0; i < first.size(); ++i) {
        if (first[i] == '\n') {
            ASSERT_TRUE(i > 0 && first[i - 1] == '\r') << "bare LF at " << i;
        }
    }

    logError("Second", "Later detail.");
    EXPECT_STREQ(app.errorText, "Second\n\nLater detail.");
    std::string both = readFileBytes(directory.path("error.txt"));
    ASSERT_EQ(both.compare(0, first.size(), first), 0) << "the file is only appended to";
    std::string added = both.substr(first.size());
    EXPECT_EQ(added.find("Error occurred at "), 0u);
    EXPECT_EQ(added.find("Error Log File"), std::string::npos) << "no second header";
    EXPECT_NE(added.find("      Second -- Later detail.\r\n"), std::string::npos);
}

TEST(ErrorLog, NullDetailTakesTheSystemTextOrUnknownError)
{
    InDirectory directory("log-null");
    Application app(self());
    SetLastError(0x2000ABCD);
    logError("AppendMenu", nullptr);
    ASSERT_NE(app.errorText, nullptr);
    EXPECT_STREQ(app.errorText, "AppendMenu\n\nUnknown Error.");
    std::string log = readFileBytes(directory.path("error.txt"));
    EXPECT_NE(log.find("      AppendMenu -- Unknown Error.\r\n---"), std::string::npos);

    SetLastError(ERROR_INVALID_MENU_HANDLE);
    logError("AppendMenu", nullptr);
    std::string text = app.errorText;
    EXPECT_EQ(text.find("AppendMenu\n\n"), 0u);
    EXPECT_EQ(text.find("Unknown Error."), std::string::npos);
}

TEST(OutOfMemory, FailedWindowAllocationIsLoggedAndYieldsNull)
{
    InDirectory directory("oom");
    // The TrayWindow allocation fails; the error text allocation succeeds.
    static size_t calls;
    calls = 0;
    setAllocator([](size_t size) -> void* { return calls++ == 0 ? nullptr : allocateBlock(size); });
    Application app(self());
    setAllocator(nullptr);
    EXPECT_EQ(app.trayWindow, nullptr);
    EXPECT_EQ(app.flags & (APP_ERROR | APP_QUIT), static_cast<DWORD>(APP_ERROR | APP_QUIT));
    ASSERT_NE(app.errorText, nullptr);
    EXPECT_STREQ(app.errorText,
                 "Out of Memory\n\nThere is not enough memory left to perform this operation.  "
                 "Please close some applications and try again.");
    std::string log = readFileBytes(directory.path("error.txt"));
    EXPECT_NE(log.find("      Out of Memory -- There is not enough memory left to perform this "
                       "operation.  Please close some applications and try again.\r\n---"),
              std::string::npos);
    WNDCLASSA windowClass;
    EXPECT_FALSE(GetClassInfoA(self(), "DORMITY", &windowClass)) << "no window was made";
}

TEST(OutOfMemory, ErrorTextThatCannotBeAllocatedDoesNotRecurse)
{
    InDirectory directory("oom-all");
    failAfter = 0;
    setAllocator(failingAllocator);
    Application app(self());
    setAllocator(nullptr);
    EXPECT_EQ(app.trayWindow, nullptr);
    EXPECT_EQ(app.errorText, nullptr);
    EXPECT_EQ(app.flags & (APP_ERROR | APP_QUIT), static_cast<DWORD>(APP_ERROR | APP_QUIT));
    // Logged once, not once per nested failure.
    std::string log = readFileBytes(directory.path("error.txt"));
    size_t first = log.find("Out of Memory --");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(log.find("Out of Memory --", first + 1), std::string::npos);
}

TEST(FamilyDetection, FlagsMatchTheSystemWineReports)
{
    std::string version = requestedVersion();
    Application app(self());
    ASSERT_NE(app.trayWindow, nullptr);
    DWORD platform = app.flags & (APP_WIN9X | APP_WIN2K);
    DWORD expected = APP_WIN2K;  // win2k, winxp and Wine's default, a current Windows
    if (version == "win98")
        expected = APP_WIN9X;
    else if (version == "nt40")
        expected = 0;
    EXPECT_EQ(platform, expected);
    EXPECT_EQ(platform, reportedPlatformFlags());
}
