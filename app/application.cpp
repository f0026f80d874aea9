#include "application.h"

#include <new>

#include "error_log.h"
#include "../base/handles.h"
#include "tray_window.h"

namespace {

bool handlingOutOfMemory = false;

const char kOutOfMemoryWhat[] = "Out of Memory";
const char kOutOfMemoryDetail[] =
    "There is not enough memory left to perform this operation.  "
    "Please close some applications and try again.";

} // namespace

void* onOutOfMemory(size_t)
{
    // logError allocates the box text itself; if that fails too we are
    // called again and must not log (and allocate) once more.
    if (handlingOutOfMemory)
        return nullptr;
    handlingOutOfMemory = true;
    logError(kOutOfMemoryWhat, kOutOfMemoryDetail);
    handlingOutOfMemory = false;
    return nullptr;
}

SaverFamily familyFromFlags(DWORD flags)
{
    return (flags & APP_WIN9X) ? FAMILY_95 : FAMILY_NT;
}

DWORD platformFlags(DWORD platformId, DWORD majorVersion)
{
    if (platformId == VER_PLATFORM_WIN32_WINDOWS)
        return APP_WIN9X;
    if (majorVersion >= 5)
        return APP_WIN2K;
    return 0;
}

DWORD windowToShared(HWND window)
{
    return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window));
}

HWND windowFromShared(DWORD value)
{
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(value));
}

Application::Application(HINSTANCE instance)
    : instance(instance), flags(0), errorText(nullptr), sharedMemory(nullptr), trayWindow(nullptr)
{
    setErrorLogApplication(this);
    setOutOfMemoryHook(onOutOfMemory);
    TrayWindow* window = new TrayWindow(*this);
    trayWindow = window;
}

Application::~Application()
{
    if (sharedMemory) {
        CloseHandle(sharedMemory);
        sharedMemory = nullptr;
    }
    if (trayWindow) {
        delete trayWindow;
        trayWindow = nullptr;
    }
    freeBlock(errorText);
    errorText = nullptr;
    setErrorLogApplication(nullptr);
}

namespace {

// A second instance: pokes the first one's window and leaves.
void reinstallFirstInstance()
{
    UniqueKernelObject mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr,
                                                  PAGE_READWRITE | SEC_COMMIT, 0, sizeof(DWORD),
                                                  DORMITY_MAPPING_NAME));
    if (!mapping)
        return;
    UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view)
        return;
    DWORD shared = *static_cast<const volatile DWORD*>(view.get());
    PostMessageA(windowFromShared(shared), WM_REINSTALL, 0, 0);
}

void publishWindow(Application& app)
{
    app.sharedMemory = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT,
                                          0, sizeof(DWORD), DORMITY_MAPPING_NAME);
    if (!app.sharedMemory)
        return;
    UniqueView view(MapViewOfFile(app.sharedMemory, FILE_MAP_WRITE, 0, 0, 0));
    if (view && app.trayWindow)
        *static_cast<volatile DWORD*>(const_cast<void*>(view.get())) =
            windowToShared(app.trayWindow->window);
}

void showPendingError(const Application& app)
{
    if (!(app.flags & APP_ERROR))
        return;
    // The text is missing only when even its allocation failed.
    char fallback[256];
    const char* text = app.errorText;
    if (!text) {
        formatErrorBoxText(fallback, sizeof fallback, kOutOfMemoryWhat, kOutOfMemoryDetail);
        text = fallback;
    }
    MessageBoxA(nullptr, text, "Dormity", MB_OK | MB_ICONERROR);
}

} // namespace

int runDormity(HINSTANCE instance)
{
    // The handle stays open, unstored, until the process ends: its existence
    // is what tells a later instance that this one runs.
    CreateMutexA(nullptr, FALSE, DORMITY_MUTEX_NAME);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        reinstallFirstInstance();
        return 0;
    }

    Application* app = static_cast<Application*>(allocateBlock(sizeof(Application)));
    if (!app)
        return 0;
    new (app) Application(instance);

    publishWindow(*app);

    while (!(app->flags & APP_QUIT)) {
        if (app->trayWindow)
            app->trayWindow->pumpMessage();
        else
            break;
    }

    showPendingError(*app);
    app->~Application();
    freeBlock(app);
    return 0;
}
