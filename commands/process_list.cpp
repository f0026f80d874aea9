#include "process_list.h"

#include <tlhelp32.h>
#include <string.h>

#include "../base/text.h"
#include "command_line.h"

namespace {

// Windows Vista on: enough to ask a process for its path and session, also
// a protected one.
const DWORD kQueryLimited = 0x1000;
// A bound on the ids psapi is asked for.
const DWORD kMostProcesses = 16384;

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
    return (lister.snapshot && lister.first && lister.next)
        || (lister.enumerate && lister.moduleFileName);
}

bool listProcesses(ProcessLister& lister, ProcessVisitor visit, void* context)
{
    if (lister.snapshot && lister.first && lister.next)
        return listProcessesByToolhelp(lister, visit, context);
    return listProcessesByPsapi(lister, visit, context);
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
                               name != entry.szExeFile ? entry.szExeFile : nullptr};
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
        SeenProcess seen = {ids[i], name, programNameKey(name), path};
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

bool inOwnSession(const ProcessLister& lister, DWORD processId)
{
    if (!lister.sessionOf)
        return true;
    DWORD session = 0;
    return lister.sessionOf(processId, &session) && session == lister.ownSession;
}
