// The settings store against the real registry, system.ini and system parameters
// of the Wine prefix; the family is an argument, so one process covers both.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "app/application.h"
#include "base/handles.h"
#include "app/tray_window.h"
#include "saverconfig/saver_settings.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"

namespace {

const std::string kNone = "[none]";
const std::string kWin4Header("MZ\x90\0\x03\0\0\0\x04", 9);

std::string currentSaver(SaverFamily family)
{
    char buffer[SAVER_PATH_SIZE + 16];
    memset(buffer, 'X', sizeof buffer);
    readCurrentSaver(family, buffer);
    // Nothing past the 260 bytes the caller owns may change.
    EXPECT_EQ(std::string(buffer + SAVER_PATH_SIZE, 16), std::string(16, 'X')) << "written past";
    EXPECT_NE(memchr(buffer, '\0', SAVER_PATH_SIZE), nullptr) << "not terminated";
    return buffer;
}

void setDesktopValue(const char* name, DWORD type, const std::string& bytes)
{
    setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, name, type, bytes.data(),
                static_cast<DWORD>(bytes.size()));
}

// The stored bytes of a value of that type, or "<missing>" or "<type N>".
std::string storedValue(const char* name, DWORD expectedType)
{
    std::string bytes;
    DWORD type = 0;
    if (!readRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, name, &bytes, &type))
        return "<missing>";
    return type == expectedType ? bytes : "<type " + std::to_string(type) + ">";
}

class SettingsStore : public testing::Test {
protected:
    void SetUp() override { resetScreenSaverSettings(); }
    void TearDown() override { resetScreenSaverSettings(); }
};
class Win4Check : public SettingsStore {};

} // namespace

TEST_F(SettingsStore, NtValuesOfEveryShapeReadAsTheirBytesOrNone)
{
    EXPECT_EQ(currentSaver(FAMILY_NT), kNone) << "nothing configured";
    EXPECT_EQ(currentSaver(FAMILY_95), kNone) << "nothing configured";
    // 260 bytes leave no room for a terminator; short values may lack one; an empty text
    // is configured but no bytes at all name no file; the type is not checked.
    struct { DWORD type; std::string bytes, expected; } rows[] = {
        {REG_BINARY, std::string(260, 'z'), kNone},
        {REG_BINARY, std::string(259, 'p'), std::string(259, 'p')}, {REG_SZ, "a", "a"},
        {REG_SZ, "ab", "ab"}, {REG_SZ, "abc", "abc"}, {REG_SZ, "abcd", "abcd"},
        {REG_SZ, std::string(600, 'h'), kNone}, {REG_SZ, std::string(1, '\0'), ""},
        {REG_SZ, "", kNone}, {REG_DWORD, std::string("ABC\0", 4), "ABC"}};
    for (const auto& row : rows) {
        setDesktopValue("SCRNSAVE.EXE", row.type, row.bytes);
        EXPECT_EQ(currentSaver(FAMILY_NT), row.expected) << row.bytes.size() << " bytes";
    }
}

TEST_F(SettingsStore, NtPathsRoundTripUpTo259Characters)
{
    for (size_t length : {1u, 6u, 100u, 258u, 259u}) {
        std::string path = ("C:\\" + std::string(length, 'a')).substr(0, length);
        writeCurrentSaver(FAMILY_NT, path.c_str());
        EXPECT_EQ(currentSaver(FAMILY_NT), path) << "length " << length;
        EXPECT_EQ(storedValue("SCRNSAVE.EXE", REG_SZ), path + '\0') << "length " << length;
    }
    for (int twice = 0; twice < 2; ++twice) {  // removing what is not there is no error
        clearCurrentSaver(FAMILY_NT);
        EXPECT_EQ(currentSaver(FAMILY_NT), kNone);
        EXPECT_EQ(storedValue("SCRNSAVE.EXE", REG_SZ), "<missing>");
    }
}

TEST_F(SettingsStore, NinetyFiveFamilyKeepsTheSaverInSystemIni)
{
    writeCurrentSaver(FAMILY_95, "C:\\WINDOWS\\SYSTEM\\FLYING.SCR");
    EXPECT_TRUE(iniSaverPresent());
    EXPECT_EQ(currentSaver(FAMILY_95), "C:\\WINDOWS\\SYSTEM\\FLYING.SCR");
    EXPECT_EQ(currentSaver(FAMILY_NT), kNone) << "the families do not share the location";
    setIniSaver("");
    EXPECT_EQ(currentSaver(FAMILY_95), "");
    clearCurrentSaver(FAMILY_95);
    EXPECT_FALSE(iniSaverPresent());
    EXPECT_EQ(currentSaver(FAMILY_95), kNone);
    std::string path259 = "C:\\" + std::string(256, 'q');
    writeCurrentSaver(FAMILY_95, path259.c_str());
    EXPECT_EQ(currentSaver(FAMILY_95), path259);
    setIniSaver((path259 + std::string(41, 'q')).c_str());
    EXPECT_EQ(currentSaver(FAMILY_95), path259) << "300 characters are cut, still terminated";
}

TEST_F(SettingsStore, NinetyFivePasswordValuesAndTheirDefaults)
{
    EXPECT_EQ(readPasswordValues(FAMILY_95).usePassword, 1u) << "missing means on";
    EXPECT_EQ(readPasswordValues(FAMILY_95).passwordData, 1u) << "missing";
    // Longer than 4 bytes or empty is the default; the type is not checked.
    struct { DWORD type; std::string bytes; DWORD expected; } rows[] = {
        {REG_BINARY, std::string(1, '\0'), 0}, {REG_BINARY, std::string(9, '\0'), 1},
        {REG_BINARY, "", 1}, {REG_BINARY, "\x01", 0x01}, {REG_BINARY, "\x01\x02", 0x0201},
        {REG_BINARY, "\x01\x02\x03", 0x030201}, {REG_BINARY, "\x01\x02\x03\x04", 0x04030201},
        {REG_SZ, std::string("0\0", 2), 0x30}};
    for (const auto& row : rows) {
        setDesktopValue("ScreenSave_Data", row.type, row.bytes);
        EXPECT_EQ(readPasswordValues(FAMILY_95).passwordData, row.expected)
            << row.bytes.size() << " bytes, type " << row.type;
    }
    writePasswordEnabled(FAMILY_95, false);
    EXPECT_EQ(readPasswordValues(FAMILY_95).usePassword, 0u);
    EXPECT_EQ(storedValue("ScreenSaveUsePassword", REG_DWORD), std::string(4, '\0'));
    writePasswordEnabled(FAMILY_95, true);
    EXPECT_EQ(readPasswordValues(FAMILY_95).usePassword, 1u);
}

TEST_F(SettingsStore, NtIsSecureIsTheLeadingDecimalInteger)
{
    EXPECT_EQ(readPasswordValues(FAMILY_NT).isSecure, 0) << "missing";
    // Read as the C runtime reads a number; ten digits fit the ten bytes read only
    // without their terminator.
    struct { const char* text; LONG expected; bool terminated = true; } rows[] = {
        {"1", 1}, {"0", 0}, {" 7", 7}, {"  \t42abc", 42}, {"-3", -3}, {"-0", 0}, {"- 5", 0},
        {"abc", 0}, {"x1", 0}, {"+12x", 12}, {"", 0}, {"1234567890", 0},
        {"1234567890", 1234567890, false}, {"2147483647", 2147483647, false},
        {"9999999999", 1410065407, false}};
    for (const auto& row : rows) {
        // Unterminated text is stored as bytes, so that nothing converts it.
        setDesktopValue("ScreenSaverIsSecure", row.terminated ? REG_SZ : REG_BINARY,
                        std::string(row.text, strlen(row.text) + row.terminated));
        EXPECT_EQ(readPasswordValues(FAMILY_NT).isSecure, row.expected) << "\"" << row.text << "\"";
    }
    writePasswordEnabled(FAMILY_NT, true);
    EXPECT_EQ(storedValue("ScreenSaverIsSecure", REG_SZ), std::string("1\0", 2));
    writePasswordEnabled(FAMILY_NT, false);
    EXPECT_EQ(storedValue("ScreenSaverIsSecure", REG_SZ), std::string("0\0", 2));
    EXPECT_EQ(readPasswordValues(FAMILY_NT).isSecure, 0);
}

TEST(SystemParameters, ActiveFlagAndTimeoutRoundTrip)
{
    bool wasActive = isSaverActive();
    UINT wasTimeout = getSaverTimeout();
    for (bool active : {false, true, wasActive}) {
        setSaverActive(active);
        EXPECT_EQ(isSaverActive(), active);
    }
    for (UINT seconds : {65u, 3599u, wasTimeout ? wasTimeout : 600u}) {
        setSaverTimeout(seconds);
        EXPECT_EQ(getSaverTimeout(), seconds);
    }
}

TEST(SettingsBroadcast, ReachesThisProcessesWindowBeforeReturning)
{
    resetScreenSaverSettings();
    Application app(GetModuleHandleA(nullptr));
    ASSERT_NE(app.trayWindow, nullptr);
    // The window refreshes its tip on every announced change.
    wcscpy(app.trayWindow->tipText, L"stale");
    broadcastSettingsChange();
    EXPECT_STREQ(app.trayWindow->trayIcon.szTip, "Dormity - [none]");
}

TEST_F(Win4Check, HeaderBytesDecideOnTheNinetyFiveFamilyAndLockedFilesAreReleased)
{
    std::string directory = freshTempDirectory("win4");
    // Only bytes 2 to 5 count, not the signature.
    struct { const char* name; std::string bytes; bool win4; } rows[] = {
        {"good.scr", kWin4Header, true}, {"nosig.scr", std::string("\0\0\x90\0\x03\0", 6), true},
        {"other.scr", std::string("MZ\x50\0\x02\0\0", 7), false},
        {"swapped.scr", std::string("MZ\0\x90\0\x03", 6), false},
        {"short.scr", kWin4Header.substr(0, 5), false}, {"empty.scr", "", false}};
    for (const auto& row : rows) {
        std::string path = directory + "\\" + row.name;
        writeFileBytes(path, row.bytes.data(), row.bytes.size());
        setIniSaver(path.c_str());
        EXPECT_EQ(isWin4Saver(FAMILY_95), row.win4) << row.name;
    }
    // No file: missing, nothing configured, or one of the name "[NONE]".
    for (std::string missing : {directory + "\\missing.scr", std::string(), std::string("[NONE]")})
    {
        setIniSaver(missing.empty() ? nullptr : missing.c_str());
        EXPECT_FALSE(isWin4Saver(FAMILY_95)) << missing;
    }
    // The NT family passes without looking at any file.
    EXPECT_TRUE(isWin4Saver(FAMILY_NT));
    writeCurrentSaver(FAMILY_NT, "C:\\does\\not\\exist.scr");
    EXPECT_TRUE(isWin4Saver(FAMILY_NT));
    // A locked file fails; afterwards nothing of ours keeps it open or mapped.
    std::string locked = directory + "\\good.scr";
    setIniSaver(locked.c_str());
    {
        UniqueFile lock(CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(static_cast<bool>(lock));
        EXPECT_FALSE(isWin4Saver(FAMILY_95));
    }
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(isWin4Saver(FAMILY_95));
    EXPECT_TRUE(DeleteFileA(locked.c_str()));
    EXPECT_FALSE(hasWin4Header(reinterpret_cast<const unsigned char*>(kWin4Header.data()), 5));
}
