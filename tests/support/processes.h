// Processes and windows: starting, counting and finding them, waiting with a deadline.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "base/handles.h"
#include "support/system.h"

// Handles every message already queued for this thread.
void pumpMessages();
// Pumps until predicate holds (true) or timeoutMs passes (false).
template <typename Predicate>
bool pumpUntil(Predicate predicate, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount();;) {
        pumpMessages();
        if (predicate())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// A started program, ended by force if still running when dropped.
struct ChildProcess {
    UniqueKernelObject handle;
    DWORD id = 0;
    ChildProcess() = default;
    ChildProcess(ChildProcess&& other) noexcept : handle(other.handle.release()), id(other.id) {}
    ~ChildProcess();
    // "program" arguments, in directory (the test's own for ""), on desktop (null: this one's).
    bool start(const std::string& program, const std::string& arguments = "",
               const std::string& directory = "", const char* desktop = nullptr);
    bool running() const { return handle && WaitForSingleObject(handle.get(), 0) == WAIT_TIMEOUT; }
    // The exit code once ended within timeoutMs, else STILL_ACTIVE.
    DWORD waitExit(DWORD timeoutMs) const;
};

// The program under test, built beside the tests.
inline std::string dormityExe() { return moduleDirectory() + "\\Dormity.exe"; }
// Another program with a window sets the screen saver flag and announces it
// (tests/fixtures/dormity_ctl, in the build directory or one up), while this
// thread handles the broadcast. True when it did.
bool announceFromAnotherProgram(bool active);
// Top-level windows of a class, of one process (any for null or 0).
std::vector<HWND> windowsOfClass(const char* className, DWORD processId = 0,
                                 bool visibleOnly = false);
inline std::vector<HWND> dormityWindows(DWORD processId = 0)
{
    return windowsOfClass("DORMITY", processId);
}
HWND waitForWindow(DWORD processId, DWORD timeoutMs = 20000);
// The window handle the program published in "DormityMem" (0: none).
DWORD sharedWindowValue();

// Started processes join one job: counted the moment the call returns, from restartProcessCount().
DWORD processesStarted();
void restartProcessCount();
DWORD processesRunning();
// Waits until only the test itself is left.
bool waitForStartedProcesses(DWORD timeoutMs);

// A window's text, and whether it is laid out right to left.
inline std::wstring windowText(HWND window)
{
    WCHAR text[2048] = L"";
    return GetWindowTextW(window, text, 2048), text;
}
inline bool mirrored(HWND window)
{
    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
}
// A dialog box of the process (this one by default) with the caption (any for null).
HWND ownDialog(const char* caption, bool visibleOnly = false,
               DWORD processId = GetCurrentProcessId());
inline int visibleWindowsOfThisProcess()
{
    return static_cast<int>(windowsOfClass(nullptr, GetCurrentProcessId(), true).size());
}

// A hidden window of the test that counts the settings-change broadcasts reaching it.
class BroadcastCounter {
public:
    BroadcastCounter();
    ~BroadcastCounter() { DestroyWindow(window_); }
    BroadcastCounter(const BroadcastCounter&) = delete;
    BroadcastCounter& operator=(const BroadcastCounter&) = delete;
    int count() const { return count_; }
    void reset() { count_ = 0; }
    bool handle(UINT message, WPARAM wParam, LPARAM lParam);

private:
    HWND window_ = nullptr;
    int count_ = 0;
};

// A visible window noting the system commands it gets; one for the whole run, as
// without a window manager Wine waits two seconds for each visible one that goes.
class CommandSink {
public:
    static CommandSink& instance();
    // Makes it the foreground window and forgets what it got.
    void takeForeground();
    HWND window = nullptr;
    int screenSaves = 0;
    int sent = 0;
    WPARAM lastWParam = 0;
    LPARAM lastLParam = -1;
    bool handle(UINT message, WPARAM wParam, LPARAM lParam);

private:
    CommandSink();
};
