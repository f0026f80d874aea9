// The program's memory: the process heap through kernel32, since it links
// no C runtime.
#pragma once
#include <stddef.h>

// Both allocations return null on failure; freeBlock takes what either
// returned (or null) back.
void* allocateBlock(size_t size);
void* allocateZeroedBlock(size_t size);
void freeBlock(void* block);

// Called when an object allocation fails; its result is what the
// allocation returns. Set once by whoever owns the process (the
// application); unset, a failed allocation just returns null.
typedef void* (*OutOfMemoryHook)(size_t size);
void setOutOfMemoryHook(OutOfMemoryHook hook);

// Allocates through the program's allocator; on failure the hook runs and
// its result comes back. Used for the long-lived objects and the error text.
void* allocateObject(size_t size);

// Replaceable so that tests can make allocations fail; null restores the
// process heap (allocateBlock).
typedef void* (*Allocator)(size_t size);
void setAllocator(Allocator allocator);
