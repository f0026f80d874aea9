// Reads and clears the screen saver settings for scripts that drive the
// running program:
//   saver_state query   prints active=0|1, the registry's and system.ini's
//                       current screen saver ("(absent)" when missing)
//   saver_state clear   removes the current screen saver from both places
#include <windows.h>
#include <stdio.h>
#include <string.h>

namespace {

const char kDesktop[] = "Control Panel\\Desktop";

void printRegistrySaver()
{
    HKEY key = nullptr;
    char value[300] = "";
    DWORD size = sizeof value - 1;
    bool found = false;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktop, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        found = RegQueryValueExA(key, "SCRNSAVE.EXE", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    printf("registry=%s\n", found ? value : "(absent)");
}

void printIniSaver()
{
    char value[300];
    GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "(absent)", value, sizeof value,
                             "system.ini");
    printf("ini=%s\n", value);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && strcmp(argv[1], "query") == 0) {
        BOOL active = FALSE;
        SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
        printf("active=%d\n", active ? 1 : 0);
        printRegistrySaver();
        printIniSaver();
        return 0;
    }
    if (argc == 2 && strcmp(argv[1], "clear") == 0) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktop, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, "SCRNSAVE.EXE");
            RegCloseKey(key);
        }
        WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", nullptr, "system.ini");
        return 0;
    }
    fprintf(stderr, "usage: saver_state query | clear\n");
    return 2;
}
