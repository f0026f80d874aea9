// The 64-bit system under a 32-bit program: whether the program runs under
// WoW64, and a view of the native system directory for the files that the
// 64-bit system itself uses (its System32, which WoW64 otherwise redirects
// to SysWOW64 for this program).
#pragma once
#include <windows.h>

typedef BOOL(WINAPI* IsWow64ProcessFunction)(HANDLE process, PBOOL wow64);
typedef BOOL(WINAPI* DisableRedirectionFunction)(PVOID* previous);
typedef BOOL(WINAPI* RevertRedirectionFunction)(PVOID previous);

// The WoW64 functions of the system, each null where the system lacks it:
// they are looked up at run time, so that the program still loads on
// Windows 95 and NT 4.0.
struct Wow64Functions {
    IsWow64ProcessFunction isWow64Process;
    DisableRedirectionFunction disableRedirection;
    RevertRedirectionFunction revertRedirection;
};

Wow64Functions systemWow64Functions();

// True only when the system says that this process runs under WoW64.
bool isWow64(const Wow64Functions& functions);
bool isWow64();

// While it lives, file names on this thread reach the native system
// directory: WoW64 file-system redirection is off. On a 32-bit system, or
// when the system cannot turn redirection off, it does nothing. While it is
// off a DLL load can fail, and a failed delay load stays failed: only plain
// kernel file calls may run inside it (the functions below), never a shell,
// GDI or user call, nor anything that may load a module.
class NativeFileSystemView {
public:
    explicit NativeFileSystemView(const Wow64Functions& functions = systemWow64Functions());
    ~NativeFileSystemView();
    NativeFileSystemView(const NativeFileSystemView&) = delete;
    NativeFileSystemView& operator=(const NativeFileSystemView&) = delete;
    bool redirectionOff() const { return revert_ != nullptr; }

private:
    RevertRedirectionFunction revert_;  // set while redirection is off
    PVOID previous_;
};

// Test builds watch every stretch with redirection off through this: true as
// a view turns it off, false as that view ends (views may nest). The program
// leaves it null.
extern void (*nativeViewWatch)(bool off);

// The directory search and the short names, in the native view.
HANDLE findFirstNativeFile(const char* pattern, WIN32_FIND_DATAA* found);
BOOL findNextNativeFile(HANDLE search, WIN32_FIND_DATAA* found);
DWORD nativeShortPathName(const char* path, char* out, DWORD size);

// "windowsDirectory\Sysnative\name" for a path "systemDirectory\name"
// (letter case aside); false, and nothing written, for any other path or
// when it would not fit in size bytes.
bool sysnativePath(const char* path, const char* systemDirectory,
                   const char* windowsDirectory, char* out, size_t size);

// How this 32-bit program reaches a file of the native system directory.
enum NativeAccess {
    NATIVE_AS_NAMED,         // another file, or no WoW64: by its name, as ever
    NATIVE_THROUGH_ALIAS,    // by its name under "Sysnative", redirection on
    // No alias (64-bit Windows XP and Server 2003 without the update that
    // added it): by its own name, redirection off around the one call that
    // opens it, as before the alias existed.
    NATIVE_REDIRECTION_OFF,
};

// Where the choice looks: whether a name is found with redirection on (the
// alias), and whether the native view finds the path.
struct NativeListing {
    bool (*foundThroughAlias)(const char* alias);
    bool (*foundNatively)(const char* path);
};

// The choice for a path under WoW64: a file directly in systemDirectory
// (letter case aside) is reached through the alias under
// systemWindowsDirectory when it is found there, else with redirection off
// when the native view finds it; anything else as named. out gets the alias
// for NATIVE_THROUGH_ALIAS and is left alone otherwise.
NativeAccess chooseNativeAccess(const char* path, const char* systemDirectory,
                                const char* systemWindowsDirectory,
                                const NativeListing& listing, char* out, size_t size);

// The choice on this system (as named without WoW64).
NativeAccess nativeAccessOf(const char* path, char* alias, size_t size);

// The first icon of a file (the one its file type's "%1" icon names) at
// size pixels square, read from its resources as data, so that none of its
// code runs and nothing else loads; with redirectionOff (a native system
// directory's file without the alias) redirection is off around the
// opening alone. Null when it has none or cannot be opened.
HICON fileIconAtSize(const char* path, int size, bool redirectionOff);

// The small icon of a native system directory's file, taken from the file
// through its alias (nativeAccessOf; the shell's own file lookup walks the
// folders, where the alias is not listed); null when it has none.
HICON nativeSystemFileIcon(const char* alias);

// WinExec, except that a program in the native system directory (under
// WoW64, through the alias, or without one with redirection off) starts as
// the native file. Above 31 when it started, as WinExec reports.
UINT winExecNative(const char* program, const char* commandLine, UINT show);
