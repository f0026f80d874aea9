// A benchmark screen saver with string 1 that does nothing; "/idle": the smallest Win32
// program idling a few seconds, so that Wine's own share of a process's memory shows;
// "/linger": a process with no window (none that the X server counts) until it is ended.
#include <windows.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    if (strstr(commandLine, "/linger"))
        Sleep(INFINITE);
    if (!strstr(commandLine, "/idle"))
        return 0;
    HWND window = CreateWindowExA(0, "STATIC", "bench idle", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                  nullptr, nullptr, instance, nullptr);
    SetTimer(nullptr, 0, 8000, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER)
            break;
        DispatchMessageA(&message);
    }
    DestroyWindow(window);
    return 0;
}
