#include "support/processes.h"

#include <gtest/gtest.h>
#include <string.h>

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

ChildProcess::~ChildProcess()
{
    if (running())
        TerminateProcess(handle.get(), 1);
    if (handle)
        WaitForSingleObject(handle.get(), 5000);
}

bool ChildProcess::start(const std::string& program, const std::string& arguments,
                         const std::string& directory, const char* desktop)
{
    std::string command = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = const_cast<char*>(desktop);
    PROCESS_INFORMATION info;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &info))
        return false;
    CloseHandle(info.hThread);
    handle.reset(info.hProcess);
    id = info.dwProcessId;
    return true;
}

DWORD ChildProcess::waitExit(DWORD timeoutMs) const
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(handle.get(), timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(handle.get(), &code);
    return code;
}

namespace {

struct WindowSearch {
    const char* className;
    DWORD processId;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK collectWindows(HWND window, LPARAM lParam)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    char name[64];
    GetClassNameA(window, name, sizeof name);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if ((!search->className || strcmp(name, search->className) == 0)
        && (!search->processId || owner == search->processId)
        && (!search->visibleOnly || IsWindowVisible(window)))
        search->found.push_back(window);
    return TRUE;
}

} // namespace

std::vector<HWND> windowsOfClass(const char* className, DWORD processId, bool visibleOnly)
{
    WindowSearch search{className, processId, visibleOnly, {}};
    EnumWindows(collectWindows, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND ownDialog(const char* caption, bool visibleOnly, DWORD processId)
{
    // By FindWindowEx: asking a window of another thread for its text would
    // wait for that thread, which may be waiting for this one.
    HWND box = nullptr;
    while ((box = FindWindowExA(nullptr, box, "#32770", caption)) != nullptr) {
        DWORD process = 0;
        GetWindowThreadProcessId(box, &process);
        if (process == processId && (!visibleOnly || IsWindowVisible(box)))
            return box;
    }
    return nullptr;
}

HWND waitForWindow(DWORD processId, DWORD timeoutMs)
{
    std::vector<HWND> windows;
    pumpUntil([&] { return !(windows = dormityWindows(processId)).empty(); }, timeoutMs);
    return windows.empty() ? nullptr : windows[0];
}

DWORD sharedWindowValue()
{
    UniqueKernelObject mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, "DormityMem"));
    UniqueView view(mapping ? MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 4) : nullptr);
    return view ? *static_cast<const DWORD*>(view.get()) : 0;
}

namespace {

HANDLE testJob()
{
    static UniqueKernelObject job;
    if (!job) {
        job.reset(CreateJobObjectA(nullptr, nullptr));
        if (!job || !AssignProcessToJobObject(job.get(), GetCurrentProcess()))
            ADD_FAILURE() << "the test cannot follow the processes it starts";
    }
    return job.get();
}

JOBOBJECT_BASIC_ACCOUNTING_INFORMATION jobAccounting()
{
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
    QueryInformationJobObject(testJob(), JobObjectBasicAccountingInformation, &info, sizeof info,
                              nullptr);
    return info;
}

DWORD processCountBase = 1;  // the test itself

} // namespace

DWORD processesStarted() { return jobAccounting().TotalProcesses - processCountBase; }
void restartProcessCount() { processCountBase = jobAccounting().TotalProcesses; }
DWORD processesRunning() { return jobAccounting().ActiveProcesses - 1; }

bool waitForStartedProcesses(DWORD timeoutMs)
{
    return pumpUntil([] { return processesRunning() == 0; }, timeoutMs);
}

namespace {

// Hands every message to the object stored with the window.
template <typename Owner>
LRESULT CALLBACK ownedProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Owner* self = reinterpret_cast<Owner*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && self->handle(message, wParam, lParam))
        return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

// A window of a class of its own for the object.
template <typename Owner>
HWND ownedWindow(Owner* owner, const char* className, DWORD style, int x, int y, int w, int h)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ownedProcedure<Owner>;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);  // already registered by an earlier test: fine
    HWND window = CreateWindowExA(0, className, className, style, x, y, w, h, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    EXPECT_NE(window, static_cast<HWND>(nullptr));
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    return window;
}

} // namespace

BroadcastCounter::BroadcastCounter()
{
    window_ = ownedWindow(this, "DormityTestBroadcastCounter", WS_POPUP, 0, 0, 1, 1);
}

bool BroadcastCounter::handle(UINT message, WPARAM, LPARAM)
{
    count_ += message == WM_SETTINGCHANGE;
    return false;
}

CommandSink& CommandSink::instance()
{
    static CommandSink sink;
    return sink;
}

CommandSink::CommandSink()
{
    window = ownedWindow(this, "DormityTestCommandSink", WS_POPUP | WS_VISIBLE, 300, 300, 120, 60);
}

bool CommandSink::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_SYSCOMMAND)
        return false;
    screenSaves += (wParam & 0xFFF0) == SC_SCREENSAVE;
    sent += InSendMessage() != FALSE;
    lastWParam = wParam;
    lastLParam = lParam;
    return true;
}

void CommandSink::takeForeground()
{
    SetForegroundWindow(window);
    pumpMessages();
    screenSaves = sent = 0;
    lastWParam = 0;
    lastLParam = -1;
}

bool announceFromAnotherProgram(bool active)
{
    std::string control = moduleDirectory() + "\\dormity_ctl.exe";
    if (!fileExists(control))
        control = moduleDirectory() + "\\..\\dormity_ctl.exe";
    ChildProcess other;
    if (!other.start(control, active ? "announce on" : "announce off"))
        return false;
    pumpUntil([&] { return !other.running(); }, 20000);
    return other.waitExit(0) == 0;
}
