// Driving a modal dialog from inside its own loop, and a box from another thread.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "support/processes.h"

struct Application;

// One step per tick of a thread timer inside the dialog's loop, so what a step
// posts goes through IsDialogMessage first; false: run again next tick.
using DialogStep = std::function<bool(HWND dialog)>;

struct DialogRun {
    bool opened = false;          // a visible dialog with the caption appeared
    bool stepsDone = false;       // every step completed
    bool closedByItself = false;  // it ended after the last step, not forced
    INT_PTR result = -1;          // what the show function returned
};

// Runs show (a modal dialog) on the steps; waiting longer than patienceMs ends it by force.
DialogRun runModal(const char* caption, const std::function<INT_PTR()>& show,
                   std::vector<DialogStep> steps, DWORD patienceMs = 4000);

inline DialogStep act(std::function<void(HWND dialog)> action)  // runs once
{
    return [action](HWND dialog) { return action(dialog), true; };
}
inline DialogStep click(int id)  // BM_CLICK on the control
{
    return act([id](HWND dialog) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); });
}
inline DialogStep setText(int id, const char* text)
{
    std::string copy = text;
    return act([id, copy](HWND dialog) { SetDlgItemTextA(dialog, id, copy.c_str()); });
}
DialogStep pressKey(UINT virtualKey);  // posted to the focused control
inline DialogStep closeBox()           // the title bar's close box
{
    return act([](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); });
}
inline DialogStep waitFor(std::function<bool(HWND dialog)> condition) { return condition; }

std::string itemText(HWND dialog, int controlId);
// WM_CHAR for each character, as typing delivers it.
void typeInto(HWND control, const char* text);
// The face of the font the dialog lays its controls out in.
std::string dialogFontFace(HWND dialog);
// Every static, button or check box text that does not fit its control, described.
std::vector<std::string> clippedTexts(HWND dialog);

// What the answerer saw of the "No Screen Saver" box when it found it.
struct PromptSeen {
    bool seen = false;
    std::vector<std::string> texts;  // every static control's text
    bool topmost = false;
    bool hasOwner = true;
    bool yesButton = false;
    bool noButton = false;
    bool okButton = false;
    bool cancelButton = false;
    bool informationIcon = false;
    bool systemActive = false;
    bool recordActive = false;
    bool iconOn = false;
};

// Watches from its own thread for the "No Screen Saver" box, notes it, presses button.
class PromptAnswerer {
public:
    PromptAnswerer(Application& app, int button);
    ~PromptAnswerer() { finish(); }
    PromptAnswerer(const PromptAnswerer&) = delete;
    PromptAnswerer& operator=(const PromptAnswerer&) = delete;
    // Stops watching; what was seen, if anything.
    PromptSeen finish();

private:
    static DWORD WINAPI watch(void* self);
    Application& app_;
    int button_;
    volatile LONG stop_ = 0;
    PromptSeen seen_;
    UniqueKernelObject thread_;
};
