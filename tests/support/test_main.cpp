#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <string.h>

namespace {

// Wine unmaps its tray window when the last icon goes, which without a window manager
// waits two seconds: one icon of the test process stays for the whole run.
struct TrayKeeper {
    NOTIFYICONDATAA icon;
    bool added;
    TrayKeeper()
    {
        memset(&icon, 0, sizeof icon);
        icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
        icon.hWnd = CreateWindowExA(0, "STATIC", "tray keeper", 0, 0, 0, 1, 1, nullptr, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
        icon.uID = 0x7E57;
        icon.uFlags = NIF_ICON | NIF_TIP;
        icon.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512));  // IDI_APPLICATION
        lstrcpynA(icon.szTip, "test run", sizeof icon.szTip);
        added = icon.hWnd && Shell_NotifyIconA(NIM_ADD, &icon);
    }
    ~TrayKeeper()
    {
        if (added)
            Shell_NotifyIconA(NIM_DELETE, &icon);
        if (icon.hWnd)
            DestroyWindow(icon.hWnd);
    }
};

} // namespace

int main(int argc, char** argv)
{
    // Failures must print, never pop up a box that nobody answers.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    TrayKeeper keeper;
    return RUN_ALL_TESTS();
}
