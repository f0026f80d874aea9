// The system under the tests: files, registry, system.ini, family; fixtures that restore.
#pragma once
#include <windows.h>
#include <mmsystem.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "app/application.h"
#include "saverconfig/saver_settings.h"

#define DESKTOP_KEY "Control Panel\\Desktop"
#define SOUND_SCHEME_KEY "AppEvents\\Schemes\\Apps\\Dormity"

std::string directoryFrom(UINT (WINAPI* get)(LPSTR, UINT));
inline std::string windowsDirectory() { return directoryFrom(GetWindowsDirectoryA); }
inline std::string systemDirectory() { return directoryFrom(GetSystemDirectoryA); }
std::string shortPath(const std::string& path);
std::string moduleFileName();
std::string moduleDirectory();

// What a directory search returns for the pattern, in its own order.
struct FoundFile {
    std::string longName;
    std::string shortName;  // empty when the long name is already 8.3
    DWORD attributes;
};
std::vector<FoundFile> findFiles(const std::string& directory, const char* pattern);
// A fresh, empty directory under the prefix's temporary directory.
std::string freshTempDirectory(const char* name);
void writeFileBytes(const std::string& path, const void* data, size_t size);
std::string readFileBytes(const std::string& path);
inline bool fileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
// A text whose terminator is the last byte before a page the process may not
// read: a function that reads past the terminator crashes.
class TextBeforeGuardPage {
public:
    explicit TextBeforeGuardPage(const char* text);
    ~TextBeforeGuardPage();
    TextBeforeGuardPage(const TextBeforeGuardPage&) = delete;
    TextBeforeGuardPage& operator=(const TextBeforeGuardPage&) = delete;
    const char* text() const { return text_; }

private:
    void* pages_;
    const char* text_;
};

// A fresh current directory for a test, so that "error.txt" lands there.
struct InDirectory {
    std::string directory;
    char previous[MAX_PATH];
    explicit InDirectory(const char* name) : directory(freshTempDirectory(name))
    {
        GetCurrentDirectoryA(sizeof previous, previous);
        SetCurrentDirectoryA(directory.c_str());
    }
    ~InDirectory() { SetCurrentDirectoryA(previous); }
    std::string path(const char* name) const { return directory + "\\" + name; }
    std::string log() const { return readFileBytes(path("error.txt")); }
};

// Registry values of any type and length, creating keys as needed.
void setRegValue(HKEY root, const char* key, const char* name, DWORD type, const void* data,
                 DWORD size);
inline void setRegString(HKEY root, const char* key, const char* name, const char* text)
{
    setRegValue(root, key, name, REG_SZ, text, lstrlenA(text) + 1);
}
inline void setRegDword(HKEY root, const char* key, const char* name, DWORD value)
{
    setRegValue(root, key, name, REG_DWORD, &value, sizeof value);
}
void deleteRegValue(HKEY root, const char* key, const char* name);
// Dormity's list of programs that keep the screen saver off ("KeepOffWhile"), as these bytes.
void listKeepOffPrograms(const std::string& bytes, DWORD type = REG_MULTI_SZ);
void deleteRegTree(HKEY root, const char* key);
// False when the value is missing.
bool readRegValue(HKEY root, const char* key, const char* name, std::string* data,
                  DWORD* type = nullptr);
bool readDesktopDword(const char* name, DWORD* value);
// A timed disable's "EnableAt", stored this far from now (type and size as given); read back
// as seconds from now, false when missing.
void storeEnableAt(long long secondsAhead, DWORD type = REG_BINARY, DWORD size = 8);
bool storedEnableAt(double* secondsAhead = nullptr);
inline bool readDesktopRaw(const char* name, std::string* bytes, DWORD* type)
{
    return readRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, name, bytes, type);
}

// The current screen saver in one family's own place (the 95 family's is
// system.ini's [boot] SCRNSAVE.EXE); null removes it. False: nothing stored.
void storeCurrentSaver(SaverFamily family, const char* path);
bool storedCurrentSaver(SaverFamily family, std::string* value);
inline void setIniSaver(const char* value)
{
    WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", value, "system.ini");
}
inline bool iniSaverPresent()
{
    std::string value;
    return storedCurrentSaver(FAMILY_95, &value);
}

// The family as the system reports it, not as the program derives it.
OSVERSIONINFOA reportedVersion();
DWORD reportedPlatformFlags();
inline SaverFamily runFamily() { return familyFromFlags(reportedPlatformFlags()); }
inline bool runningAsWin9x()
{
    return reportedVersion().dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}
inline bool runningAsWin2kOrLater()
{
    return reportedVersion().dwPlatformId == VER_PLATFORM_WIN32_NT
        && reportedVersion().dwMajorVersion >= 5;
}
// Where resources follow the user interface languages and language satellites.
inline bool runningAsVistaOrLater()
{
    return reportedVersion().dwPlatformId == VER_PLATFORM_WIN32_NT
        && reportedVersion().dwMajorVersion >= 6;
}
// The user interface language Wine reports (it follows the locale variables); a test entry that
// sets them names the one it expects in DORMITY_UI_LANGUAGE (hexadecimal), checked here.
LANGID reportedUiLanguage();
// The family this executable was started for ("..._win98.exe" gives "win98"); "" for the default.
std::string requestedVersion();

inline void configureSaver(const std::string& fileName)
{
    storeCurrentSaver(runFamily(), fileName.c_str());
}
inline void clearConfiguredSaver()
{
    storeCurrentSaver(FAMILY_95, nullptr);
    storeCurrentSaver(FAMILY_NT, nullptr);
}
// A policy value as Group Policy leaves it, under the key its name belongs to; all removed.
void setPolicyValue(const char* name, DWORD type, const void* data, DWORD size);
void removePolicies();
// Every screen saver value the settings tests touch, and every policy, removed.
void resetScreenSaverSettings();

// A registry key with its subkeys, every byte put back on restore() or when it goes.
class SavedRegistryKey {
public:
    SavedRegistryKey(HKEY root, const char* path);
    ~SavedRegistryKey();
    SavedRegistryKey(const SavedRegistryKey&) = delete;
    SavedRegistryKey& operator=(const SavedRegistryKey&) = delete;
    bool existed() const { return existed_; }
    // Deletes the key with its subkeys; true when it is gone.
    bool removeFromRegistry();
    // True when the registry matches the copy again.
    bool restore();
    bool matchesRegistry() const;

    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<unsigned char> data;
        bool operator==(const Value& o) const
        {
            return name == o.name && type == o.type && data == o.data;
        }
    };
    struct Node {
        std::wstring path;
        std::vector<Value> values;
        bool operator==(const Node& o) const { return path == o.path && values == o.values; }
    };

private:
    HKEY root_;
    std::wstring path_;
    std::vector<Node> nodes_;  // parents before children
    bool existed_ = false;
    bool readable_ = false;
};

// winmm.dll by full path: a planted one lies beside some tests, and must load in no test.
struct SystemWinmm {
    HMODULE module = nullptr;
    decltype(&PlaySoundA) playSound = nullptr;
};
const SystemWinmm& systemWinmm();

// "--name" on the command line (gtest leaves it alone).
bool commandLineHas(const char* flag);

// splitmix64: the same seed gives the same cases on every run and build.
class SeededRandom {
public:
    explicit SeededRandom(uint64_t seed) : state_(seed) {}
    uint64_t next();
    uint32_t below(uint32_t bound) { return static_cast<uint32_t>(next() % bound); }
    bool chance(uint32_t percent) { return below(100) < percent; }
    std::vector<unsigned char> bytes(size_t count);

private:
    uint64_t state_;
};
// The seed of "--seed=N" or the variable ("random": the clock), else the suite's; printed.
uint64_t chooseSeed(const char* environmentName);
