// The dialogs in the language spoken: opened from their templates (mirrored
// where the language reads right to left, in a font of its script), their
// texts read as they open, and their controls made as wide and as high as
// those texts need, the dialog growing rather than cutting a word.
#pragma once
#include <windows.h>
#include <stddef.h>

// A control's text (control 0: the dialog's caption; text 0: one the
// dialog sets itself, fitted all the same).
struct DialogText {
    int control;
    UINT text;
};

// DialogBoxParam on a template of the resources, in the language spoken.
INT_PTR openDialog(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure,
                   LPARAM parameter);

// Copies a DIALOGEX template of size bytes to out (outSize bytes, on a
// four-byte boundary), adapted: extended styles added to the dialog's, its
// font's character set, and its face (null: kept). Returns the copy's size;
// 0 when the bytes hold no such template with a font, or it would not fit.
size_t adaptDialogTemplate(const void* bytes, size_t size, void* out, size_t outSize,
                           DWORD addExStyle, BYTE charset, const WCHAR* face);

// At WM_INITDIALOG: the texts set, then every control that shows one of
// them fitted to it.
void showDialogTexts(HWND dialog, const DialogText* texts, size_t count);

// A control of a mirrored dialog that shows English reads left to right
// again (made anew: call it before its text is set).
void readLeftToRight(HWND dialog, int id);
// Two controls change places (a mirrored field that reads left to right).
void swapPlaces(HWND dialog, int first, int second);

// What a control is to the layout.
enum BoxKind {
    BOX_PLAIN,    // no text of its own: stretched with the dialog where it reaches its edge
    BOX_TEXT,     // one line of text
    BOX_WRAPPED,  // text broken into lines: grows down, and wide enough for its longest word
    BOX_BUTTON,   // a push button: kept at the dialog's right edge as it grows
};

struct LayoutBox {
    RECT rect;  // in the dialog's client area
    BoxKind kind;
};

// The size a box's text needs when it is width pixels wide.
typedef SIZE (*MeasureBox)(void* context, size_t box, int width);

// Fits every box to its text: a box that needs more width grows to the
// right and pushes what lies to its right on its rows; one that needs more
// height grows down and pushes everything below it. The dialog keeps its
// margins and grows with its contents. Returns the new client size.
SIZE fitDialogLayout(LayoutBox* boxes, size_t count, SIZE client, MeasureBox measure,
                     void* context);
