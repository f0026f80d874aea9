// Helpers for tests that run against the real Win32 of the Wine prefix.
#pragma once
#include <windows.h>

#include <string>

struct Application;

std::string windowsDirectory();
std::string systemDirectory();
std::string shortPath(const std::string& path);
std::string moduleDirectory();
std::string moduleFileName();

// A fresh, empty directory under the prefix's temporary directory.
std::string freshTempDirectory(const char* name);
void writeFileBytes(const std::string& path, const void* data, size_t size);
std::string readFileBytes(const std::string& path);
bool fileExists(const std::string& path);

// Registry, creating keys as needed.
void setRegValue(HKEY root, const char* key, const char* name, DWORD type, const void* data,
                 DWORD size);
void setRegString(HKEY root, const char* key, const char* name, const char* text);
void setRegDword(HKEY root, const char* key, const char* name, DWORD value);
void deleteRegValue(HKEY root, const char* key, const char* name);
void deleteRegTree(HKEY root, const char* key);
// False when the value is missing.
bool readRegValue(HKEY root, const char* key, const char* name, std::string* data,
                  DWORD* type = nullptr);

// system.ini's [boot] SCRNSAVE.EXE as the 95 family keeps it.
void setIniSaver(const char* value);  // null removes the key
bool iniSaverPresent();

// Handles every message already queued for this thread.
void pumpMessages();
// Keeps pumping until predicate holds or timeoutMs passes.
template <typename Predicate>
bool pumpUntil(Predicate predicate, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        pumpMessages();
        if (predicate())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// The flags the program derives from what the system reports.
DWORD reportedPlatformFlags();
// The family this test executable was started for, from its file name
// ("..._win98.exe" and so on); "" for the default.
std::string requestedVersion();

// Whether icon shows the same pixels as the program's icon resource id at
// 16x16.
bool iconShows(HICON icon, int resourceId);

// Whether a timer with this id runs on the window: SetTimer with a known id
// replaces the running one, so the check kills and restores it.
bool timerRuns(HWND window, UINT_PTR id, UINT periodMs);

// Whether the process can still create GDI and user objects.
bool resourcesStillAvailable();

// The whole registry and ini state that settings tests touch, reset.
void resetScreenSaverSettings();

#define DESKTOP_KEY "Control Panel\\Desktop"
