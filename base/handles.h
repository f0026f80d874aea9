// Small owners for the handles an operation acquires, so that every early
// return still releases them.
#pragma once
#include <windows.h>

#include "memory.h"

template <typename T, typename Traits>
class UniqueHandle {
public:
    UniqueHandle() : value_(Traits::invalid()) {}
    explicit UniqueHandle(T value) : value_(value) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    T get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::invalid(); }
    // For out-parameters of creation calls: releases what was held first.
    T* put() { reset(); return &value_; }
    T release() { T value = value_; value_ = Traits::invalid(); return value; }
    void reset(T value = Traits::invalid())
    {
        if (value_ != Traits::invalid())
            Traits::close(value_);
        value_ = value;
    }

private:
    T value_;
};

struct RegKeyTraits {
    static HKEY invalid() { return nullptr; }
    static void close(HKEY key) { RegCloseKey(key); }
};
struct IconTraits {
    static HICON invalid() { return nullptr; }
    static void close(HICON icon) { DestroyIcon(icon); }
};
struct GdiObjectTraits {
    static HGDIOBJ invalid() { return nullptr; }
    static void close(HGDIOBJ object) { DeleteObject(object); }
};
struct FindTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE find) { FindClose(find); }
};
struct FileTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE file) { CloseHandle(file); }
};
struct KernelObjectTraits {
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE object) { CloseHandle(object); }
};
struct ViewTraits {
    static const void* invalid() { return nullptr; }
    static void close(const void* view) { UnmapViewOfFile(view); }
};
struct ModuleTraits {
    static HMODULE invalid() { return nullptr; }
    static void close(HMODULE module) { FreeLibrary(module); }
};

struct BlockTraits {
    static void* invalid() { return nullptr; }
    static void close(void* block) { freeBlock(block); }
};

using UniqueRegKey = UniqueHandle<HKEY, RegKeyTraits>;
using UniqueIcon = UniqueHandle<HICON, IconTraits>;
using UniqueGdiObject = UniqueHandle<HGDIOBJ, GdiObjectTraits>;
using UniqueFind = UniqueHandle<HANDLE, FindTraits>;
using UniqueFile = UniqueHandle<HANDLE, FileTraits>;
using UniqueKernelObject = UniqueHandle<HANDLE, KernelObjectTraits>;
using UniqueView = UniqueHandle<const void*, ViewTraits>;
using UniqueModule = UniqueHandle<HMODULE, ModuleTraits>;
// A block of the program's heap (base/memory.h).
using UniqueBlock = UniqueHandle<void*, BlockTraits>;

// A window's device context, released to the window it came from.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC() { if (dc_) ReleaseDC(window_, dc_); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a device context and puts the previous one back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() { if (previous_) SelectObject(dc_, previous_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A function of a loaded module found by name, as the type the caller knows
// it by; null when the module does not export it. The detour through the
// generic function type, which every function type may be cast from and to,
// keeps the cast well defined.
template <typename Function>
Function findFunction(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(module, name)));
}

// A function of a module that stays loaded for the life of the process
// (kernel32, and the system DLLs the program imports), found by name: no
// reference is taken, so none is released. Null when it is not there.
template <typename Function>
Function findLoadedFunction(const char* moduleName, const char* name)
{
    HMODULE module = GetModuleHandleA(moduleName);
    return module ? findFunction<Function>(module, name) : nullptr;
}
