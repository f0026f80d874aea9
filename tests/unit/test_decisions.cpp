// The small pure decisions of the program: platform family, command routing, the command line,
// the hidden window's position and the bounded text helpers.
#include <gtest/gtest.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/start_command.h"
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
        {IDM_DISABLE_240, ROUTE_DISABLE_FOR},  {IDM_ADD_RUNNING, ROUTE_ADD_RUNNING},
    };
    // Every id: catalogue ids such as 4000 + 411 must not be taken for a command.
    for (DWORD id = 0; id <= 0xFFFF; ++id) {
        const auto found = named.find(static_cast<WORD>(id));
        const bool listed = id >= IDM_KEEPOFF_FIRST && id <= IDM_KEEPOFF_LAST;
        const CommandRoute want = listed ? ROUTE_REMOVE_PROGRAM
            : found == named.end()       ? ROUTE_SELECT_SAVER
                                         : found->second;
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

// File names compare as the file system compares them, never by a locale's rules: every run sets
// a Turkish thread locale, and unit_turkish runs in Turkish (code page 1254, the Turkish letters).
TEST(FileNames, CaseAsideAsTheFileSystemWhateverTheLocale) {
    const struct {
        const wchar_t *first, *second;
        bool same;
    } cases[] = {
        {L"C:\\WINDOWS\\STARFI~1.SCR", L"c:\\windows\\starfi~1.scr", true}, {L"i", L"I", true},
        {L"\u0131", L"I", false}, {L"i", L"\u0130", false},  // dotless small, dotted capital i
        {L"\u015F\u011F\u00E9", L"\u015E\u011E\u00C9", true}, {L"\u00E6", L"ae", false},
        {L"\u00DF", L"ss", false}, {L"a.scr", L"a.scr ", false},
    };
    const bool turkish = reportedUiLanguage() == 0x041F;
    const LCID original = GetThreadLocale();
    SetThreadLocale(MAKELCID(0x041F, SORT_DEFAULT));
    for (const auto& c : cases) {
        char first[64], second[64];
        BOOL lost = FALSE, lostSecond = FALSE;
        const DWORD exact = WC_NO_BEST_FIT_CHARS;
        WideCharToMultiByte(CP_ACP, exact, c.first, -1, first, sizeof first, nullptr, &lost);
        WideCharToMultiByte(CP_ACP, exact, c.second, -1, second, sizeof second, nullptr, &lostSecond);
        EXPECT_TRUE(!turkish || !(lost || lostSecond)) << "code page 1254 has every letter";
        if (!lost && !lostSecond) {
            EXPECT_EQ(sameFileName(first, second), c.same) << first << " / " << second;
        }
    }
    SetThreadLocale(original);
    const std::string longName(300, 'a');  // longer than a path: only the same bytes match
    EXPECT_TRUE(sameFileName(longName.c_str(), longName.c_str()));
    EXPECT_FALSE(sameFileName(longName.c_str(), std::string(300, 'A').c_str()));
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

// Microsoft's own examples of how C programs split their arguments, then tabs, cuts and the second
// byte of a Japanese character (code page 932), which may be a backslash's.
TEST(StartCommandLine, ArgumentsSplitAsWindowsProgramsSplitThem) {
    typedef std::vector<std::string> Words;
    const struct { const char* text; Words words; } rows[] = {
        {R"("a b c" d e)", {"a b c", "d", "e"}}, {R"("ab\"c" "\\" d)", {"ab\"c", "\\", "d"}},
        {R"(a\\\b d"e f"g h)", {"a\\\\\\b", "de fg", "h"}}, {R"(a\\\"b c d)", {"a\\\"b", "c", "d"}},
        {R"(a\\\\"b c" d e)", {"a\\\\b c", "d", "e"}}, {R"(a"b"" c d)", {"ab\" c d"}},
        {"\t\"/disable-for\"\t \"90\" ", {"/disable-for", "90"}}, {" \t ", {}},
        {R"("" "open \" quote)", {"", "open \" quote"}},
        {"0123456789abcdefgh x", {"0123456789abcde<cut>", "x"}},
        {"\"C:\\\x83\x5C\" /x", {"C:\\\x83\x5C", "/x"}}};
    // The arguments as split into 16 bytes, "<cut>" marking one cut there.
    auto splitArguments = [](const char* text, const BYTE* leadBytes) {
        Words arguments;
        char argument[16];
        bool whole = true;
        while ((text = nextArgument(text, leadBytes, argument, sizeof argument, &whole)))
            arguments.push_back(std::string(argument) + (whole ? "" : "<cut>"));
        return arguments;
    };
    CPINFO japanese;
    ASSERT_TRUE(GetCPInfo(932, &japanese));
    for (const auto& row : rows)
        EXPECT_EQ(splitArguments(row.text, japanese.LeadByte), row.words) << row.text;
    // A single-byte code page: the same bytes are a character and a backslash escaping the quote.
    EXPECT_EQ(splitArguments("\"C:\\\x83\x5C\" /x", nullptr), Words{"C:\\\x83\" /x"});
}

TEST(StartCommandLine, OneSwitchInAnyCaseWithItsValueAndAnythingElseRefused) {
    const auto bad = START_INVALID, forMinutes = START_DISABLE_FOR, until = START_DISABLE_UNTIL;
    const std::string longValue = "d /disable-for " + std::string(300, '9');
    const char* const kOwnPath = "C:\\Program Files\\Dormity\\Dormity.exe";
    const auto named = START_DISABLE_WHILE;
    const struct { const char* line; StartCommandKind kind; DWORD value; const char* text = ""; }
    rows[] = {
        {"d", START_NONE, 0}, {"\"C:\\Program Files\\d.exe\" \t", START_NONE, 0},
        {"\"a b\\d.exe\" -ENABLE", START_ENABLE, 0}, {"\"d\"/Disable", START_DISABLE, 0},
        {"d /launch", START_LAUNCH, 0}, {"d -Exit ", START_EXIT, 0}, {"\"d /enable", START_NONE, 0},
        {"d /disable-for 90", forMinutes, 90}, {"d -DISABLE-FOR\t1", forMinutes, 1},
        {"d /disable-for 1440", forMinutes, 1440}, {"d /disable-until 17:30", until, 1050},
        {"d /disable-until 0:05", until, 5}, {"d /disable-until 23:59", until, 1439},
        {"d /bogus", bad, 0}, {"d /", bad, 0}, {"d --enable", bad, 0},
        {"d /enabled", bad, 0}, {"d /enable /exit", bad, 0}, {"d /disable-for", bad, 0},
        {"d /disable-for 0", bad, 0}, {"d /disable-for 1441", bad, 0}, {"d /disable-for 9x", bad, 0},
        {"d /disable-for 99999999999", bad, 0}, {"d /disable-until 24:00", bad, 0},
        {"d /disable-until 7:5", bad, 0}, {"d /disable-until 17:60", bad, 0},
        {"d /disable-until 1730", bad, 0}, {"d /disable-until 17:30 x", bad, 0},
        // Quoted arguments, and words with no switch: started as with none.
        {"d \"/disable-for\" \"90\"", forMinutes, 90}, {"d -disable-until\t\"8:00\"", until, 480},
        {"d \"/enable\" \"\"", bad, 0}, {"d /disable-for \"9 0\"", bad, 0},
        {"d enable", START_NONE, 0}, {"d some words \"and more\"", START_NONE, 0},
        {"d enable /disable", bad, 0}, {longValue.c_str(), bad, 0},
        // The program's own path, unquoted, as a Run entry or a launcher may write it.
        {kOwnPath, START_NONE, 0},
        {"C:\\Program Files\\Dormity\\Dormity.exe /disable-for 90", forMinutes, 90},
        {"c:\\program files\\dormity\\DORMITY\t/launch", START_LAUNCH, 0},
        {"C:\\Program Files\\Dormity\\Dormity.exe.old /launch", bad, 0},
        // A program's name, its path quoted with its blanks, or a process id, kept as written.
        {"d /disable-while vlc.exe", named, 0, "vlc.exe"},
        {"d /disable-while 4294967295", named, 0, "4294967295"},
        {"d -Disable-While \"C:\\Program Files\\VLC\\vlc.exe\"", named, 0,
         "C:\\Program Files\\VLC\\vlc.exe"},
        {"d /disable-while 0", bad, 0}, {"d /disable-while 4294967296", bad, 0},
        {"d /disable-while", bad, 0}, {"d /disable-while a?.exe", bad, 0},
        {"d /disable-while vlc.exe mpv.exe", bad, 0}, {"d /disable-while \"\"", bad, 0}};
    for (const auto& row : rows) {
        StartCommand command = parseStartCommand(commandLineArguments(row.line, kOwnPath), nullptr);
        EXPECT_EQ(command.kind, row.kind) << row.line;
        EXPECT_EQ(command.value, row.value) << row.line;
        EXPECT_STREQ(command.text, row.text) << row.line;
    }
}

// Only a visible window station shows a box or an icon; the 95 family, whose flags cannot be
// read, has only the one the user sees.
TEST(StartCommandLine, BoxesAndIconsOnlyInAStationTheUserSees) {
    const DWORD rows[][3] = {{0, 0, 1}, {1, WSF_VISIBLE, 1}, {1, 0, 0}, {1, 0x2, 0}};
    for (const auto& r : rows) EXPECT_EQ(stationIsInteractive(r[0], r[1]), r[2] != 0) << r[1];
}
