// The file reader fuzzed: one input given to every entry point, the languages to look for
// taken from the input too. Whatever the bytes, every text found lies inside the input, no
// entry point works longer than a bound proportional to the input's size, and the same input
// gives the same answers twice.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "saverconfig/pe_image.h"

namespace {

const size_t kMaxLanguages = 16;
const size_t kNameSize = 85;

struct Answers {
    bool fitsWhole, fitsHead, wide, readable, found, configured, folder, textFolder;
    ImageText text;
    MuiConfiguration mui;
    char name[kNameSize];
    char textName[kNameSize];
};

[[noreturn]] void fail(const char* what, size_t size)
{
    fprintf(stderr, "fuzz_pe_image: %s (input of %zu bytes)\n", what, size);
    abort();
}

// The walks are linear in the input: a section table, a directory's entries, a block's words,
// a name; string 1 is looked for in up to 16 languages, each a walk of one directory.
void bounded(const char* what, size_t size)
{
    if (imageSteps > 64 * size + 1024) {
        fprintf(stderr, "fuzz_pe_image: %s took %zu steps\n", what, imageSteps);
        fail("unbounded work", size);
    }
    imageSteps = 0;
}

void inside(const ImageText& text, const uint8_t* data, size_t size)
{
    if (text.length == 0)
        return;
    uintptr_t start = reinterpret_cast<uintptr_t>(data);
    uintptr_t at = reinterpret_cast<uintptr_t>(text.text);
    if (at < start || at - start > size || (size - (at - start)) / 2 < text.length)
        fail("a text outside the input", size);
}

// A folder name holds only what a language name may hold.
void folderName(bool made, const char* name, size_t size)
{
    size_t length = strnlen(name, kNameSize);
    if (length == kNameSize || (made && length == 0) || (!made && length != 0))
        fail("a folder name unterminated or against its answer", size);
    for (size_t i = 0; i < length; ++i) {
        if (!strchr("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_", name[i]))
            fail("a folder name with a character no language name has", size);
    }
}

Answers answer(const uint8_t* data, size_t size, const uint16_t* languages, size_t count)
{
    Answers a;
    memset(&a, 0, sizeof a);
    const uint32_t fileSize = static_cast<uint32_t>(size);
    imageSteps = 0;
    a.fitsWhole = imageFitsInFile(data, size, fileSize);
    bounded("imageFitsInFile", size);
    // The headers read apart from the file, as a first read of 4096 bytes gives them.
    a.fitsHead = imageFitsInFile(data, size < 4096 ? size : 4096, fileSize);
    bounded("imageFitsInFile (head)", size);
    a.wide = imageIs64Bit(data, fileSize);
    bounded("imageIs64Bit", size);
    a.readable = stringOneIsReadable(data, fileSize);
    bounded("stringOneIsReadable", size);
    a.found = findStringOne(data, fileSize, languages, count, &a.text);
    bounded("findStringOne", size);
    inside(a.text, data, size);
    if (a.found != (a.text.length > 0))
        fail("string 1 found without a text, or a text not found", size);
    a.configured = readMuiConfiguration(data, fileSize, &a.mui);
    bounded("readMuiConfiguration", size);
    if (a.configured) {
        inside(a.mui.fallback, data, size);
        a.folder = languageFolderName(a.mui.fallback, a.name, sizeof a.name);
        bounded("languageFolderName", size);
        folderName(a.folder, a.name, size);
    }
    // Any bytes as a name, too.
    ImageText any = {data, size / 2 < kNameSize ? size / 2 : kNameSize};
    a.textFolder = languageFolderName(any, a.textName, sizeof a.textName);
    bounded("languageFolderName (input)", size);
    folderName(a.textFolder, a.textName, size);
    if (a.wide && !a.fitsWhole)
        fail("a 64-bit image that does not fit", size);
    return a;
}

bool sameText(const ImageText& a, const ImageText& b)
{
    return a.text == b.text && a.length == b.length;
}

bool same(const Answers& a, const Answers& b)
{
    return a.fitsWhole == b.fitsWhole && a.fitsHead == b.fitsHead && a.wide == b.wide
        && a.readable == b.readable && a.found == b.found && sameText(a.text, b.text)
        && a.configured == b.configured && sameText(a.mui.fallback, b.mui.fallback)
        && a.mui.localizesStrings == b.mui.localizesStrings && a.folder == b.folder
        && strcmp(a.name, b.name) == 0 && a.textFolder == b.textFolder
        && strcmp(a.textName, b.textName) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A file is not mapped past 4 GiB.
    if (size > 0xFFFFFFFFu)
        return 0;
    // The languages: the last byte tells how many (up to 16), the words before it which.
    uint16_t languages[kMaxLanguages];
    size_t count = size > 0 ? data[size - 1] % (kMaxLanguages + 1) : 0;
    if (2 * count + 1 > size)
        count = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* word = data + size - 1 - 2 * (count - i);
        languages[i] = static_cast<uint16_t>(word[0] | word[1] << 8);
    }
    Answers first = answer(data, size, languages, count);
    Answers second = answer(data, size, languages, count);
    if (!same(first, second))
        fail("another answer for the same input", size);
    return 0;
}
