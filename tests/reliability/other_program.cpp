// Another program with a hidden window, "DormityOtherProgram". Sent WM_APP
// with wParam 0 or 1, it changes the screen saver flag as the display control
// panel does and answers 1 when the flag reads back so; sent WM_APP + 1, it
// stops answering for good.
// Once a process has a window, Wine's display driver keeps the flag in the X
// server, shared by every process with a window, but sends no broadcast on
// that path, so the WM_SETTINGCHANGE is sent here.
#include <windows.h>

namespace {

LRESULT CALLBACK otherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP + 1)
        Sleep(INFINITE);
    if (message == WM_APP) {
        // Also written to the profile: Wine's display process resets the X
        // setting from it when it starts with a fresh prefix's first window.
        SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, wParam ? 1 : 0, nullptr, SPIF_UPDATEINIFILE);
        // Reading it back waits for the X server to have the new setting
        // before the broadcast makes the others read it.
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

int main()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = otherProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "DormityOtherProgram";
    if (!RegisterClassA(&windowClass)
        || !CreateWindowExA(0, windowClass.lpszClassName, "", WS_OVERLAPPED, 0, 0, 50, 50, nullptr,
                            nullptr, windowClass.hInstance, nullptr))
        return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
