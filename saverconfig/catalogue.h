// The catalogue of installed screen savers: every "*.scr" file of the
// Windows and System directories, each under its description, after the
// "[none]" entry. A file that has not changed since the previous rebuild is
// not read again.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "../base/item_name.h"
#include "saver_file.h"
#include "saver_settings.h"

enum : BYTE { SAVER_CHECKED = 0x01 };

// One entry of the list: "[none]" or an installed screen saver. Its menu
// item's data points at it, so its name for screen readers comes first.
struct SaverEntry {
    ItemName name;  // the description
    BYTE flags;
    WORD menuId;
    WORD itemWidth;
    char description[260];
    char fileName[260];
    // On 64-bit Windows, how a native system file is reached (NativeAccess)
    // and, through the alias, the name the shell reaches it by
    // (nativeSystemFileIcon); empty for every other file.
    BYTE nativeAccess;
    char nativeName[260];
    // Owned: the icon read with redirection off by the last rebuild (a
    // native file without the alias), replaced by the next one, destroyed
    // with the entry; null for every other file.
    HICON icon;
    SaverEntry* next;  // added before this one, toward "[none]"
    SaverEntry* prev;  // added after this one
};

// How wide an entry is, decided by whoever shows the list. key names the
// rule's inputs (font, family): widths computed under another key are
// computed again.
struct SaverWidthRule {
    WORD (*widthOf)(const void* context, const char* description, bool none);
    const void* context;
    DWORD key;
};

// What a found file yielded, kept for the next rebuild. The key is the
// directory and the file's name, size and times as the search reports them.
struct SaverFileRecord {
    BYTE directory;
    BYTE check;            // SaverFileCheck
    WORD itemWidth;
    DWORD widthKey;
    bool widthKnown;
    FileStamp stamp;
    char description[260];
    BYTE nativeAccess;     // nativeAccessOf, found once
    char nativeName[260];  // the alias, for NATIVE_THROUGH_ALIAS
    // A file described by its language satellites on a system that reads
    // them (one without string 1 of its own, or one whose satellites' tables
    // go first): its ultimate fallback language and the key of the
    // satellites it was read with (readSatellites).
    bool languageNeutral;
    char fallbackLanguage[kLanguageNameSize];
    DWORD satelliteKey;
    // A satellite could not be opened: not to be reused, but read again.
    bool reread;
};

struct SaverRecordList {
    SaverFileRecord* records;
    size_t count;
    size_t capacity;
};

struct SaverCatalogue {
    SaverEntry* newest;      // walking next from here ends at "[none]"
    SaverEntry* none;
    WORD count;              // files listed
    char currentDescription[260];

    SaverCatalogue();
    ~SaverCatalogue();
    SaverCatalogue(const SaverCatalogue&) = delete;
    SaverCatalogue& operator=(const SaverCatalogue&) = delete;

    // A rebuild: begin, scan each directory, finish. finish returns true
    // when the list differs from the previous one (its entries replace the
    // previous ones, which stay allocated until releasePrevious); false when
    // it is the same, and the previous entries stay, with their check marks
    // brought up to date.
    // configured is the screen saver in force, whose entry shows the check.
    void beginRebuild(SaverFamily family, const SaverWidthRule& rule, const char* configured);
    void scanDirectory(const char* pattern, const char* shortDirectory);
    bool finishRebuild();
    void releasePrevious();

    // Frees the list and everything remembered about the files.
    void clear();

    // The entries from "[none]" onward, in menu order.
    SaverEntry* oldest() const { return none; }

private:
    SaverFamily family_;
    SaverWidthRule rule_;
    char configured_[260];
    BYTE directoryIndex_;
    char directories_[2][MAX_PATH];
    SaverRecordList previous_;
    SaverRecordList current_;
    size_t cursor_;          // where the previous rebuild's records are matched from
    SaverEntry* replaced_;   // the list a changed rebuild replaced
    bool failed_;            // an entry could not be allocated
    LanguageNames ui_;               // empty before Windows Vista
    ResourceLanguageList languages_;
    SatelliteListing satellites_;    // the directory being scanned

    // The satellites' key of a language-neutral file of the directory being
    // scanned, and with read its description from them (unopened: one
    // could not be opened now).
    DWORD satellites(SaverFileRecord& record, bool read, bool* unopened);

    // Reads a found file into its record; false when it could not be
    // opened now.
    // path is the entry's (short) name; readPath the one the file is read by.
    bool readRecord(SaverFileRecord& record, const WIN32_FIND_DATAA& found, const char* path,
                    const char* readPath);
    const SaverFileRecord* rememberedFile(const WIN32_FIND_DATAA& found);
    SaverFileRecord* addRecord();
    void addEntry(SaverFileRecord& record, const char* path);
};

// Decisions of the catalogue.
// The name a file is listed under when it has no description: its long
// name without the last four characters (".scr").
void saverNameFromFile(const char* longName, char* out, size_t size);

// "shortDirectory\fileName"; false (and nothing usable) when it would not
// fit in size bytes.
bool buildSaverPath(const char* shortDirectory, const char* fileName, char* out, size_t size);

// Whether a found file's path names the configured screen saver.
bool isConfiguredSaver(const char* configured, const char* path);

// Whether two lists show the same items: the same ids, files, texts and
// widths in the same order (check marks aside).
bool sameSaverItems(const SaverEntry* a, const SaverEntry* b);

// Frees a list walked by next, and the icons its entries own.
void freeSaverEntries(SaverEntry* newest);
