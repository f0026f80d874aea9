// The languages the system's resource loader tries, in its order: for the
// string tables inside a file, and (Windows Vista and later) for the
// language satellites of language-neutral screen savers, and where those
// satellites lie.
#pragma once
#include <windows.h>
#include <stddef.h>

// Enough for the loader's list: a few preferred languages with their
// fallback and neutral languages, and a file's fallback.
const size_t kMaxUiLanguages = 16;
// A language name and its terminator (LOCALE_NAME_MAX_LENGTH).
const size_t kLanguageNameSize = 85;

// Language names, each one a satellite's folder name as it stands.
struct LanguageNames {
    char names[kMaxUiLanguages][kLanguageNameSize];
    size_t count;
};

// Language ids in the order the loader tries them for a file's tables.
struct ResourceLanguageList {
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

// The language names of such a list given with MUI_LANGUAGE_NAME ("de-DE",
// "de"); a name that could not be a folder's is left out.
void parseLanguageNames(const WCHAR* list, size_t length, LanguageNames* out);

// The languages the system's resource loader tries, in its order, for a
// resource asked for without a language, before Windows Vista: neutral,
// then the thread's, the user's and the system's language (each also with
// a neutral sublanguage), then English; the first entry of the file comes
// after all of them. Returns how many were written (at most capacity, no
// repeats).
size_t resourceLanguageOrder(LANGID thread, LANGID user, LANGID system, LANGID* out,
                             size_t capacity);

// The same from Windows Vista on, for the system's list of user interface
// languages with their fallbacks: neutral, each language of the list
// followed by its neutral sublanguage, then English.
size_t loaderLanguageOrder(const LANGID* languages, size_t count, LANGID* out, size_t capacity);

// The languages for a file's tables on the system as it reports itself.
ResourceLanguageList systemResourceLanguages();

// The user interface languages in the order the resource loader tries
// them, with their fallback and neutral languages, as the system names
// them; empty before Windows Vista.
LanguageNames preferredUiLanguages();

// The order of the satellites' folders the loader tries: the preferred
// languages as they stand, then the file's ultimate fallback language
// ("": none). No repeats (letter case aside).
void satelliteFolderOrder(const LanguageNames& preferred, const char* fallback,
                          LanguageNames* out);

// "<directory>\<language>\<long file name>.mui"; false when the path would
// not fit in size bytes.
bool satellitePath(const char* directory, const char* language, const char* longName,
                   char* out, size_t size);

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

// One satellite as the directory search reports it, named
// "<long file name>.mui"; folder is its language's place in the listing.
struct SatelliteFile {
    size_t folder;
    FileStamp stamp;
};

// The satellites of screen savers ("*.scr.mui") in a directory's language
// folders, listed with one search a folder, so that a rebuild asks the file
// system once a language rather than once a file and language.
struct SatelliteListing {
    char directory[MAX_PATH];
    LanguageNames folders;   // the languages given
    bool listed[kMaxUiLanguages];  // whose folder was listed whole
    SatelliteFile* files;
    size_t count;
    size_t capacity;
    size_t cursor;  // after the last file found
    // The folders are searched at the first look-up, so that a directory
    // without language-neutral screen savers costs no search.
    bool searched;

    SatelliteListing();
    ~SatelliteListing();
    SatelliteListing(const SatelliteListing&) = delete;
    SatelliteListing& operator=(const SatelliteListing&) = delete;

    // Lists "<directory>\<language>\*.scr.mui" for each language given,
    // when first looked into.
    void list(const char* directory, const LanguageNames& languages);
    void searchFolders();
    // The satellite of longName in a language's folder; a language or a
    // name the listing does not cover is looked for by itself.
    bool find(const char* language, const char* longName, FileStamp* found);
};
