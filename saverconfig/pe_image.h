// The bytes of an executable image read as data: the one part of the
// program that judges files anyone may have put on the disk. It includes no
// Windows header and calls nothing, so that it builds and is fuzzed as it is
// on any system. Every function reads only within the bytes it is given,
// whatever they hold, and its work is bounded by their number.
#pragma once
#include <stddef.h>
#include <stdint.h>

// A text inside the image: length UTF-16 code units (little-endian, not
// necessarily aligned) from text, all within the bytes given.
struct ImageText {
    const uint8_t* text;
    size_t length;
};

// Whether the first length bytes of a file of fileSize bytes describe an
// executable image (32-bit x86, or 64-bit x64 or ARM64) whose sections all
// lie within the file: the test that keeps cut-off and damaged files out of
// the catalogue. The DOS header, the NT headers and the section table must
// lie within length.
bool imageFitsInFile(const uint8_t* start, size_t length, uint32_t fileSize);

// Whether a whole file's bytes are a 64-bit image that fits its file.
bool imageIs64Bit(const uint8_t* file, uint32_t fileSize);

// Whether reading string 1 from a whole file's bytes stays within the file:
// under the first string type entry and its first block 1 entry, as the
// loader finds them, every language's block lies within the file and holds
// strings 0 and 1 within its size. True too when the image has no such
// block (nothing is read then); false for bytes that are no image fitting
// its file. A table that would need more work than the file's size
// warrants is judged damaged.
bool stringOneIsReadable(const uint8_t* file, uint32_t fileSize);

// String 1 of a whole file's bytes in the first of the given languages its
// table has, else in the table's first language, as the loader picks it.
// False, with an empty text, when there is no non-empty string 1 within
// its block.
bool findStringOne(const uint8_t* file, uint32_t fileSize, const uint16_t* languages,
                   size_t count, ImageText* text);

// The resource configuration data (type "MUI") of a language-neutral file
// or of a language satellite, as far as the program uses it.
struct MuiConfiguration {
    ImageText fallback;     // the ultimate fallback language's name; empty: none
    bool localizesStrings;  // string tables are among the types its satellites hold
};
// False, with nothing set, when the file has no such data or it is damaged.
bool readMuiConfiguration(const uint8_t* file, uint32_t fileSize, MuiConfiguration* out);

// A language name ("en-US", "sr-Latn-RS") as a folder name: letters,
// digits, hyphens and underscores only, never empty, terminated within size
// bytes. False, with an empty out, for any other text: a name from a file
// must not lead out of its folder.
bool languageFolderName(const ImageText& name, char* out, size_t size);

// Fuzzing builds count every step of the loops above here, to hold the
// work against the input's size.
#ifdef DORMITY_COUNT_IMAGE_STEPS
extern size_t imageSteps;
#endif
