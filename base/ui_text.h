// The texts a user reads (res/string_ids.h), from the program's own string
// tables in the language it speaks, and the few calls that show them. One
// function for every caption, message and tooltip, so that the language
// they are read in is decided in one place.
#pragma once
#include <windows.h>
#include <stddef.h>

// Speaks kUiLanguages[language] from now on, on the system reported: its
// family decides whether texts are shown wide, and whether the layout is
// mirrored. Texts read before are read again.
void speakUiLanguage(size_t language, DWORD platformId, DWORD majorVersion);
// The language spoken (English until one is chosen).
size_t uiLanguage();
// Whether texts go to the system as UTF-16 (NT 4.0 on) rather than in the
// ANSI code page (the 95 family, which draws no other).
bool uiTextIsWide();
// Whether windows, menus and message boxes open mirrored.
bool uiMirrored();

// The text of string id in the language spoken, or in English where that
// language lacks it; "" for an id that no table holds. Valid until the
// language next changes: callers copy what they keep.
const WCHAR* uiText(UINT id);

// The English text of string id, whatever language is spoken, for what
// stays English (the 95 family's sound labels): in the ANSI code page,
// always terminated, "" for an id that no table holds.
void englishText(UINT id, char* out, size_t size);

// String table blocks hold 16 texts each: the block of an id, and its place.
inline UINT stringBlockOf(UINT id) { return id / 16 + 1; }
inline UINT stringIndexOf(UINT id) { return id % 16; }

// The text at index of a string table block: its UTF-16 characters and their
// count, within the block's size bytes. False when the block ends before it.
bool stringInBlock(const void* block, size_t size, UINT index, const WCHAR** text,
                   size_t* length);

// Text in the ANSI code page, for the calls of the 95 family (always
// terminated, cut to size bytes).
void ansiFromWide(const WCHAR* text, char* out, size_t size);

// A message box in the language spoken (mirrored where it reads right to
// left); MessageBox's result.
int showMessage(HWND owner, const WCHAR* text, const WCHAR* caption, UINT type);

// A window's (or a dialog control's) text.
void setWindowText(HWND window, const WCHAR* text);

// Text of the ANSI code page as UTF-16 (always terminated, cut to size
// characters).
void wideFromAnsi(const char* text, WCHAR* out, size_t size);

// DrawText for a UTF-16 text of length characters (-1: terminated): wide
// where the system draws it, else in the ANSI code page.
int drawText(HDC dc, const WCHAR* text, int length, RECT* rect, UINT format);
