#include "catalogue.h"

#include "../app/application.h"
#include "../app/error_log.h"
#include "../app/handles.h"
#include "../app/text.h"
#include "../app/tray_window.h"
#include "../res/resource.h"
#include "../tray/menu_metrics.h"

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
    return lstrcmpiA(configured, NO_SAVER_TEXT) != 0 && lstrcmpiA(configured, path) == 0;
}

namespace {

const size_t kSectionHeaderSize = 40;
const size_t kResourceDirectorySize = 16;
const size_t kResourceEntrySize = 8;
const size_t kResourceDataSize = 16;
const DWORD kSubdirectoryBit = 0x80000000;
// The string block that holds strings 0 to 15.
const DWORD kFirstStringBlock = 1;

DWORD readLe32(const unsigned char* bytes)
{
    return static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8
        | static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
}

WORD readLe16(const unsigned char* bytes)
{
    return static_cast<WORD>(bytes[0] | bytes[1] << 8);
}

// Whether count bytes from offset lie within a file of size bytes.
bool within(DWORD offset, DWORD count, DWORD size)
{
    return offset <= size && size - offset >= count;
}

// The headers of an image already judged complete by imageFitsInFile.
struct ImageLayout {
    const unsigned char* file;
    DWORD size;
    DWORD sectionTable;
    WORD sections;
    DWORD optionalHeader;
    WORD optionalSize;
};

ImageLayout layoutOf(const unsigned char* file, DWORD size)
{
    ImageLayout layout;
    layout.file = file;
    layout.size = size;
    DWORD nt = readLe32(file + 0x3C);
    layout.sections = readLe16(file + nt + 6);
    layout.optionalSize = readLe16(file + nt + 20);
    layout.optionalHeader = nt + 24;
    layout.sectionTable = layout.optionalHeader + layout.optionalSize;
    return layout;
}

// The file offset of an address in the image, found through the section
// whose file data holds it, as a data file mapping resolves it.
bool fileOffsetOf(const ImageLayout& image, DWORD address, DWORD* offset)
{
    for (WORD i = 0; i < image.sections; ++i) {
        const unsigned char* section = image.file + image.sectionTable + i * kSectionHeaderSize;
        DWORD start = readLe32(section + 12);
        DWORD rawSize = readLe32(section + 16);
        DWORD rawOffset = readLe32(section + 20);
        if (address >= start && address - start < rawSize) {
            *offset = rawOffset + (address - start);
            return true;
        }
    }
    return false;
}

// Calls visit(id, offsetToData) for every entry of the resource directory
// at the given offset; false when the directory does not lie in the file.
template <typename Visit>
bool forEachEntry(const ImageLayout& image, DWORD directory, Visit visit)
{
    if (!within(directory, kResourceDirectorySize, image.size))
        return false;
    const unsigned char* header = image.file + directory;
    DWORD count = static_cast<DWORD>(readLe16(header + 12)) + readLe16(header + 14);
    DWORD entries = directory + kResourceDirectorySize;
    if (!within(entries, count * kResourceEntrySize, image.size))
        return false;
    for (DWORD i = 0; i < count; ++i) {
        const unsigned char* entry = image.file + entries + i * kResourceEntrySize;
        if (!visit(readLe32(entry), readLe32(entry + 4)))
            return false;
    }
    return true;
}

// A string block in one language: its data lies in the file, and the
// lengths of strings 0 and 1 keep both within the block.
bool stringBlockIsSound(const ImageLayout& image, DWORD root, DWORD dataEntry)
{
    if (dataEntry & kSubdirectoryBit)
        return false;
    DWORD entry = root + dataEntry;
    if (entry < root || !within(entry, kResourceDataSize, image.size))
        return false;
    DWORD offset = 0;
    DWORD size = readLe32(image.file + entry + 4);
    if (!fileOffsetOf(image, readLe32(image.file + entry), &offset) || !within(offset, size, image.size))
        return false;
    DWORD words = size / 2;
    DWORD position = 0;
    for (int string = 0; string <= 1; ++string) {
        if (position >= words)
            return false;
        position += 1 + readLe16(image.file + offset + 2 * position);
        if (position > words)
            return false;
    }
    return true;
}

} // namespace

bool imageFitsInFile(const unsigned char* start, size_t length, DWORD fileSize)
{
    if (length < 0x40 || start[0] != 'M' || start[1] != 'Z')
        return false;
    DWORD ntOffset = readLe32(start + 0x3C);
    if (ntOffset > length || length - ntOffset < 24)
        return false;
    const unsigned char* nt = start + ntOffset;
    if (nt[0] != 'P' || nt[1] != 'E' || nt[2] != 0 || nt[3] != 0)
        return false;
    if (readLe16(nt + 4) != IMAGE_FILE_MACHINE_I386)
        return false;
    WORD sections = readLe16(nt + 6);
    WORD optionalSize = readLe16(nt + 20);
    size_t optionalOffset = ntOffset + 24;
    if (optionalSize < 2 || length - optionalOffset < optionalSize)
        return false;
    if (readLe16(start + optionalOffset) != IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        return false;
    size_t table = optionalOffset + optionalSize;
    if ((length - table) / kSectionHeaderSize < sections)
        return false;
    for (WORD i = 0; i < sections; ++i) {
        const unsigned char* section = start + table + i * kSectionHeaderSize;
        DWORD rawSize = readLe32(section + 16);
        DWORD rawOffset = readLe32(section + 20);
        if (rawSize != 0 && !within(rawOffset, rawSize, fileSize))
            return false;
    }
    return true;
}

bool stringOneIsReadable(const unsigned char* file, DWORD fileSize)
{
    ImageLayout image = layoutOf(file, fileSize);
    // The resource directory's entry of the optional header's data
    // directory (the third, after exports and imports).
    const DWORD directoryCountAt = 92;
    const DWORD resourceEntryAt = 96 + 2 * 8;
    if (image.optionalSize < resourceEntryAt + 8
        || readLe32(file + image.optionalHeader + directoryCountAt) <= 2)
        return true;
    DWORD resources = readLe32(file + image.optionalHeader + resourceEntryAt);
    if (resources == 0)
        return true;
    DWORD root = 0;
    if (!fileOffsetOf(image, resources, &root))
        return true;  // no resources can be found, so none are read

    // Every directory on the way to string block 1, and every language of
    // it, since the system picks one of them by its own rules.
    return forEachEntry(image, root, [&](DWORD type, DWORD typeData) {
        if (type != reinterpret_cast<ULONG_PTR>(RT_STRING))
            return true;
        if (!(typeData & kSubdirectoryBit))
            return false;
        DWORD blocks = root + (typeData & ~kSubdirectoryBit);
        return blocks >= root && forEachEntry(image, blocks, [&](DWORD block, DWORD blockData) {
            if (block != kFirstStringBlock)
                return true;
            if (!(blockData & kSubdirectoryBit))
                return false;
            DWORD languages = root + (blockData & ~kSubdirectoryBit);
            return languages >= root
                && forEachEntry(image, languages, [&](DWORD, DWORD languageData) {
                       return stringBlockIsSound(image, root, languageData);
                   });
        });
    });
}

SaverFileCheck checkSaverFile(const char* path)
{
    UniqueFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                nullptr));
    if (!file)
        return SAVER_FILE_REFUSED;
    DWORD high = 0;
    DWORD size = GetFileSize(file.get(), &high);
    if (size == INVALID_FILE_SIZE || high != 0 || size == 0)
        return SAVER_FILE_REFUSED;
    UniqueKernelObject mapping(
        CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping)
        return SAVER_FILE_REFUSED;
    UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view)
        return SAVER_FILE_REFUSED;
    const unsigned char* bytes = static_cast<const unsigned char*>(view.get());
    if (!imageFitsInFile(bytes, size, size))
        return SAVER_FILE_REFUSED;
    return stringOneIsReadable(bytes, size) ? SAVER_FILE_SOUND : SAVER_FILE_UNREADABLE;
}

namespace {

// String 1 of a module loaded as a data file. LoadStringA walks the string
// table by the lengths stored in it and would read past the end of a damaged
// one; here every length is checked against the resource's size and the
// mapped memory first. False when there is no readable, non-empty string 1.
bool readDescription(HMODULE module, char* out, size_t size)
{
    // Block 1 holds the strings 0 to 15: a length word, then the characters.
    HRSRC block = FindResourceA(module, MAKEINTRESOURCEA(1), reinterpret_cast<LPCSTR>(RT_STRING));
    HGLOBAL loaded = block ? LoadResource(module, block) : nullptr;
    const BYTE* start = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!start)
        return false;
    MEMORY_BASIC_INFORMATION region;
    if (!VirtualQuery(start, &region, sizeof region) || region.State != MEM_COMMIT)
        return false;
    const BYTE* end = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
    DWORD blockSize = SizeofResource(module, block);
    if (static_cast<size_t>(end - start) > blockSize)
        end = start + blockSize;
    const BYTE* p = start;
    for (int index = 0; index < 1; ++index) {
        if (end - p < 2)
            return false;
        WORD length = static_cast<WORD>(p[0] | (p[1] << 8));
        if (static_cast<size_t>(end - p - 2) / 2 < length)
            return false;
        p += 2 + 2 * static_cast<size_t>(length);
    }
    if (end - p < 2)
        return false;
    WORD length = static_cast<WORD>(p[0] | (p[1] << 8));
    if (length == 0 || static_cast<size_t>(end - p - 2) / 2 < length)
        return false;
    // Cut to the buffer as the system's string loader cuts: at most
    // size - 1 bytes (fewer characters when some take two bytes).
    int count = length < size - 1 ? length : static_cast<int>(size - 1);
    int written = 0;
    while (count > 0
           && (written = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const WCHAR*>(p + 2),
                                             count, out, static_cast<int>(size - 1), nullptr,
                                             nullptr)) == 0)
        --count;
    out[written > 0 ? written : 0] = '\0';
    return written > 0;
}

} // namespace

void TrayWindow::freeSaverList()
{
    SaverEntry* entry = saverList;
    while (entry) {
        SaverEntry* next = entry->next;
        freeBlock(entry);
        entry = next;
    }
    saverList = nullptr;
    noneEntry = nullptr;
}

bool TrayWindow::rebuildSaverMenu()
{
    freeSaverList();
    HMENU submenu = popupMenu ? GetSubMenu(popupMenu, 0) : nullptr;
    if (submenu) {
        while (GetMenuItemCount(submenu) > 0) {
            if (!DeleteMenu(submenu, 0, MF_BYPOSITION))
                break;
        }
    }
    saverCount = 0;

    int points = menuFontPoints(window);
    SaverEntry* none = static_cast<SaverEntry*>(allocateZeroedBlock(sizeof(SaverEntry)));
    copyText(currentDescription, sizeof currentDescription, "none");
    if (none) {
        copyText(none->description, sizeof none->description, NO_SAVER_TEXT);
        copyText(none->fileName, sizeof none->fileName, NO_SAVER_TEXT);
        none->itemWidth = noneItemWidth(points);
        none->flags = SAVER_CHECKED;
        none->menuId = IDM_NONE;
        saverList = none;
        noneEntry = none;
        if (submenu)
            AppendMenuA(submenu, MF_OWNERDRAW, IDM_NONE, reinterpret_cast<const char*>(none));

        char longName[MAX_PATH + 8];
        char shortName[MAX_PATH];
        UINT length = GetWindowsDirectoryA(longName, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            shortName[0] = '\0';
            DWORD shortLength = GetShortPathNameA(longName, shortName, sizeof shortName);
            if (shortLength == 0 || shortLength >= sizeof shortName)
                copyText(shortName, sizeof shortName, longName);
            appendText(longName, sizeof longName, "\\*.scr");
            scanSaverDirectory(longName, shortName);
        }
        length = GetSystemDirectoryA(longName, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            shortName[0] = '\0';
            DWORD shortLength = GetShortPathNameA(longName, shortName, sizeof shortName);
            if (shortLength == 0 || shortLength >= sizeof shortName)
                copyText(shortName, sizeof shortName, longName);
            appendText(longName, sizeof longName, "\\*.scr");
            scanSaverDirectory(longName, shortName);
        }
    }
    updateTrayTip();
    return true;
}

bool TrayWindow::scanSaverDirectory(const char* pattern, const char* shortDirectory)
{
    char configured[SAVER_PATH_SIZE];
    readCurrentSaver(family(), configured);
    int points = menuFontPoints(window);
    HMENU submenu = popupMenu ? GetSubMenu(popupMenu, 0) : nullptr;

    WIN32_FIND_DATAA found;
    UniqueFind search(FindFirstFileA(pattern, &found));
    if (!search)
        return true;
    do {
        char name[MAX_PATH];
        saverNameFromFile(found.cFileName, name, sizeof name);
        const char* fileName = found.cAlternateFileName[0] ? found.cAlternateFileName
                                                           : found.cFileName;
        char path[SAVER_PATH_SIZE];
        if (!buildSaverPath(shortDirectory, fileName, path, sizeof path))
            continue;

        // A data file mapping accepts anything that starts like an
        // executable, so a cut-off or damaged copy, which the loader would
        // refuse, is left out first; and the system reads a string table
        // without checking it against the file, so a damaged one is never
        // read.
        SaverFileCheck check = checkSaverFile(path);
        if (check == SAVER_FILE_REFUSED)
            continue;
        // Loaded as data only: reading its description must never resolve
        // the file's imports or run any of its code.
        UniqueModule module(LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (!module)
            continue;
        SaverEntry* entry = static_cast<SaverEntry*>(allocateZeroedBlock(sizeof(SaverEntry)));
        if (!entry)
            continue;
        if (check != SAVER_FILE_SOUND
            || !readDescription(module.get(), entry->description, sizeof entry->description))
            copyText(entry->description, sizeof entry->description, name);
        entry->description[sizeof entry->description - 1] = '\0';
        module.reset();

        ++saverCount;
        entry->menuId = static_cast<WORD>(IDM_NONE + saverCount);
        copyText(entry->fileName, sizeof entry->fileName, path);
        entry->itemWidth = saverItemWidth(textLength(entry->description), points, family());
        if (isConfiguredSaver(configured, path)) {
            if (noneEntry)
                noneEntry->flags &= static_cast<BYTE>(~SAVER_CHECKED);
            entry->flags = SAVER_CHECKED;
            copyText(currentDescription, sizeof currentDescription, entry->description);
        }
        if (saverList)
            saverList->prev = entry;
        entry->next = saverList;
        saverList = entry;

        if (!submenu || !AppendMenuA(submenu, MF_OWNERDRAW, entry->menuId,
                                     reinterpret_cast<const char*>(entry)))
            logError("AppendMenu", nullptr);
    } while (FindNextFileA(search.get(), &found));
    search.reset();
    SetLastError(0);
    return true;
}
