/* Stands in for an installed screen saver: the catalogue reads its string 1,
   and run, it ends at once. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance, (void)previous, (void)commandLine, (void)show;
    return 0;
}
