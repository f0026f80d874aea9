// Bounded text helpers for the program's fixed buffers.
#pragma once
#include <stddef.h>

// Formats into out (size bytes, always terminated). Returns false when the
// text had to be cut to fit.
bool formatText(char* out, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Copies at most size - 1 bytes and terminates. Returns false when cut.
bool copyText(char* out, size_t size, const char* text);

// Appends to the terminated text in out. Returns false when cut.
bool appendText(char* out, size_t size, const char* text);
