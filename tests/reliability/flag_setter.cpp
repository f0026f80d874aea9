// Another program that changes the screen saver flag as the display control
// panel does. It has a window, so Wine's display driver keeps the flag in
// the X server, shared by every process with a window (a windowless process
// keeps a copy of its own); the WM_SETTINGCHANGE broadcast is sent here
// rather than left to the system, which not every Wine sends on that path.
//   reliability_flag_setter EVENT-NAME
// The hidden window "DormityFlagSetter", sent WM_APP with wParam 0 or 1,
// sets the flag to it, broadcasts the change and answers 1 when the
// flag reads back as set.
#include <windows.h>

#include "ready_event.h"

namespace {

LRESULT CALLBACK setterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP) {
        // Also written to the profile: Wine's display process resets the X
        // setting from it when it starts with a fresh prefix's first window.
        SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, wParam ? 1 : 0, nullptr, SPIF_UPDATEINIFILE);
        // Reading it back waits for the X server to have the new setting:
        // the request may still be queued in this process when the
        // broadcast makes the others read it.
        BOOL active = FALSE;
        SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
        DWORD_PTR result = 0;
        SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, SPI_SETSCREENSAVEACTIVE, 0,
                            SMTO_ABORTIFHUNG, 5000, &result);
        return (active != FALSE) == (wParam != 0);
    }
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = setterProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "DormityFlagSetter";
    if (!RegisterClassA(&windowClass)
        || !CreateWindowExA(0, windowClass.lpszClassName, "", WS_OVERLAPPED, 0, 0, 50, 50, nullptr,
                            nullptr, windowClass.hInstance, nullptr))
        return 1;
    if (!signalReady(argv[1]))
        return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
