#include "../app/application.h"
#include "../base/text.h"
#include "../base/ui_text.h"
#include "../app/tray_window.h"
#include "../res/resource.h"
#include "../saverconfig/saver_settings.h"
#include "dialog_layout.h"
#include "dialogs.h"

void splitTimeout(UINT seconds, UINT* minutes, UINT* remainder)
{
    *minutes = seconds / 60;
    *remainder = seconds - 60 * *minutes;
}

UINT timeoutFromFields(int minutes, int seconds)
{
    UINT m = static_cast<UINT>(minutes);
    UINT s = static_cast<UINT>(seconds);
    if (m > 59)
        m = 59;
    if (s > 59)
        s = 59;
    UINT total = 60 * m + s;
    return total == 0 ? 1 : total;
}

INT_PTR showTimeoutDialog(Application& app)
{
    // A policy holds the timeout: nothing here could change it.
    if (app.trayWindow && app.trayWindow->refuses(IDM_TIMEOUT))
        return 0;
    HWND owner = app.trayWindow ? app.trayWindow->window : nullptr;
    return openDialog(app.instance, IDD_TIMEOUT, owner, timeoutDialogProc,
                      reinterpret_cast<LPARAM>(&app));
}

namespace {

// The colon keeps its own text, but is fitted to it in the language's font.
const DialogText kTimeoutTexts[] = {
    {0, IDS_TIMEOUT_CAPTION}, {IDC_PROMPT, IDS_TIMEOUT_PROMPT}, {IDC_LABEL, IDS_TIMEOUT_LABEL},
    {IDC_COLON, 0},           {IDC_OK, IDS_OK},                 {IDC_CANCEL, IDS_CANCEL},
};

void setTwoDigits(HWND dialog, int control, UINT value)
{
    char text[16];
    formatText(text, sizeof text, "%.2d", static_cast<int>(value));
    SetDlgItemTextA(dialog, control, text);
}

} // namespace

INT_PTR CALLBACK timeoutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        UINT minutes = 0;
        UINT seconds = 0;
        splitTimeout(getSaverTimeout(), &minutes, &seconds);
        // The limit applies to typing only: a longer value still shows whole.
        SendDlgItemMessageA(dialog, IDC_MINUTES, EM_LIMITTEXT, 2, 0);
        SendDlgItemMessageA(dialog, IDC_SECONDS, EM_LIMITTEXT, 2, 0);
        setTwoDigits(dialog, IDC_MINUTES, minutes);
        setTwoDigits(dialog, IDC_SECONDS, seconds);
        showDialogTexts(dialog, kTimeoutTexts, sizeof kTimeoutTexts / sizeof kTimeoutTexts[0]);
        // The time reads minutes first, left to right, in every language.
        if (uiMirrored())
            swapPlaces(dialog, IDC_MINUTES, IDC_SECONDS);
        return FALSE;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) != 0)
            return FALSE;
        switch (LOWORD(wParam)) {
        case IDC_OK: {
            int minutes = static_cast<int>(GetDlgItemInt(dialog, IDC_MINUTES, nullptr, TRUE));
            int seconds = static_cast<int>(GetDlgItemInt(dialog, IDC_SECONDS, nullptr, TRUE));
            // A policy that came while the dialog was open holds it now.
            if (!policyRefuses(IDM_TIMEOUT))
                setSaverTimeout(timeoutFromFields(minutes, seconds));
            EndDialog(dialog, 1);
            return TRUE;
        }
        case IDC_CANCEL:
        case IDCANCEL:  // Escape: closes like Cancel, changing nothing
            EndDialog(dialog, 1);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:
        EndDialog(dialog, 1);
        return FALSE;
    case WM_CTLCOLORSTATIC: {
        // The box and the colon are painted white, so that with the two
        // borderless edits they read as one mm:ss field.
        int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        if (id == IDC_TIMEBOX || id == IDC_COLON) {
            SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
            return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}
