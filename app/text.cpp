#include "text.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

bool formatText(char* out, size_t size, const char* format, ...)
{
    if (size == 0)
        return false;
    va_list args;
    va_start(args, format);
    // msvcrt's _vsnprintf returns -1 and leaves the buffer unterminated when
    // the text does not fit; the last byte is terminated here in every case.
    int written = _vsnprintf(out, size, format, args);
    va_end(args);
    out[size - 1] = '\0';
    return written >= 0 && static_cast<size_t>(written) < size;
}

bool copyText(char* out, size_t size, const char* text)
{
    if (size == 0)
        return false;
    size_t length = strlen(text);
    bool fits = length < size;
    if (!fits)
        length = size - 1;
    memcpy(out, text, length);
    out[length] = '\0';
    return fits;
}

bool appendText(char* out, size_t size, const char* text)
{
    size_t used = strnlen(out, size);
    if (used >= size)
        return false;
    return copyText(out + used, size - used, text);
}
