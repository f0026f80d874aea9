// The 32-bit program under WoW64, with a 64-bit screen saver only the native
// System32 holds. DORMITY_PREFIX_ARCH names the prefix.
#include <stdlib.h>

#include "support/program.h"
#include "res/resource.h"
#include "saverconfig/native_system.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"
#include "support/savers.h"

namespace {

const char kDescription64[] = "Dormity 64-bit Test";

const std::string kArch = getenv("DORMITY_PREFIX_ARCH") ? getenv("DORMITY_PREFIX_ARCH") : "";

bool sameFile(const std::string& a, const std::string& b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// A 64-bit fixture in the native system directory (reached only with redirection off), by
// default the command fixture as DORM64.SCR; a folder it needs is made and removed with it, a
// file of that name is put aside and back.
struct NativeSystemSaver {
    const std::string path;
    std::string createdDirectory;
    bool setAside = false;
    explicit NativeSystemSaver(const char* fixture = "fixture_saver64.scr",
                               const char* name = "DORM64.SCR")
        : path(windowsDirectory() + "\\system32\\" + name)
    {
        NativeFileSystemView native;
        EXPECT_TRUE(native.redirectionOff()) << "redirection stays on";
        std::string directory = path.substr(0, path.find_last_of('\\'));
        if (CreateDirectoryA(directory.c_str(), nullptr))
            createdDirectory = directory;
        setAside = MoveFileA(path.c_str(), (path + ".aside").c_str()) != FALSE;
        replace(fixture);
    }
    void replace(const char* fixture) const
    {
        NativeFileSystemView native;
        EXPECT_TRUE(CopyFileA((moduleDirectory() + "\\" + fixture).c_str(), path.c_str(), FALSE))
            << "cannot install " << path;
    }
    ~NativeSystemSaver()
    {
        waitForStartedProcesses(10000);  // one started from there may be ending
        NativeFileSystemView native;
        DeleteFileA(path.c_str());
        if (setAside)
            MoveFileA((path + ".aside").c_str(), path.c_str());
        if (!createdDirectory.empty())
            RemoveDirectoryA(createdDirectory.c_str());
    }
};

class Win64 : public CommandTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(kArch, "win64") << "these tests need the 64-bit prefix";
        CommandTest::SetUp();
    }
};
class Win64Commands : public Win64 {};
class Win64Catalogue : public Win64 {};
// The same executable in the 32-bit prefix.
class Win32Catalogue : public CommandTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(kArch, "win32") << "this test needs the 32-bit prefix";
        CommandTest::SetUp();
    }
};

} // namespace

TEST(Wow64Detection, TrueOnlyWhereTheSystemIs64Bit)
{
    ASSERT_TRUE(kArch == "win32" || kArch == "win64") << "DORMITY_PREFIX_ARCH names the prefix";
    EXPECT_EQ(isWow64(), kArch == "win64");
    NativeFileSystemView native;
    EXPECT_EQ(native.redirectionOff(), kArch == "win64");
}

TEST(Wow64FileSystem, OnlyTheNativeViewReachesAFileInTheNativeSystemDirectory)
{
    ASSERT_EQ(kArch, "win64") << "this test needs the 64-bit prefix";
    NativeSystemSaver saver;
    EXPECT_FALSE(fileExists(saver.path)) << "redirection is off outside the view";
    {
        NativeFileSystemView native;
        ASSERT_TRUE(native.redirectionOff());
        EXPECT_TRUE(fileExists(saver.path));
    }
    EXPECT_FALSE(fileExists(saver.path)) << "redirection did not come back";
}

TEST_F(Win64Commands, ConfigureAndChangePasswordStartTheNativeSaver)
{
    // Not in the redirected view: a start left redirected finds no file.
    NativeSystemSaver saver;
    ASSERT_FALSE(fileExists(saver.path));
    storeCurrentSaver(runFamily(), saver.path.c_str());
    start(true);
    RedirectionWatch watch;
    command(IDM_CONFIGURE);
    command(IDM_CHANGEPASSWORD);
    EXPECT_EQ(watch.callsInside(), std::vector<std::string>()) << "started with redirection off";
    ASSERT_TRUE(log_.waitForLines(2, 10000)) << "the native 64-bit saver did not start";
    ASSERT_TRUE(waitForStartedProcesses(10000));
    std::vector<LoggedRun> runs = log_.runs();
    ASSERT_EQ(runs.size(), 2u);
    for (const std::string& line : {saver.path + " /c", saver.path + " /a 0"}) {
        bool found = false;
        for (const LoggedRun& run : runs)
            found = found || (run.commandLine == line && sameFile(run.module, saver.path));
        EXPECT_TRUE(found) << "no start of " << line;
    }
}

// The display control panel is the native one, not the 32-bit one WoW64 starts by default.
TEST_F(Win64Commands, ScreenSaverPropertiesOpensTheNativeDisplayPanel)
{
    NativeSystemSaver native("fixture_saver64.scr", panelProgram().c_str());
    SystemPanelStandIns redirected;
    start(true);
    command(IDM_PROPERTIES);
    ASSERT_TRUE(log_.waitForLines(1, 10000)) << "no panel started";
    ASSERT_TRUE(waitForStartedProcesses(10000));
    std::vector<LoggedRun> runs = log_.runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(sameFile(runs[0].module, native.path)) << "started " << runs[0].module;
    EXPECT_EQ(runs[0].commandLine, systemDirectory() + "\\" + panelProgram() + panelArguments());
}

TEST_F(Win64Catalogue, A64BitSaverOnlyInTheNativeSystemDirectoryIsListedChosenAndChecked)
{
    NativeSystemSaver saver;
    // The system's own spelling in short form, as Windows' own page stores it.
    std::string stored = shortPath(windowsDirectory()) + "\\system32\\DORM64.SCR", current;
    start(true);
    const SaverEntry* entry = entryNamed(kDescription64);
    ASSERT_NE(entry, nullptr) << "not listed under its own description";
    EXPECT_TRUE(sameFile(entry->fileName, stored)) << entry->fileName;
    command(entry->menuId);
    ASSERT_TRUE(storedCurrentSaver(runFamily(), &current));
    EXPECT_TRUE(sameFile(current, stored)) << current;
    // The next start reads the setting afresh and marks the same file.
    start(true);
    entry = entryNamed(kDescription64);
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->flags & SAVER_CHECKED);
    EXPECT_FALSE(tray().noneEntry->flags & SAVER_CHECKED);
}

TEST_F(Win64Catalogue, A32BitSaverInTheWindowsDirectoryIsListedAsBefore)
{
    std::string name = windowsDirectory() + "\\DORM32.SCR";
    InstalledFiles saver(moduleDirectory() + "\\fixture_saver.exe", name);
    TrayWindow& window = start(true);
    // The program runs as ever: its window found by class, its icon shown.
    EXPECT_EQ(FindWindowA(DORMITY_CLASS_NAME, nullptr), window.window);
    EXPECT_NE(window.trayIcon.hIcon, nullptr);
    const SaverEntry* entry = entryNamed("Dormity Command Test");
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(sameFile(entry->fileName, shortPath(name))) << entry->fileName;
    EXPECT_EQ(entryNamed(kDescription64), nullptr);
}

// The scan, the widths and the icons with redirection watched: only plain file calls run
// while it is off, and the shell still finds the native file's own icon.
TEST_F(Win64Catalogue, OnlyFileCallsRunWithRedirectionOffTheNativeSaverShowsItsOwnIcon)
{
    NativeSystemSaver saver;
    RedirectionWatch watch;
    TrayWindow& window = start(true);
    openSaverSubmenu(window);
    const SaverEntry* entry = entryNamed(kDescription64);
    ASSERT_NE(entry, nullptr);
    const int height = GetSystemMetrics(SM_CYMENUSIZE) + 2;
    Canvas drawn(260, height);
    ASSERT_TRUE(drawItem(window, drawn, entry->menuId, reinterpret_cast<ULONG_PTR>(entry), false));
    EXPECT_GT(watch.stretches(), 0) << "redirection never went off, so nothing was watched";
    EXPECT_EQ(watch.modulesLoaded(), 0) << "modules loaded with redirection off";
    EXPECT_EQ(watch.callsInside(), std::vector<std::string>()) << "called with redirection off";
    EXPECT_TRUE(showsProgramIcon(drawn, 6, (height - 16) / 2, IDI_SAVER_ON, GetSysColor(COLOR_MENU)))
        << "the native saver's own icon is not drawn";
}

TEST_F(Win32Catalogue, A64BitSaverInTheSystemDirectoryIsLeftOutOn32BitWindows)
{
    // The 32-bit copy beside it shows that the directory is scanned.
    InstalledFiles wide(moduleDirectory() + "\\fixture_saver64.scr",
                        systemDirectory() + "\\DORM64.SCR");
    InstalledFiles narrow(moduleDirectory() + "\\fixture_saver.exe",
                          systemDirectory() + "\\DORM32.SCR");
    start(true);
    EXPECT_NE(entryNamed("Dormity Command Test"), nullptr);
    EXPECT_EQ(entryNamed(kDescription64), nullptr) << "a 64-bit image listed on 32-bit Windows";
}

// A 64-bit language-neutral saver only the native System32 holds reads its satellite from the
// native System32's language folder, not from the one this program is redirected to; a replaced
// satellite shows at the next opening.
TEST_F(Win64Catalogue, ANativeLanguageNeutralSaverReadsTheNativeSatellite)
{
    NativeSystemSaver saver("mui_neutral_en64.scr", "DORMLN64.SCR");
    NativeSystemSaver satellite("en64.mui", "en-US\\DORMLN64.SCR.mui");
    InstalledFiles redirected(moduleDirectory() + "\\de64.mui",
                              systemDirectory() + "\\en-US\\DORMLN64.SCR.mui");
    TrayWindow& window = start(true);
    EXPECT_NE(entryNamed("Satellite In English"), nullptr) << "not listed from its satellite";
    EXPECT_EQ(entryNamed("Satellit auf Deutsch"), nullptr) << "the redirected satellite read";
    satellite.replace("en_replaced64.mui");
    openSaverSubmenu(window);
    EXPECT_NE(entryNamed("Satellite Replaced"), nullptr) << "the replaced satellite not shown";
}
