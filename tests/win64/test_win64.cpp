// The 32-bit program on 64-bit Windows (under WoW64): the detection, the
// view of the native system directory, the program itself, its commands on
// a 64-bit screen saver that only the native System32 holds, and the
// catalogue there. Run in the 64-bit prefix; the detection runs in the
// 32-bit prefix as well. DORMITY_PREFIX_ARCH says which prefix it is.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "support/program.h"
#include "app/application.h"
#include "app/tray_window.h"
#include "res/resource.h"
#include "saverconfig/native_system.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"

namespace {

const char kNativeName[] = "DORM64.SCR";
const char kWindowsName[] = "DORM32.SCR";
const char kDescription64[] = "Dormity 64-bit Test";
const char kDescription32[] = "Dormity Command Test";

std::string prefixArch()
{
    const char* arch = getenv("DORMITY_PREFIX_ARCH");
    return arch ? arch : "";
}

// The native system directory as the 64-bit system spells it; a 32-bit
// program reaches it only with redirection off.
std::string nativeSystemPath(const char* name)
{
    return windowsDirectory() + "\\system32\\" + name;
}

bool sameFile(const std::string& a, const std::string& b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// The 64-bit fixture screen saver copied into the native system directory
// and removed again.
class NativeSystemSaver {
public:
    explicit NativeSystemSaver(const char* name) : path_(nativeSystemPath(name))
    {
        std::string from = moduleDirectory() + "\\fixture_saver64.scr";
        NativeFileSystemView native;
        EXPECT_TRUE(native.redirectionOff()) << "redirection stays on";
        EXPECT_TRUE(CopyFileA(from.c_str(), path_.c_str(), FALSE)) << "cannot install " << path_;
    }
    ~NativeSystemSaver()
    {
        // A fixture started from there may still be ending.
        waitForStartedProcesses(10000);
        NativeFileSystemView native;
        DeleteFileA(path_.c_str());
    }
    NativeSystemSaver(const NativeSystemSaver&) = delete;
    NativeSystemSaver& operator=(const NativeSystemSaver&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

class Win64 : public CommandTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(prefixArch(), "win64") << "these tests need the 64-bit prefix";
        CommandTest::SetUp();
    }
};
class Win64Program : public Win64 {};
class Win64Commands : public Win64 {};
class Win64Catalogue : public Win64 {};

} // namespace

TEST(Wow64Detection, TrueOnlyWhereTheSystemIs64Bit)
{
    std::string arch = prefixArch();
    ASSERT_TRUE(arch == "win32" || arch == "win64") << "DORMITY_PREFIX_ARCH names the prefix";
    bool is64 = arch == "win64";
    EXPECT_EQ(isWow64(), is64);
    NativeFileSystemView native;
    EXPECT_EQ(native.redirectionOff(), is64);
}

TEST(Wow64FileSystem, OnlyTheNativeViewReachesAFileInTheNativeSystemDirectory)
{
    ASSERT_EQ(prefixArch(), "win64") << "this test needs the 64-bit prefix";
    NativeSystemSaver saver(kNativeName);
    EXPECT_FALSE(fileExists(saver.path())) << "redirection is off outside the view";
    {
        NativeFileSystemView native;
        ASSERT_TRUE(native.redirectionOff());
        EXPECT_TRUE(fileExists(saver.path()));
    }
    EXPECT_FALSE(fileExists(saver.path())) << "redirection did not come back";
}

TEST_F(Win64Program, StartsWithItsHiddenWindowAndTrayIcon)
{
    TrayWindow& window = start(true);
    ASSERT_TRUE(IsWindow(window.window));
    EXPECT_EQ(FindWindowA(DORMITY_CLASS_NAME, nullptr), window.window);
    EXPECT_NE(window.trayIcon.hIcon, nullptr);
    EXPECT_NE(window.noneEntry, nullptr);
}

TEST_F(Win64Commands, ConfigureAndChangePasswordStartTheNativeSaver)
{
    NativeSystemSaver saver(kNativeName);
    // Nothing of that name in the redirected view: a start that stayed
    // redirected would find no file at all.
    ASSERT_FALSE(fileExists(saver.path()));
    storeCurrentSaver(runFamily(), saver.path().c_str());
    start(true);
    command(IDM_CONFIGURE);
    command(IDM_CHANGEPASSWORD);

    ASSERT_TRUE(log_.waitForLines(2, 10000)) << "the native 64-bit saver did not start";
    ASSERT_TRUE(waitForStartedProcesses(10000));
    std::vector<LoggedRun> runs = log_.runs();
    ASSERT_EQ(runs.size(), 2u);
    const std::string expected[] = {saver.path() + " /c", saver.path() + " /a 0"};
    for (const std::string& line : expected) {
        bool found = false;
        for (const LoggedRun& run : runs)
            found = found || (run.commandLine == line && sameFile(run.module, saver.path()));
        EXPECT_TRUE(found) << "no start of " << line;
    }
}

TEST_F(Win64Catalogue, A64BitSaverOnlyInTheNativeSystemDirectoryIsListedChosenAndChecked)
{
    NativeSystemSaver saver(kNativeName);
    // The system's own spelling in short form, as Windows' own page stores it.
    std::string stored = shortPath(windowsDirectory()) + "\\system32\\" + kNativeName;
    start(true);
    const SaverEntry* entry = entryNamed(kDescription64);
    ASSERT_NE(entry, nullptr) << "not listed under its own description";
    EXPECT_TRUE(sameFile(entry->fileName, stored)) << entry->fileName;

    command(entry->menuId);
    std::string current;
    ASSERT_TRUE(storedCurrentSaver(runFamily(), &current));
    EXPECT_TRUE(sameFile(current, stored)) << current;

    // The next opening reads the setting afresh and marks the same file.
    start(true);
    entry = entryNamed(kDescription64);
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->flags & SAVER_CHECKED);
    EXPECT_FALSE(tray().noneEntry->flags & SAVER_CHECKED);
}

TEST_F(Win64Catalogue, A32BitSaverInTheWindowsDirectoryIsListedAsBefore)
{
    InstalledFiles saver(moduleDirectory() + "\\fixture_saver.exe",
                        windowsDirectory() + "\\" + kWindowsName);
    start(true);
    const SaverEntry* entry = entryNamed(kDescription32);
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(sameFile(entry->fileName, shortPath(windowsDirectory()) + "\\" + kWindowsName))
        << entry->fileName;
    EXPECT_EQ(entryNamed(kDescription64), nullptr);
}
