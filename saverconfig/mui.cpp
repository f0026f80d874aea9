#include "mui.h"

#include <stddef.h>
#include <string.h>

#include "../base/handles.h"
#include "../base/hash.h"
#include "../base/memory.h"
#include "../base/text.h"
#include "native_system.h"
#include "saver_file.h"

namespace {

// winnls.h values; the functions that take them exist from Windows Vista on
// and are looked up at run time.
const DWORD kMuiLanguageId = 0x4;
const DWORD kMuiThreadLanguages = 0x40;
const size_t kLocaleNameMax = 85;

typedef BOOL(WINAPI* PreferredLanguagesFunction)(DWORD flags, PULONG count, PZZWSTR buffer,
                                                  PULONG length);
typedef LANGID(WINAPI* DefaultLanguageFunction)();
typedef int(WINAPI* LcidToNameFunction)(LCID locale, LPWSTR name, int length, DWORD flags);
typedef LCID(WINAPI* NameToLcidFunction)(LPCWSTR name, DWORD flags);

template <typename Function>
Function kernelFunction(const char* name)
{
    return findLoadedFunction<Function>("kernel32.dll", name);
}

void addLanguage(LANGID language, LANGID* out, size_t capacity, size_t* count)
{
    if (language == 0)
        return;
    for (size_t i = 0; i < *count; ++i) {
        if (out[i] == language)
            return;
    }
    if (*count < capacity)
        out[(*count)++] = language;
}

// A language and then its neutral parent, as the loader's fallback goes
// from a specific language to its neutral one.
void addWithParent(LANGID language, LANGID* out, size_t capacity, size_t* count)
{
    addLanguage(language, out, capacity, count);
    if (language != 0)
        addLanguage(MAKELANGID(PRIMARYLANGID(language), SUBLANG_NEUTRAL), out, capacity, count);
}

void appendPreferred(const char* functionName, DWORD flags, UiLanguages& languages)
{
    PreferredLanguagesFunction get = kernelFunction<PreferredLanguagesFunction>(functionName);
    WCHAR list[128];
    ULONG count = 0;
    ULONG length = sizeof list / sizeof list[0];
    if (!get || !get(flags, &count, list, &length) || length > sizeof list / sizeof list[0])
        return;
    LANGID ids[kMaxUiLanguages];
    size_t parsed = parseLanguageIds(list, length, ids, kMaxUiLanguages);
    for (size_t i = 0; i < parsed; ++i)
        addLanguage(ids[i], languages.ids, kMaxUiLanguages, &languages.count);
}

} // namespace

bool loadsByUiLanguages(DWORD platformId, DWORD majorVersion)
{
    return platformId == VER_PLATFORM_WIN32_NT && majorVersion >= 6;
}

bool systemLoadsByUiLanguages()
{
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version)
        && loadsByUiLanguages(version.dwPlatformId, version.dwMajorVersion);
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

size_t uiLanguageOrder(const LANGID* preferred, size_t count, LANGID fileFallback, LANGID* out,
                       size_t capacity)
{
    // GetThreadPreferredUILanguages, MUI_MERGE_USER_FALLBACK with
    // MUI_MERGE_SYSTEM_FALLBACK: "the language list used by the resource
    // loader", the preferred languages with their fallback and neutral
    // languages.
    size_t written = 0;
    for (size_t i = 0; i < count; ++i)
        addWithParent(preferred[i], out, capacity, &written);
    // Resource configuration, ultimateFallbackLanguage: "If the resource
    // loader cannot load the requested resource file from the thread
    // preferred UI languages, it uses the ultimate fallback language as its
    // last attempt."
    addWithParent(fileFallback, out, capacity, &written);
    return written;
}

UiLanguages preferredUiLanguages()
{
    UiLanguages languages;
    languages.count = 0;
    if (!systemLoadsByUiLanguages())
        return languages;
    // In the order GetThreadPreferredUILanguages documents for
    // MUI_MERGE_USER_FALLBACK: the thread's preferred UI languages (the
    // process sets none of its own), the user's preferred UI languages, the
    // system's (which stand in where the user has none), then the system
    // default UI language.
    appendPreferred("GetThreadPreferredUILanguages", kMuiLanguageId | kMuiThreadLanguages,
                    languages);
    appendPreferred("GetUserPreferredUILanguages", kMuiLanguageId, languages);
    appendPreferred("GetSystemPreferredUILanguages", kMuiLanguageId, languages);
    DefaultLanguageFunction systemDefault =
        kernelFunction<DefaultLanguageFunction>("GetSystemDefaultUILanguage");
    if (systemDefault)
        addLanguage(systemDefault(), languages.ids, kMaxUiLanguages, &languages.count);
    return languages;
}

LANGID languageOfName(const WCHAR* name)
{
    NameToLcidFunction toLcid = kernelFunction<NameToLcidFunction>("LocaleNameToLCID");
    return toLcid ? LANGIDFROMLCID(toLcid(name, 0)) : 0;
}

bool satellitePath(const char* directory, LANGID language, const char* longName, char* out,
                   size_t size)
{
    out[0] = '\0';
    LcidToNameFunction toName = kernelFunction<LcidToNameFunction>("LCIDToLocaleName");
    WCHAR wide[kLocaleNameMax];
    char name[kLocaleNameMax];
    if (!toName || toName(MAKELCID(language, SORT_DEFAULT), wide, kLocaleNameMax, 0) <= 1
        || !WideCharToMultiByte(CP_ACP, 0, wide, -1, name, sizeof name, nullptr, nullptr))
        return false;
    if (!formatText(out, size, "%s\\%s\\%s.mui", directory, name, longName)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

namespace {

void keepFound(const WIN32_FIND_DATAA& found, LANGID language, SatelliteFile* file)
{
    file->language = language;
    stampFoundFile(found, &file->stamp);
}

bool searchSatellite(const char* path, LANGID language, SatelliteFile* file)
{
    WIN32_FIND_DATAA found;
    UniqueFind search(findFirstNativeFile(path, &found));
    if (!search || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    keepFound(found, language, file);
    return true;
}

// Whether a long name ends in ".scr", as the listing's pattern asks.
bool endsInScr(const char* name)
{
    size_t length = textLength(name);
    const char* end = name + (length >= 4 ? length - 4 : 0);
    return length >= 4 && end[0] == '.' && (end[1] | 0x20) == 's' && (end[2] | 0x20) == 'c'
        && (end[3] | 0x20) == 'r';
}

// File names compare without regard to case; the same spelling, the usual
// case, is settled without the system's comparison.
bool sameName(const char* a, const char* b)
{
    return textEquals(a, b) || lstrcmpiA(a, b) == 0;
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
    : languageCount(0), files(nullptr), count(0), capacity(0), cursor(0), pendingCount(0),
      searched(true)
{
    directory[0] = '\0';
}

SatelliteListing::~SatelliteListing()
{
    freeBlock(files);
}

void SatelliteListing::list(const char* folder, const LANGID* ids, size_t idCount)
{
    copyText(directory, sizeof directory, folder);
    languageCount = 0;
    count = 0;
    cursor = 0;
    pendingCount = 0;
    for (size_t i = 0; i < idCount && i < kMaxUiLanguages; ++i)
        pending[pendingCount++] = ids[i];
    searched = false;
}

void SatelliteListing::searchFolders()
{
    searched = true;
    const LANGID* ids = pending;
    for (size_t i = 0; i < pendingCount; ++i) {
        char pattern[MAX_PATH];
        if (!satellitePath(directory, ids[i], "*.scr", pattern, sizeof pattern))
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
            keepFound(found, ids[i], &files[count++]);
        }
        // A folder listed only in part is looked into file by file.
        if (complete)
            languages[languageCount++] = ids[i];
    }
}

bool SatelliteListing::find(LANGID language, const char* longName, SatelliteFile* found)
{
    if (!searched)
        searchFolders();
    bool listed = false;
    for (size_t i = 0; i < languageCount; ++i)
        listed = listed || languages[i] == language;
    if (!listed || !endsInScr(longName)) {
        char path[MAX_PATH];
        return satellitePath(directory, language, longName, path, sizeof path)
            && searchSatellite(path, language, found);
    }
    char name[MAX_PATH];
    if (!formatText(name, sizeof name, "%s.mui", longName))
        return false;
    // Folders list their files in the order the screen savers' own folder
    // does, so the search goes on from the last match.
    for (size_t step = 0; step < count; ++step) {
        size_t i = (cursor + step) % count;
        if (files[i].language == language && sameName(files[i].stamp.name, name)) {
            *found = files[i];
            cursor = i + 1;
            return true;
        }
    }
    return false;
}

DWORD readSatellites(SatelliteListing& listing, const char* longName, const LANGID* order,
                     size_t count, const ResourceLanguageList* languages, char* description,
                     size_t size)
{
    if (size > 0)
        description[0] = '\0';
    DWORD key = HASH_START;
    for (size_t i = 0; i < count; ++i) {
        SatelliteFile found;
        if (!listing.find(order[i], longName, &found))
            continue;
        key = hashBytes(key, &found.language, sizeof found.language);
        key = hashBytes(key, found.stamp.name, textLength(found.stamp.name));
        // Sizes and times, which lie before the name.
        key = hashBytes(key, &found.stamp, offsetof(FileStamp, name));
        char path[MAX_PATH];
        if (languages && size > 0 && !description[0]
            && satellitePath(listing.directory, order[i], longName, path, sizeof path))
            readSatelliteString(path, *languages, description, size);
    }
    return key;
}
