#include "ui_text.h"

#include <string.h>

#include "handles.h"
#include "system_version.h"
#include "text.h"
#include "ui_language.h"

namespace {

// The ids of res/string_ids.h lie in this range.
const UINT kFirstId = 200;
const UINT kIdCount = 100;
// Every text of the longest language, with room to spare: each is read
// once into it, and it is emptied when the language changes.
const size_t kPoolSize = 4096;

struct SpokenTexts {
    bool decided;
    size_t language;
    bool wide;
    bool mirrored;
    size_t used;
    WORD place[kIdCount];  // where each text starts in the pool, plus one; 0: unread
    WCHAR pool[kPoolSize];
};
SpokenTexts spoken;

void decideOnce()
{
    if (spoken.decided)
        return;
    OSVERSIONINFOA version = reportedVersion();
    speakUiLanguage(kEnglish, version.dwPlatformId, version.dwMajorVersion);
}

// The text of id in one language's table, where it has one of its own.
bool readText(UINT id, LANGID language, const WCHAR** text, size_t* length)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceExA(module, MAKEINTRESOURCEA(6) /* RT_STRING */,
                                 MAKEINTRESOURCEA(stringBlockOf(id)), language);
    HGLOBAL handle = info ? LoadResource(module, info) : nullptr;
    const void* block = handle ? LockResource(handle) : nullptr;
    return block && stringInBlock(block, SizeofResource(module, info), stringIndexOf(id), text,
                                  length)
        && *length > 0;
}

typedef BOOL(WINAPI* SetWindowTextWFunction)(HWND window, LPCWSTR text);
typedef int(WINAPI* DrawTextWFunction)(HDC dc, LPCWSTR text, int length, LPRECT rect, UINT format);

} // namespace

void speakUiLanguage(size_t language, DWORD platformId, DWORD majorVersion)
{
    spoken.decided = true;
    spoken.language = language < kUiLanguageCount ? language : kEnglish;
    spoken.wide = platformId == VER_PLATFORM_WIN32_NT;
    spoken.mirrored = mirrorsLayout(spoken.language, platformId, majorVersion);
    spoken.used = 0;
    memset(spoken.place, 0, sizeof spoken.place);
}

size_t uiLanguage()
{
    decideOnce();
    return spoken.language;
}

bool uiTextIsWide()
{
    decideOnce();
    return spoken.wide;
}

bool uiMirrored()
{
    decideOnce();
    return spoken.mirrored;
}

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

const WCHAR* uiText(UINT id)
{
    decideOnce();
    if (id < kFirstId || id >= kFirstId + kIdCount)
        return L"";
    WORD& place = spoken.place[id - kFirstId];
    if (place == 0) {
        const WCHAR* text = nullptr;
        size_t length = 0;
        // A text a translation lacks is read in English, never shown empty.
        if (!readText(id, kUiLanguages[spoken.language].id, &text, &length)
            && !readText(id, kUiLanguages[kEnglish].id, &text, &length))
            return L"";
        if (length + 1 > kPoolSize - spoken.used)
            return L"";
        memcpy(spoken.pool + spoken.used, text, length * sizeof(WCHAR));
        spoken.pool[spoken.used + length] = L'\0';
        place = static_cast<WORD>(spoken.used + 1);
        spoken.used += length + 1;
    }
    return spoken.pool + place - 1;
}

void englishText(UINT id, char* out, size_t size)
{
    const WCHAR* text = nullptr;
    size_t length = 0;
    WCHAR copy[1024];
    copy[0] = L'\0';
    if (readText(id, kUiLanguages[kEnglish].id, &text, &length)) {
        length = length < 1023 ? length : 1023;
        memcpy(copy, text, length * sizeof(WCHAR));
        copy[length] = L'\0';
    }
    ansiFromWide(copy, out, size);
}

void ansiFromWide(const WCHAR* text, char* out, size_t size)
{
    if (size == 0)
        return;
    // Character by character, so that a text that does not fit is cut
    // where it stops fitting rather than lost whole.
    size_t used = 0;
    for (; *text; ++text) {
        char spelt[8];
        int length = WideCharToMultiByte(CP_ACP, 0, text, 1, spelt, sizeof spelt, nullptr, nullptr);
        if (length <= 0 || used + static_cast<size_t>(length) >= size)
            break;
        memcpy(out + used, spelt, static_cast<size_t>(length));
        used += static_cast<size_t>(length);
    }
    out[used] = '\0';
}

int showMessage(HWND owner, const WCHAR* text, const WCHAR* caption, UINT type)
{
    // MessageBoxW is one of the few wide calls Windows 95 carries out.
    if (uiMirrored())
        type |= MB_RTLREADING | MB_RIGHT;
    return MessageBoxW(owner, text, caption, type);
}

void setWindowText(HWND window, const WCHAR* text)
{
    // Windows 95 has no SetWindowTextW to import: looked up where it works.
    SetWindowTextWFunction setWide = uiTextIsWide()
        ? findLoadedFunction<SetWindowTextWFunction>("user32.dll", "SetWindowTextW")
        : nullptr;
    if (setWide) {
        setWide(window, text);
        return;
    }
    char ansi[1024];
    ansiFromWide(text, ansi, sizeof ansi);
    SetWindowTextA(window, ansi);
}

void wideFromAnsi(const char* text, WCHAR* out, size_t size)
{
    if (size == 0)
        return;
    int written = MultiByteToWideChar(CP_ACP, 0, text, -1, out, static_cast<int>(size));
    if (written <= 0) {
        // Too long: the part that fits (a double-byte character whose
        // second byte was cut is dropped by the conversion).
        written = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(textLength(text)),
                                      out, static_cast<int>(size - 1));
        out[written > 0 ? written : 0] = L'\0';
    }
}

int drawText(HDC dc, const WCHAR* text, int length, RECT* rect, UINT format)
{
    DrawTextWFunction drawWide = uiTextIsWide()
        ? findLoadedFunction<DrawTextWFunction>("user32.dll", "DrawTextW")
        : nullptr;
    if (drawWide)
        return drawWide(dc, text, length, rect, format);
    WCHAR part[1024];
    if (length >= 0) {
        size_t count = static_cast<size_t>(length) < 1023 ? static_cast<size_t>(length) : 1023;
        memcpy(part, text, count * sizeof(WCHAR));
        part[count] = L'\0';
        text = part;
    }
    char ansi[2048];
    ansiFromWide(text, ansi, sizeof ansi);
    return DrawTextA(dc, ansi, -1, rect, format);
}
