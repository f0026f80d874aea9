#include "native_system.h"

#include <string.h>

#include "../base/handles.h"
#include "../base/text.h"

void (*nativeViewWatch)(bool off) = nullptr;

Wow64Functions systemWow64Functions()
{
    // Looked up once: a view is made around every file call of a rebuild,
    // and kernel32 stays loaded for the life of every process (no reference
    // to release), so its addresses stay good.
    static Wow64Functions functions;
    static bool lookedUp = false;
    if (lookedUp)
        return functions;
    lookedUp = true;
    functions.isWow64Process =
        findLoadedFunction<IsWow64ProcessFunction>("kernel32.dll", "IsWow64Process");
    functions.disableRedirection = findLoadedFunction<DisableRedirectionFunction>(
        "kernel32.dll", "Wow64DisableWow64FsRedirection");
    functions.revertRedirection = findLoadedFunction<RevertRedirectionFunction>(
        "kernel32.dll", "Wow64RevertWow64FsRedirection");
    return functions;
}

bool isWow64(const Wow64Functions& functions)
{
    if (!functions.isWow64Process)
        return false;
    BOOL wow64 = FALSE;
    return functions.isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

bool isWow64()
{
    return isWow64(systemWow64Functions());
}

NativeFileSystemView::NativeFileSystemView(const Wow64Functions& functions)
    : revert_(nullptr), previous_(nullptr)
{
    // Turned off only where it can be turned back on: a thread left
    // without redirection would load 64-bit DLLs into this process.
    if (!functions.disableRedirection || !functions.revertRedirection || !isWow64(functions))
        return;
    if (functions.disableRedirection(&previous_)) {
        revert_ = functions.revertRedirection;
        if (nativeViewWatch)
            nativeViewWatch(true);
    }
}

NativeFileSystemView::~NativeFileSystemView()
{
    if (!revert_)
        return;
    if (nativeViewWatch)
        nativeViewWatch(false);
    revert_(previous_);
}

HANDLE findFirstNativeFile(const char* pattern, WIN32_FIND_DATAA* found)
{
    NativeFileSystemView native;
    return FindFirstFileA(pattern, found);
}

BOOL findNextNativeFile(HANDLE search, WIN32_FIND_DATAA* found)
{
    NativeFileSystemView native;
    return FindNextFileA(search, found);
}

DWORD nativeShortPathName(const char* path, char* out, DWORD size)
{
    NativeFileSystemView native;
    return GetShortPathNameA(path, out, size);
}

bool sysnativePath(const char* path, const char* systemDirectory,
                   const char* windowsDirectory, char* out, size_t size)
{
    size_t length = textLength(systemDirectory);
    if (length == 0 || textLength(path) <= length + 1 || path[length] != '\\')
        return false;
    char directory[MAX_PATH];
    copyText(directory, sizeof directory, path);
    if (length >= sizeof directory)
        return false;
    directory[length] = '\0';
    const char* name = path + length + 1;
    // A file of a folder below the system directory is not the catalogue's.
    if (textContains(name, '\\'))
        return false;
    if (!sameFileName(directory, systemDirectory)
        || !formatText(out, size, "%s\\Sysnative\\%s", windowsDirectory, name)) {
        if (size > 0)
            out[0] = '\0';
        return false;
    }
    return true;
}

namespace {

bool foundWithRedirection(const char* name)
{
    WIN32_FIND_DATAA found;
    return static_cast<bool>(UniqueFind(FindFirstFileA(name, &found)));
}

bool foundInNativeView(const char* path)
{
    WIN32_FIND_DATAA found;
    return static_cast<bool>(UniqueFind(findFirstNativeFile(path, &found)));
}

// The system's own Windows directory, where the alias is: on a Remote
// Desktop server GetWindowsDirectoryA names a folder of the user's. Looked
// up at run time: Windows 2000 added it (every system with WoW64 has it).
UINT systemWindowsDirectory(char* out, UINT size)
{
    typedef UINT(WINAPI * DirectoryFunction)(LPSTR, UINT);
    DirectoryFunction read
        = findLoadedFunction<DirectoryFunction>("kernel32.dll", "GetSystemWindowsDirectoryA");
    return (read ? read : GetWindowsDirectoryA)(out, size);
}

// The first icon of a file, as the file type's own "%1" icon names it.
struct FirstIconName {
    WORD id;
    char name[MAX_PATH];
};

BOOL CALLBACK takeFirstIconName(HMODULE, LPCSTR, LPSTR name, LONG_PTR context)
{
    FirstIconName& first = *reinterpret_cast<FirstIconName*>(context);
    if (IS_INTRESOURCE(name))
        first.id = LOWORD(reinterpret_cast<ULONG_PTR>(name));
    else
        copyText(first.name, sizeof first.name, name);
    return FALSE;
}

} // namespace

HICON fileIconAtSize(const char* path, int size, bool redirectionOff)
{
    UniqueModule image;
    {
        // Opened as data: only the opening needs redirection off. Without
        // the system's functions the view leaves it on.
        NativeFileSystemView native(redirectionOff ? systemWow64Functions() : Wow64Functions());
        image.reset(LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    }
    if (!image)
        return nullptr;
    FirstIconName first;
    first.id = 0;
    first.name[0] = '\0';
    EnumResourceNamesA(image.get(), RT_GROUP_ICON, takeFirstIconName,
                       reinterpret_cast<LONG_PTR>(&first));
    if (first.id == 0 && first.name[0] == '\0')
        return nullptr;
    // The image of that size where the file has one, else the system scales
    // the nearest.
    return static_cast<HICON>(LoadImageA(image.get(),
                                         first.id ? MAKEINTRESOURCEA(first.id) : first.name,
                                         IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

NativeAccess chooseNativeAccess(const char* path, const char* systemDirectory,
                                const char* systemWindowsDirectory,
                                const NativeListing& listing, char* out, size_t size)
{
    char alias[MAX_PATH];
    if (!sysnativePath(path, systemDirectory, systemWindowsDirectory, alias, sizeof alias))
        return NATIVE_AS_NAMED;
    if (listing.foundThroughAlias(alias))
        return copyText(out, size, alias) ? NATIVE_THROUGH_ALIAS : NATIVE_AS_NAMED;
    // The alias finds nothing: missing, or the file is not there at all.
    return listing.foundNatively(path) ? NATIVE_REDIRECTION_OFF : NATIVE_AS_NAMED;
}

NativeAccess nativeAccessOf(const char* path, char* alias, size_t size)
{
    if (!isWow64())
        return NATIVE_AS_NAMED;
    // The system directory in the form the catalogue names its files by.
    char longName[MAX_PATH];
    char systemDirectory[MAX_PATH];
    char windowsDirectory[MAX_PATH];
    UINT length = GetSystemDirectoryA(longName, sizeof longName);
    UINT windowsLength = systemWindowsDirectory(windowsDirectory, sizeof windowsDirectory);
    if (length == 0 || length >= sizeof longName || windowsLength == 0
        || windowsLength >= sizeof windowsDirectory)
        return NATIVE_AS_NAMED;
    DWORD shortLength = nativeShortPathName(longName, systemDirectory, sizeof systemDirectory);
    if (shortLength == 0 || shortLength >= sizeof systemDirectory)
        copyText(systemDirectory, sizeof systemDirectory, longName);
    static const NativeListing listing = {foundWithRedirection, foundInNativeView};
    return chooseNativeAccess(path, systemDirectory, windowsDirectory, listing, alias, size);
}

typedef UINT(WINAPI* ExtractIconExFunction)(LPCSTR file, int index, HICON* large, HICON* small,
                                            UINT count);

HICON nativeSystemFileIcon(const char* alias)
{
    // The first icon, as the file type's own "%1" icon names it. The shell
    // is imported, so it stays loaded.
    HICON icon = nullptr;
    ExtractIconExFunction extract
        = findLoadedFunction<ExtractIconExFunction>("shell32.dll", "ExtractIconExA");
    if (extract && extract(alias, 0, nullptr, &icon, 1) == 0)
        icon = nullptr;
    return icon;
}

UINT winExecNative(const char* program, const char* commandLine, UINT show)
{
    char alias[MAX_PATH];
    NativeAccess access = nativeAccessOf(program, alias, sizeof alias);
    if (access == NATIVE_AS_NAMED)
        return WinExec(commandLine, show);
    // Started through the alias with redirection on: starting a process may
    // load modules into this one (the compatibility shims), which fails with
    // it off. Only without the alias is it off, around the start alone. The
    // command line keeps the stored name, which the screen saver sees as its
    // own.
    char line[MAX_PATH + 64];
    if (!copyText(line, sizeof line, commandLine))
        return 0;
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION started;
    BOOL ok = FALSE;
    if (access == NATIVE_THROUGH_ALIAS) {
        ok = CreateProcessA(alias, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &started);
    } else {
        NativeFileSystemView native;
        ok = CreateProcessA(program, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &started);
    }
    if (!ok)
        return 0;
    UniqueKernelObject process(started.hProcess);
    UniqueKernelObject thread(started.hThread);
    return 33;  // as WinExec reports a start: above 31
}
