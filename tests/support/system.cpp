#include "support/system.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/handles.h"
#include "commands/blink_preference.h"
#include "commands/keep_off.h"
#include "commands/timed_disable.h"
#include "saverconfig/policy.h"

namespace {

void removeTree(const std::string& directory)
{
    for (const FoundFile& found : findFiles(directory, "*")) {
        std::string path = directory + "\\" + found.longName;
        if (found.longName == "." || found.longName == "..")
            continue;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (found.attributes & FILE_ATTRIBUTE_DIRECTORY)
            removeTree(path);
        else
            DeleteFileA(path.c_str());
    }
    SetFileAttributesA(directory.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(directory.c_str());
}

} // namespace

std::vector<FoundFile> findFiles(const std::string& directory, const char* pattern)
{
    std::vector<FoundFile> files;
    WIN32_FIND_DATAA found;
    UniqueFind search(FindFirstFileA((directory + "\\" + pattern).c_str(), &found));
    for (bool more = static_cast<bool>(search); more; more = FindNextFileA(search.get(), &found))
        files.push_back({found.cFileName, found.cAlternateFileName, found.dwFileAttributes});
    return files;
}

std::string directoryFrom(UINT (WINAPI* get)(LPSTR, UINT))
{
    char buffer[MAX_PATH] = "";
    get(buffer, sizeof buffer);
    return buffer;
}

std::string shortPath(const std::string& path)
{
    char buffer[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    return length == 0 || length >= sizeof buffer ? path : buffer;
}

std::string moduleFileName()
{
    char buffer[MAX_PATH];
    GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    return buffer;
}

std::string moduleDirectory()
{
    std::string path = moduleFileName();
    return path.substr(0, path.find_last_of('\\'));
}

std::string freshTempDirectory(const char* name)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string directory = std::string(temp) + "dormity-" + name;
    removeTree(directory);
    CreateDirectoryA(directory.c_str(), nullptr);
    return directory;
}

void writeFileBytes(const std::string& path, const void* data, size_t size)
{
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(static_cast<bool>(file)) << "cannot write " << path;
    DWORD written = 0;
    WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr);
    ASSERT_EQ(written, size);
}

std::string readFileBytes(const std::string& path)
{
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    std::string data;
    char buffer[4096];
    DWORD read = 0;
    while (file && ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        data.append(buffer, read);
    return data;
}

void setRegValue(HKEY root, const char* key, const char* name, DWORD type, const void* data,
                 DWORD size)
{
    UniqueRegKey handle;
    ASSERT_EQ(RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, handle.put(),
                              nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(handle.get(), name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
}

void listKeepOffPrograms(const std::string& bytes, DWORD type)
{
    setRegValue(HKEY_CURRENT_USER, BLINK_KEY, KEEP_OFF_VALUE, type, bytes.data(),
                static_cast<DWORD>(bytes.size()));
}

void deleteRegValue(HKEY root, const char* key, const char* name)
{
    UniqueRegKey handle;
    if (RegOpenKeyExA(root, key, 0, KEY_ALL_ACCESS, handle.put()) == ERROR_SUCCESS)
        RegDeleteValueA(handle.get(), name);
}

bool readRegValue(HKEY root, const char* key, const char* name, std::string* data, DWORD* type)
{
    UniqueRegKey handle;
    DWORD size = 0, valueType = 0;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, handle.put()) != ERROR_SUCCESS
        || RegQueryValueExA(handle.get(), name, nullptr, &valueType, nullptr, &size)
               != ERROR_SUCCESS)
        return false;
    std::string buffer(size + 1, '\0');
    if (RegQueryValueExA(handle.get(), name, nullptr, &valueType,
                         reinterpret_cast<BYTE*>(&buffer[0]), &size) != ERROR_SUCCESS)
        return false;
    if (data)
        data->assign(buffer.data(), size);
    if (type)
        *type = valueType;
    return true;
}

bool readDesktopDword(const char* name, DWORD* value)
{
    std::string data;
    DWORD type = 0;
    if (!readDesktopRaw(name, &data, &type) || type != REG_DWORD || data.size() != 4)
        return false;
    memcpy(value, data.data(), 4);
    return true;
}

void storeEnableAt(long long secondsAhead, DWORD type, DWORD size)
{
    ULONGLONG time = currentFileTime() + secondsAhead * 10000000LL;
    setRegValue(HKEY_CURRENT_USER, BLINK_KEY, ENABLE_AT_VALUE, type, &time, size);
}

bool storedEnableAt(double* secondsAhead)
{
    std::string data;
    ULONGLONG time = 0;
    bool found = readRegValue(HKEY_CURRENT_USER, BLINK_KEY, ENABLE_AT_VALUE, &data);
    memcpy(&time, data.data(), data.size() == sizeof time ? sizeof time : 0);
    if (secondsAhead)
        *secondsAhead = (static_cast<double>(time) - currentFileTime()) / 10000000;
    return found;
}

OSVERSIONINFOA reportedVersion()
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    return version;
}

LANGID reportedUiLanguage()
{
    LANGID language = GetUserDefaultUILanguage();
    const char* expected = getenv("DORMITY_UI_LANGUAGE");
    if (expected) {
        EXPECT_EQ(language, strtoul(expected, nullptr, 16)) << "Wine's UI language";
    }
    return language;
}

DWORD reportedPlatformFlags()
{
    OSVERSIONINFOA version = reportedVersion();
    return platformFlags(version.dwPlatformId, version.dwMajorVersion);
}

std::string requestedVersion()
{
    std::string name = moduleFileName();
    for (const char* version : {"win98", "nt40", "win2k", "winxp"}) {
        std::string suffix = std::string("_") + version + ".exe";
        if (name.size() > suffix.size()
            && _stricmp(name.c_str() + name.size() - suffix.size(), suffix.c_str()) == 0)
            return version;
    }
    return "";
}

void storeCurrentSaver(SaverFamily family, const char* path)
{
    if (family == FAMILY_95)
        setIniSaver(path);
    else if (path)
        setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE", path);
    else
        deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE");
}

bool storedCurrentSaver(SaverFamily family, std::string* value)
{
    if (family == FAMILY_95) {
        char buffer[300];
        GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "\x01missing", buffer, sizeof buffer,
                                 "system.ini");
        *value = buffer;
        return *value != "\x01missing";
    }
    std::string data;
    if (!readRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE", &data))
        return false;
    *value = data.substr(0, data.find('\0'));  // the text up to its terminator
    return true;
}

void setPolicyValue(const char* name, DWORD type, const void* data, DWORD size)
{
    const char* key = _strnicmp(name, "NoDisp", 6) == 0 ? POLICY_SYSTEM_KEY : POLICY_DESKTOP_KEY;
    setRegValue(HKEY_CURRENT_USER, key, name, type, data, size);
}

void removePolicies()
{
    deleteRegTree(HKEY_CURRENT_USER, POLICY_DESKTOP_KEY);
    for (const char* name : {"NoDispScrSavPage", "NoDispCPL"})
        deleteRegValue(HKEY_CURRENT_USER, POLICY_SYSTEM_KEY, name);
}

void resetScreenSaverSettings()
{
    for (const char* name : {"SCRNSAVE.EXE", "ScreenSaveUsePassword", "ScreenSave_Data",
                             "ScreenSaverIsSecure"})
        deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, name);
    setIniSaver(nullptr);
    removePolicies();
}

// --- Saved registry keys: texts kept as UTF-16, exactly as the registry stores them.

namespace {

using Node = SavedRegistryKey::Node;
using Value = SavedRegistryKey::Value;

// The key and every subkey below it, parents first; false when unreadable.
bool readTree(HKEY root, const std::wstring& path, std::vector<Node>* nodes)
{
    UniqueRegKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    Node node{path, {}};
    std::vector<WCHAR> name(32768);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size()), type = 0, size = 0;
        LONG result = RegEnumValueW(key.get(), index, name.data(), &length, nullptr, &type,
                                    nullptr, &size);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        Value value{std::wstring(name.data(), length), type, std::vector<unsigned char>(size + 2)};
        length = static_cast<DWORD>(name.size());
        if (result != ERROR_SUCCESS
            || RegEnumValueW(key.get(), index, name.data(), &length, nullptr, &type,
                             value.data.data(), &size) != ERROR_SUCCESS)
            return false;
        value.data.resize(size);
        node.values.push_back(value);
    }
    nodes->push_back(node);
    for (DWORD index = 0;; ++index) {
        WCHAR child[256];
        DWORD length = 256;
        LONG result = RegEnumKeyExW(key.get(), index, child, &length, nullptr, nullptr, nullptr,
                                    nullptr);
        if (result == ERROR_NO_MORE_ITEMS)
            return true;
        if (result != ERROR_SUCCESS
            || !readTree(root, path + L"\\" + std::wstring(child, length), nodes))
            return false;
    }
}

void deleteTree(HKEY root, const std::wstring& path)
{
    std::vector<Node> nodes;
    readTree(root, path, &nodes);
    for (size_t i = nodes.size(); i-- > 0;)  // children first
        RegDeleteKeyW(root, nodes[i].path.c_str());
}

bool keyMissing(HKEY root, const std::wstring& path)
{
    UniqueRegKey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_FILE_NOT_FOUND;
}

std::wstring wide(const char* text)
{
    std::wstring out;
    for (; *text; ++text)
        out.push_back(static_cast<unsigned char>(*text));
    return out;
}

} // namespace

void deleteRegTree(HKEY root, const char* key)
{
    deleteTree(root, wide(key));
}

SavedRegistryKey::SavedRegistryKey(HKEY root, const char* path) : root_(root), path_(wide(path))
{
    existed_ = !keyMissing(root_, path_);
    readable_ = !existed_ || readTree(root_, path_, &nodes_);
    EXPECT_TRUE(readable_) << "cannot save the registry key " << path;
}

SavedRegistryKey::~SavedRegistryKey()
{
    if (readable_ && !matchesRegistry()) {
        EXPECT_TRUE(restore()) << "a registry key could not be put back";
    }
}

bool SavedRegistryKey::removeFromRegistry()
{
    if (readable_)
        deleteTree(root_, path_);
    return readable_ && keyMissing(root_, path_);
}

bool SavedRegistryKey::restore()
{
    if (!readable_)
        return false;
    deleteTree(root_, path_);
    for (const Node& node : nodes_) {
        UniqueRegKey key;
        RegCreateKeyExW(root_, node.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                        nullptr);
        for (const Value& value : node.values)
            RegSetValueExW(key.get(), value.name.c_str(), 0, value.type,
                           value.data.empty() ? nullptr : value.data.data(),
                           static_cast<DWORD>(value.data.size()));
    }
    return matchesRegistry();
}

bool SavedRegistryKey::matchesRegistry() const
{
    std::vector<Node> now;
    return existed_ ? readTree(root_, path_, &now) && now == nodes_ : keyMissing(root_, path_);
}

const SystemWinmm& systemWinmm()
{
    static SystemWinmm winmm;
    if (!winmm.module) {
        winmm.module = LoadLibraryA((systemDirectory() + "\\winmm.dll").c_str());
        EXPECT_NE(winmm.module, static_cast<HMODULE>(nullptr)) << "no winmm.dll in the system";
        winmm.playSound = winmm.module
            ? findFunction<decltype(&PlaySoundA)>(winmm.module, "PlaySoundA") : nullptr;
    }
    return winmm;
}

bool commandLineHas(const char* flag)
{
    const char* found = strstr(GetCommandLineA(), flag);
    char after = found ? found[strlen(flag)] : 'x';
    return after == '\0' || after == ' ' || after == '"' || after == '=';
}

uint64_t SeededRandom::next()
{
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::vector<unsigned char> SeededRandom::bytes(size_t count)
{
    std::vector<unsigned char> out(count);
    for (unsigned char& byte : out)
        byte = static_cast<unsigned char>(next());
    return out;
}

uint64_t chooseSeed(const char* environmentName)
{
    const char* text = getenv(environmentName);
    const char* argument = strstr(GetCommandLineA(), "--seed=");
    if (argument)
        text = argument + strlen("--seed=");
    uint64_t seed = 20000719;
    if (text && _strnicmp(text, "random", 6) == 0)
        seed = (static_cast<uint64_t>(GetTickCount()) << 20) ^ GetCurrentProcessId();
    else if (text && *text)
        seed = _strtoui64(text, nullptr, 10);
    unsigned long long shown = seed;
    printf("[ seed     ] %llu  (repeat with %s=%llu or --seed=%llu)\n", shown, environmentName,
           shown, shown);
    fflush(stdout);
    return seed;
}

TextBeforeGuardPage::TextBeforeGuardPage(const char* text)
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize, length = strlen(text) + 1;
    pages_ = VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    DWORD previous = 0;
    char* base = static_cast<char*>(pages_);
    VirtualProtect(base + page, page, PAGE_NOACCESS, &previous);
    memcpy(base + page - length, text, length);
    text_ = base + page - length;
}

TextBeforeGuardPage::~TextBeforeGuardPage()
{
    VirtualFree(pages_, 0, MEM_RELEASE);
}
