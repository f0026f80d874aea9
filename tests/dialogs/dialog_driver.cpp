#include "dialog_driver.h"

#include <string.h>

#include "app/handles.h"

namespace {

const INT_PTR kForcedEnd = 0x7E57;

struct RunState {
    const char* caption;
    std::vector<DialogStep> steps;
    DWORD patienceMs;
    DWORD begin;
    DWORD stepBegin;
    size_t next;
    HWND dialog;
    bool inStep;
    bool forced;
    DialogRun* run;
};

RunState* current = nullptr;

struct Search {
    const char* caption;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK matchDialog(HWND window, LPARAM lParam)
{
    Search* search = reinterpret_cast<Search*>(lParam);
    char className[32];
    char title[128];
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    if (strcmp(className, "#32770") == 0 && strcmp(title, search->caption) == 0
        && (!search->visibleOnly || IsWindowVisible(window))) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

void forceEnd(RunState& state)
{
    state.forced = true;
    if (state.dialog && IsWindow(state.dialog))
        EndDialog(state.dialog, kForcedEnd);
}

void CALLBACK onTick(HWND, UINT, UINT_PTR, DWORD)
{
    RunState* state = current;
    if (!state || state->inStep || state->forced)
        return;
    DWORD now = GetTickCount();
    if (!state->dialog) {
        state->dialog = findOwnDialog(state->caption);
        if (state->dialog) {
            state->run->opened = true;
            state->stepBegin = now;
        } else if (now - state->begin > state->patienceMs) {
            // Created but never shown: end it so that the test goes on.
            Search hidden = {state->caption, false, nullptr};
            EnumThreadWindows(GetCurrentThreadId(), matchDialog,
                              reinterpret_cast<LPARAM>(&hidden));
            state->dialog = hidden.found;
            forceEnd(*state);
        }
        return;
    }
    if (!IsWindow(state->dialog))
        return;
    if (state->next < state->steps.size()) {
        state->inStep = true;
        bool done = state->steps[state->next](state->dialog);
        state->inStep = false;
        if (done) {
            ++state->next;
            state->stepBegin = now;
            if (state->next == state->steps.size())
                state->run->stepsDone = true;
        } else if (now - state->stepBegin > state->patienceMs) {
            forceEnd(*state);
        }
        return;
    }
    if (now - state->stepBegin > state->patienceMs)
        forceEnd(*state);
}

} // namespace

HWND findOwnDialog(const char* caption)
{
    Search search = {caption, true, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), matchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

DialogRun runModal(const char* caption, const std::function<INT_PTR()>& show,
                   std::vector<DialogStep> steps, DWORD patienceMs)
{
    DialogRun run;
    RunState state = {caption, std::move(steps), patienceMs, GetTickCount(), 0, 0,
                      nullptr, false, false, &run};
    if (state.steps.empty())
        run.stepsDone = true;
    current = &state;
    UINT_PTR timer = SetTimer(nullptr, 0, 15, onTick);
    run.result = show();
    KillTimer(nullptr, timer);
    current = nullptr;
    run.closedByItself = run.opened && run.stepsDone && !state.forced && run.result != kForcedEnd;
    return run;
}

DialogStep act(std::function<void(HWND dialog)> action)
{
    return [action](HWND dialog) {
        action(dialog);
        return true;
    };
}

DialogStep click(int controlId)
{
    return act([controlId](HWND dialog) {
        SendMessageA(GetDlgItem(dialog, controlId), BM_CLICK, 0, 0);
    });
}

DialogStep setText(int controlId, const char* text)
{
    std::string copy = text;
    return act([controlId, copy](HWND dialog) {
        SetDlgItemTextA(dialog, controlId, copy.c_str());
    });
}

DialogStep pressKey(UINT virtualKey)
{
    return act([virtualKey](HWND dialog) {
        HWND target = GetFocus();
        if (!target || (target != dialog && !IsChild(dialog, target)))
            target = dialog;
        LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(virtualKey, 0)) << 16;
        PostMessageA(target, WM_KEYDOWN, virtualKey, scan | 1);
        PostMessageA(target, WM_KEYUP, virtualKey, scan | 1 | 0xC0000000);
    });
}

DialogStep closeBox()
{
    return act([](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); });
}

DialogStep waitFor(std::function<bool(HWND dialog)> condition)
{
    return condition;
}

std::string itemText(HWND dialog, int controlId)
{
    char text[2048];
    text[0] = '\0';
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
    char face[LF_FACESIZE];
    face[0] = '\0';
    GetTextFaceA(dc.get(), sizeof face, face);
    return face;
}

std::vector<std::string> clippedTexts(HWND dialog)
{
    std::vector<std::string> clipped;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[32];
        GetClassNameA(child, className, sizeof className);
        LONG style = GetWindowLongA(child, GWL_STYLE);
        bool isStatic = _stricmp(className, "Static") == 0;
        bool isButton = _stricmp(className, "Button") == 0;
        if (!isStatic && !isButton)
            continue;
        if (isStatic && (style & SS_TYPEMASK) == SS_ICON)
            continue;
        char text[256];
        GetWindowTextA(child, text, sizeof text);
        if (!text[0])
            continue;
        RECT client;
        GetClientRect(child, &client);
        int room = client.right;
        UINT wrap = 0;
        if (isStatic && (style & SS_TYPEMASK) <= SS_RIGHT)
            wrap = DT_WORDBREAK;
        if (isButton) {
            UINT kind = style & BS_TYPEMASK;
            if (kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX)
                room -= GetSystemMetrics(SM_CXMENUCHECK) + 4;  // the box and its gap
            else
                room -= 2 * GetSystemMetrics(SM_CXEDGE) + 4;  // the raised edge and focus rect
        }
        WindowDC dc(child);
        SelectedObject font(dc.get(),
                            reinterpret_cast<HGDIOBJ>(SendMessageA(child, WM_GETFONT, 0, 0)));
        RECT needed = {0, 0, room, 0};
        DrawTextA(dc.get(), text, -1, &needed, DT_CALCRECT | DT_NOPREFIX | wrap);
        if (needed.right > room || needed.bottom > client.bottom) {
            char line[400];
            wsprintfA(line, "\"%s\" needs %dx%d, has %dx%d", text,
                      static_cast<int>(needed.right), static_cast<int>(needed.bottom), room,
                      static_cast<int>(client.bottom));
            clipped.push_back(line);
        }
    }
    return clipped;
}
