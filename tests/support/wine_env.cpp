#include "wine_env.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <vector>

#include "app/application.h"
#include "app/handles.h"
#include "saverconfig/saver_settings.h"

std::string windowsDirectory()
{
    char buffer[MAX_PATH];
    GetWindowsDirectoryA(buffer, sizeof buffer);
    return buffer;
}

std::string systemDirectory()
{
    char buffer[MAX_PATH];
    GetSystemDirectoryA(buffer, sizeof buffer);
    return buffer;
}

std::string shortPath(const std::string& path)
{
    char buffer[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer)
        return path;
    return buffer;
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

namespace {

void removeTree(const std::string& directory)
{
    WIN32_FIND_DATAA found;
    UniqueFind search(FindFirstFileA((directory + "\\*").c_str(), &found));
    if (search) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = directory + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search.get(), &found));
    }
    SetFileAttributesA(directory.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(directory.c_str());
}

} // namespace

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
    if (!file)
        return std::string();
    std::string data;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        data.append(buffer, read);
    return data;
}

bool fileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void setRegValue(HKEY root, const char* key, const char* name, DWORD type, const void* data,
                 DWORD size)
{
    UniqueRegKey handle;
    ASSERT_EQ(RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, handle.put(),
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(handle.get(), name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
}

void setRegString(HKEY root, const char* key, const char* name, const char* text)
{
    setRegValue(root, key, name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

void setRegDword(HKEY root, const char* key, const char* name, DWORD value)
{
    setRegValue(root, key, name, REG_DWORD, &value, sizeof value);
}

void deleteRegValue(HKEY root, const char* key, const char* name)
{
    UniqueRegKey handle;
    if (RegOpenKeyExA(root, key, 0, KEY_ALL_ACCESS, handle.put()) == ERROR_SUCCESS)
        RegDeleteValueA(handle.get(), name);
}

void deleteRegTree(HKEY root, const char* key)
{
    UniqueRegKey handle;
    if (RegOpenKeyExA(root, key, 0, KEY_ALL_ACCESS, handle.put()) != ERROR_SUCCESS)
        return;
    for (;;) {
        char child[256];
        DWORD size = sizeof child;
        if (RegEnumKeyExA(handle.get(), 0, child, &size, nullptr, nullptr, nullptr, nullptr)
            != ERROR_SUCCESS)
            break;
        std::string path = std::string(key) + "\\" + child;
        deleteRegTree(root, path.c_str());
    }
    handle.reset();
    RegDeleteKeyA(root, key);
}

bool readRegValue(HKEY root, const char* key, const char* name, std::string* data, DWORD* type)
{
    UniqueRegKey handle;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, handle.put()) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    DWORD valueType = 0;
    if (RegQueryValueExA(handle.get(), name, nullptr, &valueType, nullptr, &size) != ERROR_SUCCESS)
        return false;
    std::vector<char> buffer(size + 1);
    if (RegQueryValueExA(handle.get(), name, nullptr, &valueType,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
        return false;
    if (data)
        data->assign(buffer.data(), size);
    if (type)
        *type = valueType;
    return true;
}

void setIniSaver(const char* value)
{
    WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", value, "system.ini");
}

bool iniSaverPresent()
{
    char buffer[300];
    GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "\x01missing", buffer, sizeof buffer,
                             "system.ini");
    return strcmp(buffer, "\x01missing") != 0;
}

void pumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

DWORD reportedPlatformFlags()
{
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    return platformFlags(version.dwPlatformId, version.dwMajorVersion);
}

std::string requestedVersion()
{
    std::string name = moduleFileName();
    name = name.substr(name.find_last_of('\\') + 1);
    static const char* const versions[] = {"win98", "nt40", "win2k", "winxp"};
    for (const char* version : versions) {
        std::string suffix = std::string("_") + version + ".exe";
        if (name.size() > suffix.size()
            && _stricmp(name.c_str() + name.size() - suffix.size(), suffix.c_str()) == 0)
            return version;
    }
    return "";
}

namespace {

std::vector<unsigned char> iconPixels(HICON icon)
{
    std::vector<unsigned char> pixels;
    ICONINFO info;
    if (!icon || !GetIconInfo(icon, &info))
        return pixels;
    UniqueGdiObject color(info.hbmColor);
    UniqueGdiObject mask(info.hbmMask);
    BITMAPINFO bitmap;
    memset(&bitmap, 0, sizeof bitmap);
    bitmap.bmiHeader.biSize = sizeof bitmap.bmiHeader;
    bitmap.bmiHeader.biWidth = 16;
    bitmap.bmiHeader.biHeight = 16;
    bitmap.bmiHeader.biPlanes = 1;
    bitmap.bmiHeader.biBitCount = 32;
    bitmap.bmiHeader.biCompression = BI_RGB;
    pixels.resize(16 * 16 * 4 * 2);
    HDC screen = GetDC(nullptr);
    if (color)
        GetDIBits(screen, static_cast<HBITMAP>(color.get()), 0, 16, pixels.data(), &bitmap,
                  DIB_RGB_COLORS);
    GetDIBits(screen, static_cast<HBITMAP>(mask.get()), 0, 16, pixels.data() + 16 * 16 * 4,
              &bitmap, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return pixels;
}

} // namespace

bool iconShows(HICON icon, int resourceId)
{
    UniqueIcon expected(static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr),
                                                      MAKEINTRESOURCEA(resourceId), IMAGE_ICON,
                                                      16, 16, LR_DEFAULTCOLOR)));
    std::vector<unsigned char> actual = iconPixels(icon);
    return !actual.empty() && actual == iconPixels(expected.get());
}

bool timerRuns(HWND window, UINT_PTR id, UINT periodMs)
{
    if (!KillTimer(window, id))
        return false;
    SetTimer(window, id, periodMs, nullptr);
    return true;
}

bool resourcesStillAvailable()
{
    UniqueIcon icon(static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(104),
                                                  IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
    LOGFONTA font;
    memset(&font, 0, sizeof font);
    font.lfHeight = -11;
    lstrcpyA(font.lfFaceName, "Tahoma");
    UniqueGdiObject created(CreateFontIndirectA(&font));
    HMENU menu = CreatePopupMenu();
    bool appended = menu && AppendMenuA(menu, MF_STRING, 1, "x");
    if (menu)
        DestroyMenu(menu);
    return icon && created && appended;
}

void resetScreenSaverSettings()
{
    deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE");
    deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword");
    deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data");
    deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure");
    setIniSaver(nullptr);
}
