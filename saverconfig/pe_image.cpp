#include "pe_image.h"

#ifdef DORMITY_COUNT_IMAGE_STEPS
size_t imageSteps = 0;
#define COUNT_STEP() (++imageSteps)
#else
#define COUNT_STEP() static_cast<void>(0)
#endif

namespace {

// The sizes of the structures read, and the entry bit that marks a
// subdirectory.
const uint32_t kSectionHeaderSize = 40, kResourceDirectorySize = 16, kResourceEntrySize = 8,
               kResourceDataSize = 16, kSubdirectoryBit = 0x80000000;
// The kinds of image read: 32-bit x86, 64-bit x64 and ARM64.
const uint16_t kImage32Magic = 0x10B, kImage64Magic = 0x20B;
const uint16_t kMachineX86 = 0x14C, kMachineX64 = 0x8664, kMachineArm64 = 0xAA64;
// The string type, and the block of it that holds strings 0 to 15.
const uint32_t kStringType = 6;
const uint32_t kFirstStringBlock = 1;
// Stands for whatever id an entry has.
const uint32_t kAnyEntry = 0xFFFFFFFF;

uint32_t readLe32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8
        | static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint16_t readLe16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

// Whether count bytes from offset lie within a file of size bytes.
bool within(uint32_t offset, uint32_t count, uint32_t size)
{
    return offset <= size && size - offset >= count;
}

// The headers of a whole file that imageFitsInFile accepts.
struct ImageLayout {
    const uint8_t* file;
    uint32_t size;
    uint32_t sectionTable;
    uint16_t sections;
    uint32_t optionalHeader;
    uint16_t optionalSize;
    bool wide;  // a 64-bit image: its data directories lie further on
};

bool layoutOf(const uint8_t* file, uint32_t size, ImageLayout* layout)
{
    if (!imageFitsInFile(file, size, size))
        return false;
    uint32_t nt = readLe32(file + 0x3C);
    layout->file = file;
    layout->size = size;
    layout->sections = readLe16(file + nt + 6);
    layout->optionalSize = readLe16(file + nt + 20);
    layout->optionalHeader = nt + 24;
    layout->sectionTable = layout->optionalHeader + layout->optionalSize;
    layout->wide = readLe16(file + layout->optionalHeader) == kImage64Magic;
    return true;
}

// The file offset of an address in the image, found through the section
// whose file data holds it, as a data file mapping resolves it.
bool fileOffsetOf(const ImageLayout& image, uint32_t address, uint32_t* offset)
{
    for (uint16_t i = 0; i < image.sections; ++i) {
        COUNT_STEP();
        const uint8_t* section = image.file + image.sectionTable + i * kSectionHeaderSize;
        uint32_t start = readLe32(section + 12);
        uint32_t rawSize = readLe32(section + 16);
        uint32_t rawOffset = readLe32(section + 20);
        if (address >= start && address - start < rawSize) {
            *offset = rawOffset + (address - start);
            return true;
        }
    }
    return false;
}

// Calls visit(id, data) for the entries of the resource directory at the
// given offset until it returns false; false when the directory does not
// lie in the file or the visit stopped.
template <typename Visit>
bool forEachEntry(const ImageLayout& image, uint32_t directory, Visit visit)
{
    if (!within(directory, kResourceDirectorySize, image.size))
        return false;
    const uint8_t* header = image.file + directory;
    uint32_t count = static_cast<uint32_t>(readLe16(header + 12)) + readLe16(header + 14);
    uint32_t entries = directory + kResourceDirectorySize;
    if (!within(entries, count * kResourceEntrySize, image.size))
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        COUNT_STEP();
        const uint8_t* entry = image.file + entries + i * kResourceEntrySize;
        if (!visit(readLe32(entry), readLe32(entry + 4)))
            return false;
    }
    return true;
}

// The first entry of id (or kAnyEntry) in the resource directory at the
// given offset, as the loader finds it: 1 found, 0 none, -1 the directory
// leaves the file.
int firstEntryOf(const ImageLayout& image, uint32_t directory, uint32_t id, uint32_t* data)
{
    bool found = false;
    bool inFile = forEachEntry(image, directory, [&](uint32_t entryId, uint32_t entryData) {
        if (id != kAnyEntry && entryId != id)
            return true;
        *data = entryData;
        found = true;
        return false;
    });
    return found ? 1 : inFile ? 0 : -1;
}

// Where the directory that an entry's data names starts: false for a leaf,
// or one that would lie before the root.
bool subdirectory(uint32_t root, uint32_t data, uint32_t* directory)
{
    *directory = root + (data & ~kSubdirectoryBit);
    return (data & kSubdirectoryBit) && *directory >= root;
}

// The file offset and size of the data that a leaf entry's data names,
// when it lies within the file.
bool leafData(const ImageLayout& image, uint32_t root, uint32_t data, uint32_t* offset,
              uint32_t* size)
{
    uint32_t entry = root + data;
    if ((data & kSubdirectoryBit) || entry < root || !within(entry, kResourceDataSize, image.size))
        return false;
    *size = readLe32(image.file + entry + 4);
    return fileOffsetOf(image, readLe32(image.file + entry), offset)
        && within(*offset, *size, image.size);
}

// Where the resource directory starts in the file, if the image has one.
bool resourceRoot(const ImageLayout& image, uint32_t* root)
{
    // The resource directory's entry of the optional header's data
    // directory (the third, after exports and imports).
    const uint32_t directoryCountAt = image.wide ? 108 : 92;
    const uint32_t resourceEntryAt = (image.wide ? 112 : 96) + 2 * 8;
    if (image.optionalSize < resourceEntryAt + 8
        || readLe32(image.file + image.optionalHeader + directoryCountAt) <= 2)
        return false;
    uint32_t resources = readLe32(image.file + image.optionalHeader + resourceEntryAt);
    return resources != 0 && fileOffsetOf(image, resources, root);
}

// The languages directory of string block 1, under the first entry of the
// string type and in it the first of block 1, as the loader follows them:
// 1 found, 0 the image has none, -1 the entries lead out of the file.
int stringLanguages(const ImageLayout& image, uint32_t root, uint32_t* languages)
{
    uint32_t typeData = 0;
    uint32_t blocks = 0;
    uint32_t blockData = 0;
    int type = firstEntryOf(image, root, kStringType, &typeData);
    if (type <= 0)
        return type;
    if (!subdirectory(root, typeData, &blocks))
        return -1;
    int block = firstEntryOf(image, blocks, kFirstStringBlock, &blockData);
    if (block <= 0)
        return block;
    return subdirectory(root, blockData, languages) ? 1 : -1;
}

// A string block in one language: its data lies in the file, and the
// lengths of strings 0 and 1 keep both within the block. Where string 1's
// characters start and how many there are, in UTF-16 units from the block.
bool stringOneOfBlock(const ImageLayout& image, uint32_t root, uint32_t data,
                      uint32_t* characters, uint32_t* length)
{
    uint32_t offset = 0;
    uint32_t size = 0;
    if (!leafData(image, root, data, &offset, &size))
        return false;
    // Strings 0 to 15, each a length word and then its characters.
    uint32_t words = size / 2;
    if (words < 1)
        return false;
    uint32_t at = 1 + readLe16(image.file + offset);  // string 1's length word
    if (at >= words)
        return false;
    *length = readLe16(image.file + offset + 2 * at);
    if (words - at - 1 < *length)
        return false;
    *characters = offset + 2 * (at + 1);
    return true;
}

// The resource type "MUI": a named entry, its name a counted UTF-16 text at
// the given offset from the resource root.
bool isMuiType(const ImageLayout& image, uint32_t root, uint32_t id)
{
    if (!(id & kSubdirectoryBit))
        return false;
    uint32_t name = root + (id & ~kSubdirectoryBit);
    static const char kMui[] = "MUI";
    if (name < root || !within(name, 2 + 2 * 3, image.size) || readLe16(image.file + name) != 3)
        return false;
    for (uint32_t i = 0; i < 3; ++i) {
        if (readLe16(image.file + name + 2 + 2 * i) != static_cast<uint16_t>(kMui[i]))
            return false;
    }
    return true;
}

// The resource configuration data, laid out as Microsoft's answer on the
// FILEMUIINFO fields gives it: a signature, its size, ..., at 108 and 112
// the offset and byte size of the list of type ids that the satellites
// hold, at 124 and 128 those of the ultimate fallback language's name
// (UTF-16, terminated), counted from the data's start.
const uint32_t kMuiSignature = 0xFECDFECD;
const uint32_t kMuiTypeIdsAt = 108;
const uint32_t kMuiFallbackAt = 124;
const uint32_t kMuiHeaderSize = 132;

} // namespace

bool imageFitsInFile(const uint8_t* start, size_t length, uint32_t fileSize)
{
    if (length < 0x40 || start[0] != 'M' || start[1] != 'Z')
        return false;
    uint32_t ntOffset = readLe32(start + 0x3C);
    if (ntOffset > length || length - ntOffset < 24)
        return false;
    const uint8_t* nt = start + ntOffset;
    if (nt[0] != 'P' || nt[1] != 'E' || nt[2] != 0 || nt[3] != 0)
        return false;
    uint16_t machine = readLe16(nt + 4);
    uint16_t sections = readLe16(nt + 6);
    uint16_t optionalSize = readLe16(nt + 20);
    size_t optionalOffset = static_cast<size_t>(ntOffset) + 24;
    if (optionalSize < 2 || length - optionalOffset < optionalSize)
        return false;
    // A 32-bit x86 image, or a 64-bit one (x64, ARM64) as today's 64-bit
    // systems use: read as data alike, only their headers differ in size.
    uint16_t magic = readLe16(start + optionalOffset);
    bool image32 = machine == kMachineX86 && magic == kImage32Magic;
    bool image64 = (machine == kMachineX64 || machine == kMachineArm64) && magic == kImage64Magic;
    if (!image32 && !image64)
        return false;
    size_t table = optionalOffset + optionalSize;
    if ((length - table) / kSectionHeaderSize < sections)
        return false;
    for (uint16_t i = 0; i < sections; ++i) {
        COUNT_STEP();
        const uint8_t* section = start + table + i * kSectionHeaderSize;
        uint32_t rawSize = readLe32(section + 16);
        uint32_t rawOffset = readLe32(section + 20);
        if (rawSize != 0 && !within(rawOffset, rawSize, fileSize))
            return false;
    }
    return true;
}

bool imageIs64Bit(const uint8_t* file, uint32_t fileSize)
{
    ImageLayout image;
    return layoutOf(file, fileSize, &image) && image.wide;
}

bool stringOneIsReadable(const uint8_t* file, uint32_t fileSize)
{
    ImageLayout image;
    uint32_t root = 0;
    uint32_t languages = 0;
    if (!layoutOf(file, fileSize, &image))
        return false;
    if (!resourceRoot(image, &root))
        return true;  // no resources can be found, so none are read
    int found = stringLanguages(image, root, &languages);
    if (found <= 0)
        return found == 0;
    // Every language of the block, since the system picks one of them by
    // its own rules. Each language's block is found through the section
    // table: the file's size bounds the sum of those walks, so no file is
    // judged for longer than its bytes warrant.
    uint32_t budget = fileSize;
    const uint32_t cost = image.sections + 1u;
    return forEachEntry(image, languages, [&](uint32_t, uint32_t languageData) {
        if (budget < cost)
            return false;
        budget -= cost;
        uint32_t characters = 0;
        uint32_t length = 0;
        return stringOneOfBlock(image, root, languageData, &characters, &length);
    });
}

bool findStringOne(const uint8_t* file, uint32_t fileSize, const uint16_t* preferred,
                   size_t count, ImageText* text)
{
    text->text = nullptr;
    text->length = 0;
    ImageLayout image;
    uint32_t root = 0;
    uint32_t languages = 0;
    uint32_t data = 0;
    if (!layoutOf(file, fileSize, &image) || !resourceRoot(image, &root)
        || stringLanguages(image, root, &languages) <= 0)
        return false;
    bool chosen = false;
    for (size_t i = 0; i < count && !chosen; ++i)
        chosen = firstEntryOf(image, languages, preferred[i], &data) > 0;
    uint32_t characters = 0;
    uint32_t length = 0;
    if ((!chosen && firstEntryOf(image, languages, kAnyEntry, &data) <= 0)
        || !stringOneOfBlock(image, root, data, &characters, &length) || length == 0)
        return false;
    text->text = file + characters;
    text->length = length;
    return true;
}

bool readMuiConfiguration(const uint8_t* file, uint32_t fileSize, MuiConfiguration* out)
{
    ImageLayout image;
    uint32_t root = 0;
    uint32_t typeData = 0;
    bool found = false;
    if (!layoutOf(file, fileSize, &image) || !resourceRoot(image, &root))
        return false;
    // The first entry of the type, then its first name and language, as the
    // loader takes them.
    forEachEntry(image, root, [&](uint32_t type, uint32_t data) {
        found = isMuiType(image, root, type);
        typeData = data;
        return !found;
    });
    uint32_t names = 0;
    uint32_t nameData = 0;
    uint32_t languages = 0;
    uint32_t languageData = 0;
    uint32_t offset = 0;
    uint32_t size = 0;
    if (!found || !subdirectory(root, typeData, &names)
        || firstEntryOf(image, names, kAnyEntry, &nameData) <= 0
        || !subdirectory(root, nameData, &languages)
        || firstEntryOf(image, languages, kAnyEntry, &languageData) <= 0
        || !leafData(image, root, languageData, &offset, &size) || size < kMuiHeaderSize
        || readLe32(file + offset) != kMuiSignature)
        return false;
    const uint8_t* data = file + offset;

    // The fallback's name counts only when it ends within its own size.
    ImageText fallback = {nullptr, 0};
    uint32_t nameAt = readLe32(data + kMuiFallbackAt);
    uint32_t nameSize = readLe32(data + kMuiFallbackAt + 4);
    if (within(nameAt, nameSize, size)) {
        uint32_t length = 0;
        while (length < nameSize / 2 && readLe16(data + nameAt + 2 * length) != 0) {
            COUNT_STEP();
            ++length;
        }
        if (length < nameSize / 2 && length > 0) {
            fallback.text = data + nameAt;
            fallback.length = length;
        }
    }
    bool strings = false;
    uint32_t typesAt = readLe32(data + kMuiTypeIdsAt);
    uint32_t typesSize = readLe32(data + kMuiTypeIdsAt + 4);
    if (within(typesAt, typesSize, size)) {
        for (uint32_t i = 0; i < typesSize / 4 && !strings; ++i) {
            COUNT_STEP();
            strings = readLe32(data + typesAt + 4 * i) == kStringType;
        }
    }
    out->fallback = fallback;
    out->localizesStrings = strings;
    return true;
}

bool languageFolderName(const ImageText& name, char* out, size_t size)
{
    if (size == 0)
        return false;
    out[0] = '\0';
    if (name.length == 0 || name.length >= size)
        return false;
    for (size_t i = 0; i < name.length; ++i) {
        COUNT_STEP();
        uint16_t c = readLe16(name.text + 2 * i);
        bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || c == '-' || c == '_';
        if (!allowed) {
            out[0] = '\0';
            return false;
        }
        out[i] = static_cast<char>(c);
    }
    out[name.length] = '\0';
    return true;
}
