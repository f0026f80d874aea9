// Small decisions of the screen saver catalogue.
#pragma once
#include <windows.h>
#include <stddef.h>

// The name a file is listed under when it has no description: its long
// name without the last four characters (".scr").
void saverNameFromFile(const char* longName, char* out, size_t size);

// "shortDirectory\fileName"; false (and nothing usable) when it would not
// fit in size bytes.
bool buildSaverPath(const char* shortDirectory, const char* fileName, char* out, size_t size);

// Whether a found file's path names the configured screen saver.
bool isConfiguredSaver(const char* configured, const char* path);

// Whether the first length bytes of a file of fileSize bytes describe a
// 32-bit x86 executable image whose sections all lie within the file: the
// test that keeps cut-off and damaged files out of the catalogue. The DOS
// header, the NT headers and the section table must lie within length.
bool imageFitsInFile(const unsigned char* start, size_t length, DWORD fileSize);

// Whether reading string 1 from the whole file's bytes (an image that fits
// its file) stays within the file: every string block that can hold it,
// in every language, lies within the file and holds strings 0 and 1 within
// its size. True too when there is no such block (nothing is read then).
bool stringOneIsReadable(const unsigned char* file, DWORD fileSize);

// What a found file allows the catalogue to do.
enum SaverFileCheck {
    SAVER_FILE_REFUSED,      // not a complete image: left out
    SAVER_FILE_UNREADABLE,   // listed, but its damaged string table is not read
    SAVER_FILE_SOUND,        // listed under its string 1
};
SaverFileCheck checkSaverFile(const char* path);
