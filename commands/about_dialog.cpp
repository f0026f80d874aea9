#include <string.h>

#include "../app/application.h"
#include "../base/handles.h"
#include "../base/text.h"
#include "../base/ui_text.h"
#include "../app/tray_window.h"
#include "../res/resource.h"
#include "blink_preference.h"
#include "dialog_layout.h"
#include "dialogs.h"
#include "display_request.h"

const char kChangeLog[] =
    "What's New -- 12/26/01\r\n"
    "---------------------------------------\r\n"
    "- Uses a WindowsXP manifest file.\r\n"
    "\r\n"
    "What's New -- 12/25/01\r\n"
    "---------------------------------------\r\n"
    "- Checks for the description string stored\r\n"
    "  within screen saver files.\r\n"
    "- Uses Windows XP style icons.\r\n"
    "\r\n"
    "What's New -- 07/22/00\r\n"
    "---------------------------------------\r\n"
    "- Added Lock Computer for Win2k only.\r\n"
    "- Passwords are handled by the screensavers\r\n"
    "  in Win9x.\r\n"
    "- Checks for Win4 executables and disables\r\n"
    "  the password option appropriately.\r\n"
    "\r\n"
    "What's New -- 07/21/00\r\n"
    "---------------------------------------\r\n"
    "- Added better handling when no\r\n"
    "  screensaver is currently selected.\r\n"
    "\r\n"
    "What's New -- 07/21/00\r\n"
    "---------------------------------------\r\n"
    "- Fixed the enumeration of screensavers.\r\n"
    "\r\n"
    "What's New -- 07/20/00\r\n"
    "---------------------------------------\r\n"
    "- Fixed a huge GDI objects leak.\r\n"
    "\r\n"
    "What's New -- 07/19/00\r\n"
    "---------------------------------------\r\n"
    "- First public release.\r\n";

namespace {

// Room the tool's command line is read with, its terminator included.
const DWORD kSysInfoCapacity = 255;

// The System Information tool's command line. The key is opened for
// reading only: reading one value needs no more, and asking for all access
// fails for users who may not write the machine's keys. out holds one byte
// more than is offered, so that a value stored without its terminator still
// ends in one.
bool readSysInfoPath(char (&out)[kSysInfoCapacity + 1])
{
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MSINFO_KEY, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    memset(out, 0, sizeof out);
    DWORD offered = kSysInfoCapacity;
    return RegQueryValueExA(key.get(), MSINFO_VALUE, nullptr, nullptr,
                            reinterpret_cast<BYTE*>(out), &offered) == ERROR_SUCCESS;
}

// The version is formatted as the dialog opens; the change log stays English.
const DialogText kAboutTexts[] = {
    {0, IDS_ABOUT_CAPTION}, {IDC_TITLE, IDS_ABOUT_TITLE}, {IDC_VERSION, 0},
    {IDC_CREDIT, IDS_CREDIT}, {IDC_SYSINFO, IDS_SYSINFO}, {IDC_BLINK, IDS_BLINK},
    {IDC_KEEP_DISPLAY_ON, IDS_KEEP_DISPLAY_ON}, {IDC_OK, IDS_OK},
};

Application* dialogApplication(HWND dialog)
{
    return reinterpret_cast<Application*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// OK applies the box; a policy that holds the preference wins over it and
// keeps the user's stored choice as it is.
void applyBlinkChoice(Application& app, bool boxTicked)
{
    DwordPolicy policy = readDwordPolicy(POLICY_BLINK);
    applyBlinkPreference(app, preferenceInForce(policy, boxTicked));
    if (!policy.set)
        writeBlinkPreference(boxTicked);
}

// Stored only from a box that could be changed, and not while a policy
// holds the preference or the flag (one may have come while the box was open).
void applyKeepDisplayChoice(HWND dialog, Application* app)
{
    if (!IsWindowEnabled(GetDlgItem(dialog, IDC_KEEP_DISPLAY_ON))
        || readDwordPolicy(POLICY_KEEP_DISPLAY_ON).set || policyRefuses(IDM_TOGGLE))
        return;
    writeKeepDisplayOn(IsDlgButtonChecked(dialog, IDC_KEEP_DISPLAY_ON) == BST_CHECKED);
    if (app && app->trayWindow)
        app->trayWindow->updateDisplayRequest();
}

} // namespace

INT_PTR showAboutDialog(Application& app)
{
    HWND owner = app.trayWindow ? app.trayWindow->window : nullptr;
    return openDialog(app.instance, IDD_ABOUT, owner, aboutDialogProc,
                      reinterpret_cast<LPARAM>(&app));
}

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        if (uiMirrored())
            readLeftToRight(dialog, IDC_CHANGELOG);
        SetDlgItemTextA(dialog, IDC_CHANGELOG, kChangeLog);
        WCHAR version[64];
        formatText(version, sizeof version / sizeof version[0], uiText(IDS_VERSION),
                   L"" DORMITY_VERSION_TEXT);
        setWindowText(GetDlgItem(dialog, IDC_VERSION), version);
        char path[kSysInfoCapacity + 1];
        if (readSysInfoPath(path))
            EnableWindow(GetDlgItem(dialog, IDC_SYSINFO), TRUE);
        // Held by a policy: greyed, showing the policy's choice.
        DwordPolicy policy = readDwordPolicy(POLICY_BLINK);
        CheckDlgButton(dialog, IDC_BLINK,
                       preferenceInForce(policy, readStoredBlinkPreference()) ? BST_CHECKED
                                                                              : BST_UNCHECKED);
        if (policy.set)
            EnableWindow(GetDlgItem(dialog, IDC_BLINK), FALSE);
        // Greyed where the system cannot keep the display on (before Windows
        // 98 and 2000), where a policy sets the preference (showing its
        // choice) and while a policy holds the screen saver's flag.
        DwordPolicy display = readDwordPolicy(POLICY_KEEP_DISPLAY_ON);
        CheckDlgButton(dialog, IDC_KEEP_DISPLAY_ON,
                       preferenceInForce(display, readStoredKeepDisplayOn()) ? BST_CHECKED
                                                                             : BST_UNCHECKED);
        EnableWindow(GetDlgItem(dialog, IDC_KEEP_DISPLAY_ON),
                     executionStateFunction() && !display.set && !policyRefuses(IDM_TOGGLE));
        showDialogTexts(dialog, kAboutTexts, sizeof kAboutTexts / sizeof kAboutTexts[0]);
        return TRUE;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) != 0)
            return FALSE;
        switch (LOWORD(wParam)) {
        case IDC_SYSINFO: {
            char path[kSysInfoCapacity + 1];
            if (readSysInfoPath(path))
                WinExec(path, SW_SHOWDEFAULT);
            return FALSE;
        }
        case IDC_OK: {
            Application* app = dialogApplication(dialog);
            bool blink = SendDlgItemMessageA(dialog, IDC_BLINK, BM_GETCHECK, 0, 0) == BST_CHECKED;
            if (app)
                applyBlinkChoice(*app, blink);
            applyKeepDisplayChoice(dialog, app);
            EndDialog(dialog, 1);
            return TRUE;
        }
        case IDCANCEL:  // Escape: closes, changing nothing
            EndDialog(dialog, 1);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:  // the close box: closes, changing nothing
        EndDialog(dialog, 1);
        return TRUE;
    default:
        return FALSE;
    }
}
