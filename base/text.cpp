#include "text.h"

#include <windows.h>
#include <stdarg.h>

#include "handles.h"
#include "item_name.h"

namespace {

// Writes into a buffer of size bytes, keeping room for the terminator and
// remembering whether anything had to be dropped.
template <typename Char>
struct BoundedWriter {
    Char* out;
    size_t size;
    size_t used;
    bool cut;

    void put(Char c)
    {
        if (used + 1 < size)
            out[used++] = c;
        else
            cut = true;
    }
    void repeat(Char c, int count)
    {
        for (; count > 0; --count)
            put(c);
    }
};

struct Conversion {
    bool zeroPad;
    int width;      // minimum field width
    int precision;  // minimum digits; -1 when none was given
};

template <typename Char>
void putNumber(BoundedWriter<Char>& writer, const Conversion& conversion, bool negative,
               unsigned value)
{
    Char digits[12];
    int count = 0;
    do {
        digits[count++] = static_cast<Char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    int zeros = conversion.precision > count ? conversion.precision - count : 0;
    int length = (negative ? 1 : 0) + zeros + count;
    int padding = conversion.width > length ? conversion.width - length : 0;
    // With a precision the "0" flag is ignored, as printf does.
    bool padWithZeros = conversion.zeroPad && conversion.precision < 0;
    if (!padWithZeros)
        writer.repeat(' ', padding);
    if (negative)
        writer.put('-');
    if (padWithZeros)
        writer.repeat('0', padding);
    writer.repeat('0', zeros);
    while (count > 0)
        writer.put(digits[--count]);
}

template <typename Char>
int readNumber(const Char*& p)
{
    int value = 0;
    while (*p >= '0' && *p <= '9' && value < 1000)
        value = value * 10 + (*p++ - '0');
    return value;
}

// Formats into out (size characters) as formatText does, for either kind
// of text.
template <typename Char>
bool formatInto(Char* out, size_t size, const Char* format, va_list args)
{
    if (size == 0)
        return false;
    BoundedWriter<Char> writer = {out, size, 0, false};
    bool understood = true;
    // A refused conversion leaves the loop before the step past it, so a
    // format that ends inside a conversion ("%", "%0", "%5", "%.") is never
    // read beyond its terminator.
    for (const Char* p = format; *p; ++p) {
        if (*p != '%') {
            writer.put(*p);
            continue;
        }
        ++p;
        Conversion conversion = {false, 0, -1};
        if (*p == '0') {
            conversion.zeroPad = true;
            ++p;
        }
        conversion.width = readNumber(p);
        if (*p == '.') {
            ++p;
            conversion.precision = readNumber(p);
        }
        switch (*p) {
        case '%':
            writer.put('%');
            break;
        case 's': {
            const Char* text = va_arg(args, const Char*);
            if (!text) {
                understood = false;
                break;
            }
            for (; *text; ++text)
                writer.put(*text);
            break;
        }
        case 'd': {
            int value = va_arg(args, int);
            unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value)
                                           : static_cast<unsigned>(value);
            putNumber(writer, conversion, value < 0, magnitude);
            break;
        }
        case 'u':
            putNumber(writer, conversion, false, va_arg(args, unsigned));
            break;
        default:  // not one of the program's conversions, or the format's end
            understood = false;
            break;
        }
        if (!understood)
            break;
    }
    out[writer.used] = '\0';
    return understood && !writer.cut;
}

template <typename Char>
bool copyInto(Char* out, size_t size, const Char* text)
{
    if (size == 0)
        return false;
    size_t length = 0;
    while (length + 1 < size && text[length])
        ++length;
    bool fits = text[length] == 0;
    for (size_t i = 0; i < length; ++i)
        out[i] = text[i];
    out[length] = 0;
    return fits;
}

} // namespace

bool formatText(char* out, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    bool done = formatInto(out, size, format, args);
    va_end(args);
    return done;
}

bool formatText(WCHAR* out, size_t size, const WCHAR* format, ...)
{
    va_list args;
    va_start(args, format);
    bool done = formatInto(out, size, format, args);
    va_end(args);
    return done;
}

bool copyText(char* out, size_t size, const char* text)
{
    return copyInto(out, size, text);
}

bool copyText(WCHAR* out, size_t size, const WCHAR* text)
{
    return copyInto(out, size, text);
}

bool appendText(char* out, size_t size, const char* text)
{
    size_t used = 0;
    while (used < size && out[used])
        ++used;
    if (used >= size)
        return false;
    return copyText(out + used, size - used, text);
}

size_t textLength(const char* text)
{
    return static_cast<size_t>(lstrlenA(text));
}

size_t textLength(const WCHAR* text)
{
    // lstrlenW is not among the wide calls Windows 95 carries out.
    size_t length = 0;
    while (text[length])
        ++length;
    return length;
}

bool textEquals(const char* first, const char* second)
{
    while (*first && *first == *second) {
        ++first;
        ++second;
    }
    return *first == *second;
}

bool textContains(const char* text, char character)
{
    for (; *text; ++text) {
        if (*text == character)
            return true;
    }
    return false;
}

namespace {

typedef int(WINAPI* MapStringFunction)(LCID locale, DWORD flags, LPCWSTR source, int length,
                                       LPWSTR out, int size);

} // namespace

// Through the ANSI code page, so that no trail byte of a double-byte
// character is taken for a letter.
int fileNameKey(const char* name, WCHAR (&out)[MAX_PATH])
{
    int length = MultiByteToWideChar(CP_ACP, 0, name, -1, out, MAX_PATH);
    if (length <= 0)
        return 0;
    // LCMapStringW upper-cases by "file system rules" unless asked for
    // LCMAP_LINGUISTIC_CASING. English is named rather than the user's
    // locale: NT 4.0 and 2000 kept a Turkish casing table (i to the dotted
    // capital) for the Turkish locale. The 95 family has only a stub that
    // fails, looked up rather than imported; ASCII letters fold there alone.
    // A letter never folds across ASCII and the rest (the dotless i, the long
    // s): the file system's table has no such pair.
    WCHAR upper[MAX_PATH];
    MapStringFunction map = findLoadedFunction<MapStringFunction>("kernel32.dll", "LCMapStringW");
    bool mapped = map
        && map(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT),
               LCMAP_UPPERCASE, out, length, upper, length)
            == length;
    for (int i = 0; i < length; ++i) {
        if (out[i] < 0x80)
            out[i] = out[i] >= L'a' && out[i] <= L'z' ? static_cast<WCHAR>(out[i] - 0x20) : out[i];
        else if (mapped && upper[i] >= 0x80)
            out[i] = upper[i];
    }
    return length;
}

bool sameFileName(const char* first, const char* second)
{
    if (textEquals(first, second))
        return true;
    WCHAR a[MAX_PATH];
    WCHAR b[MAX_PATH];
    int length = fileNameKey(first, a);
    if (length == 0 || fileNameKey(second, b) != length)
        return false;
    for (int i = 0; i < length; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

void setItemName(ItemName& name, const char* caption)
{
    const int capacity = static_cast<int>(sizeof name.text / sizeof name.text[0]);
    // A caption of n bytes widens to at most n characters, and captions
    // live in 260-byte buffers; one that did not fit would be left unnamed.
    int length = MultiByteToWideChar(CP_ACP, 0, caption, -1, name.text, capacity);
    if (length <= 0) {
        name.text[0] = L'\0';
        length = 1;
    }
    name.msaa.dwMSAASignature = static_cast<DWORD>(MSAA_MENU_SIG);
    name.msaa.cchWText = static_cast<DWORD>(length - 1);
    name.msaa.pszWText = name.text;
}

void setItemName(ItemName& name, const wchar_t* caption)
{
    copyText(name.text, sizeof name.text / sizeof name.text[0], caption);
    name.msaa.dwMSAASignature = static_cast<DWORD>(MSAA_MENU_SIG);
    name.msaa.cchWText = static_cast<DWORD>(textLength(name.text));
    name.msaa.pszWText = name.text;
}
