// The process-wide application object and its state bits.
#pragma once
#include <windows.h>
#include <stddef.h>

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
void* onOutOfMemory(size_t size);

// Allocates through the program's allocator; on failure the handler runs and
// null comes back. Used for the TrayWindow and the error text.
void* allocateObject(size_t size);

// Replaceable so that tests can make allocations fail; null restores the
// process heap (allocateBlock).
typedef void* (*Allocator)(size_t size);
void setAllocator(Allocator allocator);

// The program's memory: the process heap through kernel32, since it links
// no C runtime. Both allocations return null on failure; freeBlock takes
// what either returned (or null) back.
void* allocateBlock(size_t size);
void* allocateZeroedBlock(size_t size);
void freeBlock(void* block);

// What the first instance publishes in "DormityMem" and a second one reads.
DWORD windowToShared(HWND window);
HWND windowFromShared(DWORD value);

// The whole program: single-instance test, start-up, message loop, shutdown.
// Always returns 0.
int runDormity(HINSTANCE instance);
