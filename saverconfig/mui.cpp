#include "mui.h"

#include <stddef.h>
#include <string.h>

#include "../base/handles.h"
#include "../base/memory.h"
#include "../base/system_version.h"
#include "../base/text.h"
#include "native_system.h"
#include "pe_image.h"

namespace {

// winnls.h values; the functions that take them exist from Windows Vista on
// and are looked up at run time.
const DWORD kMuiLanguageId = 0x4;
const DWORD kMuiLanguageName = 0x8;
const DWORD kMuiMergeSystemFallback = 0x10;
const DWORD kMuiMergeUserFallback = 0x20;
// Room for the loader's whole list of names.
const size_t kLanguageListSize = kMaxUiLanguages * kLanguageNameSize;

typedef BOOL(WINAPI* PreferredLanguagesFunction)(DWORD flags, PULONG count, PZZWSTR buffer,
                                                  PULONG length);

void addLanguage(LANGID language, LANGID* out, size_t capacity, size_t* count)
{
    for (size_t i = 0; i < *count; ++i) {
        if (out[i] == language)
            return;
    }
    if (*count < capacity)
        out[(*count)++] = language;
}

void addLanguageName(const char* name, LanguageNames* out)
{
    if (!name[0])
        return;
    // Folder names, so letter case aside.
    for (size_t i = 0; i < out->count; ++i) {
        if (sameFileName(out->names[i], name))
            return;
    }
    if (out->count < kMaxUiLanguages)
        copyText(out->names[out->count++], kLanguageNameSize, name);
}

// The thread's list of user interface languages in the form flags ask for,
// as the resource loader uses it: MUI_MERGE_USER_FALLBACK with
// MUI_MERGE_SYSTEM_FALLBACK gives "a list that corresponds exactly to the
// language list used by the resource loader". Returns its length in
// characters, 0 when the system gives none.
size_t loaderList(DWORD flags, WCHAR* list, size_t size)
{
    if (!systemLoadsByUiLanguages())
        return 0;
    PreferredLanguagesFunction get = findLoadedFunction<PreferredLanguagesFunction>(
        "kernel32.dll", "GetThreadPreferredUILanguages");
    ULONG count = 0;
    ULONG length = static_cast<ULONG>(size);
    if (!get || !get(flags | kMuiMergeUserFallback | kMuiMergeSystemFallback, &count, list, &length)
        || length > size)
        return 0;
    return length;
}

} // namespace

bool loadsByUiLanguages(DWORD platformId, DWORD majorVersion)
{
    return platformId == VER_PLATFORM_WIN32_NT && majorVersion >= 6;
}

bool systemLoadsByUiLanguages()
{
    OSVERSIONINFOA version = reportedVersion();
    return loadsByUiLanguages(version.dwPlatformId, version.dwMajorVersion);
}

size_t parseLanguageIds(const WCHAR* list, size_t length, LANGID* out, size_t capacity)
{
    size_t count = 0;
    size_t i = 0;
    while (i < length && list[i] != 0) {
        DWORD value = 0;
        bool valid = true;
        size_t digits = 0;
        for (; i < length && list[i] != 0; ++i, ++digits) {
            WCHAR c = list[i];
            DWORD digit = c >= L'0' && c <= L'9'   ? c - L'0'
                        : c >= L'a' && c <= L'f' ? c - L'a' + 10
                        : c >= L'A' && c <= L'F' ? c - L'A' + 10
                                                 : 16;
            valid = valid && digit < 16 && digits < 4;
            value = value * 16 + (digit & 15);
        }
        if (i == length)
            break;  // the last text has no terminator within the list
        ++i;
        if (valid && value != 0 && count < capacity)
            out[count++] = static_cast<LANGID>(value);
    }
    return count;
}

void parseLanguageNames(const WCHAR* list, size_t length, LanguageNames* out)
{
    out->count = 0;
    size_t i = 0;
    while (i < length && list[i] != 0) {
        size_t start = i;
        while (i < length && list[i] != 0)
            ++i;
        if (i == length)
            break;  // the last name has no terminator within the list
        // The system's own text, read as the file reader reads a name.
        ImageText text = {reinterpret_cast<const uint8_t*>(list + start), i - start};
        char name[kLanguageNameSize];
        if (languageFolderName(text, name, sizeof name))
            addLanguageName(name, out);
        ++i;
    }
}

size_t resourceLanguageOrder(LANGID thread, LANGID user, LANGID system, LANGID* out,
                             size_t capacity)
{
    const LANGID preferred[] = {thread, user, system};
    return loaderLanguageOrder(preferred, 3, out, capacity);
}

size_t loaderLanguageOrder(const LANGID* languages, size_t count, LANGID* out, size_t capacity)
{
    size_t written = 0;
    addLanguage(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), out, capacity, &written);
    // Each language is followed by its neutral sublanguage, as the loader
    // tries them: the list need not hold it ("de-DE" alone), and a table
    // written "LANGUAGE LANG_GERMAN, SUBLANG_NEUTRAL" is the common form.
    for (size_t i = 0; i < count; ++i) {
        addLanguage(languages[i], out, capacity, &written);
        addLanguage(MAKELANGID(PRIMARYLANGID(languages[i]), SUBLANG_NEUTRAL), out, capacity,
                    &written);
    }
    addLanguage(MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), out, capacity, &written);
    return written;
}

ResourceLanguageList systemResourceLanguages()
{
    ResourceLanguageList list;
    WCHAR text[kLanguageListSize];
    size_t length = loaderList(kMuiLanguageId, text, kLanguageListSize);
    LANGID ids[kMaxUiLanguages];
    size_t count = parseLanguageIds(text, length, ids, kMaxUiLanguages);
    if (count > 0) {
        // From Windows Vista on the loader picks a resource's language by
        // the user interface languages (SetThreadLocale: "Do not use
        // SetThreadLocale to select a user interface language"), not by
        // the locale, which only sets regional formats there.
        list.count = loaderLanguageOrder(ids, count, list.ids, kMaxUiLanguages);
    } else {
        // Before it, the thread's locale, then the user's and the system's
        // default languages select among a LANGUAGE statement's tables.
        list.count = resourceLanguageOrder(LANGIDFROMLCID(GetThreadLocale()),
                                           GetUserDefaultLangID(), GetSystemDefaultLangID(),
                                           list.ids, kMaxUiLanguages);
    }
    return list;
}

LanguageNames preferredUiLanguages()
{
    LanguageNames languages;
    WCHAR text[kLanguageListSize];
    parseLanguageNames(text, loaderList(kMuiLanguageName, text, kLanguageListSize), &languages);
    return languages;
}

void satelliteFolderOrder(const LanguageNames& preferred, const char* fallback,
                          LanguageNames* out)
{
    // The names stand as the system gives them: a neutral parent is in the
    // list when the loader tries it, and only under the name it has there.
    out->count = 0;
    for (size_t i = 0; i < preferred.count; ++i)
        addLanguageName(preferred.names[i], out);
    // Resource configuration, ultimateFallbackLanguage: "If the resource
    // loader cannot load the requested resource file from the thread
    // preferred UI languages, it uses the ultimate fallback language as its
    // last attempt."
    addLanguageName(fallback, out);
}

bool satellitePath(const char* directory, const char* language, const char* longName,
                   char* out, size_t size)
{
    if (!formatText(out, size, "%s\\%s\\%s.mui", directory, language, longName)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

namespace {

bool searchSatellite(const char* path, FileStamp* stamp)
{
    WIN32_FIND_DATAA found;
    UniqueFind search(findFirstNativeFile(path, &found));
    if (!search || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    stampFoundFile(found, stamp);
    return true;
}

// Whether a long name ends in ".scr", as the listing's pattern asks.
bool endsInScr(const char* name)
{
    size_t length = textLength(name);
    return length >= 4 && sameFileName(name + length - 4, ".scr");
}

} // namespace

void stampFoundFile(const WIN32_FIND_DATAA& found, FileStamp* stamp)
{
    stamp->sizeLow = found.nFileSizeLow;
    stamp->sizeHigh = found.nFileSizeHigh;
    stamp->written = found.ftLastWriteTime;
    stamp->created = found.ftCreationTime;
    copyText(stamp->name, sizeof stamp->name, found.cFileName);
}

SatelliteListing::SatelliteListing()
    : files(nullptr), count(0), capacity(0), cursor(0), searched(true)
{
    directory[0] = '\0';
    folders.count = 0;
    memset(listed, 0, sizeof listed);
}

SatelliteListing::~SatelliteListing()
{
    freeBlock(files);
}

void SatelliteListing::list(const char* folder, const LanguageNames& languages)
{
    copyText(directory, sizeof directory, folder);
    folders = languages;
    count = 0;
    cursor = 0;
    searched = false;
}

void SatelliteListing::searchFolders()
{
    searched = true;
    for (size_t i = 0; i < folders.count; ++i) {
        listed[i] = false;
        char pattern[MAX_PATH];
        if (!satellitePath(directory, folders.names[i], "*.scr", pattern, sizeof pattern))
            continue;
        WIN32_FIND_DATAA found;
        UniqueFind search(findFirstNativeFile(pattern, &found));
        bool complete = true;
        for (bool more = bool(search); more; more = findNextNativeFile(search.get(), &found)) {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            if (count == capacity) {
                size_t grown = capacity ? capacity * 2 : 16;
                void* block = allocateBlock(grown * sizeof(SatelliteFile));
                if (!block) {
                    complete = false;
                    break;
                }
                if (count)
                    memcpy(block, files, count * sizeof(SatelliteFile));
                freeBlock(files);
                files = static_cast<SatelliteFile*>(block);
                capacity = grown;
            }
            files[count].folder = i;
            stampFoundFile(found, &files[count++].stamp);
        }
        // A folder listed only in part is looked into file by file.
        listed[i] = complete;
    }
}

bool SatelliteListing::find(const char* language, const char* longName, FileStamp* found)
{
    if (!searched)
        searchFolders();
    size_t folder = folders.count;
    for (size_t i = 0; i < folders.count; ++i) {
        if (listed[i] && sameFileName(folders.names[i], language))
            folder = i;
    }
    if (folder == folders.count || !endsInScr(longName)) {
        char path[MAX_PATH];
        return satellitePath(directory, language, longName, path, sizeof path)
            && searchSatellite(path, found);
    }
    char name[MAX_PATH];
    if (!formatText(name, sizeof name, "%s.mui", longName))
        return false;
    // Folders list their files in the order the screen savers' own folder
    // does, so the search goes on from the last match.
    for (size_t step = 0; step < count; ++step) {
        size_t i = (cursor + step) % count;
        if (files[i].folder == folder && sameFileName(files[i].stamp.name, name)) {
            *found = files[i].stamp;
            cursor = i + 1;
            return true;
        }
    }
    return false;
}
