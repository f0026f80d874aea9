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
