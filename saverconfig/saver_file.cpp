#include "saver_file.h"

#include <stddef.h>

#include "../base/handles.h"
#include "../base/hash.h"
#include "../base/text.h"
#include "native_system.h"

bool readStringOne(const unsigned char* file, DWORD fileSize, const ResourceLanguageList& order,
                   char* out, size_t size)
{
    out[0] = '\0';
    ImageText text;
    if (size < 2 || !findStringOne(file, fileSize, order.ids, order.count, &text))
        return false;
    // Copied out: the text need not be aligned in the file. No more than
    // the buffer can take is converted.
    WCHAR wide[MAX_PATH];
    size_t units = text.length < size - 1 ? text.length : size - 1;
    if (units > MAX_PATH)
        units = MAX_PATH;
    for (size_t i = 0; i < units; ++i)
        wide[i] = static_cast<WCHAR>(text.text[2 * i] | text.text[2 * i + 1] << 8);
    // Cut to the buffer as the system's string loader cuts: at most
    // size - 1 bytes (fewer characters when some take two bytes).
    int count = static_cast<int>(units);
    int written = 0;
    while (count > 0
           && (written = WideCharToMultiByte(CP_ACP, 0, wide, count, out,
                                             static_cast<int>(size - 1), nullptr, nullptr))
                  == 0)
        --count;
    out[written > 0 ? written : 0] = '\0';
    return written > 0;
}

MapResult mapWholeFile(const char* path, MappedFile& out)
{
    NativeFileSystemView native;
    out.file.reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr));
    if (!out.file) {
        // Held open by another program, a volume not ready: another try
        // later may succeed. A file that is not there has nothing to retry.
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? MAP_MISSING
                                                                               : MAP_UNOPENED;
    }
    DWORD high = 0;
    out.size = GetFileSize(out.file.get(), &high);
    if (out.size == INVALID_FILE_SIZE || high != 0 || out.size == 0)
        return MAP_MISSING;
    out.mapping.reset(CreateFileMappingA(out.file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!out.mapping)
        return MAP_UNOPENED;
    out.view.reset(MapViewOfFile(out.mapping.get(), FILE_MAP_READ, 0, 0, 0));
    return out.view ? MAP_DONE : MAP_UNOPENED;
}

bool systemRunsImage(bool image64, bool system64)
{
    return !image64 || system64;
}

SaverFileCheck readSaverFile(const char* path, char* description, size_t size)
{
    return readSaverFile(path, systemResourceLanguages(), description, size, nullptr);
}

SaverFileCheck readSaverFile(const char* path, const ResourceLanguageList& languages,
                             char* description, size_t size, SatelliteRule* rule)
{
    if (size > 0)
        description[0] = '\0';
    if (rule) {
        rule->fallback[0] = '\0';
        rule->first = false;
    }
    MappedFile mapped;
    MapResult result = mapWholeFile(path, mapped);
    if (result != MAP_DONE)
        return result == MAP_UNOPENED ? SAVER_FILE_UNOPENED : SAVER_FILE_REFUSED;
    const unsigned char* bytes = mapped.bytes();
    DWORD fileSize = mapped.size;
    if (!imageFitsInFile(bytes, fileSize, fileSize))
        return SAVER_FILE_REFUSED;
    // A 64-bit process runs on 64-bit Windows only; a 32-bit one asks.
    const bool system64 = sizeof(void*) == 8 || isWow64();
    if (!systemRunsImage(imageIs64Bit(bytes, fileSize), system64))
        return SAVER_FILE_REFUSED;
    // A damaged table in any language keeps the whole file's strings
    // unread, whichever language would be chosen.
    if (!stringOneIsReadable(bytes, fileSize))
        return SAVER_FILE_UNREADABLE;
    if (size > 0)
        readStringOne(bytes, fileSize, languages, description, size);
    MuiConfiguration mui;
    if (rule && readMuiConfiguration(bytes, fileSize, &mui)) {
        languageFolderName(mui.fallback, rule->fallback, sizeof rule->fallback);
        rule->first = mui.localizesStrings;
    }
    return SAVER_FILE_SOUND;
}

SaverFileCheck checkSaverFile(const char* path)
{
    char description[2];
    return readSaverFile(path, description, sizeof description);
}

namespace {

// String 1 of a language satellite (a resource-only image), read and cut
// as a screen saver's own.
MapResult readSatelliteString(const char* path, const ResourceLanguageList& languages,
                              char* description, size_t size)
{
    description[0] = '\0';
    MappedFile mapped;
    MapResult result = mapWholeFile(path, mapped);
    if (result == MAP_DONE) {
        const unsigned char* bytes = mapped.bytes();
        if (imageFitsInFile(bytes, mapped.size, mapped.size)
            && stringOneIsReadable(bytes, mapped.size))
            readStringOne(bytes, mapped.size, languages, description, size);
    }
    return result;
}

} // namespace

DWORD readSatellites(SatelliteListing& listing, const char* longName, const LanguageNames& order,
                     const ResourceLanguageList* languages, char* description, size_t size,
                     bool* unopened)
{
    if (size > 0)
        description[0] = '\0';
    *unopened = false;
    DWORD key = HASH_START;
    for (size_t i = 0; i < order.count; ++i) {
        const char* language = order.names[i];
        FileStamp found;
        if (!listing.find(language, longName, &found))
            continue;
        key = hashBytes(key, language, textLength(language) + 1);
        key = hashBytes(key, found.name, textLength(found.name));
        // Sizes and times, which lie before the name.
        key = hashBytes(key, &found, offsetof(FileStamp, name));
        char path[MAX_PATH];
        if (languages && size > 0 && !description[0]
            && satellitePath(listing.directory, language, longName, path, sizeof path)
            && readSatelliteString(path, *languages, description, size) == MAP_UNOPENED)
            *unopened = true;
    }
    return key;
}
