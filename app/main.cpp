#include <windows.h>

#include "application.h"

// The command line is accepted and ignored: every start is the same.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return runDormity(instance);
}
