// Bounded text helpers for the program's fixed buffers. The program links no
// C runtime: these and kernel32's string functions are all it uses.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <wchar.h>

// Formats into out (size bytes, always terminated). Returns false when the
// text had to be cut to fit, or when the format holds a conversion outside
// the few the program uses: "%%", "%s" and "%d" / "%u" with an optional "0"
// flag, width and precision (minimum digits), as in "%02u" and "%.2d".
// A format that ends inside a conversion, and a null "%s" argument, fail
// the format too.
bool formatText(char* out, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// The same for UTF-16 text: size in characters, "%s" a UTF-16 argument.
bool formatText(wchar_t* out, size_t size, const wchar_t* format, ...);

// Copies at most size - 1 bytes and terminates. Returns false when cut.
bool copyText(char* out, size_t size, const char* text);
bool copyText(wchar_t* out, size_t size, const wchar_t* text);

// Appends to the terminated text in out. Returns false when cut.
bool appendText(char* out, size_t size, const char* text);

// Length of a terminated text (kernel32's lstrlenA).
size_t textLength(const char* text);
size_t textLength(const wchar_t* text);

// Byte for byte, letter case included.
bool textEquals(const char* first, const char* second);

// Whether two file names or paths (ANSI) name the same file as the file
// system compares names: ordinal, letter case aside by the system's own
// upper-case table, never by the user's locale ("i" and "I" match; the
// dotted capital I and "i", the dotless small i and "I" do not, in a
// Turkish locale too). A name longer than MAX_PATH characters matches only
// itself, byte for byte.
bool sameFileName(const char* first, const char* second);
// The form sameFileName compares: the name in UTF-16, upper-cased as the
// file system compares names; its length with the terminator, 0 when it
// does not fit in MAX_PATH characters. Two names sameFileName finds equal
// have the same form (or, at 0, the same bytes).
int fileNameKey(const char* name, WCHAR (&out)[MAX_PATH]);

// Whether the character occurs in the text before its terminator.
bool textContains(const char* text, char character);
