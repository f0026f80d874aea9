#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <string.h>

namespace {

// Wine's tray window is unmapped when its last icon goes, and without a
// window manager (as under Xvfb) that waits two seconds each time. One
// icon of the test process stays for the whole run so that the programs
// under test can remove theirs at once.
class TrayKeeper {
public:
    TrayKeeper()
    {
        window_ = CreateWindowExA(0, "STATIC", "tray keeper", 0, 0, 0, 1, 1, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        memset(&icon_, 0, sizeof icon_);
        icon_.cbSize = NOTIFYICONDATAA_V1_SIZE;
        icon_.hWnd = window_;
        icon_.uID = 0x7E57;
        icon_.uFlags = NIF_ICON | NIF_TIP;
        icon_.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512));  // IDI_APPLICATION
        lstrcpynA(icon_.szTip, "test run", sizeof icon_.szTip);
        added_ = window_ && Shell_NotifyIconA(NIM_ADD, &icon_);
    }
    ~TrayKeeper()
    {
        if (added_)
            Shell_NotifyIconA(NIM_DELETE, &icon_);
        if (window_)
            DestroyWindow(window_);
    }

private:
    HWND window_;
    NOTIFYICONDATAA icon_;
    bool added_;
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
