#include "application.h"

#include <new>
#include <string.h>

#include "error_log.h"
#include "../base/handles.h"
#include "../base/text.h"
#include "../base/ui_text.h"
#include "../res/string_ids.h"
#include "start_command.h"
#include "../commands/keep_off.h"
#include "tray_window.h"
#include "user_language.h"

namespace {

bool handlingOutOfMemory = false;
// Whether the error to show as the program ends is the lack of memory,
// which the box then tells in the language spoken (the log keeps English).
bool outOfMemoryLogged = false;

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
    outOfMemoryLogged = true;
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
    outOfMemoryLogged = false;
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

// A later start waits this long for the running Dormity's answer; a
// settings broadcast to a slow window can take it a while.
const DWORD kHandOverTimeoutMs = 20000;

void waitForWindowProcess(HWND window, DWORD patienceMs)
{
    DWORD processId = 0;
    if (!window || !GetWindowThreadProcessId(window, &processId))
        return;
    UniqueKernelObject process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (process)
        WaitForSingleObject(process.get(), patienceMs);
}

// Launch brings the running Dormity's window to the front first, as the
// menu does; Windows lets it only where this start, just started by the
// user, allows it. Windows 98 and 2000 on, looked up at run time.
void allowToTheFront(HWND window)
{
    typedef BOOL(WINAPI * AllowFunction)(DWORD);
    AllowFunction allow =
        findLoadedFunction<AllowFunction>("user32.dll", "AllowSetForegroundWindow");
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (allow && process)
        allow(process);
}

// A later start: hands its switch to the running Dormity's window and says
// how it went. Without a switch the running one puts its icon back.
ExitCode handOver(const StartCommand& command)
{
    ExitCode notReached = command.kind == START_NONE ? EXIT_DONE : EXIT_NOT_HANDED_OVER;
    UniqueKernelObject mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr,
                                                  PAGE_READWRITE | SEC_COMMIT, 0, sizeof(DWORD),
                                                  DORMITY_MAPPING_NAME));
    if (!mapping)
        return notReached;
    UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view)
        return notReached;
    const volatile DWORD* shared = static_cast<const volatile DWORD*>(view.get());
    if (command.kind == START_NONE) {
        PostMessageA(windowFromShared(*shared), WM_REINSTALL, 0, 0);
        return EXIT_DONE;
    }
    // A switch is not to be lost while the first one is still starting up
    // (its handle not yet published); a few seconds at most.
    for (int tries = 0; *shared == 0 && tries < 50; ++tries)
        Sleep(100);
    HWND window = windowFromShared(*shared);
    if (!window)
        return EXIT_NOT_HANDED_OVER;
    if (command.kind == START_LAUNCH)
        allowToTheFront(window);
    COPYDATASTRUCT data;
    data.dwData = START_REQUEST_TAG;
    data.cbData = sizeof command;
    data.lpData = const_cast<StartCommand*>(&command);
    // Sent, not posted, to hear the answer. Fails where the message is
    // dropped: a running Dormity with higher rights that does not let it in.
    DWORD_PTR answer = START_UNANSWERED;
    if (!SendMessageTimeoutA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                             SMTO_ABORTIFHUNG, kHandOverTimeoutMs, &answer))
        return EXIT_NOT_HANDED_OVER;
    // Installers end Dormity so before they replace or remove its file:
    // /exit returns once the running one has gone, or after ten seconds.
    if (command.kind == START_EXIT)
        waitForWindowProcess(window, 10000);
    return exitCodeOfAnswer(static_cast<LRESULT>(answer));
}

// Whether this process's window station is one the user sees; NT only
// (Windows 95 has one station), looked up at run time. The handle is the
// process's own and is not closed.
bool stationSeen()
{
    typedef HWINSTA(WINAPI * StationFunction)(void);
    typedef BOOL(WINAPI * InformationFunction)(HANDLE, int, PVOID, DWORD, LPDWORD);
    StationFunction station =
        findLoadedFunction<StationFunction>("user32.dll", "GetProcessWindowStation");
    InformationFunction information =
        findLoadedFunction<InformationFunction>("user32.dll", "GetUserObjectInformationA");
    HWINSTA handle = station ? station() : nullptr;
    USEROBJECTFLAGS flags;
    memset(&flags, 0, sizeof flags);
    DWORD needed = 0;
    bool read = handle && information
        && information(handle, UOI_FLAGS, &flags, sizeof flags, &needed);
    return stationIsInteractive(read, flags.dwFlags);
}

// Where nobody would see a box: the text on the console of the program that
// started this one, when it has one (AttachConsole: Windows XP on, looked up
// at run time), as the box would read it.
void writeToParentConsole(const WCHAR* text)
{
    typedef BOOL(WINAPI * AttachFunction)(DWORD);
    typedef BOOL(WINAPI * WriteFunction)(HANDLE, const void*, DWORD, LPDWORD, LPVOID);
    AttachFunction attach = findLoadedFunction<AttachFunction>("kernel32.dll", "AttachConsole");
    WriteFunction write = findLoadedFunction<WriteFunction>("kernel32.dll", "WriteConsoleW");
    // Denied where this process has a console already (Wine gives a GUI
    // program its parent's): that one is written to.
    if (!attach || !write
        || (!attach(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED))
        return;
    UniqueFile console(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                   nullptr));
    // Wide, so that the console's own code page cannot change a letter.
    if (!console)
        return;
    DWORD written = 0;
    write(console.get(), L"\r\n", 2, &written, nullptr);
    write(console.get(), text, static_cast<DWORD>(textLength(text)), &written, nullptr);
    write(console.get(), L"\r\n", 2, &written, nullptr);
}

// False only for a process id (a program's name is looked for by the one
// that runs) of no running process.
bool processIdRuns(const char* program)
{
    KeepOffRule rule;
    DWORD processId = 0;
    if (readSwitchProgram(program, &rule, &processId) != SWITCH_PROGRAM_ID)
        return true;
    UniqueKernelObject process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    return process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

// The switches, in a box, or on the console where a box would not be seen.
void showUsage(bool seen)
{
    const WCHAR* usage = uiText(IDS_USAGE);
    if (seen)
        showMessage(nullptr, usage, L"Dormity", MB_OK | MB_ICONWARNING);
    else
        writeToParentConsole(usage);
}

// The lead bytes of the ANSI code page's double-byte characters, for the
// command line's split.
void systemLeadBytes(BYTE (&leadBytes)[MAX_LEADBYTES])
{
    CPINFO info;
    memset(leadBytes, 0, sizeof leadBytes);
    if (GetCPInfo(CP_ACP, &info))
        memcpy(leadBytes, info.LeadByte, sizeof leadBytes);
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
    // The text is missing only when even its allocation failed; the texts
    // of the language need none.
    if (outOfMemoryLogged || !app.errorText) {
        WCHAR text[512];
        formatText(text, sizeof text / sizeof text[0], L"%s\n\n%s", uiText(IDS_OUT_OF_MEMORY),
                   uiText(IDS_OUT_OF_MEMORY_DETAIL));
        showMessage(nullptr, text, L"Dormity", MB_OK | MB_ICONERROR);
        return;
    }
    // Any other error is the log's own English account of it.
    MessageBoxA(nullptr, app.errorText, "Dormity", MB_OK | MB_ICONERROR);
}

} // namespace

int runDormity(HINSTANCE instance, const char* commandLine)
{
    // Decided once here, and again only when the user's language changes.
    speakUserLanguage();
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program)
        program[0] = '\0';
    BYTE leadBytes[MAX_LEADBYTES];
    systemLeadBytes(leadBytes);
    StartCommand command =
        parseStartCommand(commandLineArguments(commandLine, program), leadBytes);
    bool seen = stationSeen();
    // A process id that names no running process is as bad a value as one
    // out of range.
    if (command.kind == START_DISABLE_WHILE && !processIdRuns(command.text))
        command.kind = START_INVALID;
    // A switch not understood changes nothing, whether or not one runs.
    if (command.kind == START_INVALID) {
        showUsage(seen);
        return EXIT_USAGE;
    }

    // The handle stays open, unstored, until the process ends: its existence
    // is what tells a later instance that this one runs.
    CreateMutexA(nullptr, FALSE, DORMITY_MUTEX_NAME);
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        return handOver(command);
    // Nothing runs that could be ended.
    if (command.kind == START_EXIT)
        return EXIT_DONE;
    // Nobody would see its icon or its boxes, nor end it.
    if (!seen)
        return EXIT_NOT_INTERACTIVE;

    Application* app = static_cast<Application*>(allocateBlock(sizeof(Application)));
    if (!app)
        return EXIT_DONE;
    new (app) Application(instance);

    publishWindow(*app);
    ExitCode code = EXIT_DONE;
    if (command.kind != START_NONE && app->trayWindow) {
        code = exitCodeOfAnswer(runStartCommand(*app, *app->trayWindow, command));
        // Refused: this start changes nothing, and ends; but one whose switch
        // the policy holds runs on as a plain start would (a Run entry with a
        // switch keeps its icon on a managed PC).
        if (code != EXIT_DONE && !switchHeldByPolicy(*app->trayWindow, command.kind))
            app->flags |= APP_QUIT;
    }

    while (!(app->flags & APP_QUIT)) {
        if (app->trayWindow)
            app->trayWindow->pumpMessage();
        else
            break;
    }

    showPendingError(*app);
    app->~Application();
    freeBlock(app);
    return code;
}
