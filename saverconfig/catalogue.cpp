#include "catalogue.h"

#include <string.h>

#include "../base/memory.h"
#include "../base/handles.h"
#include "../base/text.h"
#include "native_system.h"
#include "../res/resource.h"

void saverNameFromFile(const char* longName, char* out, size_t size)
{
    copyText(out, size, longName);
    size_t length = textLength(out);
    out[length > 4 ? length - 4 : 0] = '\0';
}

bool buildSaverPath(const char* shortDirectory, const char* fileName, char* out, size_t size)
{
    if (!formatText(out, size, "%s\\%s", shortDirectory, fileName)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool isConfiguredSaver(const char* configured, const char* path)
{
    return !sameFileName(configured, NO_SAVER_TEXT) && sameFileName(configured, path);
}

bool sameSaverItems(const SaverEntry* a, const SaverEntry* b)
{
    while (a && b) {
        if (a->menuId != b->menuId || a->itemWidth != b->itemWidth
            || !textEquals(a->description, b->description) || !textEquals(a->fileName, b->fileName))
            return false;
        a = a->next;
        b = b->next;
    }
    return !a && !b;
}

void freeSaverEntries(SaverEntry* newest)
{
    while (newest) {
        SaverEntry* next = newest->next;
        UniqueIcon owned(newest->icon);
        freeBlock(newest);
        newest = next;
    }
}

namespace {

void freeRecords(SaverRecordList& list)
{
    freeBlock(list.records);
    list.records = nullptr;
    list.count = 0;
    list.capacity = 0;
}

bool sameFile(const SaverFileRecord& record, BYTE directory, const WIN32_FIND_DATAA& found)
{
    const FileStamp& stamp = record.stamp;
    return record.directory == directory && stamp.sizeLow == found.nFileSizeLow
        && stamp.sizeHigh == found.nFileSizeHigh
        && CompareFileTime(&stamp.written, &found.ftLastWriteTime) == 0
        && CompareFileTime(&stamp.created, &found.ftCreationTime) == 0
        && textEquals(stamp.name, found.cFileName);
}

} // namespace

SaverCatalogue::SaverCatalogue()
    : newest(nullptr), none(nullptr), count(0), family_(FAMILY_NT), directoryIndex_(0),
      cursor_(0), replaced_(nullptr), failed_(false)
{
    memset(currentDescription, 0, sizeof currentDescription);
    memset(&rule_, 0, sizeof rule_);
    memset(configured_, 0, sizeof configured_);
    memset(directories_, 0, sizeof directories_);
    memset(&previous_, 0, sizeof previous_);
    memset(&current_, 0, sizeof current_);
    memset(&ui_, 0, sizeof ui_);
    memset(&languages_, 0, sizeof languages_);
}

SaverCatalogue::~SaverCatalogue()
{
    clear();
}

void SaverCatalogue::clear()
{
    releasePrevious();
    freeSaverEntries(newest);
    newest = nullptr;
    none = nullptr;
    count = 0;
    freeRecords(previous_);
    freeRecords(current_);
}

void SaverCatalogue::releasePrevious()
{
    freeSaverEntries(replaced_);
    replaced_ = nullptr;
}

void SaverCatalogue::beginRebuild(SaverFamily family, const SaverWidthRule& rule,
                                  const char* configured)
{
    releasePrevious();
    family_ = family;
    rule_ = rule;
    failed_ = false;
    directoryIndex_ = 0;
    cursor_ = 0;
    // What the previous rebuild found is what this one is matched against.
    freeRecords(previous_);
    previous_ = current_;
    memset(&current_, 0, sizeof current_);
    copyText(configured_, sizeof configured_, configured);
    // The languages are read once a rebuild; a changed language shows at
    // the next one.
    ui_ = preferredUiLanguages();
    languages_ = systemResourceLanguages();

    // The new list starts in the place of the old one; the old one is kept
    // aside until it is known whether the menu still shows it.
    replaced_ = newest;
    newest = nullptr;
    none = nullptr;
    count = 0;
    copyText(currentDescription, sizeof currentDescription, "none");
    SaverEntry* entry = static_cast<SaverEntry*>(allocateZeroedBlock(sizeof(SaverEntry)));
    if (!entry) {
        failed_ = true;
        return;
    }
    copyText(entry->description, sizeof entry->description, NO_SAVER_TEXT);
    copyText(entry->fileName, sizeof entry->fileName, NO_SAVER_TEXT);
    setItemName(entry->name, entry->description);
    entry->itemWidth = rule.widthOf(rule.context, NO_SAVER_TEXT, true);
    entry->flags = SAVER_CHECKED;
    entry->menuId = IDM_NONE;
    newest = entry;
    none = entry;
}

SaverFileRecord* SaverCatalogue::addRecord()
{
    if (current_.count == current_.capacity) {
        size_t capacity = current_.capacity ? current_.capacity * 2 : 16;
        void* grown = allocateBlock(capacity * sizeof(SaverFileRecord));
        if (!grown)
            return nullptr;
        if (current_.count)
            memcpy(grown, current_.records, current_.count * sizeof(SaverFileRecord));
        freeBlock(current_.records);
        current_.records = static_cast<SaverFileRecord*>(grown);
        current_.capacity = capacity;
    }
    SaverFileRecord* record = &current_.records[current_.count++];
    memset(record, 0, sizeof *record);
    return record;
}

const SaverFileRecord* SaverCatalogue::rememberedFile(const WIN32_FIND_DATAA& found)
{
    // Directories list their files in the same order from one search to the
    // next, so the record after the last match is almost always the one.
    // A record whose satellite could not be opened is never reused.
    if (cursor_ < previous_.count && !previous_.records[cursor_].reread
        && sameFile(previous_.records[cursor_], directoryIndex_, found))
        return &previous_.records[cursor_++];
    for (size_t i = 0; i < previous_.count; ++i) {
        if (!previous_.records[i].reread && sameFile(previous_.records[i], directoryIndex_, found)) {
            cursor_ = i + 1;
            return &previous_.records[i];
        }
    }
    return nullptr;
}

void SaverCatalogue::scanDirectory(const char* pattern, const char* shortDirectory)
{
    if (directoryIndex_ >= 2)
        return;
    // A directory whose name changed has nothing to reuse.
    bool reuse = textEquals(directories_[directoryIndex_], pattern);

    if (ui_.count)
        satellites_.list(shortDirectory, ui_);
    // Files are read by their long names: opening one by its short name
    // makes some file systems (Wine's among them) search the directory for
    // the name that shortens to it, so that a rebuild cost the square of the
    // files. The entries keep the short form, and a long name the code page
    // cannot spell (a '?' stands in, never part of a real name) is read by
    // the short one.
    char longDirectory[SAVER_PATH_SIZE];
    copyText(longDirectory, sizeof longDirectory, pattern);
    for (size_t end = textLength(longDirectory); end > 0; --end) {
        if (longDirectory[end - 1] == '\\') {
            longDirectory[end - 1] = '\0';
            break;
        }
    }
    WIN32_FIND_DATAA found;
    UniqueFind search(findFirstNativeFile(pattern, &found));
    if (search) {
        do {
            const char* fileName = found.cAlternateFileName[0] ? found.cAlternateFileName
                                                               : found.cFileName;
            char path[SAVER_PATH_SIZE];
            if (!buildSaverPath(shortDirectory, fileName, path, sizeof path))
                continue;
            char readPath[SAVER_PATH_SIZE];
            if (textContains(found.cFileName, '?')
                || !buildSaverPath(longDirectory, found.cFileName, readPath, sizeof readPath))
                copyText(readPath, sizeof readPath, path);
            SaverFileRecord* record = addRecord();
            if (!record)
                continue;
            const SaverFileRecord* known = reuse ? rememberedFile(found) : nullptr;
            bool unopened = false;
            if (known) {
                *record = *known;
                // Its satellites are part of its key.
                if (record->languageNeutral && (ui_.count == 0
                        || satellites(*record, false, &unopened) != known->satelliteKey))
                    known = nullptr;
            }
            if (!known && !readRecord(*record, found, path, readPath)) {
                // Not remembered: held open elsewhere or not ready, it is
                // tried again at the next rebuild.
                --current_.count;
                continue;
            }
            if (record->check != SAVER_FILE_REFUSED)
                addEntry(*record, path);
        } while (findNextNativeFile(search.get(), &found));
    }
    search.reset();
    copyText(directories_[directoryIndex_], sizeof directories_[directoryIndex_], pattern);
    ++directoryIndex_;
    SetLastError(0);
}

bool SaverCatalogue::readRecord(SaverFileRecord& record, const WIN32_FIND_DATAA& found,
                                const char* path, const char* readPath)
{
    record.directory = directoryIndex_;
    stampFoundFile(found, &record.stamp);
    SatelliteRule rule;
    SaverFileCheck check = readSaverFile(readPath, languages_, record.description,
                                         sizeof record.description, ui_.count ? &rule : nullptr);
    if (check == SAVER_FILE_UNOPENED)
        return false;
    record.check = static_cast<BYTE>(check);
    record.languageNeutral = false;
    record.reread = false;
    record.widthKnown = false;
    // Found here, once, rather than whenever the entry is drawn.
    record.nativeAccess = static_cast<BYTE>(
        nativeAccessOf(path, record.nativeName, sizeof record.nativeName));
    if (record.nativeAccess != NATIVE_THROUGH_ALIAS)
        record.nativeName[0] = '\0';
    // The satellites describe a file without string 1 of its own, and go
    // before its own string table where its configuration says so.
    if (check == SAVER_FILE_SOUND && ui_.count && (rule.first || !record.description[0])) {
        char own[sizeof record.description];
        copyText(own, sizeof own, record.description);
        record.languageNeutral = true;
        copyText(record.fallbackLanguage, sizeof record.fallbackLanguage, rule.fallback);
        bool unopened = false;
        record.satelliteKey = satellites(record, true, &unopened);
        record.reread = unopened;
        if (!record.description[0])
            copyText(record.description, sizeof record.description, own);
    }
    if (!record.description[0] || record.check != SAVER_FILE_SOUND)
        saverNameFromFile(found.cFileName, record.description, sizeof record.description);
    return true;
}

DWORD SaverCatalogue::satellites(SaverFileRecord& record, bool read, bool* unopened)
{
    LanguageNames order;
    satelliteFolderOrder(ui_, record.fallbackLanguage, &order);
    return read ? readSatellites(satellites_, record.stamp.name, order, &languages_,
                                 record.description, sizeof record.description, unopened)
                : readSatellites(satellites_, record.stamp.name, order, nullptr, nullptr, 0,
                                 unopened);
}

void SaverCatalogue::addEntry(SaverFileRecord& record, const char* path)
{
    SaverEntry* entry = static_cast<SaverEntry*>(allocateZeroedBlock(sizeof(SaverEntry)));
    if (!entry || !none) {
        freeBlock(entry);
        failed_ = true;
        return;
    }
    if (!record.widthKnown || record.widthKey != rule_.key) {
        record.itemWidth = rule_.widthOf(rule_.context, record.description, false);
        record.widthKey = rule_.key;
        record.widthKnown = true;
    }
    ++count;
    entry->menuId = static_cast<WORD>(IDM_NONE + count);
    entry->itemWidth = record.itemWidth;
    copyText(entry->description, sizeof entry->description, record.description);
    copyText(entry->fileName, sizeof entry->fileName, path);
    entry->nativeAccess = record.nativeAccess;
    copyText(entry->nativeName, sizeof entry->nativeName, record.nativeName);
    setItemName(entry->name, entry->description);
    if (isConfiguredSaver(configured_, path)) {
        none->flags &= static_cast<BYTE>(~SAVER_CHECKED);
        entry->flags = SAVER_CHECKED;
        copyText(currentDescription, sizeof currentDescription, entry->description);
    }
    newest->prev = entry;
    entry->next = newest;
    newest = entry;
}

bool SaverCatalogue::finishRebuild()
{
    // No rebuild since the last one replaced the list: nothing to compare.
    if (!replaced_ || !sameSaverItems(newest, replaced_))
        return true;
    // The same items: the previous entries stay where the menu points, and
    // only their check marks follow the new scan.
    for (SaverEntry *kept = replaced_, *fresh = newest; kept && fresh;
         kept = kept->next, fresh = fresh->next)
        kept->flags = fresh->flags;
    SaverEntry* fresh = newest;
    SaverEntry* keptNone = replaced_;
    while (keptNone->next)
        keptNone = keptNone->next;
    newest = replaced_;
    none = keptNone;
    replaced_ = fresh;
    releasePrevious();
    return false;
}
