// The Application and its hidden window, built in this process and driven with real messages.
#include <gtest/gtest.h>
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

HINSTANCE self() { return GetModuleHandleA(nullptr); }

bool classRegistered()
{
    WNDCLASSA windowClass;
    return GetClassInfoA(self(), "DORMITY", &windowClass) != 0;
}

void expectCentred(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    POINT expected =
        hiddenWindowPosition(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(rect.left, expected.x);
    EXPECT_EQ(rect.top, expected.y);
    EXPECT_FALSE(IsWindowVisible(window));
}

const DWORD kErrorAndQuit = APP_ERROR | APP_QUIT;

} // namespace

TEST(Spine, TheHiddenWindowItsMessagesExitAndTeardown)
{
    HWND window;
    HMENU popup;
    {
        Application app(self());
        ASSERT_NE(app.trayWindow, nullptr);
        window = app.trayWindow->window;
        EXPECT_EQ(FindWindowA("DORMITY", "Dormity"), window) << "class or title";
        LONG style = GetWindowLongA(window, GWL_STYLE);
        EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, static_cast<LONG>(WS_OVERLAPPEDWINDOW));
        EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
        EXPECT_EQ(GetParent(window), static_cast<HWND>(nullptr));
        EXPECT_EQ(GetMenu(window), static_cast<HMENU>(nullptr));
        expectCentred(window);
        // The popup's first submenu is the screen saver list, which starts with "[none]".
        popup = app.trayWindow->popupMenu;
        ASSERT_TRUE(IsMenu(popup));
        EXPECT_EQ(GetMenuItemCount(popup), 17);
        EXPECT_EQ(GetMenuItemID(GetSubMenu(popup, 0), 0), static_cast<UINT>(IDM_NONE));
        EXPECT_EQ(app.flags & kErrorAndQuit, 0u);

        // A right click posts the menu's opening (taken off the queue here, so that no menu
        // opens); other mouse messages post nothing.
        EXPECT_EQ(SendMessageA(window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_RBUTTONDOWN), 1);
        MSG message;
        ASSERT_TRUE(PeekMessageA(&message, window, WM_TRAYNOTIFY, WM_TRAYNOTIFY, PM_REMOVE));
        EXPECT_EQ(message.wParam, 0u);
        EXPECT_EQ(message.lParam, TRAY_SHOWMENU);
        SendMessageA(window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_LBUTTONDOWN);
        SendMessageA(window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_MOUSEMOVE);
        EXPECT_FALSE(PeekMessageA(&message, window, WM_TRAYNOTIFY, WM_TRAYNOTIFY, PM_NOREMOVE));

        SetWindowPos(window, nullptr, 3, 5, 10, 10, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageA(window, WM_DISPLAYCHANGE, 32, MAKELPARAM(800, 600));
        expectCentred(window);

        // A fixed item's data is its record, which holds the width.
        FixedItemRecord record = {};
        record.width = 188;
        MEASUREITEMSTRUCT item = {ODT_MENU, 0, IDM_EXIT, 0, 0,
                                  reinterpret_cast<ULONG_PTR>(&record)};
        EXPECT_EQ(SendMessageA(window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&item)), TRUE);
        EXPECT_EQ(item.itemWidth, 188u) << "the width stored with the item";
        EXPECT_EQ(item.itemHeight, static_cast<UINT>(GetSystemMetrics(SM_CYMENUSIZE) + 2));

        // A quit posted to the pump is handed back without ending anything.
        PostQuitMessage(0);
        EXPECT_EQ(app.trayWindow->pumpMessage(), 0u);
        PostMessageA(window, WM_NULL, 0, 0);
        EXPECT_EQ(app.trayWindow->pumpMessage(), static_cast<UINT>(WM_NULL));

        // Exit quits with code 0, but not as a command with a notification code.
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 1), 0);
        EXPECT_FALSE(app.flags & APP_QUIT);
        EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
        EXPECT_EQ(app.flags & kErrorAndQuit, static_cast<DWORD>(APP_QUIT));
        ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(message.wParam, 0u);
    }
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(IsMenu(popup));
    EXPECT_FALSE(classRegistered());
    // And it can be built again in the same process.
    Application again(self());
    ASSERT_NE(again.trayWindow, nullptr);
    EXPECT_TRUE(IsWindow(again.trayWindow->window));
}

TEST(BlinkPreference, MissingKeyValueOrOddLengthMeansBlinkAndSetsTheFlag)
{
    deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
    EXPECT_TRUE(readBlinkPreference()) << "no key";
    EXPECT_TRUE(Application(self()).flags & APP_BLINK);
    setRegString(HKEY_CURRENT_USER, BLINK_KEY, "Other", "x");
    EXPECT_TRUE(readBlinkPreference()) << "no value";
    // The type is not looked at: four zero bytes of any type are "off".
    struct { DWORD type; std::string bytes; bool blink; } rows[] = {
        {REG_BINARY, std::string(8, '\0'), true}, {REG_BINARY, std::string(1, '\0'), true},
        {REG_DWORD, std::string("\7\0\0\0", 4), true}, {REG_DWORD, std::string(4, '\0'), false},
        {REG_BINARY, std::string(4, '\0'), false}};
    for (const auto& row : rows) {
        setRegValue(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, row.type, row.bytes.data(),
                    static_cast<DWORD>(row.bytes.size()));
        EXPECT_EQ(readBlinkPreference(), row.blink) << row.bytes.size() << " bytes";
    }
    EXPECT_FALSE(Application(self()).flags & APP_BLINK);
    deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
}

TEST(ErrorLog, FirstErrorWritesHeaderThenEntriesAppendWithCrLfAndTheSystemsText)
{
    InDirectory directory("log");
    Application app(self());
    logError("Test Failure", "First detail.");
    EXPECT_EQ(app.flags & kErrorAndQuit, kErrorAndQuit);
    ASSERT_NE(app.errorText, nullptr);
    EXPECT_STREQ(app.errorText, "Test Failure\n\nFirst detail.");
    std::string first = directory.log();
    EXPECT_EQ(first.find("\r\n  ---"), 0u);
    EXPECT_NE(first.find("Error Log File for Dormity\r\n"), std::string::npos);
    EXPECT_NE(first.find("Version:  2.06.00\r\n"), std::string::npos);
    EXPECT_NE(first.find("      Test Failure -- First detail.\r\n---\r\n\r\n"), std::string::npos);
    // No bare line feeds: the file is text on Windows.
    for (size_t i = first.find('\n'); i != std::string::npos; i = first.find('\n', i + 1))
        ASSERT_EQ(first[i - 1], '\r') << "bare LF at " << i;

    logError("Second", "Later detail.");
    EXPECT_STREQ(app.errorText, "Second\n\nLater detail.");
    std::string both = directory.log();
    ASSERT_EQ(both.compare(0, first.size(), first), 0) << "the file is only appended to";
    std::string added = both.substr(first.size());
    EXPECT_EQ(added.find("Error occurred at "), 0u);
    EXPECT_EQ(added.find("Error Log File"), std::string::npos) << "no second header";
    EXPECT_NE(added.find("      Second -- Later detail.\r\n"), std::string::npos);
    // Without a detail: the system's text for the last error, or "Unknown Error.".
    SetLastError(0x2000ABCD);
    logError("AppendMenu", nullptr);
    EXPECT_STREQ(app.errorText, "AppendMenu\n\nUnknown Error.");
    EXPECT_NE(directory.log().find("      AppendMenu -- Unknown Error.\r\n---"), std::string::npos);
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    logError("AppendMenu", nullptr);
    std::string text = app.errorText;
    EXPECT_EQ(text.find("AppendMenu\n\n"), 0u);
    EXPECT_EQ(text.find("Unknown Error."), std::string::npos);
}

TEST(ErrorLog, ALogOfFourGibibytesIsAppendedToNotWrittenOver)
{
    InDirectory directory("biglog");
    const LONGLONG size = (1LL << 32) + 10;  // sparse: no disk space is used
    {
        UniqueFile file(CreateFileA("error.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.get(), "FIRST", 5, &written, nullptr));
        LARGE_INTEGER end;
        end.QuadPart = size;
        ASSERT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file.get()));
    }
    Application app(self());
    logError("Big", "Log.");
    UniqueFile file(CreateFileA("error.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr));
    ASSERT_TRUE(file);
    char head[5] = {}, tail[200] = {};
    DWORD read = 0, tailRead = 0;
    ASSERT_TRUE(ReadFile(file.get(), head, sizeof head, &read, nullptr));
    EXPECT_EQ(std::string(head, read), "FIRST");
    LARGE_INTEGER end;
    end.QuadPart = size;
    ASSERT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(ReadFile(file.get(), tail, sizeof tail, &tailRead, nullptr));
    EXPECT_NE(std::string(tail, tailRead).find("      Big -- Log.\r\n---"), std::string::npos);
    file.reset();
    DeleteFileA("error.txt");
}

TEST(OutOfMemory, FailedWindowAllocationIsLoggedOnceAndMakesNoWindow)
{
    std::string detail = "There is not enough memory left to perform this operation.  Please "
                         "close some applications and try again.";
    // Only the window's allocation fails, or every one, the error text's too.
    for (bool textToo : {false, true}) {
        SCOPED_TRACE(textToo ? "every allocation fails" : "the window's fails");
        InDirectory directory(textToo ? "oom-all" : "oom");
        // Twenty failures, more than the two a program that does not recurse asks for, end
        // a recursion that would otherwise crash the process.
        static size_t calls, failing;
        calls = 0;
        failing = textToo ? 20 : 1;
        setAllocator([](size_t size) { return calls++ < failing ? nullptr : allocateBlock(size); });
        Application app(self());
        setAllocator(nullptr);
        EXPECT_EQ(app.trayWindow, nullptr);
        EXPECT_EQ(app.flags & kErrorAndQuit, kErrorAndQuit);
        EXPECT_FALSE(classRegistered()) << "a window was made";
        EXPECT_EQ(app.errorText ? app.errorText : "<none>",
                  textToo ? "<none>" : "Out of Memory\n\n" + detail);
        // Logged once, not once per nested failure.
        std::string log = directory.log(), entry = "      Out of Memory -- " + detail + "\r\n---";
        ASSERT_NE(log.find(entry), std::string::npos);
        EXPECT_EQ(log.find("Out of Memory --", log.find(entry) + entry.size()), std::string::npos);
    }
}

TEST(FamilyDetection, FlagsMatchTheSystemWineReports)
{
    std::string version = requestedVersion();
    Application app(self());
    ASSERT_NE(app.trayWindow, nullptr);
    DWORD platform = app.flags & (APP_WIN9X | APP_WIN2K);
    // win2k, winxp and Wine's default, a current Windows, are the 2000 family.
    EXPECT_EQ(platform, version == "win98" ? DWORD(APP_WIN9X)
                      : version == "nt40"  ? 0u
                                           : DWORD(APP_WIN2K));
    EXPECT_EQ(platform, reportedPlatformFlags());
}
