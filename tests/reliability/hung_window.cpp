// A program whose top-level window stops answering: it creates the window,
// tells the test through a named event, and never pumps messages again.
//   reliability_hung_window EVENT-NAME
#include <windows.h>

#include "ready_event.h"

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    HWND window = CreateWindowExA(0, "STATIC", "Dormity hung probe", WS_OVERLAPPED, 0, 0, 50, 50,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window)
        return 1;
    if (!signalReady(argv[1]))
        return 1;
    Sleep(INFINITE);
    return 0;
}
