// Fixture screen savers and programs, and installing them into the prefix for a test.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "support/system.h"

enum SaverDirectory { WINDOWS_DIRECTORY, SYSTEM_DIRECTORY };
inline std::string saverDirectory(SaverDirectory where)
{
    return where == WINDOWS_DIRECTORY ? windowsDirectory() : systemDirectory();
}
inline std::string shortSaverDirectory(SaverDirectory where)
{
    return shortPath(saverDirectory(where));
}

inline std::vector<FoundFile> searchOrder(SaverDirectory where)
{
    return findFiles(saverDirectory(where), "*.scr");
}
// "short directory\short name", the form the catalogue keeps.
std::string catalogueFileName(SaverDirectory where, const FoundFile& found);
std::string catalogueFileNameOf(SaverDirectory where, const std::string& longName);

// Built beside the test executables.
inline std::string fixturePath(const char* fixture)
{
    return moduleDirectory() + "\\catalogue_fixtures\\" + fixture;
}
inline std::string fixtureSaverPath() { return moduleDirectory() + "\\reliability_saver.scr"; }
inline std::string fixtureDescription() { return "Reliability Fixture"; }
// Logs "<own file>\t<command line>" to DORMITY_TEST_LOG and ends (the lingering one after 3 s).
inline std::string quickSaverPath() { return moduleDirectory() + "\\fixture_saver.exe"; }
inline std::string lingeringSaverPath()
{
    return moduleDirectory() + "\\fixture_lingering_saver.exe";
}
// What opens the screen saver page: control.exe from Windows Vista on, before it rundll32.exe.
inline std::string panelProgram()
{
    return runningAsVistaOrLater() ? "control.exe" : "rundll32.exe";
}
inline std::string panelArguments()
{
    return runningAsVistaOrLater() ? " desk.cpl,screensaver,@screensaver"
                                   : " shell32.dll,Control_RunDLL DESK.CPL,,1";
}
// The quick fixture under that name where a bare name is looked for first.
inline std::string plantedPanelPath() { return moduleDirectory() + "\\" + panelProgram(); }
// The system's own: in the Windows directory on the 95 family, else the system directory.
inline std::string systemPanelPath(SaverFamily family)
{
    return saverDirectory(family == FAMILY_95 ? WINDOWS_DIRECTORY : SYSTEM_DIRECTORY) + "\\"
           + panelProgram();
}
// Asks for winmm.dll by bare name; the planted one leaves a marker per loading process.
inline std::string winmmByNamePath() { return moduleDirectory() + "\\fixture_winmm_by_name.exe"; }
inline std::string plantedWinmmMarker(DWORD processId)
{
    return moduleDirectory() + "\\winmm.dll." + std::to_string(processId) + ".loaded";
}

// Files installed for one test and removed when it goes, a file in their place put aside and
// back. Default: the catalogue's fixtures, after removing leftovers and failing on savers of
// unknown origin. With a prefix: "<prefix>NN.scr" in the Windows directory. Two paths: one file.
class InstalledFiles {
public:
    InstalledFiles();
    explicit InstalledFiles(const char* namePrefix) : prefix_(namePrefix) { removeAll(); }
    InstalledFiles(const std::string& from, const std::string& to) : waitForPrograms_(true)
    {
        install(from, to);
    }
    ~InstalledFiles();
    InstalledFiles(const InstalledFiles&) = delete;
    InstalledFiles& operator=(const InstalledFiles&) = delete;

    std::string install(const std::string& from, const std::string& to);
    // A catalogue fixture under a name of the directory; the full long path.
    std::string install(const char* fixture, SaverDirectory where, const char* name)
    {
        return install(fixturePath(fixture), saverDirectory(where) + "\\" + name);
    }
    std::string copy(const std::string& source, int index);
    // False when the file is held open against writing (a sound playing it).
    bool write(const std::vector<unsigned char>& bytes, int index);
    std::string pathOf(int index) const;
    std::string catalogueNameOf(int index) const;
    // Another fixture's bytes, keeping the directory entry and its place.
    void replaceContent(const std::string& path, const char* fixture);
    std::string rename(const std::string& path, const char* name);
    const std::string& path() const { return installed_.front().path; }
    void removeAll();

private:
    struct Installed {
        std::string path;
        bool setAside;
        std::string createdDirectory;
    };
    std::vector<Installed> installed_;
    std::string prefix_;
    bool waitForPrograms_ = false;
};

// Stand-ins for it in both the Windows and system directories,
// so a wrong choice shows as the wrong file, not as the real panel.
struct SystemPanelStandIns {
    InstalledFiles windows{quickSaverPath(), systemPanelPath(FAMILY_95)};
    InstalledFiles system{quickSaverPath(), systemPanelPath(FAMILY_NT)};
};

struct LoggedRun {
    std::string module;
    std::string commandLine;
};

// The fixture programs' log for this test process.
class FixtureLog {
public:
    FixtureLog();
    ~FixtureLog();
    FixtureLog(const FixtureLog&) = delete;
    FixtureLog& operator=(const FixtureLog&) = delete;
    std::vector<std::string> lines() const;
    std::vector<LoggedRun> runs() const;
    bool waitForLines(size_t count, DWORD timeoutMs) const;
    void clear() { DeleteFileA(path_.c_str()); }

private:
    std::string directory_;
    std::string path_;
};
