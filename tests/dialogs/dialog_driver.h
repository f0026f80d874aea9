// Drives a modal dialog of this thread from inside its own modal loop.
//
// A thread timer (no window, a timer procedure) fires inside the dialog
// manager's loop. Each tick runs at most one step, so whatever a step posts
// (a keystroke, say) goes through IsDialogMessage before the next step runs.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Returns false to be run again on the next tick (to wait for something).
using DialogStep = std::function<bool(HWND dialog)>;

struct DialogRun {
    bool opened = false;          // a visible dialog with the caption appeared
    bool stepsDone = false;       // every step completed
    bool closedByItself = false;  // it ended after the last step, not forced
    INT_PTR result = -1;          // what the show function returned
};

// Calls show (which runs the dialog modally) and feeds the dialog the steps.
// A step that keeps waiting, or a dialog still open after its last step,
// is ended by force after patienceMs; closedByItself then stays false.
DialogRun runModal(const char* caption, const std::function<INT_PTR()>& show,
                   std::vector<DialogStep> steps, DWORD patienceMs = 4000);

// The visible top-level dialog of this thread with that caption, or null.
HWND findOwnDialog(const char* caption);

// Steps.
DialogStep act(std::function<void(HWND dialog)> action);  // runs once
DialogStep click(int controlId);                          // BM_CLICK on the control
DialogStep setText(int controlId, const char* text);
DialogStep pressKey(UINT virtualKey);  // posted to the focused control
DialogStep closeBox();                 // the title bar's close box
DialogStep waitFor(std::function<bool(HWND dialog)> condition);

std::string itemText(HWND dialog, int controlId);
// WM_CHAR for each character, sent to the control as typing delivers it.
void typeInto(HWND control, const char* text);

// The face of the font the dialog lays its controls out in.
std::string dialogFontFace(HWND dialog);
// Every text of a static, button or check box that does not fit its control
// in the dialog's font (wrapped where the control wraps), described.
std::vector<std::string> clippedTexts(HWND dialog);
