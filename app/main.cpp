// What the C runtime would otherwise bring: the process's entry point and
// the memory routines the compiler calls on its own (for structure copies
// and clears, and for the memset/memcpy the program writes). Dormity links
// no C runtime, so that it needs no msvcrt.dll, which a plain Windows 95
// lacks. Linked into Dormity.exe only: the test programs have their runtime.
#include <windows.h>

#include "application.h"

extern "C" {

void* memset(void* destination, int value, size_t size)
{
    unsigned char* out = static_cast<unsigned char*>(destination);
    while (size-- > 0)
        *out++ = static_cast<unsigned char>(value);
    return destination;
}

void* memcpy(void* destination, const void* source, size_t size)
{
    unsigned char* out = static_cast<unsigned char*>(destination);
    const unsigned char* in = static_cast<const unsigned char*>(source);
    while (size-- > 0)
        *out++ = *in++;
    return destination;
}

void* memmove(void* destination, const void* source, size_t size)
{
    unsigned char* out = static_cast<unsigned char*>(destination);
    const unsigned char* in = static_cast<const unsigned char*>(source);
    if (out < in) {
        while (size-- > 0)
            *out++ = *in++;
    } else {
        while (size-- > 0)
            out[size] = in[size];
    }
    return destination;
}

int memcmp(const void* first, const void* second, size_t size)
{
    const unsigned char* a = static_cast<const unsigned char*>(first);
    const unsigned char* b = static_cast<const unsigned char*>(second);
    for (; size > 0; --size, ++a, ++b) {
        if (*a != *b)
            return *a < *b ? -1 : 1;
    }
    return 0;
}

// Where the loader starts the process. The stack is realigned, as nothing
// before this promises the compiler's alignment.
__attribute__((force_align_arg_pointer, noreturn)) void dormityEntry(void)
{
    ExitProcess(static_cast<UINT>(runDormity(GetModuleHandleA(nullptr), GetCommandLineA())));
}

} // extern "C"
