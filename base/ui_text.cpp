#include "ui_text.h"

#include <string.h>

namespace {

// The ids of res/string_ids.h lie in this range; each is read once.
const UINT kFirstId = 200;
const UINT kIdCount = 100;
const size_t kTextSize = 1024;

struct CachedText {
    bool read;
    char text[kTextSize];
};
CachedText cache[kIdCount];

// The English table until the program chooses among its languages.
void readText(UINT id, char* out, size_t size)
{
    out[0] = '\0';
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceExA(module, MAKEINTRESOURCEA(6) /* RT_STRING */,
                                 MAKEINTRESOURCEA(stringBlockOf(id)),
                                 MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    HGLOBAL handle = info ? LoadResource(module, info) : nullptr;
    const void* block = handle ? LockResource(handle) : nullptr;
    const WCHAR* text = nullptr;
    size_t length = 0;
    if (!block || !stringInBlock(block, SizeofResource(module, info), stringIndexOf(id), &text,
                                 &length) || length == 0)
        return;
    int written = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), out,
                                      static_cast<int>(size - 1), nullptr, nullptr);
    out[written > 0 ? written : 0] = '\0';
}

} // namespace

bool stringInBlock(const void* block, size_t size, UINT index, const WCHAR** text,
                   size_t* length)
{
    // Each text is a count of UTF-16 units followed by that many units.
    const BYTE* bytes = static_cast<const BYTE*>(block);
    size_t offset = 0;
    for (UINT i = 0; i <= index; ++i) {
        if (offset + 2 > size)
            return false;
        WORD count;
        memcpy(&count, bytes + offset, sizeof count);
        offset += 2;
        if (count > (size - offset) / 2)
            return false;
        if (i == index) {
            *text = reinterpret_cast<const WCHAR*>(bytes + offset);
            *length = count;
            return true;
        }
        offset += static_cast<size_t>(count) * 2;
    }
    return false;
}

const char* uiText(UINT id)
{
    if (id < kFirstId || id >= kFirstId + kIdCount)
        return "";
    CachedText& entry = cache[id - kFirstId];
    if (!entry.read) {
        readText(id, entry.text, sizeof entry.text);
        entry.read = true;
    }
    return entry.text;
}
