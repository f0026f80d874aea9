// The texts a user reads (res/string_ids.h), from the program's own string
// tables. One function for every caption, message and tooltip, so that the
// language they are read in is decided in one place.
#pragma once
#include <windows.h>
#include <stddef.h>

// The text of string id in the language Dormity speaks, in the ANSI code
// page; "" for an id that no table holds. The pointer stays valid for the
// life of the process.
const char* uiText(UINT id);

// String table blocks hold 16 texts each: the block of an id, and its place.
inline UINT stringBlockOf(UINT id) { return id / 16 + 1; }
inline UINT stringIndexOf(UINT id) { return id % 16; }

// The text at index of a string table block: its UTF-16 characters and their
// count, within the block's size bytes. False when the block ends before it.
bool stringInBlock(const void* block, size_t size, UINT index, const WCHAR** text,
                   size_t* length);
