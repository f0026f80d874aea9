// Prints the screen saver flag as a program sees it and the registry's
// current screen saver, for the scripts that drive the running program:
//   active=0|1
//   registry=<file>|(absent)
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
