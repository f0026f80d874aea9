// The process-wide application object and its state bits.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "../base/memory.h"
#include "../saverconfig/saver_settings.h"

struct TrayWindow;

enum : DWORD {
    APP_ERROR = 0x1,
    APP_WIN9X = 0x4,
    APP_QUIT = 0x8,
    APP_WIN2K = 0x10,
    APP_BLINK = 0x10000,
    APP_SAVER_ACTIVE = 0x20000,
};

// Names of the single-instance objects and the hidden window.
#define DORMITY_MUTEX_NAME "DORMITY"
#define DORMITY_MAPPING_NAME "DormityMem"
#define DORMITY_CLASS_NAME "DORMITY"
#define DORMITY_WINDOW_TITLE "Dormity"

struct Application {
    HINSTANCE instance;
    DWORD flags;
    char* errorText;
    HANDLE sharedMemory;
    TrayWindow* trayWindow;

    explicit Application(HINSTANCE instance);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;
};

// The allocation-failure handler of the program's object allocations: logs
// "Out of Memory" and returns null so that the allocation is not retried.
// The Application installs it as the out-of-memory hook.
void* onOutOfMemory(size_t size);

// The family every settings access uses, from the application's flags.
SaverFamily familyFromFlags(DWORD flags);

// The flags (APP_WIN9X, APP_WIN2K or neither) for a reported system version.
DWORD platformFlags(DWORD platformId, DWORD majorVersion);

// What the first instance publishes in "DormityMem" and a second one reads.
DWORD windowToShared(HWND window);
HWND windowFromShared(DWORD value);

// The whole program: its command line, the single-instance test (a later
// start hands its switch to the running one), start-up, message loop,
// shutdown. Returns an ExitCode (start_command.h).
int runDormity(HINSTANCE instance, const char* commandLine);
