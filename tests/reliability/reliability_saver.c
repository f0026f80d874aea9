/* A small 32-bit GUI program that stands in for an installed screen saver:
   the catalogue reads only its string 1, and when run it ends at once. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    return 0;
}
