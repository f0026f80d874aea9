#include "application.h"

#include <new>

#include "error_log.h"
#include "../base/handles.h"
#include "start_command.h"
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

const char kUsage[] =
    "Usage: Dormity.exe [switch]\n\n"
    "/enable: enable the screen saver\n"
    "/disable: disable it\n"
    "/disable-for MINUTES: for 1 to 1440 minutes\n"
    "/disable-until HH:MM: until then (24-hour clock)\n"
    "/launch: start the screen saver now\n"
    "/exit: end Dormity\n\n"
    "A switch may also begin with \"-\". Without one, Dormity starts, or the one "
    "already running shows its icon again.";

void waitForWindowProcess(HWND window, DWORD patienceMs)
{
    DWORD processId = 0;
    if (!window || !GetWindowThreadProcessId(window, &processId))
        return;
    UniqueKernelObject process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (process)
        WaitForSingleObject(process.get(), patienceMs);
}

// A second instance: hands its switch to the first one's window (none: the
// first puts its icon back) and leaves.
void pokeFirstInstance(const StartCommand& command)
{
    UniqueKernelObject mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr,
                                                  PAGE_READWRITE | SEC_COMMIT, 0, sizeof(DWORD),
                                                  DORMITY_MAPPING_NAME));
    if (!mapping)
        return;
    UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view)
        return;
    const volatile DWORD* shared = static_cast<const volatile DWORD*>(view.get());
    if (command.kind == START_NONE) {
        PostMessageA(windowFromShared(*shared), WM_REINSTALL, 0, 0);
        return;
    }
    // A switch is not to be lost while the first one is still starting up
    // (its handle not yet published); a few seconds at most.
    for (int tries = 0; *shared == 0 && tries < 50; ++tries)
        Sleep(100);
    HWND window = windowFromShared(*shared);
    PostMessageA(window, WM_STARTCOMMAND, command.kind, command.value);
    // Installers end Dormity so before they replace or remove its file:
    // /exit returns once the running one has gone, or after ten seconds.
    if (command.kind == START_EXIT)
        waitForWindowProcess(window, 10000);
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

int runDormity(HINSTANCE instance, const char* commandLine)
{
    // A switch not understood changes nothing, whether or not one runs.
    StartCommand command = parseStartCommand(commandLineArguments(commandLine));
    if (command.kind == START_INVALID) {
        MessageBoxA(nullptr, kUsage, "Dormity", MB_OK | MB_ICONWARNING);
        return USAGE_EXIT_CODE;
    }

    // The handle stays open, unstored, until the process ends: its existence
    // is what tells a later instance that this one runs.
    CreateMutexA(nullptr, FALSE, DORMITY_MUTEX_NAME);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        pokeFirstInstance(command);
        return 0;
    }
    // Nothing runs that could be ended.
    if (command.kind == START_EXIT)
        return 0;

    Application* app = static_cast<Application*>(allocateBlock(sizeof(Application)));
    if (!app)
        return 0;
    new (app) Application(instance);

    publishWindow(*app);
    // Run by the loop, as a switch handed over by a later start is.
    if (command.kind != START_NONE && app->trayWindow)
        PostMessageA(app->trayWindow->window, WM_STARTCOMMAND, command.kind, command.value);

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
