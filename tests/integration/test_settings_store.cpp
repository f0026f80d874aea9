// The settings store against the real registry, system.ini and system
// parameters of the Wine prefix, on both families (the family is an
// argument, so one process covers both).
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "app/handles.h"
#include "app/tray_window.h"
#include "saverconfig/saver_settings.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"

namespace {

std::string currentSaver(SaverFamily family)
{
    char buffer[SAVER_PATH_SIZE + 16];
    memset(buffer, 'X', sizeof buffer);
    readCurrentSaver(family, buffer);
    // Nothing past the 260 bytes the caller owns may change.
    for (size_t i = SAVER_PATH_SIZE; i < sizeof buffer; ++i)
        EXPECT_EQ(buffer[i], 'X') << "written past the buffer at " << i;
    EXPECT_NE(memchr(buffer, '\0', SAVER_PATH_SIZE), nullptr) << "not terminated";
    return buffer;
}

void setSaverBytes(DWORD type, const void* data, DWORD size)
{
    setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE", type, data, size);
}

class SettingsStore : public testing::Test {
protected:
    void SetUp() override { resetScreenSaverSettings(); }
    void TearDown() override { resetScreenSaverSettings(); }
};

} // namespace

TEST_F(SettingsStore, NothingConfiguredReadsAsNoneOnBothFamilies)
{
    EXPECT_EQ(currentSaver(FAMILY_NT), "[none]");
    EXPECT_EQ(currentSaver(FAMILY_95), "[none]");
}

TEST_F(SettingsStore, NtPathsRoundTripUpTo259Characters)
{
    for (size_t length : {1u, 6u, 100u, 258u, 259u}) {
        std::string path = "C:\\" + std::string(length - 1, 'a');
        path.resize(length, 'b');
        writeCurrentSaver(FAMILY_NT, path.c_str());
        EXPECT_EQ(currentSaver(FAMILY_NT), path) << "length " << length;
        std::string stored;
        DWORD type = 0;
        ASSERT_TRUE(readRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE", &stored, &type));
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(stored.size(), length + 1) << "the terminator is counted";
    }
    clearCurrentSaver(FAMILY_NT);
    EXPECT_EQ(currentSaver(FAMILY_NT), "[none]");
    EXPECT_FALSE(readRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE", nullptr));
    clearCurrentSaver(FAMILY_NT);  // removing what is not there is no error
    EXPECT_EQ(currentSaver(FAMILY_NT), "[none]");
}

TEST_F(SettingsStore, NtOddValuesAreNeverReadPastTheBuffer)
{
    // Exactly 260 bytes without a terminator: too long, so the default.
    std::string full(260, 'z');
    setSaverBytes(REG_SZ, full.data(), 260);
    EXPECT_EQ(currentSaver(FAMILY_NT), "[none]");
    // 259 characters without a terminator fill all but the last byte.
    std::string path259(259, 'p');
    setSaverBytes(REG_BINARY, path259.data(), 259);
    EXPECT_EQ(currentSaver(FAMILY_NT), path259);
    // Short values without a terminator read as exactly their bytes.
    for (DWORD size = 1; size <= 4; ++size) {
        setSaverBytes(REG_SZ, "abcd", size);
        EXPECT_EQ(currentSaver(FAMILY_NT), std::string("abcd", size)) << size << " bytes";
    }
    // 600 bytes: too long.
    std::string huge(600, 'h');
    setSaverBytes(REG_SZ, huge.data(), 600);
    EXPECT_EQ(currentSaver(FAMILY_NT), "[none]");
}

TEST_F(SettingsStore, NtEmptyAndWrongTypedValues)
{
    setSaverBytes(REG_SZ, "", 1);
    EXPECT_EQ(currentSaver(FAMILY_NT), "") << "configured but empty is not [none]";
    setSaverBytes(REG_SZ, "", 0);
    EXPECT_EQ(currentSaver(FAMILY_NT), "[none]") << "no bytes at all names no file";
    // The type is not checked: a number's bytes read as text.
    DWORD number = 0x00434241;  // "ABC"
    setSaverBytes(REG_DWORD, &number, sizeof number);
    EXPECT_EQ(currentSaver(FAMILY_NT), "ABC");
}

TEST_F(SettingsStore, NinetyFiveFamilyKeepsTheSaverInSystemIni)
{
    writeCurrentSaver(FAMILY_95, "C:\\WINDOWS\\SYSTEM\\FLYING.SCR");
    EXPECT_TRUE(iniSaverPresent());
    EXPECT_EQ(currentSaver(FAMILY_95), "C:\\WINDOWS\\SYSTEM\\FLYING.SCR");
    EXPECT_EQ(currentSaver(FAMILY_NT), "[none]") << "the families do not share the location";
    setIniSaver("");
    EXPECT_EQ(currentSaver(FAMILY_95), "");
    clearCurrentSaver(FAMILY_95);
    EXPECT_FALSE(iniSaverPresent());
    EXPECT_EQ(currentSaver(FAMILY_95), "[none]");
    std::string path259 = "C:\\" + std::string(256, 'q');
    writeCurrentSaver(FAMILY_95, path259.c_str());
    EXPECT_EQ(currentSaver(FAMILY_95), path259);
    std::string path300 = "C:\\" + std::string(297, 'q');
    setIniSaver(path300.c_str());
    EXPECT_EQ(currentSaver(FAMILY_95), path300.substr(0, 259)) << "cut, still terminated";
}

TEST_F(SettingsStore, NinetyFivePasswordValuesAndTheirDefaults)
{
    PasswordValues values = readPasswordValues(FAMILY_95);
    EXPECT_EQ(values.usePassword, 1u) << "missing means on";
    EXPECT_EQ(values.passwordData, 1u);

    const BYTE zero = 0;
    setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data", REG_BINARY, &zero, 1);
    EXPECT_EQ(readPasswordValues(FAMILY_95).passwordData, 0u);
    const BYTE nine[9] = {0};
    setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data", REG_BINARY, nine, 9);
    EXPECT_EQ(readPasswordValues(FAMILY_95).passwordData, 1u) << "longer than 4 bytes";
    setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data", REG_BINARY, nine, 0);
    EXPECT_EQ(readPasswordValues(FAMILY_95).passwordData, 1u) << "empty";
    const BYTE bytes[4] = {0x01, 0x02, 0x03, 0x04};
    for (DWORD size = 1; size <= 4; ++size) {
        setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data", REG_BINARY, bytes, size);
        DWORD expected = 0;
        for (DWORD i = 0; i < size; ++i)
            expected |= static_cast<DWORD>(bytes[i]) << (8 * i);
        EXPECT_EQ(readPasswordValues(FAMILY_95).passwordData, expected) << size << " bytes";
    }
    setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data", REG_SZ, "0", 2);
    EXPECT_EQ(readPasswordValues(FAMILY_95).passwordData, 0x30u) << "type not checked";

    writePasswordEnabled(FAMILY_95, false);
    EXPECT_EQ(readPasswordValues(FAMILY_95).usePassword, 0u);
    std::string stored;
    DWORD type = 0;
    ASSERT_TRUE(readRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword", &stored, &type));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(stored, std::string("\0\0\0\0", 4));
    writePasswordEnabled(FAMILY_95, true);
    EXPECT_EQ(readPasswordValues(FAMILY_95).usePassword, 1u);
}

TEST_F(SettingsStore, NtIsSecureIsTheLeadingDecimalInteger)
{
    EXPECT_EQ(readPasswordValues(FAMILY_NT).isSecure, 0) << "missing";
    struct Case {
        const char* text;
        LONG expected;
    } cases[] = {{"1", 1}, {"0", 0}, {" 7", 7}, {"-3", -3}, {"abc", 0}, {"+12x", 12}, {"", 0}};
    for (const Case& c : cases) {
        setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure", c.text);
        EXPECT_EQ(readPasswordValues(FAMILY_NT).isSecure, c.expected) << "\"" << c.text << "\"";
    }
    // Ten digits and a terminator do not fit the ten bytes: the default.
    setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure", "1234567890");
    EXPECT_EQ(readPasswordValues(FAMILY_NT).isSecure, 0);
    // Ten digits without a terminator fill the buffer exactly and still
    // read as a terminated text.
    setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure", REG_BINARY, "1234567890", 10);
    EXPECT_EQ(readPasswordValues(FAMILY_NT).isSecure, 1234567890);
    setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure", REG_BINARY, "9999999999", 10);
    EXPECT_EQ(readPasswordValues(FAMILY_NT).isSecure, static_cast<LONG>(9999999999ULL & 0xFFFFFFFF));

    writePasswordEnabled(FAMILY_NT, true);
    std::string stored;
    DWORD type = 0;
    ASSERT_TRUE(readRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure", &stored, &type));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stored, std::string("1\0", 2));
    writePasswordEnabled(FAMILY_NT, false);
    ASSERT_TRUE(readRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure", &stored));
    EXPECT_EQ(stored, std::string("0\0", 2));
    EXPECT_EQ(readPasswordValues(FAMILY_NT).isSecure, 0);
}

TEST(SystemParameters, ActiveFlagAndTimeoutRoundTrip)
{
    bool wasActive = isSaverActive();
    UINT wasTimeout = getSaverTimeout();
    setSaverActive(false);
    EXPECT_FALSE(isSaverActive());
    setSaverActive(true);
    EXPECT_TRUE(isSaverActive());
    setSaverTimeout(65);
    EXPECT_EQ(getSaverTimeout(), 65u);
    setSaverTimeout(3599);
    EXPECT_EQ(getSaverTimeout(), 3599u);
    setSaverTimeout(wasTimeout ? wasTimeout : 600);
    setSaverActive(wasActive);
}

namespace {

int settingChanges = 0;

LRESULT CALLBACK countingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTINGCHANGE)
        ++settingChanges;
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

TEST(SettingsBroadcast, ReachesThisProcessesWindowBeforeReturning)
{
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = countingProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "DormityBroadcastProbe";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "DormityBroadcastProbe", "probe", WS_OVERLAPPEDWINDOW, 0, 0,
                                  10, 10, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(window);
    settingChanges = 0;
    broadcastSettingsChange();
    EXPECT_EQ(settingChanges, 1);
    DestroyWindow(window);
    UnregisterClassA("DormityBroadcastProbe", GetModuleHandleA(nullptr));
}

namespace {

class Win4Check : public testing::Test {
protected:
    void SetUp() override
    {
        resetScreenSaverSettings();
        directory_ = freshTempDirectory("win4");
    }
    void TearDown() override { resetScreenSaverSettings(); }
    std::string file(const char* name, const void* bytes, size_t size)
    {
        std::string path = directory_ + "\\" + name;
        writeFileBytes(path, bytes, size);
        return path;
    }
    std::string directory_;
};

const unsigned char kWin4Header[] = {0x4D, 0x5A, 0x90, 0x00, 0x03, 0x00, 0x00, 0x00, 0x04};

} // namespace

TEST_F(Win4Check, HeaderBytesDecideOnTheNinetyFiveFamily)
{
    setIniSaver(file("good.scr", kWin4Header, sizeof kWin4Header).c_str());
    EXPECT_TRUE(isWin4Saver(FAMILY_95));
    // Only bytes 2 to 5 count, not the signature.
    const unsigned char noSignature[] = {0x00, 0x00, 0x90, 0x00, 0x03, 0x00};
    setIniSaver(file("nosig.scr", noSignature, sizeof noSignature).c_str());
    EXPECT_TRUE(isWin4Saver(FAMILY_95));
    const unsigned char otherBytes[] = {0x4D, 0x5A, 0x50, 0x00, 0x02, 0x00, 0x00};
    setIniSaver(file("other.scr", otherBytes, sizeof otherBytes).c_str());
    EXPECT_FALSE(isWin4Saver(FAMILY_95));
    setIniSaver(file("short.scr", kWin4Header, 5).c_str());
    EXPECT_FALSE(isWin4Saver(FAMILY_95)) << "a 5-byte file";
    setIniSaver(file("empty.scr", kWin4Header, 0).c_str());
    EXPECT_FALSE(isWin4Saver(FAMILY_95));
    setIniSaver((directory_ + "\\missing.scr").c_str());
    EXPECT_FALSE(isWin4Saver(FAMILY_95));
    setIniSaver(nullptr);
    EXPECT_FALSE(isWin4Saver(FAMILY_95)) << "nothing configured";
    setIniSaver("[NONE]");
    EXPECT_FALSE(isWin4Saver(FAMILY_95)) << "a file of that name does not exist";
}

TEST_F(Win4Check, LockedFileFailsAndEveryHandleIsReleased)
{
    std::string path = file("locked.scr", kWin4Header, sizeof kWin4Header);
    setIniSaver(path.c_str());
    {
        UniqueFile lock(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(static_cast<bool>(lock));
        EXPECT_FALSE(isWin4Saver(FAMILY_95));
    }
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(isWin4Saver(FAMILY_95));
    // Nothing of ours keeps the file open or mapped: it can be deleted.
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST_F(Win4Check, NtFamilyPassesWithoutLookingAtAnyFile)
{
    EXPECT_TRUE(isWin4Saver(FAMILY_NT));
    writeCurrentSaver(FAMILY_NT, "C:\\does\\not\\exist.scr");
    setIniSaver("C:\\does\\not\\exist.scr");
    EXPECT_TRUE(isWin4Saver(FAMILY_NT));
}

TEST(Win4Header, OnlyBytesTwoToFiveCount)
{
    EXPECT_TRUE(hasWin4Header(kWin4Header, 6));
    EXPECT_FALSE(hasWin4Header(kWin4Header, 5));
    const unsigned char swapped[] = {0x4D, 0x5A, 0x00, 0x90, 0x00, 0x03};
    EXPECT_FALSE(hasWin4Header(swapped, 6));
}

TEST(LeadingInteger, ParsesLikeTheCRuntime)
{
    EXPECT_EQ(leadingInteger("  \t42abc"), 42);
    EXPECT_EQ(leadingInteger("-0"), 0);
    EXPECT_EQ(leadingInteger("- 5"), 0);
    EXPECT_EQ(leadingInteger("x1"), 0);
    EXPECT_EQ(leadingInteger("2147483647"), 2147483647);
}
