#include "saver_file.h"

#include "../base/handles.h"
#include "mui.h"
#include "native_system.h"

namespace {

const size_t kSectionHeaderSize = 40;
const size_t kResourceDirectorySize = 16;
const size_t kResourceEntrySize = 8;
const size_t kResourceDataSize = 16;
const DWORD kSubdirectoryBit = 0x80000000;
const WORD kImage32Magic = 0x10B;
const WORD kImage64Magic = 0x20B;
const WORD kMachineX86 = 0x14C;
const WORD kMachineX64 = 0x8664;
const WORD kMachineArm64 = 0xAA64;
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
    bool wide;  // a 64-bit image: its data directories lie further on
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
    layout.wide = readLe16(file + layout.optionalHeader) == kImage64Magic;
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

// The first entry of id in the resource directory at the given offset, as
// the loader finds it: 1 found, 0 none, -1 the directory leaves the file.
int firstEntryOf(const ImageLayout& image, DWORD directory, DWORD id, DWORD* data)
{
    bool found = false;
    bool inFile = forEachEntry(image, directory, [&](DWORD entryId, DWORD entryData) {
        if (entryId != id)
            return true;
        *data = entryData;
        found = true;
        return false;
    });
    return found ? 1 : inFile ? 0 : -1;
}

// Where the resource directory starts in the file, if the image has one.
bool resourceRoot(const ImageLayout& image, DWORD* root)
{
    // The resource directory's entry of the optional header's data
    // directory (the third, after exports and imports).
    const DWORD directoryCountAt = image.wide ? 108 : 92;
    const DWORD resourceEntryAt = (image.wide ? 112 : 96) + 2 * 8;
    if (image.optionalSize < resourceEntryAt + 8
        || readLe32(image.file + image.optionalHeader + directoryCountAt) <= 2)
        return false;
    DWORD resources = readLe32(image.file + image.optionalHeader + resourceEntryAt);
    return resources != 0 && fileOffsetOf(image, resources, root);
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
    WORD machine = readLe16(nt + 4);
    WORD sections = readLe16(nt + 6);
    WORD optionalSize = readLe16(nt + 20);
    size_t optionalOffset = ntOffset + 24;
    if (optionalSize < 2 || length - optionalOffset < optionalSize)
        return false;
    // A 32-bit x86 image, or a 64-bit one (x64, ARM64) as today's 64-bit
    // systems use: read as data alike, only their headers differ in size.
    WORD magic = readLe16(start + optionalOffset);
    bool image32 = machine == kMachineX86 && magic == kImage32Magic;
    bool image64 = (machine == kMachineX64 || machine == kMachineArm64) && magic == kImage64Magic;
    if (!image32 && !image64)
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
    DWORD root = 0;
    if (!resourceRoot(image, &root))
        return true;  // no resources can be found, so none are read

    // The entries the loader follows: the first of the string type, in it
    // the first of block 1; then every language of that block, since the
    // system picks one of them by its own rules.
    DWORD typeData = 0;
    int type = firstEntryOf(image, root, reinterpret_cast<ULONG_PTR>(RT_STRING), &typeData);
    if (type <= 0)
        return type == 0;
    DWORD blocks = root + (typeData & ~kSubdirectoryBit);
    if (!(typeData & kSubdirectoryBit) || blocks < root)
        return false;
    DWORD blockData = 0;
    int block = firstEntryOf(image, blocks, kFirstStringBlock, &blockData);
    if (block <= 0)
        return block == 0;
    DWORD languages = root + (blockData & ~kSubdirectoryBit);
    if (!(blockData & kSubdirectoryBit) || languages < root)
        return false;
    // Each language's block is found through the section table: the file's
    // size bounds the sum of those walks, so no file is judged for longer
    // than its bytes warrant. A table that would need more is damaged.
    DWORD budget = fileSize;
    const DWORD cost = image.sections + 1u;
    return forEachEntry(image, languages, [&](DWORD, DWORD languageData) {
        if (budget < cost)
            return false;
        budget -= cost;
        return stringBlockIsSound(image, root, languageData);
    });
}

namespace {

// The directory entry of id in the resource directory at the given offset.
bool findEntry(const ImageLayout& image, DWORD directory, DWORD id, DWORD* data)
{
    bool found = false;
    forEachEntry(image, directory, [&](DWORD entryId, DWORD entryData) {
        if (entryId == id && !found) {
            *data = entryData;
            found = true;
        }
        return true;
    });
    return found;
}

// The first entry of a resource directory, whatever its id.
bool firstEntry(const ImageLayout& image, DWORD directory, DWORD* data)
{
    bool found = false;
    forEachEntry(image, directory, [&](DWORD, DWORD entryData) {
        if (!found) {
            *data = entryData;
            found = true;
        }
        return true;
    });
    return found;
}

void addLanguage(LANGID language, LANGID* out, size_t capacity, size_t* count)
{
    for (size_t i = 0; i < *count; ++i) {
        if (out[i] == language)
            return;
    }
    if (*count < capacity)
        out[(*count)++] = language;
}

// The string block data of block 1 in the language the loader would pick,
// as the offset of its data entry from the resource root.
bool chosenStringBlock(const ImageLayout& image, DWORD root, const ResourceLanguageList& order,
                       DWORD* dataEntry)
{
    DWORD typeData = 0;
    DWORD blockData = 0;
    if (!findEntry(image, root, reinterpret_cast<ULONG_PTR>(RT_STRING), &typeData)
        || !(typeData & kSubdirectoryBit))
        return false;
    DWORD blocks = root + (typeData & ~kSubdirectoryBit);
    if (blocks < root || !findEntry(image, blocks, kFirstStringBlock, &blockData)
        || !(blockData & kSubdirectoryBit))
        return false;
    DWORD languages = root + (blockData & ~kSubdirectoryBit);
    if (languages < root)
        return false;
    for (size_t i = 0; i < order.count; ++i) {
        if (findEntry(image, languages, order.ids[i], dataEntry))
            return true;
    }
    return firstEntry(image, languages, dataEntry);
}

} // namespace

size_t loaderLanguageOrder(const LANGID* languages, size_t count, LANGID* out, size_t capacity)
{
    size_t written = 0;
    addLanguage(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), out, capacity, &written);
    for (size_t i = 0; i < count; ++i) {
        addLanguage(languages[i], out, capacity, &written);
        addLanguage(MAKELANGID(PRIMARYLANGID(languages[i]), SUBLANG_NEUTRAL), out, capacity,
                    &written);
    }
    addLanguage(MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), out, capacity, &written);
    return written;
}

size_t resourceLanguageOrder(LANGID thread, LANGID user, LANGID system, LANGID* out,
                             size_t capacity)
{
    const LANGID preferred[] = {thread, user, system};
    return loaderLanguageOrder(preferred, 3, out, capacity);
}

ResourceLanguageList systemResourceLanguages()
{
    ResourceLanguageList list;
    UiLanguages ui = preferredUiLanguages();
    if (ui.count > 0) {
        // From Windows Vista on the loader picks a resource's language by
        // the user interface languages (SetThreadLocale: "Do not use
        // SetThreadLocale to select a user interface language"), not by
        // the locale, which only sets regional formats there.
        list.count = loaderLanguageOrder(ui.ids, ui.count, list.ids, kMaxUiLanguages);
    } else {
        // Before it, the thread's locale, then the user's and the system's
        // default languages select among a LANGUAGE statement's tables.
        list.count = resourceLanguageOrder(LANGIDFROMLCID(GetThreadLocale()),
                                           GetUserDefaultLangID(), GetSystemDefaultLangID(),
                                           list.ids, kMaxUiLanguages);
    }
    return list;
}

bool readStringOne(const unsigned char* file, DWORD fileSize, char* out, size_t size)
{
    return readStringOne(file, fileSize, systemResourceLanguages(), out, size);
}

bool readStringOne(const unsigned char* file, DWORD fileSize, const ResourceLanguageList& order,
                   char* out, size_t size)
{
    out[0] = '\0';
    if (size < 2)
        return false;
    ImageLayout image = layoutOf(file, fileSize);
    DWORD root = 0;
    DWORD dataEntry = 0;
    if (!resourceRoot(image, &root) || !chosenStringBlock(image, root, order, &dataEntry)
        || (dataEntry & kSubdirectoryBit))
        return false;
    DWORD entry = root + dataEntry;
    if (entry < root || !within(entry, kResourceDataSize, image.size))
        return false;
    DWORD offset = 0;
    DWORD blockSize = readLe32(file + entry + 4);
    if (!fileOffsetOf(image, readLe32(file + entry), &offset) || !within(offset, blockSize, fileSize))
        return false;
    // The block holds strings 0 to 15, each a length word and then its
    // characters; every length is checked against the block before use.
    const unsigned char* p = file + offset;
    const unsigned char* end = p + blockSize;
    if (end - p < 2)
        return false;
    size_t skip = readLe16(p);
    if (static_cast<size_t>(end - p - 2) / 2 < skip)
        return false;
    p += 2 + 2 * skip;
    if (end - p < 2)
        return false;
    WORD length = readLe16(p);
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

namespace {

// The resource type "MUI": a named entry, its name a counted UTF-16 text at
// the given offset from the resource root.
bool isMuiType(const ImageLayout& image, DWORD root, DWORD id)
{
    if (!(id & kSubdirectoryBit))
        return false;
    DWORD name = root + (id & ~kSubdirectoryBit);
    static const char kMui[] = "MUI";
    if (name < root || !within(name, 2 + 2 * 3, image.size) || readLe16(image.file + name) != 3)
        return false;
    for (DWORD i = 0; i < 3; ++i) {
        if (readLe16(image.file + name + 2 + 2 * i) != static_cast<WORD>(kMui[i]))
            return false;
    }
    return true;
}

// The file offset and size of the data of a directory's first entry, two
// levels down (name, then language), as the loader takes the first.
bool firstData(const ImageLayout& image, DWORD root, DWORD typeData, DWORD* offset, DWORD* size)
{
    DWORD nameData = 0;
    DWORD languageData = 0;
    if (!(typeData & kSubdirectoryBit))
        return false;
    DWORD names = root + (typeData & ~kSubdirectoryBit);
    if (names < root || !firstEntry(image, names, &nameData) || !(nameData & kSubdirectoryBit))
        return false;
    DWORD languages = root + (nameData & ~kSubdirectoryBit);
    if (languages < root || !firstEntry(image, languages, &languageData)
        || (languageData & kSubdirectoryBit))
        return false;
    DWORD entry = root + languageData;
    if (entry < root || !within(entry, kResourceDataSize, image.size))
        return false;
    *size = readLe32(image.file + entry + 4);
    return fileOffsetOf(image, readLe32(image.file + entry), offset)
        && within(*offset, *size, image.size);
}

// The resource configuration data (type "MUI"), laid out as Microsoft's
// answer on the FILEMUIINFO fields gives it: a signature, its size, ...,
// and at 124 and 128 the offset and byte size of the ultimate fallback
// language's name (UTF-16, terminated), counted from the data's start.
const DWORD kMuiSignature = 0xFECDFECD;
const DWORD kMuiFallbackOffsetAt = 124;
const DWORD kMuiHeaderSize = 132;

} // namespace

LANGID readUltimateFallback(const unsigned char* file, DWORD fileSize)
{
    ImageLayout image = layoutOf(file, fileSize);
    DWORD root = 0;
    DWORD typeData = 0;
    bool found = false;
    if (!resourceRoot(image, &root))
        return 0;
    // The first entry of the type, as the loader takes it.
    forEachEntry(image, root, [&](DWORD type, DWORD data) {
        found = isMuiType(image, root, type);
        typeData = data;
        return !found;
    });
    DWORD offset = 0;
    DWORD size = 0;
    if (!found || !firstData(image, root, typeData, &offset, &size) || size < kMuiHeaderSize
        || readLe32(file + offset) != kMuiSignature)
        return 0;
    DWORD nameAt = readLe32(file + offset + kMuiFallbackOffsetAt);
    DWORD nameSize = readLe32(file + offset + kMuiFallbackOffsetAt + 4);
    WCHAR name[86];
    if (nameSize < 4 || nameSize > sizeof name || !within(nameAt, nameSize, size))
        return 0;
    // Copied out: the text need not be aligned in the file, and it must end
    // within its own size.
    for (DWORD i = 0; i < nameSize / 2; ++i)
        name[i] = readLe16(file + offset + nameAt + 2 * i);
    name[nameSize / 2 - 1] = 0;
    return languageOfName(name);
}

SaverFileCheck readSaverFile(const char* path, char* description, size_t size)
{
    LANGID fallback = 0;
    return readSaverFile(path, systemResourceLanguages(), description, size, &fallback);
}

SaverFileCheck readSaverFile(const char* path, const ResourceLanguageList& languages,
                             char* description, size_t size, LANGID* fallback)
{
    if (size > 0)
        description[0] = '\0';
    *fallback = 0;
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
    if (!systemRunsImage(layoutOf(bytes, fileSize).wide, system64))
        return SAVER_FILE_REFUSED;
    // A damaged table in any language keeps the whole file's strings
    // unread, whichever language would be chosen.
    if (!stringOneIsReadable(bytes, fileSize))
        return SAVER_FILE_UNREADABLE;
    if (size > 0 && !readStringOne(bytes, fileSize, languages, description, size))
        *fallback = readUltimateFallback(bytes, fileSize);
    return SAVER_FILE_SOUND;
}

bool readSatelliteString(const char* path, const ResourceLanguageList& languages,
                         char* description, size_t size)
{
    description[0] = '\0';
    MappedFile mapped;
    if (mapWholeFile(path, mapped) != MAP_DONE)
        return false;
    const unsigned char* bytes = mapped.bytes();
    return imageFitsInFile(bytes, mapped.size, mapped.size) && stringOneIsReadable(bytes, mapped.size)
        && readStringOne(bytes, mapped.size, languages, description, size);
}

SaverFileCheck checkSaverFile(const char* path)
{
    char description[2];
    return readSaverFile(path, description, sizeof description);
}
