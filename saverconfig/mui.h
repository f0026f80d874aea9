// Language-neutral screen savers (Windows Vista and later): the user
// interface languages the system's resource loader tries, in its order, and
// where a file's language satellites lie.
#pragma once
#include <windows.h>
#include <stddef.h>

// Enough for the loader's list: a few preferred languages, each with its
// neutral parent, and a file's fallback.
const size_t kMaxUiLanguages = 16;

struct UiLanguages {
    LANGID ids[kMaxUiLanguages];
    size_t count;
};

// Whether the reported system loads resources by its user interface
// languages and from language satellites: Windows Vista (NT 6.0) and later.
bool loadsByUiLanguages(DWORD platformId, DWORD majorVersion);
bool systemLoadsByUiLanguages();

// The language ids of a list as the MUI functions give it with
// MUI_LANGUAGE_ID: hexadecimal texts ("0407"), each terminated, the list
// ending in an empty one, all within length characters. Returns how many
// were written (at most capacity).
size_t parseLanguageIds(const WCHAR* list, size_t length, LANGID* out, size_t capacity);

// The order of the satellites the loader tries: every preferred language
// followed by its neutral parent ("de-DE", then "de"), then the file's
// ultimate fallback language and its parent (0: none). No repeats; returns
// how many were written (at most capacity).
size_t uiLanguageOrder(const LANGID* preferred, size_t count, LANGID fileFallback, LANGID* out,
                       size_t capacity);

// The system's preferred user interface languages in the order the loader
// merges them: the thread's, the user's, the system's, then the system's
// default user interface language. Empty before Windows Vista.
UiLanguages preferredUiLanguages();

// The language id of a language name ("en-US"); 0 when the system does not
// know it (or is older than Windows Vista).
LANGID languageOfName(const WCHAR* name);

// "<directory>\<language name>\<long file name>.mui"; false when the
// language has no name here or the path would not fit in size bytes.
bool satellitePath(const char* directory, LANGID language, const char* longName, char* out,
                   size_t size);

struct ResourceLanguageList;

// One satellite as the directory search reports it.
// What a directory search tells of a file: its long name and what changes
// when it is rewritten or replaced.
struct FileStamp {
    DWORD sizeLow;
    DWORD sizeHigh;
    FILETIME written;
    FILETIME created;
    char name[MAX_PATH];
};
void stampFoundFile(const WIN32_FIND_DATAA& found, FileStamp* stamp);

struct SatelliteFile {
    LANGID language;
    FileStamp stamp;  // named "<long file name>.mui"
};

// The satellites of screen savers ("*.scr.mui") in a directory's language
// folders, listed with one search a folder, so that a rebuild asks the file
// system once a language rather than once a file and language.
struct SatelliteListing {
    char directory[MAX_PATH];
    LANGID languages[kMaxUiLanguages];
    size_t languageCount;
    SatelliteFile* files;
    size_t count;
    size_t capacity;
    size_t cursor;  // after the last file found
    // The folders are searched at the first look-up, so that a directory
    // without language-neutral screen savers costs no search.
    LANGID pending[kMaxUiLanguages];
    size_t pendingCount;
    bool searched;

    SatelliteListing();
    ~SatelliteListing();
    SatelliteListing(const SatelliteListing&) = delete;
    SatelliteListing& operator=(const SatelliteListing&) = delete;

    // Lists "<directory>\<language>\*.scr.mui" for each language given,
    // when first looked into.
    void list(const char* directory, const LANGID* languages, size_t count);
    void searchFolders();
    // The satellite of longName in language; a language or a name the
    // listing does not cover is looked for by itself.
    bool find(LANGID language, const char* longName, SatelliteFile* found);
};

// The satellites of a file of the listed directory in the given order:
// when languages is given, description gets string 1 of the first one that
// has it (empty when none has); without languages nothing is read, and
// description may be null with size 0. Returns a key of the satellites present,
// their paths, sizes and times: another key means one was installed,
// removed or replaced.
DWORD readSatellites(SatelliteListing& listing, const char* longName, const LANGID* order,
                     size_t count, const ResourceLanguageList* languages, char* description,
                     size_t size);
