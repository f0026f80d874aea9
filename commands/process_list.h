// The processes that run, listed by what the system has: on the NT family
// the system's own list from ntdll (one call, each process with its
// session: under Wine a tenth of what Toolhelp costs for 300 processes),
// else kernel32's Toolhelp functions (the 95 family), else psapi.dll from
// the system directory where it is installed. Every function is looked up
// at run time, so that the program still loads where one is missing.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "../base/handles.h"
#include "keep_off.h"

typedef HANDLE(WINAPI* SnapshotFunction)(DWORD flags, DWORD processId);
typedef BOOL(WINAPI* ProcessWalkFunction)(HANDLE snapshot, void* entry);
typedef BOOL(WINAPI* EnumProcessesFunction)(DWORD* ids, DWORD bytes, DWORD* needed);
typedef DWORD(WINAPI* ModuleFileNameFunction)(HANDLE process, HMODULE module, LPSTR name,
                                               DWORD size);
typedef BOOL(WINAPI* FullImageNameFunction)(HANDLE process, DWORD flags, LPSTR name, PDWORD size);
typedef BOOL(WINAPI* SessionOfFunction)(DWORD processId, DWORD* session);
typedef LONG(WINAPI* SystemInformationFunction)(int kind, void* data, ULONG size, ULONG* needed);

struct ProcessLister {
    // ntdll's list and the block it is read into, kept between looks.
    SystemInformationFunction systemInformation = nullptr;
    UniqueBlock listBlock;
    ULONG listSize = 0;
    SnapshotFunction snapshot = nullptr;
    ProcessWalkFunction first = nullptr;
    ProcessWalkFunction next = nullptr;
    // psapi.dll, loaded where Toolhelp is missing (NT 4.0) or for full paths
    // where kernel32 cannot give them (Windows 2000 and XP); kept once loaded.
    UniqueModule psapi;
    bool psapiTried = false;
    EnumProcessesFunction enumerate = nullptr;
    ModuleFileNameFunction moduleFileName = nullptr;
    FullImageNameFunction fullImageName = nullptr;  // Windows Vista on
    SessionOfFunction sessionOf = nullptr;
    DWORD ownSession = 0;
};

// Looks the functions up; psapi.dll is loaded only where Toolhelp is missing.
void prepareProcessLister(ProcessLister& lister);
// Whether this system has a way to list its processes at all.
bool canListProcesses(const ProcessLister& lister);

typedef bool (*ProcessVisitor)(const SeenProcess& process, void* context);

// Calls visit for each process until it returns false; false when the
// processes could not be listed. By ntdll's list where there is one, else
// by Toolhelp, else by psapi.
bool listProcesses(ProcessLister& lister, ProcessVisitor visit, void* context);
// Each way on its own. ntdll names every process with its session;
// Toolhelp names every process, the full path only on the 95 family; psapi
// names only the processes it may open, with their full paths.
bool listProcessesByNtdll(ProcessLister& lister, ProcessVisitor visit, void* context);
bool listProcessesByToolhelp(const ProcessLister& lister, ProcessVisitor visit, void* context);
bool listProcessesByPsapi(ProcessLister& lister, ProcessVisitor visit, void* context);

// The full path of a process's program; false where it may not be opened.
bool processFullPath(ProcessLister& lister, DWORD processId, char* out, DWORD size);
// Whether the process runs in the session Dormity runs in: always where the
// system has no sessions; never where it will not tell.
bool inOwnSession(const ProcessLister& lister, const SeenProcess& process);

// The file name of a path: what follows its last backslash.
const char* fileNameOfPath(const char* path);
