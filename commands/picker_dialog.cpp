// "Add Running Program...": the programs that show a window, each with its
// icon, window title and file name, in an owner-drawn list box; the one
// chosen is added to the user's list.
#include <windows.h>
#include <shellapi.h>
#include <string.h>

#include "../app/application.h"
#include "../app/tray_window.h"
#include "../base/text.h"
#include "../base/ui_text.h"
#include "../res/resource.h"
#include "dialog_layout.h"
#include "dialogs.h"
#include "keep_off.h"
#include "process_list.h"

#ifndef ICON_SMALL2
#define ICON_SMALL2 2
#endif

namespace {

// At most this many windows are offered.
const UINT kMostWindows = 256;
// How long a window may take to hand over its icon.
const UINT kIconWaitMs = 100;

struct PickerItem {
    HWND window;
    DWORD processId;
    HICON icon;      // the window's or its class's: shared, never destroyed
    HICON fileIcon;  // the program file's own, owned: destroyed as the dialog ends
    char title[SAVER_PATH_SIZE];
    char fileName[SAVER_PATH_SIZE];
};

struct PickerState {
    Application* app;
    UniqueBlock block;  // PickerItem[kMostWindows]
    UINT count;
    PickerItem* items() { return static_cast<PickerItem*>(block.get()); }
};

// A window of the kind a task switcher shows: visible, titled, unowned,
// not a tool window, and of another program.
bool offered(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return IsWindowVisible(window) && GetWindow(window, GW_OWNER) == nullptr
        && !(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW)
        && GetWindowTextLengthA(window) > 0 && processId != GetCurrentProcessId();
}

HICON windowIcon(HWND window)
{
    static const WPARAM kinds[] = {ICON_SMALL2, ICON_SMALL, ICON_BIG};
    for (WPARAM kind : kinds) {
        DWORD_PTR icon = 0;
        // A hung window is not waited for.
        if (SendMessageTimeoutA(window, WM_GETICON, kind, 0, SMTO_ABORTIFHUNG, kIconWaitMs, &icon)
            && icon)
            return reinterpret_cast<HICON>(icon);
    }
    HICON icon = reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICONSM));
    if (!icon)
        icon = reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON));
    return icon ? icon : LoadIconA(nullptr, MAKEINTRESOURCEA(32512) /* IDI_APPLICATION */);
}

BOOL CALLBACK collectWindow(HWND window, LPARAM context)
{
    PickerState& state = *reinterpret_cast<PickerState*>(context);
    if (state.count >= kMostWindows || !offered(window))
        return state.count < kMostWindows;
    PickerItem& item = state.items()[state.count++];
    memset(&item, 0, sizeof item);
    item.window = window;
    GetWindowThreadProcessId(window, &item.processId);
    GetWindowTextA(window, item.title, sizeof item.title);
    item.icon = windowIcon(window);
    return TRUE;
}

// Gives each window the file name of its process, from one look at them all.
bool nameWindows(const SeenProcess& process, void* context)
{
    PickerState& state = *static_cast<PickerState*>(context);
    for (UINT i = 0; i < state.count; ++i) {
        PickerItem& item = state.items()[i];
        if (item.processId == process.id)
            copyText(item.fileName, sizeof item.fileName, process.fileName);
    }
    return true;
}

void fillList(HWND dialog, PickerState& state)
{
    state.block.reset(allocateZeroedBlock(kMostWindows * sizeof(PickerItem)));
    state.count = 0;
    if (state.block) {
        EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&state));
        ProcessLister lister;
        prepareProcessLister(lister);
        listProcesses(lister, nameWindows, &state);
        // The program's own icon where its file is known: a window's may be
        // none, or (under Wine) a handle only its own process can draw.
        for (UINT i = 0; i < state.count; ++i) {
            char path[SAVER_PATH_SIZE];
            SHFILEINFOA info;
            memset(&info, 0, sizeof info);
            PickerItem& item = state.items()[i];
            if (processFullPath(lister, item.processId, path, sizeof path)
                && SHGetFileInfoA(path, 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON))
                item.fileIcon = info.hIcon;
        }
    }
    HWND list = GetDlgItem(dialog, IDC_PICKER_LIST);
    for (UINT i = 0; i < state.count; ++i) {
        PickerItem& item = state.items()[i];
        // Only a program the system names can be listed.
        KeepOffRule rule;
        if (!readProgramText(item.fileName, textLength(item.fileName), &rule))
            continue;
        // The text is what screen readers read; the drawing shows the same.
        char text[2 * SAVER_PATH_SIZE];
        formatText(text, sizeof text, "%s (%s)", item.title, item.fileName);
        LRESULT at = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        if (at >= 0)
            SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(at), static_cast<LPARAM>(i));
    }
    bool empty = SendMessageA(list, LB_GETCOUNT, 0, 0) <= 0;
    ShowWindow(list, empty ? SW_HIDE : SW_SHOW);
    ShowWindow(GetDlgItem(dialog, IDC_PICKER_EMPTY), empty ? SW_SHOW : SW_HIDE);
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
}

const PickerItem* selectedItem(HWND dialog, PickerState& state)
{
    LRESULT at = SendDlgItemMessageA(dialog, IDC_PICKER_LIST, LB_GETCURSEL, 0, 0);
    if (at < 0)
        return nullptr;
    LRESULT index = SendDlgItemMessageA(dialog, IDC_PICKER_LIST, LB_GETITEMDATA,
                                        static_cast<WPARAM>(at), 0);
    return index >= 0 && static_cast<UINT>(index) < state.count ? &state.items()[index] : nullptr;
}

void drawItem(const DRAWITEMSTRUCT& draw, PickerState& state)
{
    if (draw.itemID == static_cast<UINT>(-1) || draw.itemData >= state.count)
        return;
    const PickerItem& item = state.items()[draw.itemData];
    bool selected = (draw.itemState & ODS_SELECTED) != 0;
    HDC dc = draw.hDC;
    RECT rect = draw.rcItem;
    FillRect(dc, &rect, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    int iconSize = GetSystemMetrics(SM_CXSMICON);
    int gap = iconSize / 4;
    DrawIconEx(dc, rect.left + gap, rect.top + (rect.bottom - rect.top - iconSize) / 2,
               item.fileIcon ? item.fileIcon : item.icon, iconSize, iconSize, 0, nullptr,
               DI_NORMAL);
    SetBkMode(dc, TRANSPARENT);
    // The file name at the right, in full; the title before it, cut with an ellipsis.
    RECT name = rect;
    name.right -= gap;
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_GRAYTEXT));
    DrawTextA(dc, item.fileName, -1, &name, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    RECT measured = name;
    DrawTextA(dc, item.fileName, -1, &measured, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    RECT title = rect;
    title.left += iconSize + 2 * gap;
    title.right = name.right - (measured.right - measured.left) - 2 * gap;
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    DrawTextA(dc, item.title, -1, &title,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (draw.itemState & ODS_FOCUS)
        DrawFocusRect(dc, &rect);
}

const DialogText kPickerTexts[] = {
    {0, IDS_PICKER_CAPTION}, {IDC_PICKER_PROMPT, IDS_PICKER_PROMPT},
    {IDC_PICKER_EMPTY, IDS_PICKER_EMPTY}, {IDOK, IDS_PICKER_ADD}, {IDCANCEL, IDS_CANCEL},
};

void setTexts(HWND dialog)
{
    showDialogTexts(dialog, kPickerTexts, sizeof kPickerTexts / sizeof kPickerTexts[0]);
}

} // namespace

INT_PTR showPickerDialog(Application& app)
{
    // A policy holds the flag, or sets the list: nothing added could count.
    if (policyRefuses(IDM_ADD_RUNNING) || listHeldByPolicy())
        return 0;
    PickerState state = {&app, UniqueBlock(), 0};
    HWND owner = app.trayWindow ? app.trayWindow->window : nullptr;
    INT_PTR result = openDialog(app.instance, IDD_PICKER, owner, pickerDialogProc,
                                reinterpret_cast<LPARAM>(&state));
    for (UINT i = 0; i < state.count; ++i)
        UniqueIcon owned(state.items()[i].fileIcon);
    return result;
}

INT_PTR CALLBACK pickerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    PickerState* state = reinterpret_cast<PickerState*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        setTexts(dialog);
        fillList(dialog, *reinterpret_cast<PickerState*>(lParam));
        return TRUE;
    case WM_MEASUREITEM: {
        // A line of the dialog's font, or the small icon with room around it.
        MEASUREITEMSTRUCT* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        TEXTMETRICA metrics;
        WindowDC dc(dialog);
        SelectedObject font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageA(dialog, WM_GETFONT, 0, 0)));
        GetTextMetricsA(dc.get(), &metrics);
        int icon = GetSystemMetrics(SM_CYSMICON) + GetSystemMetrics(SM_CYSMICON) / 4;
        measure->itemHeight = static_cast<UINT>(metrics.tmHeight + 4 > icon ? metrics.tmHeight + 4
                                                                            : icon);
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    case WM_DRAWITEM:
        if (state)
            drawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), *state);
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_PICKER_LIST:
            if (HIWORD(wParam) == LBN_SELCHANGE)
                EnableWindow(GetDlgItem(dialog, IDOK), state && selectedItem(dialog, *state));
            if (HIWORD(wParam) == LBN_DBLCLK)
                PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            return TRUE;
        case IDOK: {
            const PickerItem* item = state ? selectedItem(dialog, *state) : nullptr;
            if (!item)
                return TRUE;
            // A policy may have come while the box was open.
            bool added = !policyRefuses(IDM_ADD_RUNNING) && !listHeldByPolicy()
                && addKeepOffProgram(item->fileName);
            EndDialog(dialog, added ? 1 : 0);
            return TRUE;
        }
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}
