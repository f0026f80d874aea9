#include "support/dialogs.h"

#include <gtest/gtest.h>
#include <string.h>

#include "app/application.h"
#include "app/tray_window.h"
#include "res/resource.h"
#include "saverconfig/saver_settings.h"
#include "support/pixels.h"

namespace {

const INT_PTR kForcedEnd = 0x7E57;

struct RunState {
    const char* caption;
    std::vector<DialogStep> steps;
    DWORD patienceMs;
    DialogRun* run;
    DWORD begin = GetTickCount(), stepBegin = 0;
    size_t next = 0;
    HWND dialog = nullptr;
    bool inStep = false, forced = false;
    void forceEnd()
    {
        forced = true;
        if (dialog && IsWindow(dialog))
            EndDialog(dialog, kForcedEnd);
    }
};

RunState* current = nullptr;

void CALLBACK onTick(HWND, UINT, UINT_PTR, DWORD)
{
    RunState* state = current;
    DWORD now = GetTickCount();
    if (!state || state->inStep || state->forced) {
        return;
    } else if (!state->dialog) {
        state->dialog = ownDialog(state->caption, true);
        state->run->opened = state->dialog != nullptr;
        state->stepBegin = now;
        if (!state->dialog && now - state->begin > state->patienceMs) {
            state->dialog = ownDialog(state->caption);  // made but never shown: ended
            state->forceEnd();
        }
        return;
    } else if (!IsWindow(state->dialog)) {
        return;
    } else if (state->next < state->steps.size()) {
        state->inStep = true;
        bool done = state->steps[state->next](state->dialog);
        state->inStep = false;
        if (done) {
            state->stepBegin = now;
            state->run->stepsDone = ++state->next == state->steps.size();
            return;
        }
    }
    if (now - state->stepBegin > state->patienceMs)
        state->forceEnd();
}

} // namespace

DialogRun runModal(const char* caption, const std::function<INT_PTR()>& show,
                   std::vector<DialogStep> steps, DWORD patienceMs)
{
    DialogRun run;
    RunState state{caption, std::move(steps), patienceMs, &run};
    run.stepsDone = state.steps.empty();
    current = &state;
    UINT_PTR timer = SetTimer(nullptr, 0, 15, onTick);
    run.result = show();
    KillTimer(nullptr, timer);
    current = nullptr;
    run.closedByItself = run.opened && run.stepsDone && !state.forced && run.result != kForcedEnd;
    return run;
}

DialogStep pressKey(UINT virtualKey)
{
    return act([virtualKey](HWND dialog) {
        HWND target = GetFocus();
        target = target && (target == dialog || IsChild(dialog, target)) ? target : dialog;
        LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(virtualKey, 0)) << 16;
        PostMessageA(target, WM_KEYDOWN, virtualKey, scan | 1);
        PostMessageA(target, WM_KEYUP, virtualKey, scan | 1 | 0xC0000000);
    });
}

std::string itemText(HWND dialog, int controlId)
{
    char text[2048] = "";
    GetDlgItemTextA(dialog, controlId, text, sizeof text);
    return text;
}

void typeInto(HWND control, const char* text)
{
    for (const char* c = text; *c; ++c)
        SendMessageA(control, WM_CHAR, static_cast<unsigned char>(*c), 1);
}

std::string dialogFontFace(HWND dialog)
{
    WindowDC dc(dialog);
    SelectedObject font(dc.get(),
                        reinterpret_cast<HGDIOBJ>(SendMessageA(dialog, WM_GETFONT, 0, 0)));
    char face[LF_FACESIZE] = "";
    GetTextFaceA(dc.get(), sizeof face, face);
    return face;
}

std::vector<std::string> clippedTexts(HWND dialog)
{
    std::vector<std::string> clipped;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[32];
        WCHAR text[512];
        GetClassNameA(child, className, sizeof className);
        // Wide, so that a script the ANSI code page cannot spell is measured as it shows.
        GetWindowTextW(child, text, 512);
        LONG style = GetWindowLongA(child, GWL_STYLE);
        bool isStatic = _stricmp(className, "Static") == 0;
        bool isButton = _stricmp(className, "Button") == 0;
        if ((!isStatic && !isButton) || (isStatic && (style & SS_TYPEMASK) == SS_ICON) || !text[0])
            continue;
        RECT client;
        GetClientRect(child, &client);
        int room = client.right;
        UINT wrap = isStatic && (style & SS_TYPEMASK) <= SS_RIGHT ? DT_WORDBREAK : 0;
        UINT kind = style & BS_TYPEMASK;
        if (isButton && (kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX))
            room -= GetSystemMetrics(SM_CXMENUCHECK) + 4;  // the box and its gap
        else if (isButton)
            room -= 2 * GetSystemMetrics(SM_CXEDGE) + 4;  // the raised edge and focus rect
        WindowDC dc(child);
        SelectedObject font(dc.get(),
                            reinterpret_cast<HGDIOBJ>(SendMessageA(child, WM_GETFONT, 0, 0)));
        RECT needed = {0, 0, room, 0};
        DrawTextW(dc.get(), text, -1, &needed, DT_CALCRECT | DT_NOPREFIX | wrap);
        char utf8[1024];
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
        if (needed.right > room || needed.bottom > client.bottom)
            clipped.push_back("\"" + std::string(utf8) + "\" needs " + std::to_string(needed.right)
                              + "x" + std::to_string(needed.bottom) + ", has "
                              + std::to_string(room) + "x" + std::to_string(client.bottom));
    }
    return clipped;
}

PromptAnswerer::PromptAnswerer(Application& app, int button)
    : app_(app), button_(button), thread_(CreateThread(nullptr, 0, watch, this, 0, nullptr))
{
    EXPECT_TRUE(static_cast<bool>(thread_));
}

PromptSeen PromptAnswerer::finish()
{
    if (thread_) {
        InterlockedExchange(&stop_, 1);
        WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }
    return seen_;
}

namespace {

BOOL CALLBACK scanChild(HWND child, LPARAM data)
{
    PromptSeen* seen = reinterpret_cast<PromptSeen*>(data);
    char className[32] = "", text[512] = "";
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") != 0)
        return TRUE;
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        HICON shown = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        seen->informationIcon |= shown && shown == LoadIconA(nullptr, IDI_INFORMATION);
        return TRUE;
    }
    GetWindowTextA(child, text, sizeof text);
    seen->texts.push_back(text);
    return TRUE;
}

bool visibleChild(HWND box, int id)
{
    HWND child = GetDlgItem(box, id);
    return child && IsWindowVisible(child);
}

} // namespace

DWORD WINAPI PromptAnswerer::watch(void* parameter)
{
    PromptAnswerer* self = static_cast<PromptAnswerer*>(parameter);
    for (DWORD begin = GetTickCount(); !self->stop_; Sleep(10)) {
        HWND box = ownDialog("No Screen Saver", true);
        if (box) {
            // The program's state while its prompt is up.
            PromptSeen& seen = self->seen_;
            seen.seen = true;
            seen.systemActive = isSaverActive();
            seen.recordActive = (self->app_.flags & APP_SAVER_ACTIVE) != 0;
            seen.iconOn = iconShows(self->app_.trayWindow->trayIcon.hIcon, IDI_SAVER_ON);
            EnumChildWindows(box, scanChild, reinterpret_cast<LPARAM>(&seen));
            seen.topmost = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            seen.hasOwner = GetWindow(box, GW_OWNER) != nullptr;
            seen.yesButton = visibleChild(box, IDYES);
            seen.noButton = visibleChild(box, IDNO);
            seen.okButton = visibleChild(box, IDOK);
            seen.cancelButton = visibleChild(box, IDCANCEL);
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(self->button_, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, self->button_)));
            return 0;
        }
        // Never leave a box of another caption hanging the test.
        if (GetTickCount() - begin > 15000 && ownDialog(nullptr))
            PostMessageA(ownDialog(nullptr), WM_CLOSE, 0, 0);
    }
    return 0;
}
