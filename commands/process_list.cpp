#include "process_list.h"

#include <tlhelp32.h>
#include <winternl.h>
#include <string.h>

#include "../base/text.h"
#include "command_line.h"

namespace {

// Windows Vista on: enough to ask a process for its path and session, also
// a protected one.
const DWORD kQueryLimited = 0x1000;
// A bound on the ids psapi is asked for.
const DWORD kMostProcesses = 16384;
// ntdll's list: its class, the answer for a block too small, and bounds on the block.
const int kProcessList = 5;  // SystemProcessInformation
const LONG kTooSmall = static_cast<LONG>(0xC0000004);
const ULONG kFirstListSize = 64 * 1024;
const ULONG kMostListSize = 16 * 1024 * 1024;

void loadPsapi(ProcessLister& lister)
{
    if (lister.psapiTried)
        return;
    lister.psapiTried = true;
    lister.psapi.reset(loadSystemLibrary("psapi.dll"));
    if (!lister.psapi)
        return;
    lister.enumerate = findFunction<EnumProcessesFunction>(lister.psapi.get(), "EnumProcesses");
    lister.moduleFileName
        = findFunction<ModuleFileNameFunction>(lister.psapi.get(), "GetModuleFileNameExA");
}

} // namespace

const char* fileNameOfPath(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; p = CharNextA(p)) {
        if (*p == '\\')
            name = p + 1;
    }
    return name;
}

void prepareProcessLister(ProcessLister& lister)
{
    lister.systemInformation
        = findLoadedFunction<SystemInformationFunction>("ntdll.dll", "NtQuerySystemInformation");
    lister.snapshot = findLoadedFunction<SnapshotFunction>("kernel32.dll", "CreateToolhelp32Snapshot");
    lister.first = findLoadedFunction<ProcessWalkFunction>("kernel32.dll", "Process32First");
    lister.next = findLoadedFunction<ProcessWalkFunction>("kernel32.dll", "Process32Next");
    lister.fullImageName
        = findLoadedFunction<FullImageNameFunction>("kernel32.dll", "QueryFullProcessImageNameA");
    lister.sessionOf = findLoadedFunction<SessionOfFunction>("kernel32.dll", "ProcessIdToSessionId");
    if (!lister.sessionOf || !lister.sessionOf(GetCurrentProcessId(), &lister.ownSession))
        lister.sessionOf = nullptr;
    if (!lister.snapshot || !lister.first || !lister.next)
        loadPsapi(lister);
}

bool canListProcesses(const ProcessLister& lister)
{
    return lister.systemInformation || (lister.snapshot && lister.first && lister.next)
        || (lister.enumerate && lister.moduleFileName);
}

bool listProcesses(ProcessLister& lister, ProcessVisitor visit, void* context)
{
    if (lister.systemInformation && listProcessesByNtdll(lister, visit, context))
        return true;
    if (lister.snapshot && lister.first && lister.next)
        return listProcessesByToolhelp(lister, visit, context);
    return listProcessesByPsapi(lister, visit, context);
}

bool listProcessesByNtdll(ProcessLister& lister, ProcessVisitor visit, void* context)
{
    if (!lister.systemInformation)
        return false;
    // Read into the block of the last look, grown while the list does not fit.
    for (ULONG needed = 0;;) {
        if (!lister.listBlock) {
            lister.listSize = lister.listSize ? lister.listSize : kFirstListSize;
            lister.listBlock.reset(allocateBlock(lister.listSize));
            if (!lister.listBlock)
                return false;
        }
        LONG status = lister.systemInformation(kProcessList, lister.listBlock.get(),
                                               lister.listSize, &needed);
        if (status == 0)
            break;
        if (status != kTooSmall || lister.listSize >= kMostListSize)
            return false;
        lister.listBlock.reset();
        lister.listSize *= 2;
    }
    const BYTE* at = static_cast<const BYTE*>(lister.listBlock.get());
    const BYTE* end = at + lister.listSize;
    // The session is told from Windows 2000 on, where the system has sessions.
    bool sessions = lister.sessionOf != nullptr;
    for (;;) {
        if (end - at < static_cast<ptrdiff_t>(sizeof(SYSTEM_PROCESS_INFORMATION)))
            return true;
        const SYSTEM_PROCESS_INFORMATION& entry = *reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(at);
        char name[SAVER_PATH_SIZE];
        int length = entry.ImageName.Buffer
            ? WideCharToMultiByte(CP_ACP, 0, entry.ImageName.Buffer, entry.ImageName.Length / 2,
                                  name, sizeof name - 1, nullptr, nullptr)
            : 0;
        // The idle process has no name, and a name beyond 259 bytes no rule.
        if (length > 0) {
            name[length] = '\0';
            const char* fileName = fileNameOfPath(name);
            SeenProcess process = {static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(entry.UniqueProcessId)),
                                   fileName, programNameKey(fileName), nullptr, sessions,
                                   entry.SessionId};
            if (!visit(process, context))
                return true;
        }
        if (entry.NextEntryOffset == 0)
            return true;
        at += entry.NextEntryOffset;
    }
}

bool listProcessesByToolhelp(const ProcessLister& lister, ProcessVisitor visit, void* context)
{
    if (!lister.snapshot || !lister.first || !lister.next)
        return false;
    UniqueFile snapshot(lister.snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return false;
    PROCESSENTRY32 entry;
    memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    for (BOOL more = lister.first(snapshot.get(), &entry); more;
         more = lister.next(snapshot.get(), &entry)) {
        entry.szExeFile[sizeof entry.szExeFile - 1] = '\0';
        // The 95 family gives the full path; the NT family the file name.
        const char* name = fileNameOfPath(entry.szExeFile);
        SeenProcess process = {entry.th32ProcessID, name, programNameKey(name),
                               name != entry.szExeFile ? entry.szExeFile : nullptr, false, 0};
        if (!visit(process, context))
            break;
    }
    return true;
}

bool listProcessesByPsapi(ProcessLister& lister, ProcessVisitor visit, void* context)
{
    loadPsapi(lister);
    if (!lister.enumerate || !lister.moduleFileName)
        return false;
    // Grown until the list is whole (a full buffer may have been cut short).
    UniqueBlock block;
    DWORD capacity = 256;
    DWORD needed = 0;
    for (;;) {
        block.reset(allocateBlock(capacity * sizeof(DWORD)));
        if (!block || !lister.enumerate(static_cast<DWORD*>(block.get()), capacity * sizeof(DWORD),
                                        &needed))
            return false;
        if (needed < capacity * sizeof(DWORD) || capacity >= kMostProcesses)
            break;
        capacity *= 4;
    }
    const DWORD* ids = static_cast<const DWORD*>(block.get());
    for (DWORD i = 0; i < needed / sizeof(DWORD); ++i) {
        UniqueKernelObject process(
            OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]));
        char path[SAVER_PATH_SIZE];
        // Only what it may open has a name here.
        if (!process || !lister.moduleFileName(process.get(), nullptr, path, sizeof path))
            continue;
        path[sizeof path - 1] = '\0';
        const char* name = fileNameOfPath(path);
        SeenProcess seen = {ids[i], name, programNameKey(name), path, false, 0};
        if (!visit(seen, context))
            break;
    }
    return true;
}

bool processFullPath(ProcessLister& lister, DWORD processId, char* out, DWORD size)
{
    if (size == 0)
        return false;
    out[0] = '\0';
    if (lister.fullImageName) {
        UniqueKernelObject process(OpenProcess(kQueryLimited, FALSE, processId));
        DWORD length = size;
        if (process && lister.fullImageName(process.get(), 0, out, &length) && length < size)
            return true;
        out[0] = '\0';
        return false;
    }
    loadPsapi(lister);
    if (!lister.moduleFileName)
        return false;
    UniqueKernelObject process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                                           processId));
    DWORD length = process ? lister.moduleFileName(process.get(), nullptr, out, size) : 0;
    if (length == 0 || length >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool inOwnSession(const ProcessLister& lister, const SeenProcess& process)
{
    if (!lister.sessionOf)
        return true;
    if (process.sessionKnown)
        return process.session == lister.ownSession;
    DWORD session = 0;
    return lister.sessionOf(process.id, &session) && session == lister.ownSession;
}
