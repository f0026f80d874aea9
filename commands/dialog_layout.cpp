#include "dialog_layout.h"

#include <string.h>

#include "../base/handles.h"
#include "../base/text.h"
#include "../base/ui_language.h"
#include "../base/ui_text.h"

namespace {

// A control's edge within this many pixels of the contents' right edge
// reaches it.
const int kEdgeSlack = 4;
// More controls than any of the program's dialogs has.
const size_t kMaxControls = 32;

typedef INT_PTR(WINAPI* DialogBoxIndirectParamWFunction)(HINSTANCE, LPCDLGTEMPLATEW, HWND, DLGPROC,
                                                         LPARAM);

int width(const RECT& rect) { return rect.right - rect.left; }
int height(const RECT& rect) { return rect.bottom - rect.top; }

bool overlapRows(const RECT& a, const RECT& b)
{
    return a.top < b.bottom && b.top < a.bottom;
}

// The next box not yet done, by its left edge or by its top.
size_t nextBox(const LayoutBox* boxes, size_t count, const bool* done, bool byTop)
{
    size_t next = count;
    for (size_t i = 0; i < count; ++i) {
        if (done[i])
            continue;
        LONG key = byTop ? boxes[i].rect.top : boxes[i].rect.left;
        LONG best = next == count ? 0 : (byTop ? boxes[next].rect.top : boxes[next].rect.left);
        if (next == count || key < best)
            next = i;
    }
    return next;
}

// The offset after a name or ordinal of a template (sz_Or_Ord), or after a
// text when ordinal is false; size when it runs past the end.
size_t skipName(const BYTE* bytes, size_t size, size_t offset, bool ordinal)
{
    WORD first = 0;
    if (offset + 2 > size)
        return size;
    memcpy(&first, bytes + offset, 2);
    if (ordinal && first == 0xFFFF)
        return offset + 4 <= size ? offset + 4 : size;
    for (WORD unit = first; offset + 2 <= size; offset += 2) {
        memcpy(&unit, bytes + offset, 2);
        if (unit == 0)
            return offset + 2;
    }
    return size;
}

} // namespace

size_t adaptDialogTemplate(const void* bytes, size_t size, void* out, size_t outSize,
                           DWORD addExStyle, BYTE charset, const WCHAR* face)
{
    // DLGTEMPLATEEX: version 1, signature 0xFFFF, help id, extended style,
    // style, item count, x, y, cx, cy; then menu, class and title; with
    // DS_SETFONT the point size, weight, italic flag, character set and
    // face; then the items, each on a four-byte boundary.
    const BYTE* data = static_cast<const BYTE*>(bytes);
    BYTE* copy = static_cast<BYTE*>(out);
    const size_t kHeader = 26;
    WORD version = 0;
    WORD signature = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    if (size < kHeader)
        return 0;
    memcpy(&version, data, 2);
    memcpy(&signature, data + 2, 2);
    memcpy(&exStyle, data + 8, 4);
    memcpy(&style, data + 12, 4);
    if (version != 1 || signature != 0xFFFF || !(style & DS_SETFONT))
        return 0;
    size_t offset = skipName(data, size, kHeader, true);
    offset = skipName(data, size, offset, true);
    offset = skipName(data, size, offset, false);
    size_t faceAt = offset + 6;
    size_t faceEnd = skipName(data, size, faceAt, false);
    size_t items = (faceEnd + 3) & ~static_cast<size_t>(3);
    if (faceAt + 2 > size)
        return 0;
    if (items > size)
        items = size;
    size_t faceBytes = face ? (textLength(face) + 1) * sizeof(WCHAR) : faceEnd - faceAt;
    size_t newItems = (faceAt + faceBytes + 3) & ~static_cast<size_t>(3);
    size_t total = newItems + (size - items);
    if (total > outSize)
        return 0;
    memset(copy, 0, newItems);
    memcpy(copy, data, faceAt);
    memcpy(copy + faceAt, face ? static_cast<const void*>(face) : data + faceAt, faceBytes);
    memcpy(copy + newItems, data + items, size - items);
    exStyle |= addExStyle;
    memcpy(copy + 8, &exStyle, 4);
    copy[faceAt - 1] = charset;
    return total;
}

SIZE fitDialogLayout(LayoutBox* boxes, size_t count, SIZE client, MeasureBox measure,
                     void* context)
{
    if (count == 0 || count > kMaxControls)
        return client;
    LONG contentRight = boxes[0].rect.right;
    for (size_t i = 0; i < count; ++i)
        contentRight = boxes[i].rect.right > contentRight ? boxes[i].rect.right : contentRight;
    LONG margin = client.cx > contentRight ? client.cx - contentRight : 0;
    bool reachesEdge[kMaxControls];
    for (size_t i = 0; i < count; ++i)
        reachesEdge[i] = boxes[i].rect.right >= contentRight - kEdgeSlack;

    // Widths, left to right: what grows pushes the boxes to its right on
    // its rows, which then grow in their turn.
    bool done[kMaxControls] = {};
    for (size_t step = 0; step < count; ++step) {
        size_t i = nextBox(boxes, count, done, false);
        done[i] = true;
        RECT& rect = boxes[i].rect;
        if (boxes[i].kind == BOX_PLAIN)
            continue;
        int grow = measure(context, i, width(rect)).cx - width(rect);
        if (grow <= 0)
            continue;
        LONG oldRight = rect.right;
        rect.right += grow;
        for (size_t j = 0; j < count; ++j) {
            if (j != i && boxes[j].rect.left >= oldRight - 1 && overlapRows(rect, boxes[j].rect)) {
                boxes[j].rect.left += grow;
                boxes[j].rect.right += grow;
            }
        }
    }

    // The dialog grows by what passes its margin; its buttons keep to its
    // right edge, and what reached that edge stretches with it.
    LONG grow = 0;
    for (size_t i = 0; i < count; ++i) {
        LONG over = boxes[i].rect.right + margin - client.cx;
        if (boxes[i].kind != BOX_BUTTON && over > grow)
            grow = over;
    }
    LONG buttonsGrow = 0;
    for (size_t i = 0; i < count; ++i) {
        if (boxes[i].kind != BOX_BUTTON)
            continue;
        boxes[i].rect.left += grow;
        boxes[i].rect.right += grow;
        LONG over = boxes[i].rect.right + margin - (client.cx + grow);
        buttonsGrow = over > buttonsGrow ? over : buttonsGrow;
    }
    grow += buttonsGrow;
    client.cx += grow;
    for (size_t i = 0; i < count; ++i) {
        if (reachesEdge[i] && (boxes[i].kind == BOX_PLAIN || boxes[i].kind == BOX_WRAPPED))
            boxes[i].rect.right += grow;
    }

    // Heights, top to bottom, at the widths now given: what grows pushes
    // everything below it down, and the dialog with it.
    memset(done, 0, sizeof done);
    for (size_t step = 0; step < count; ++step) {
        size_t i = nextBox(boxes, count, done, true);
        done[i] = true;
        RECT& rect = boxes[i].rect;
        if (boxes[i].kind == BOX_PLAIN)
            continue;
        int deeper = measure(context, i, width(rect)).cy - height(rect);
        if (deeper <= 0)
            continue;
        LONG oldBottom = rect.bottom;
        rect.bottom += deeper;
        for (size_t j = 0; j < count; ++j) {
            if (j != i && boxes[j].rect.top >= oldBottom - 1) {
                boxes[j].rect.top += deeper;
                boxes[j].rect.bottom += deeper;
            }
        }
        client.cy += deeper;
    }
    return client;
}

namespace {

struct DialogMeasure {
    HWND dialog;
    HWND controls[kMaxControls];
    BoxKind kinds[kMaxControls];
    HDC dc;
    int checkRoom;   // a check box's box and the gap after it
    int buttonRoom;  // a push button's edges and the room either side of its text
};

// The text of a control as the system holds it.
void controlText(HWND control, WCHAR* out, size_t size)
{
    typedef int(WINAPI * GetWindowTextWFunction)(HWND, LPWSTR, int);
    GetWindowTextWFunction getWide = uiTextIsWide()
        ? findLoadedFunction<GetWindowTextWFunction>("user32.dll", "GetWindowTextW")
        : nullptr;
    out[0] = L'\0';
    if (getWide) {
        getWide(control, out, static_cast<int>(size));
        return;
    }
    char ansi[1024];
    ansi[0] = '\0';
    GetWindowTextA(control, ansi, sizeof ansi);
    wideFromAnsi(ansi, out, size);
}

bool isClass(HWND window, const char* name)
{
    char className[16];
    className[0] = '\0';
    GetClassNameA(window, className, sizeof className);
    // The system's own classes come back as registered ("Button", "Static");
    // an exact compare needs no locale (lstrcmpiA's would be the user's).
    return textEquals(className, name);
}

bool isCheckBox(LONG style)
{
    LONG type = style & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON
        || type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE;
}

SIZE measureControl(void* context, size_t box, int boxWidth)
{
    DialogMeasure& m = *static_cast<DialogMeasure*>(context);
    HWND control = m.controls[box];
    WCHAR text[1024];
    controlText(control, text, sizeof text / sizeof text[0]);
    LONG style = GetWindowLongA(control, GWL_STYLE);
    bool button = isClass(control, "Button");
    bool wraps = m.kinds[box] == BOX_WRAPPED;
    int room = button ? (isCheckBox(style) ? m.checkRoom : m.buttonRoom) : 0;
    UINT format = DT_CALCRECT | DT_EXPANDTABS | (wraps ? DT_WORDBREAK : DT_SINGLELINE);
    if (!button && (style & SS_NOPREFIX))
        format |= DT_NOPREFIX;
    // Measured in the control's own font, as it draws itself.
    SelectedObject font(m.dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
    RECT needed = {0, 0, boxWidth - room, 0};
    drawText(m.dc, text, -1, &needed, format);
    SIZE size = {needed.right + room, needed.bottom};
    return size;
}

// What the control is to the layout; lineHeight tells one line from more.
BoxKind kindOf(HWND control, const RECT& rect, int lineHeight)
{
    LONG style = GetWindowLongA(control, GWL_STYLE);
    if (isClass(control, "Button")) {
        LONG type = style & BS_TYPEMASK;
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)
            return BOX_BUTTON;
        return isCheckBox(style) ? BOX_TEXT : BOX_PLAIN;
    }
    if (!isClass(control, "Static") || GetWindowTextLengthA(control) == 0)
        return BOX_PLAIN;
    LONG type = style & SS_TYPEMASK;
    if (type <= SS_RIGHT)
        return height(rect) >= 2 * lineHeight ? BOX_WRAPPED : BOX_TEXT;
    return type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE ? BOX_TEXT : BOX_PLAIN;
}

// A control's rectangle in the dialog's client area (mirrored dialogs
// included: the two points are read as a rectangle).
RECT clientRectOf(HWND dialog, HWND control)
{
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Whether the control's text is one the dialog shows in the language.
bool listed(HWND control, const DialogText* texts, size_t count)
{
    int id = GetDlgCtrlID(control);
    for (size_t i = 0; i < count; ++i) {
        if (texts[i].control != 0 && texts[i].control == id)
            return true;
    }
    return false;
}

void layOut(HWND dialog, const DialogText* texts, size_t count)
{
    DialogMeasure m;
    memset(&m, 0, sizeof m);
    m.dialog = dialog;
    LayoutBox boxes[kMaxControls];
    size_t boxCount = 0;
    WindowDC dc(dialog);
    if (!dc.get())
        return;
    m.dc = dc.get();
    RECT units = {4, 8, 8, 0};  // dialog units: a gap, a line, the room by a text
    MapDialogRect(dialog, &units);
    m.checkRoom = GetSystemMetrics(SM_CXMENUCHECK) + units.left;
    m.buttonRoom = 2 * GetSystemMetrics(SM_CXEDGE) + units.right;
    for (HWND child = GetWindow(dialog, GW_CHILD); child && boxCount < kMaxControls;
         child = GetWindow(child, GW_HWNDNEXT)) {
        m.controls[boxCount] = child;
        LayoutBox& box = boxes[boxCount++];
        box.rect = clientRectOf(dialog, child);
        // Only the texts of the language are fitted: the others stay as
        // the template draws them.
        box.kind = listed(child, texts, count) ? kindOf(child, box.rect, units.top) : BOX_PLAIN;
        m.kinds[boxCount - 1] = box.kind;
    }
    RECT client;
    GetClientRect(dialog, &client);
    SIZE before = {client.right, client.bottom};
    SIZE after = fitDialogLayout(boxes, boxCount, before, measureControl, &m);
    for (size_t i = 0; i < boxCount; ++i) {
        const RECT& rect = boxes[i].rect;
        SetWindowPos(m.controls[i], nullptr, rect.left, rect.top, width(rect), height(rect),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    LONG wider = after.cx - before.cx;
    LONG taller = after.cy - before.cy;
    if (wider == 0 && taller == 0)
        return;
    // Grown about its centre, where the dialog was placed.
    RECT frame;
    GetWindowRect(dialog, &frame);
    SetWindowPos(dialog, nullptr, frame.left - wider / 2, frame.top - taller / 2,
                 width(frame) + wider, height(frame) + taller, SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

INT_PTR openDialog(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure,
                   LPARAM parameter)
{
    HRSRC info = FindResourceExA(instance, MAKEINTRESOURCEA(5) /* RT_DIALOG */,
                                 MAKEINTRESOURCEA(templateId),
                                 MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    HGLOBAL handle = info ? LoadResource(instance, info) : nullptr;
    const void* resource = handle ? LockResource(handle) : nullptr;
    // A copy to adapt, aligned as a template must be. A script other than
    // the Latin one is drawn in the face Windows maps to a font of the
    // user's script, as the template's bitmap face has no such letters.
    DWORD copy[1024];
    const UiLanguage& language = kUiLanguages[uiLanguage()];
    size_t size = info ? SizeofResource(instance, info) : 0;
    if (!resource
        || !adaptDialogTemplate(resource, size, copy, sizeof copy,
                                uiMirrored() ? WS_EX_LAYOUTRTL : 0, language.charset,
                                language.charset == ANSI_CHARSET ? nullptr : L"MS Shell Dlg"))
        return DialogBoxParamA(instance, MAKEINTRESOURCEA(templateId), owner, procedure, parameter);
    // A dialog made by the wide call takes wide texts whole; Windows 95
    // has none to import.
    DialogBoxIndirectParamWFunction openWide = uiTextIsWide()
        ? findLoadedFunction<DialogBoxIndirectParamWFunction>("user32.dll",
                                                              "DialogBoxIndirectParamW")
        : nullptr;
    if (openWide)
        return openWide(instance, reinterpret_cast<LPCDLGTEMPLATEW>(copy), owner, procedure,
                        parameter);
    return DialogBoxIndirectParamA(instance, reinterpret_cast<LPCDLGTEMPLATEA>(copy), owner,
                                   procedure, parameter);
}

void showDialogTexts(HWND dialog, const DialogText* texts, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        HWND window = texts[i].control ? GetDlgItem(dialog, texts[i].control) : dialog;
        if (window && texts[i].text)
            setWindowText(window, uiText(texts[i].text));
    }
    layOut(dialog, texts, count);
}

void readLeftToRight(HWND dialog, int id)
{
    // Made again in its place, as a control takes its parent's mirroring
    // as it is made (the dialog's inheritance withheld for that moment):
    // one mirrored later keeps parts laid out for the other side.
    HWND control = GetDlgItem(dialog, id);
    if (!control)
        return;
    RECT rect = clientRectOf(dialog, control);
    char className[16];
    className[0] = '\0';
    GetClassNameA(control, className, sizeof className);
    LONG dialogExStyle = GetWindowLongA(dialog, GWL_EXSTYLE);
    LONG exStyle = GetWindowLongA(control, GWL_EXSTYLE)
        & ~(WS_EX_LAYOUTRTL | WS_EX_RTLREADING | WS_EX_RIGHT | WS_EX_LEFTSCROLLBAR);
    SetWindowLongA(dialog, GWL_EXSTYLE, dialogExStyle | WS_EX_NOINHERITLAYOUT);
    HWND fresh = CreateWindowExA(exStyle, className, "", GetWindowLongA(control, GWL_STYLE),
                                 rect.left, rect.top, width(rect), height(rect), dialog,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE)),
                                 nullptr);
    SetWindowLongA(dialog, GWL_EXSTYLE, dialogExStyle);
    if (!fresh)
        return;
    SendMessageA(fresh, WM_SETFONT, SendMessageA(control, WM_GETFONT, 0, 0), FALSE);
    // Its place in the tab order is the old one's.
    SetWindowPos(fresh, control, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    DestroyWindow(control);
}

void swapPlaces(HWND dialog, int first, int second)
{
    HWND a = GetDlgItem(dialog, first);
    HWND b = GetDlgItem(dialog, second);
    if (!a || !b)
        return;
    RECT ra = clientRectOf(dialog, a);
    RECT rb = clientRectOf(dialog, b);
    SetWindowPos(a, nullptr, rb.left, rb.top, width(ra), height(ra), SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(b, nullptr, ra.left, ra.top, width(rb), height(rb), SWP_NOZORDER | SWP_NOACTIVATE);
}
