// Prints "active=0|1" (the flag as a program sees it) and "registry=<the
// current screen saver>|(absent)" for the scripts driving the program.
#include <windows.h>
#include <stdio.h>

int main()
{
    BOOL active = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    char value[300] = "";
    DWORD size = sizeof value - 1;
    if (RegGetValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "SCRNSAVE.EXE", RRF_RT_REG_SZ,
                     nullptr, value, &size) != ERROR_SUCCESS)
        lstrcpyA(value, "(absent)");
    printf("active=%d\nregistry=%s\n", active ? 1 : 0, value);
    return 0;
}
