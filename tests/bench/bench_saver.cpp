// A stand-in screen saver for the benchmarks: a GUI program with a
// description in string resource 1 that does nothing when run.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return 0;
}
