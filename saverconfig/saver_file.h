// Reading a screen saver file: whether it is a complete image, and its
// description (string 1), all from one read-only mapping of the file.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "../base/handles.h"
#include "mui.h"

// Whether the first length bytes of a file of fileSize bytes describe an
// executable image (32-bit x86, or 64-bit x64 or ARM64) whose sections all
// lie within the file: the test that keeps cut-off and damaged files out of
// the catalogue. The DOS header, the NT headers and the section table must
// lie within length.
bool imageFitsInFile(const unsigned char* start, size_t length, DWORD fileSize);

// Whether reading string 1 from the whole file's bytes (an image that fits
// its file) stays within the file: under the first string type entry and
// its first block 1 entry, as the loader finds them, every language's block
// lies within the file and holds strings 0 and 1 within its size. True too
// when there is no such block (nothing is read then). Its work is bounded by
// the file's size: a table that would need more is judged damaged.
bool stringOneIsReadable(const unsigned char* file, DWORD fileSize);

// The languages the system's resource loader tries, in its order, for a
// resource asked for without a language: neutral, then the thread's, the
// user's and the system's language (each also with a neutral sublanguage),
// then English; the first entry of the file comes after all of them.
// Returns how many were written (at most capacity, no repeats).
size_t resourceLanguageOrder(LANGID thread, LANGID user, LANGID system, LANGID* out,
                             size_t capacity);

// The languages the loader tries, in its order, for a resource asked for
// without a language, on the system as it reports itself: before Windows
// Vista by the locales (resourceLanguageOrder), from it on by the user
// interface languages in the same shape (neutral, each language and its
// neutral parent, English).
struct ResourceLanguageList {
    LANGID ids[kMaxUiLanguages];
    size_t count;
};
size_t loaderLanguageOrder(const LANGID* languages, size_t count, LANGID* out, size_t capacity);
ResourceLanguageList systemResourceLanguages();

// String 1 of a whole file's bytes (an image that fits its file and whose
// string blocks are readable), in the language the loader would choose,
// converted to the ANSI code page and cut as the system's string loader
// cuts it to size bytes. False when there is no non-empty string 1.
bool readStringOne(const unsigned char* file, DWORD fileSize, char* out, size_t size);
bool readStringOne(const unsigned char* file, DWORD fileSize, const ResourceLanguageList& order,
                   char* out, size_t size);

// The ultimate fallback language of a language-neutral file (an image that
// fits its file), from its resource configuration data (type "MUI"); 0
// when it has none.
LANGID readUltimateFallback(const unsigned char* file, DWORD fileSize);

// What a found file allows the catalogue to do.
enum SaverFileCheck {
    SAVER_FILE_REFUSED,      // not a complete image (or one this system cannot run): left out
    SAVER_FILE_UNREADABLE,   // listed, but its damaged string table is not read
    SAVER_FILE_SOUND,        // listed under its string 1 (when it has one)
    SAVER_FILE_UNOPENED,     // could not be opened or mapped now: left out, tried again
};

// A whole file mapped read-only. The one place where a file is opened and
// mapped: in the native view, so that on 64-bit Windows the native system
// directory's files are read, and with redirection back on before anything
// else runs. The view stays readable after redirection is back.
struct MappedFile {
    UniqueFile file;
    UniqueKernelObject mapping;
    UniqueView view;
    DWORD size;

    MappedFile() : size(0) {}
    const unsigned char* bytes() const { return static_cast<const unsigned char*>(view.get()); }
};

enum MapResult {
    MAP_DONE,
    MAP_MISSING,     // nothing to read: no such file, an empty one, one of 4 GiB and more
    MAP_UNOPENED,    // there, but not to be opened or mapped now
};
MapResult mapWholeFile(const char* path, MappedFile& out);

// Whether the system's loader runs an image of this kind here: 64-bit images
// only on 64-bit Windows (where a 64-bit build, too, runs).
bool systemRunsImage(bool image64, bool system64);

// Opens and maps the file once: its verdict and, for a sound file, its
// description (empty when it has no string 1). The bytes are judged with
// redirection on.
SaverFileCheck readSaverFile(const char* path, char* description, size_t size);
// The same in the languages given; a sound file without string 1 also
// gives its ultimate fallback language (0: none).
SaverFileCheck readSaverFile(const char* path, const ResourceLanguageList& languages,
                             char* description, size_t size, LANGID* fallback);
// String 1 of a language satellite (a resource-only image), read and cut
// as a screen saver's own; false when it has none or is not whole.
bool readSatelliteString(const char* path, const ResourceLanguageList& languages,
                         char* description, size_t size);
SaverFileCheck checkSaverFile(const char* path);
