#include "support/savers.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include "base/handles.h"
#include "support/processes.h"

namespace {

// Every name the catalogue tests and its benchmark install.
const char* const kOwnNames[] = {
    "starfield.scr", "x.scr", "emptystr.scr", "long300.scr", "tenchars.scr", "marker.scr",
    "Long Name Saver.scr", "first.scr", "second.scr", "third.scr", "sysone.scr", "systwo.scr",
    "badheader.scr", "notes.scr", "truncated.scr", "badstr.scr", "renamed.scr", "twolang.scr",
    "otherlang.scr", "muisaver.scr", "muifallback.scr", "muiwin.scr", "muinofit.scr",
};

bool ownName(const std::string& name)
{
    for (const char* own : kOwnNames)
        if (_stricmp(own, name.c_str()) == 0)
            return true;
    return _strnicmp(name.c_str(), "dmcatbench", 10) == 0;
}

std::string asideName(const std::string& path) { return path + ".dormity-saved"; }

} // namespace

std::string catalogueFileName(SaverDirectory where, const FoundFile& found)
{
    return shortSaverDirectory(where) + "\\"
        + (found.shortName.empty() ? found.longName : found.shortName);
}

std::string catalogueFileNameOf(SaverDirectory where, const std::string& longName)
{
    for (const FoundFile& found : searchOrder(where))
        if (_stricmp(found.longName.c_str(), longName.c_str()) == 0)
            return catalogueFileName(where, found);
    ADD_FAILURE() << longName << " is not installed";
    return "";
}

InstalledFiles::InstalledFiles()
{
    std::string foreign;
    for (SaverDirectory where : {WINDOWS_DIRECTORY, SYSTEM_DIRECTORY}) {
        for (const FoundFile& found : searchOrder(where)) {
            std::string path = saverDirectory(where) + "\\" + found.longName;
            if (ownName(found.longName))
                DeleteFileA(path.c_str());
            else
                foreign += " " + path;
        }
    }
    if (!foreign.empty())
        ADD_FAILURE() << "screen saver files of unknown origin in the prefix:" << foreign;
}

InstalledFiles::~InstalledFiles()
{
    if (waitForPrograms_)
        waitForStartedProcesses(10000);  // a program started from here may still be ending
    removeAll();
}

std::string InstalledFiles::install(const std::string& from, const std::string& to)
{
    bool ours = false;  // installed here before: overwritten, not set aside
    for (const Installed& mine : installed_)
        ours |= _stricmp(mine.path.c_str(), to.c_str()) == 0;
    // An original that an interrupted run left aside goes back first, never to be lost.
    if (!ours && fileExists(asideName(to)))
        MoveFileExA(asideName(to).c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING);
    Installed file{to, false, ""};
    if (!ours && fileExists(to) && !(file.setAside = MoveFileA(to.c_str(), asideName(to).c_str())))
        ADD_FAILURE() << "cannot move " << to << " aside";
    std::string directory = to.substr(0, to.find_last_of('\\'));
    if (CreateDirectoryA(directory.c_str(), nullptr))
        file.createdDirectory = directory;
    EXPECT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE))
        << "cannot install " << from << " as " << to;
    installed_.push_back(file);
    return to;
}

std::string InstalledFiles::pathOf(int index) const
{
    char name[64];
    snprintf(name, sizeof name, "%s%02d.scr", prefix_.c_str(), index);
    return windowsDirectory() + "\\" + name;
}

std::string InstalledFiles::catalogueNameOf(int index) const
{
    std::string name = shortPath(pathOf(index));
    return shortPath(windowsDirectory()) + name.substr(name.find_last_of('\\'));
}

std::string InstalledFiles::copy(const std::string& source, int index)
{
    SetFileAttributesA(pathOf(index).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(CopyFileA(source.c_str(), pathOf(index).c_str(), FALSE))
        << "cannot copy " << source << " to " << pathOf(index);
    return pathOf(index);
}

bool InstalledFiles::write(const std::vector<unsigned char>& bytes, int index)
{
    std::string path = pathOf(index);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    for (int attempt = 0; attempt < 5; ++attempt) {
        UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            DWORD written = 0;
            WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                      nullptr);
            return written == bytes.size();
        }
        if (systemWinmm().playSound)  // a sound named after the file may still play it
            systemWinmm().playSound(nullptr, nullptr, 0);
        Sleep(20);
    }
    return false;
}

void InstalledFiles::replaceContent(const std::string& path, const char* fixture)
{
    std::string bytes = readFileBytes(fixturePath(fixture));
    ASSERT_FALSE(bytes.empty()) << fixture;
    writeFileBytes(path, bytes.data(), bytes.size());
}

std::string InstalledFiles::rename(const std::string& path, const char* name)
{
    std::string target = path.substr(0, path.find_last_of('\\') + 1) + name;
    EXPECT_TRUE(MoveFileA(path.c_str(), target.c_str())) << path << " to " << target;
    for (Installed& file : installed_)
        if (file.path == path)
            file.path = target;
    return target;
}

void InstalledFiles::removeAll()
{
    if (!prefix_.empty())
        for (const FoundFile& found : findFiles(windowsDirectory(), (prefix_ + "*.scr").c_str()))
            installed_.push_back({windowsDirectory() + "\\" + found.longName, false, ""});
    for (size_t i = installed_.size(); i-- > 0;) {
        const Installed& file = installed_[i];
        SetFileAttributesA(file.path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(file.path.c_str());
        if (file.setAside) {
            EXPECT_TRUE(MoveFileA(asideName(file.path).c_str(), file.path.c_str()))
                << "the original " << file.path << " was not put back";
        }
        if (!file.createdDirectory.empty())
            RemoveDirectoryA(file.createdDirectory.c_str());
    }
    installed_.clear();
}

FixtureLog::FixtureLog()
{
    directory_ = freshTempDirectory(("commands-log-" + requestedVersion()).c_str());
    path_ = directory_ + "\\fixtures.log";
    SetEnvironmentVariableA("DORMITY_TEST_LOG", path_.c_str());
}

FixtureLog::~FixtureLog()
{
    SetEnvironmentVariableA("DORMITY_TEST_LOG", nullptr);
    DeleteFileA(path_.c_str());
    RemoveDirectoryA(directory_.c_str());
}

std::vector<std::string> FixtureLog::lines() const
{
    std::vector<std::string> result;
    std::string text = readFileBytes(path_);
    // A last line without its end is still being written.
    for (size_t begin = 0, end; (end = text.find('\n', begin)) != std::string::npos;
         begin = end + 1)
        result.push_back(text.substr(begin, end - begin));
    return result;
}

std::vector<LoggedRun> FixtureLog::runs() const
{
    std::vector<LoggedRun> result;
    for (const std::string& line : lines()) {
        size_t tab = line.find('\t');
        if (tab != std::string::npos)
            result.push_back({line.substr(0, tab), line.substr(tab + 1)});
    }
    return result;
}

bool FixtureLog::waitForLines(size_t count, DWORD timeoutMs) const
{
    return pumpUntil([&] { return lines().size() >= count; }, timeoutMs);
}
