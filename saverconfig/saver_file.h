// Reading a screen saver file and its language satellites: whether it is a
// complete image, and its description (string 1), each from one read-only
// mapping of the file, judged by the file reader (pe_image.h).
#pragma once
#include <windows.h>
#include <stddef.h>

#include "../base/handles.h"
#include "mui.h"
#include "pe_image.h"

// String 1 of a whole file's bytes (an image that fits its file and whose
// string blocks are readable), in the language the loader would choose,
// converted to the ANSI code page and cut as the system's string loader
// cuts it to size bytes. False when there is no non-empty string 1.
bool readStringOne(const unsigned char* file, DWORD fileSize, const ResourceLanguageList& order,
                   char* out, size_t size);

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

// What a file's resource configuration tells of its satellites.
struct SatelliteRule {
    char fallback[kLanguageNameSize];  // the ultimate fallback language; "": none
    bool first;  // their string tables go before the file's own
};

// Opens and maps the file once: its verdict and, for a sound file, its
// description (empty when it has no string 1). The bytes are judged with
// redirection on.
SaverFileCheck readSaverFile(const char* path, char* description, size_t size);
// The same in the languages given; with a rule, a sound file also gives
// what its resource configuration says of its satellites.
SaverFileCheck readSaverFile(const char* path, const ResourceLanguageList& languages,
                             char* description, size_t size, SatelliteRule* rule);
SaverFileCheck checkSaverFile(const char* path);

// The satellites of a file of the listed directory in the given order of
// folders: when languages is given, description gets string 1 of the first
// one that has it (empty when none has); without languages nothing is
// read, and description may be null with size 0. Returns a key of the
// satellites present, their paths, sizes and times: another key means one
// was installed, removed or replaced. unopened tells whether a satellite
// before the one read could not be opened now.
DWORD readSatellites(SatelliteListing& listing, const char* longName, const LanguageNames& order,
                     const ResourceLanguageList* languages, char* description, size_t size,
                     bool* unopened);
