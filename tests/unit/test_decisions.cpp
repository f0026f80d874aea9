// The small pure decisions of the program: platform family, command routing,
// the hidden window's position and the bounded text helpers.
#include <gtest/gtest.h>
#include <string.h>

#include <map>
#include <string>

#include "app/application.h"
#include "base/text.h"
#include "app/tray_window.h"
#include "commands/command_line.h"
#include "res/resource.h"
#include "saverconfig/saver_settings.h"
#include "support/system.h"

TEST(PlatformFamily, FlagsFollowTheReportedSystemAndTheSettingsOnlyTheWin9xBit) {
    const DWORD systems[][3] = {
        {VER_PLATFORM_WIN32_WINDOWS, 4, APP_WIN9X}, {VER_PLATFORM_WIN32_WINDOWS, 5, APP_WIN9X},
        {VER_PLATFORM_WIN32_NT, 3, 0},              {VER_PLATFORM_WIN32_NT, 4, 0},
        {VER_PLATFORM_WIN32_NT, 5, APP_WIN2K},      {VER_PLATFORM_WIN32_NT, 10, APP_WIN2K},
    };
    for (const auto& s : systems) EXPECT_EQ(platformFlags(s[0], s[1]), s[2]) << s[0] << " " << s[1];
    EXPECT_EQ(familyFromFlags(APP_WIN9X), FAMILY_95);
    EXPECT_EQ(familyFromFlags(APP_WIN9X | APP_BLINK | APP_SAVER_ACTIVE), FAMILY_95);
    EXPECT_EQ(familyFromFlags(0), FAMILY_NT);
    EXPECT_EQ(familyFromFlags(APP_WIN2K | APP_BLINK), FAMILY_NT);
}

TEST(CommandRouting, NamedIdsReachTheirHandlersAndEveryOtherSelectsAScreenSaver) {
    const std::map<WORD, CommandRoute> named = {
        {IDM_CONFIGURE, ROUTE_CONFIGURE}, {IDM_PROPERTIES, ROUTE_PROPERTIES},
        {IDM_ABOUT, ROUTE_ABOUT},         {IDM_EXIT, ROUTE_EXIT},
        {IDM_LAUNCH, ROUTE_LAUNCH},       {IDM_TOGGLE, ROUTE_TOGGLE},
        {IDM_TIMEOUT, ROUTE_TIMEOUT},     {IDM_PASSWORD, ROUTE_PASSWORD},
        {IDM_LOCK, ROUTE_LOCK},           {IDM_CHANGEPASSWORD, ROUTE_CHANGE_PASSWORD},
        {IDM_NONE, ROUTE_SELECT_NONE},
        {IDM_DISABLE_15, ROUTE_DISABLE_FOR},  {IDM_DISABLE_30, ROUTE_DISABLE_FOR},
        {IDM_DISABLE_60, ROUTE_DISABLE_FOR},  {IDM_DISABLE_120, ROUTE_DISABLE_FOR},
        {IDM_DISABLE_240, ROUTE_DISABLE_FOR},
    };
    // Every id: catalogue ids such as 4000 + 411 must not be taken for a command.
    for (DWORD id = 0; id <= 0xFFFF; ++id) {
        const auto found = named.find(static_cast<WORD>(id));
        const CommandRoute want = found == named.end() ? ROUTE_SELECT_SAVER : found->second;
        ASSERT_EQ(routeCommand(static_cast<WORD>(id)), want) << "id " << id;
    }
}

TEST(HiddenWindow, CentredWithTruncatingDivision) {
    // (screen - 374 x 246) / 2: odd remainders truncate, toward zero on a smaller screen.
    const LONG screens[][4] = {{1024, 768, 325, 261}, {375, 247, 0, 0}, {300, 200, -37, -23}};
    for (const auto& s : screens) {
        const POINT p = hiddenWindowPosition(s[0], s[1]);
        EXPECT_EQ(std::make_pair(p.x, p.y), std::make_pair(s[2], s[3])) << s[0] << " x " << s[1];
    }
}

namespace {

// The text formatted into size bytes, marked "!" when it was cut or the format refused.
template <typename... Args>
std::string formatted(size_t size, const char* format, Args... args) {
    char text[64];
    memset(text, 'x', sizeof text);
    const bool fits = formatText(text, size, format, args...);
    return (fits ? "" : "!") + std::string(text);
}

}  // namespace

TEST(BoundedText, FormatCoversTheProgramsConversionsAndCutsToTerminate) {
    EXPECT_EQ(formatted(24, "%02u/%02u/%02u", 7u, 4u, 99u), "07/04/99");
    EXPECT_EQ(formatted(24, "%02u:%02u:%02u", 23u, 5u, 0u), "23:05:00");
    EXPECT_EQ(formatted(24, "%.2d %.2d %.2d %.2d", 0, 5, -5, 123), "00 05 -05 123");
    EXPECT_EQ(formatted(24, "%4d|%04d|%d", 7, -7, 0), "   7|-007|0");
    EXPECT_EQ(formatted(24, "%u %d", 4294967295u, -2147483647 - 1), "4294967295 -2147483648");
    EXPECT_EQ(formatted(24, "100%% \"%s\"%s", "C:\\a b", " /c"), "100% \"C:\\a b\" /c");
    EXPECT_EQ(formatted(24, "ab%xcd", 1u), "!ab") << "a conversion the program does not use";
    EXPECT_EQ(formatted(8, "%s", "0123456789"), "!0123456");
    EXPECT_EQ(formatted(8, "%s", "0123456"), "0123456");
    EXPECT_EQ(formatted(4, "%d", 1234), "!123");
}

TEST(BoundedText, FormatEndingInsideAConversionOrGivenNullFailsWithoutReadingOn) {
    for (const char* format : {"ab%", "ab%0", "ab%5", "ab%."}) {
        TextBeforeGuardPage guarded(format);
        char out[16];
        EXPECT_FALSE(formatText(out, sizeof out, guarded.text(), 0)) << format;
        EXPECT_STREQ(out, "ab") << format;
    }
    const char* volatile missing = nullptr;
    EXPECT_EQ(formatted(24, "a%sb", missing), "!a");
}

TEST(BoundedText, CopyAppendLengthAndExactComparison) {
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
    EXPECT_EQ(textLength(""), 0u);
    EXPECT_EQ(textLength("[none]"), 6u);
    EXPECT_TRUE(textEquals("[none]", "[none]"));
    for (const char* other : {"[NONE]", "[none] "})
        EXPECT_FALSE(textEquals("[none]", other)) << other;
    EXPECT_FALSE(textEquals("", "[none]"));
    EXPECT_TRUE(textContains("C:\\a b.scr", ' '));
    EXPECT_FALSE(textContains("C:\\ab.scr", ' '));
}

TEST(SystemPrograms, Rundll32ByFullPathInTheFamilysDirectory) {
    const std::string longName(250, 'w'),
        run = "rundll32.exe shell32.dll,Control_RunDLL DESK.CPL,,1";
    const struct {
        SaverFamily family;
        const char *windows, *system;
        std::string command;  // "" when none can be built
    } cases[] = {
        {FAMILY_95, "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS\\" + run},
        {FAMILY_NT, "C:\\WINNT", "C:\\WINNT\\system32", "C:\\WINNT\\system32\\" + run},
        {FAMILY_95, "C:\\", "C:\\SYSTEM", "C:\\" + run},
        {FAMILY_NT, "D:\\My Windows", "D:\\My Windows\\system32",
         "\"D:\\My Windows\\system32\\rundll32.exe\" shell32.dll,Control_RunDLL DESK.CPL,,1"},
        {FAMILY_95, "", "C:\\WINDOWS\\SYSTEM", ""},  // unknown directory: nothing runs
        {FAMILY_NT, "C:\\WINDOWS", "", ""},
        {FAMILY_NT, "C:\\WINDOWS", longName.c_str(), ""},  // the path does not fit
    };
    for (const auto& c : cases) {
        char command[SAVER_PATH_SIZE + 64];
        memset(command, 'x', sizeof command);
        EXPECT_EQ(
            buildDisplayPropertiesCommand(c.family, c.windows, c.system, command, sizeof command),
            !c.command.empty())
            << c.windows << " | " << c.system;
        EXPECT_EQ(command, c.command);
    }
    char path[SAVER_PATH_SIZE], small[12];
    EXPECT_TRUE(buildSystemFilePath("C:\\WINDOWS\\SYSTEM", "winmm.dll", path, sizeof path));
    EXPECT_STREQ(path, "C:\\WINDOWS\\SYSTEM\\winmm.dll");
    EXPECT_FALSE(buildSystemFilePath("C:\\WINDOWS", "winmm.dll", small, sizeof small));
    EXPECT_STREQ(small, "");
}

TEST(SharedWindowHandle, RoundTripsThroughThirtyTwoBits) {
    const HWND window = reinterpret_cast<HWND>(0x0001234C);
    EXPECT_EQ(windowFromShared(windowToShared(window)), window);
    EXPECT_EQ(windowFromShared(0), static_cast<HWND>(nullptr));
}
