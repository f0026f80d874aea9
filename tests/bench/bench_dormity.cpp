// Whole-program figures under Wine: start-up to the tray icon, menu opening
// with many screen savers installed, idle cost while enabled, and keeping it
// off while listed programs run (with --keep-off PROCESSES).
//   bench_dormity [--idle-seconds N] [--keep-off PROCESSES]
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "app/application.h"
#include "app/tray_window.h"
#include "commands/blink_preference.h"
#include "commands/keep_off.h"
#include "res/resource.h"
#include "support/pixels.h"
#include "support/processes.h"
#include "support/savers.h"

namespace {

double nowMs()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double fileTimeMs(const FILETIME& time)
{
    return static_cast<double>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32)
                               | time.dwLowDateTime) / 10000.0;
}

// Whether the shell holds this owner's icon: modifying nothing succeeds only for one that is.
bool trayIconExists(HWND owner)
{
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = owner;
    data.uID = TRAY_ICON_ID;
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

// Kernel and user time of a process, and its creation time.
double cpuMs(const ChildProcess& process, double* createdMs = nullptr)
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(process.handle.get(), &created, &exited, &kernel, &user);
    if (createdMs)
        *createdMs = fileTimeMs(created);
    return fileTimeMs(kernel) + fileTimeMs(user);
}

void measureStartup(int runs, int idleSeconds)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        ChildProcess process;
        if (!process.start(dormityExe()))
            return (void)printf("cannot start %s\n", dormityExe().c_str());
        HWND window = nullptr;
        double found = 0, created = 0;
        for (DWORD begin = GetTickCount(); found == 0 && GetTickCount() - begin < 20000; Sleep(1)) {
            window = window ? window : FindWindowA("DORMITY", "Dormity");
            FILETIME now;
            GetSystemTimeAsFileTime(&now);
            if (window && trayIconExists(window))
                found = fileTimeMs(now);
        }
        cpuMs(process, &created);
        if (found > 0)
            times.push_back(found - created);
        if (run == runs - 1 && window) {
            // Idle while enabled: no timer runs, so no CPU at all.
            double before = cpuMs(process);
            Sleep(static_cast<DWORD>(idleSeconds) * 1000);
            PROCESS_MEMORY_COUNTERS memory = memoryOf(process.handle.get());
            printf("idle while enabled:       %.1f ms CPU over %d s\n", cpuMs(process) - before,
                   idleSeconds);
            printf("private memory at idle:   %.0f KB (working set %.0f KB)\n",
                   memory.PagefileUsage / 1024.0, memory.WorkingSetSize / 1024.0);
        }
        if (window)
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
        process.waitExit(15000);
    }
    if (times.empty())
        return;
    double sum = std::accumulate(times.begin(), times.end(), 0.0);
    printf(
        "start-up to tray icon:    %.1f ms mean, %.1f ms best (%u runs, from process creation)\n",
        sum / times.size(), *std::min_element(times.begin(), times.end()),
        static_cast<unsigned>(times.size()));
}

double menuShownAt = 0, submenuAskedAt = 0;
volatile double firstItemDrawnAt = 0, firstEntryDrawnAt = 0;
HWND menuOwner = nullptr;

LRESULT CALLBACK watchMessages(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code >= 0 && message->hwnd == menuOwner && message->message == WM_DRAWITEM) {
        bool entry = reinterpret_cast<const DRAWITEMSTRUCT*>(message->lParam)->itemID >= IDM_NONE;
        volatile double& stamp = entry ? firstEntryDrawnAt : firstItemDrawnAt;
        stamp = stamp == 0 ? nowMs() : stamp;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Drives the open menu from another thread as keys would: its submenu, first entry, closed.
DWORD WINAPI driveMenu(void*)
{
    DWORD begin = GetTickCount();
    auto waitFor = [&](volatile double* stamp) {
        while (*stamp == 0 && GetTickCount() - begin < 10000)
            Sleep(1);
        return *stamp != 0;
    };
    if (waitFor(&firstItemDrawnAt)) {
        HWND menu = FindWindowA("#32768", nullptr);
        submenuAskedAt = nowMs();
        PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageA(menu, WM_KEYDOWN, VK_RIGHT, 0);
        waitFor(&firstEntryDrawnAt);
    }
    for (int i = 0; i < 3; ++i, Sleep(50))
        if (HWND menu = FindWindowA("#32768", nullptr))
            PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(menuOwner, WM_CANCELMODE, 0, 0);
    return 0;
}

void measureMenu(int savers)
{
    InstalledFiles installed("bn");
    for (int i = 0; i < savers; ++i)
        installed.copy(moduleDirectory() + "\\bench_saver.scr", i);
    Application app(GetModuleHandleA(nullptr));
    if (!app.trayWindow)
        return (void)printf("no tray window\n");
    menuOwner = app.trayWindow->window;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, watchMessages, nullptr, GetCurrentThreadId());
    UniqueKernelObject driver(CreateThread(nullptr, 0, driveMenu, nullptr, 0, nullptr));
    menuShownAt = nowMs();
    app.trayWindow->showPopupMenu();
    WaitForSingleObject(driver.get(), 15000);
    UnhookWindowsHookEx(hook);
    if (firstItemDrawnAt > 0)
        printf("menu open to first paint: %.1f ms\n", firstItemDrawnAt - menuShownAt);
    if (firstEntryDrawnAt > 0)
        printf(
            "submenu open to first paint with %d screen savers: %.1f ms (includes the rebuild)\n",
            savers, firstEntryDrawnAt - submenuAskedAt);
    else
        printf("submenu did not open (no keyboard focus for the menu?)\n");
}

// The same reading for the smallest Win32 program: Wine's own share.
void measureBaselineMemory()
{
    ChildProcess process;
    if (!process.start(moduleDirectory() + "\\bench_saver.scr", "/idle"))
        return;
    Sleep(3000);
    printf("smallest Win32 program:   %.0f KB private (Wine's own share of any process)\n",
           memoryOf(process.handle.get()).PagefileUsage / 1024.0);
    process.waitExit(15000);
}

// Milliseconds until the screen saver's flag reads active, at most timeoutMs; -1 past it.
double msUntilActive(bool active, DWORD timeoutMs)
{
    double begin = nowMs();
    bool reached = pumpUntil([active] { return isSaverActive() == active; }, timeoutMs);
    return reached ? nowMs() - begin : -1;
}

// Dormity with no program listed, then with ten listed and none of them running among that many
// idle processes, each for idleSeconds; then how soon a listed program's start and end are seen.
// Wine gives no other process's CPU time (it reads 0), so bench.sh reads Dormity's from Linux
// while a "measure:" line's seconds run.
void measureKeepOff(int processes, int idleSeconds)
{
    BroadcastCounter window;  // under Wine the flag read is the X server's: Dormity's
    SavedRegistryKey preferences(HKEY_CURRENT_USER, BLINK_KEY);
    deleteRegValue(HKEY_CURRENT_USER, BLINK_KEY, KEEP_OFF_VALUE);
    std::string player = moduleDirectory() + "\\keepoff_player.exe";
    CopyFileA((moduleDirectory() + "\\bench_saver.scr").c_str(), player.c_str(), FALSE);
    std::vector<ChildProcess> idlers(static_cast<size_t>(processes));
    double began = nowMs();
    for (ChildProcess& idler : idlers)
        idler.start(moduleDirectory() + "\\bench_saver.scr", "/linger");
    printf("keep-off: %d idle processes started in %.0f ms\n", processes, nowMs() - began);
    setSaverActive(true);
    ChildProcess dormity;
    dormity.start(dormityExe());
    HWND tray = waitForWindow(dormity.id);
    Sleep(3000);
    printf("measure: %d no program listed, %d processes\n", idleSeconds, processes);
    Sleep(static_cast<DWORD>(idleSeconds) * 1000);
    std::string list;
    for (int i = 1; i < 10; ++i)
        list += "C:\\Programs\\player" + std::to_string(i) + ".exe" + std::string(1, '\0');
    list += "keepoff_player.exe" + std::string(2, '\0');
    listKeepOffPrograms(list);
    Sleep(3000);
    printf("measure: %d 10 programs listed, none running, %d processes\n", idleSeconds,
           processes);
    Sleep(static_cast<DWORD>(idleSeconds) * 1000);
    for (int run = 0; run < 5; ++run) {
        ChildProcess listed;
        listed.start(player, "/linger");
        double off = msUntilActive(false, 10000);
        Sleep(500);
        TerminateProcess(listed.handle.get(), 0);
        double on = msUntilActive(true, 10000);
        printf("keep-off: off %.0f ms after a listed program's start, on %.0f ms after its end\n",
               off, on);
    }
    PostMessageA(tray, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    dormity.waitExit(15000);
    DeleteFileA(player.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    int idleSeconds = 30;
    int keepOffProcesses = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (strcmp(argv[i], "--idle-seconds") == 0)
            idleSeconds = atoi(argv[i + 1]);
        if (strcmp(argv[i], "--keep-off") == 0)
            keepOffProcesses = atoi(argv[i + 1]);
    }
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (keepOffProcesses > 0) {
        measureKeepOff(keepOffProcesses, idleSeconds);
        return 0;
    }
    printf("measuring the menu with 100 screen savers...\n");
    measureMenu(100);
    printf("measuring start-up and idle...\n");
    measureStartup(5, idleSeconds);
    measureBaselineMemory();
    return 0;
}
