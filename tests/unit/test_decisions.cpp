// The small pure decisions of the program: platform family, command routing,
// the hidden window's position and the bounded text helpers.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "app/application.h"
#include "app/text.h"
#include "app/tray_window.h"
#include "commands/command_line.h"
#include "res/resource.h"
#include "saverconfig/saver_settings.h"

TEST(PlatformFamily, WindowsFamilyIsNinetyFiveWhateverTheVersion)
{
    EXPECT_EQ(platformFlags(VER_PLATFORM_WIN32_WINDOWS, 4), static_cast<DWORD>(APP_WIN9X));
    EXPECT_EQ(platformFlags(VER_PLATFORM_WIN32_WINDOWS, 5), static_cast<DWORD>(APP_WIN9X));
}

TEST(PlatformFamily, NtFromVersionFiveIsWindows2000AndLater)
{
    EXPECT_EQ(platformFlags(VER_PLATFORM_WIN32_NT, 3), 0u);
    EXPECT_EQ(platformFlags(VER_PLATFORM_WIN32_NT, 4), 0u);
    EXPECT_EQ(platformFlags(VER_PLATFORM_WIN32_NT, 5), static_cast<DWORD>(APP_WIN2K));
    EXPECT_EQ(platformFlags(VER_PLATFORM_WIN32_NT, 10), static_cast<DWORD>(APP_WIN2K));
}

TEST(PlatformFamily, SettingsFamilyFollowsOnlyTheWin9xBit)
{
    EXPECT_EQ(familyFromFlags(APP_WIN9X), FAMILY_95);
    EXPECT_EQ(familyFromFlags(APP_WIN9X | APP_BLINK | APP_SAVER_ACTIVE), FAMILY_95);
    EXPECT_EQ(familyFromFlags(0), FAMILY_NT);
    EXPECT_EQ(familyFromFlags(APP_WIN2K | APP_BLINK), FAMILY_NT);
}

TEST(CommandRouting, NamedCommandsReachTheirHandlers)
{
    EXPECT_EQ(routeCommand(IDM_CONFIGURE), ROUTE_CONFIGURE);
    EXPECT_EQ(routeCommand(IDM_PROPERTIES), ROUTE_PROPERTIES);
    EXPECT_EQ(routeCommand(IDM_ABOUT), ROUTE_ABOUT);
    EXPECT_EQ(routeCommand(IDM_EXIT), ROUTE_EXIT);
    EXPECT_EQ(routeCommand(IDM_LAUNCH), ROUTE_LAUNCH);
    EXPECT_EQ(routeCommand(IDM_TOGGLE), ROUTE_TOGGLE);
    EXPECT_EQ(routeCommand(IDM_TIMEOUT), ROUTE_TIMEOUT);
    EXPECT_EQ(routeCommand(IDM_PASSWORD), ROUTE_PASSWORD);
    EXPECT_EQ(routeCommand(IDM_CHANGEPASSWORD), ROUTE_CHANGE_PASSWORD);
    EXPECT_EQ(routeCommand(IDM_LOCK), ROUTE_LOCK);
    EXPECT_EQ(routeCommand(IDM_NONE), ROUTE_SELECT_NONE);
}

TEST(CommandRouting, EveryOtherIdSelectsAScreenSaver)
{
    // Catalogue ids, the gaps inside the command range, the submenu ids and
    // everything below or between takes the selection road.
    const WORD others[] = {0, 1, 402, 405, 409, 410, 415, 417, 3999, 4001, 4002, 5000, 0xFFFF};
    for (WORD id : others)
        EXPECT_EQ(routeCommand(id), ROUTE_SELECT_SAVER) << "id " << id;
}

TEST(CommandRouting, IdsAboveNoneNeverReachTheCommandTable)
{
    // 4000 + 411 must not be mistaken for the toggle, whatever the test order.
    for (WORD id = IDM_NONE + 1; id < IDM_NONE + 500; ++id)
        ASSERT_EQ(routeCommand(id), ROUTE_SELECT_SAVER) << "id " << id;
}

TEST(HiddenWindow, CentredWithTruncatingDivision)
{
    POINT p = hiddenWindowPosition(1024, 768);
    EXPECT_EQ(p.x, (1024 - 374) / 2);
    EXPECT_EQ(p.y, (768 - 246) / 2);
    p = hiddenWindowPosition(375, 247);  // odd remainders truncate
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    p = hiddenWindowPosition(300, 200);  // smaller than the box: toward zero
    EXPECT_EQ(p.x, -37);
    EXPECT_EQ(p.y, -23);
}

TEST(BoundedText, FormatCutsAndAlwaysTerminates)
{
    char small[8];
    memset(small, 'x', sizeof small);
    EXPECT_FALSE(formatText(small, sizeof small, "%s", "0123456789"));
    EXPECT_STREQ(small, "0123456");
    EXPECT_TRUE(formatText(small, sizeof small, "%s", "0123456"));
    EXPECT_STREQ(small, "0123456");
    char exact[4];
    EXPECT_FALSE(formatText(exact, sizeof exact, "%d", 1234));
    EXPECT_STREQ(exact, "123");
}

namespace {

// The text formatted into a fresh buffer, marked "!" when it was cut or
// the format refused.
template <typename... Args>
std::string formatted(const char* format, Args... args)
{
    char text[24];
    bool fits = formatText(text, sizeof text, format, args...);
    return (fits ? "" : "!") + std::string(text);
}

} // namespace

TEST(BoundedText, FormatCoversTheConversionsTheProgramUses)
{
    EXPECT_EQ(formatted("%02u/%02u/%02u", 7u, 4u, 99u), "07/04/99");
    EXPECT_EQ(formatted("%02u:%02u:%02u", 23u, 5u, 0u), "23:05:00");
    EXPECT_EQ(formatted("%.2d %.2d %.2d %.2d", 0, 5, -5, 123), "00 05 -05 123");
    EXPECT_EQ(formatted("%4d|%04d|%d", 7, -7, 0), "   7|-007|0");
    EXPECT_EQ(formatted("%u %d", 4294967295u, -2147483647 - 1), "4294967295 -2147483648");
    EXPECT_EQ(formatted("100%% \"%s\"%s", "C:\\a b", " /c"), "100% \"C:\\a b\" /c");
    EXPECT_EQ(formatted("%s", "0123456789012345678901234"), "!01234567890123456789012");
    EXPECT_EQ(formatted("ab%xcd", 1u), "!ab") << "a conversion the program does not use";
}

TEST(BoundedText, LengthAndExactComparison)
{
    EXPECT_EQ(textLength(""), 0u);
    EXPECT_EQ(textLength("[none]"), 6u);
    EXPECT_TRUE(textEquals("[none]", "[none]"));
    EXPECT_FALSE(textEquals("[none]", "[NONE]"));
    EXPECT_FALSE(textEquals("[none]", "[none] "));
    EXPECT_FALSE(textEquals("", "[none]"));
    EXPECT_TRUE(textContains("C:\\a b.scr", ' '));
    EXPECT_FALSE(textContains("C:\\ab.scr", ' '));
}

TEST(SystemPrograms, Rundll32ByFullPathInTheFamilysDirectory)
{
    struct Case {
        SaverFamily family;
        const char* windows;
        const char* system;
        const char* command;  // "" when none can be built
    };
    const std::string longName(250, 'w');
    const Case cases[] = {
        {FAMILY_95, "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM",
         "C:\\WINDOWS\\rundll32.exe shell32.dll,Control_RunDLL DESK.CPL,,1"},
        {FAMILY_NT, "C:\\WINNT", "C:\\WINNT\\system32",
         "C:\\WINNT\\system32\\rundll32.exe shell32.dll,Control_RunDLL DESK.CPL,,1"},
        {FAMILY_95, "C:\\", "C:\\SYSTEM", "C:\\rundll32.exe shell32.dll,Control_RunDLL DESK.CPL,,1"},
        {FAMILY_NT, "D:\\My Windows", "D:\\My Windows\\system32",
         "\"D:\\My Windows\\system32\\rundll32.exe\" shell32.dll,Control_RunDLL DESK.CPL,,1"},
        {FAMILY_95, "", "C:\\WINDOWS\\SYSTEM", ""},  // unknown directory: nothing runs
        {FAMILY_NT, "C:\\WINDOWS", "", ""},
        {FAMILY_NT, "C:\\WINDOWS", longName.c_str(), ""},  // the path does not fit
    };
    for (const Case& c : cases) {
        char command[SAVER_PATH_SIZE + 64];
        memset(command, 'x', sizeof command);
        EXPECT_EQ(buildDisplayPropertiesCommand(c.family, c.windows, c.system, command,
                                                sizeof command),
                  c.command[0] != '\0')
            << c.windows << " | " << c.system;
        EXPECT_STREQ(command, c.command);
    }
    char path[SAVER_PATH_SIZE];
    EXPECT_TRUE(buildSystemFilePath("C:\\WINDOWS\\SYSTEM", "winmm.dll", path, sizeof path));
    EXPECT_STREQ(path, "C:\\WINDOWS\\SYSTEM\\winmm.dll");
    char small[12];
    EXPECT_FALSE(buildSystemFilePath("C:\\WINDOWS", "winmm.dll", small, sizeof small));
    EXPECT_STREQ(small, "");
}

TEST(BoundedText, CopyAndAppendStopAtTheBuffer)
{
    char buffer[6];
    EXPECT_TRUE(copyText(buffer, sizeof buffer, "abcde"));
    EXPECT_FALSE(appendText(buffer, sizeof buffer, "f"));
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_FALSE(copyText(buffer, sizeof buffer, "abcdefgh"));
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_TRUE(copyText(buffer, sizeof buffer, "ab"));
    EXPECT_TRUE(appendText(buffer, sizeof buffer, "cd"));
    EXPECT_FALSE(appendText(buffer, sizeof buffer, "ef"));
    EXPECT_STREQ(buffer, "abcde");
}

TEST(SharedWindowHandle, RoundTripsThroughThirtyTwoBits)
{
    HWND window = reinterpret_cast<HWND>(0x0001234C);
    EXPECT_EQ(windowFromShared(windowToShared(window)), window);
    EXPECT_EQ(windowFromShared(0), static_cast<HWND>(nullptr));
}
