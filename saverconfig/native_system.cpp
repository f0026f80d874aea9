#include "native_system.h"

#include "../base/handles.h"

Wow64Functions systemWow64Functions()
{
    Wow64Functions functions = {nullptr, nullptr, nullptr};
    // kernel32 stays loaded for the life of every process: no reference to
    // release.
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    if (!kernel32)
        return functions;
    functions.isWow64Process = findFunction<IsWow64ProcessFunction>(kernel32, "IsWow64Process");
    functions.disableRedirection =
        findFunction<DisableRedirectionFunction>(kernel32, "Wow64DisableWow64FsRedirection");
    functions.revertRedirection =
        findFunction<RevertRedirectionFunction>(kernel32, "Wow64RevertWow64FsRedirection");
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
    if (functions.disableRedirection(&previous_))
        revert_ = functions.revertRedirection;
}

NativeFileSystemView::~NativeFileSystemView()
{
    if (revert_)
        revert_(previous_);
}

UINT winExecNative(const char* commandLine, UINT show)
{
    NativeFileSystemView native;
    return WinExec(commandLine, show);
}
