#include "memory.h"

#include <windows.h>

namespace {

Allocator currentAllocator = nullptr;
OutOfMemoryHook outOfMemoryHook = nullptr;

} // namespace

void setAllocator(Allocator allocator)
{
    currentAllocator = allocator;
}

void setOutOfMemoryHook(OutOfMemoryHook hook)
{
    outOfMemoryHook = hook;
}

void* allocateBlock(size_t size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void* allocateZeroedBlock(size_t size)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

void freeBlock(void* block)
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}

void* allocateObject(size_t size)
{
    void* block = currentAllocator ? currentAllocator(size) : allocateBlock(size);
    if (!block)
        return outOfMemoryHook ? outOfMemoryHook(size) : nullptr;
    return block;
}
