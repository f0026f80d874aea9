// A key that changes when any byte it was made from does (FNV-1a): for
// telling whether what a cached value was made from is still the same.
#pragma once
#include <windows.h>
#include <stddef.h>

const DWORD HASH_START = 2166136261u;

inline DWORD hashBytes(DWORD hash, const void* bytes, size_t count)
{
    const BYTE* p = static_cast<const BYTE*>(bytes);
    for (size_t i = 0; i < count; ++i)
        hash = (hash ^ p[i]) * 16777619u;
    return hash;
}
