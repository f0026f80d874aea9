#include "keep_off_watch.h"

#include <string.h>

#include "../base/text.h"

namespace {

struct ScanContext {
    ProcessLister* lister;
    const KeepOffRules* rules;
    const KeepOffTarget* targets;
    RunningScan* scan;
    bool targetNamed;  // the name found is a switch's program's
    bool* ruleRunning;
};

// Whether a rule names the process, its full path asked for (once) only
// where a path rule needs it.
bool ruleNames(ScanContext& c, const KeepOffRule& rule, SeenProcess& process,
               char (&path)[SAVER_PATH_SIZE])
{
    RuleMatch match = matchRule(rule, process);
    if (match == RULE_NEEDS_PATH && processFullPath(*c.lister, process.id, path, sizeof path)) {
        process.fullPath = path;
        match = matchRule(rule, process);
    }
    return match == RULE_MATCHES;
}

void noteRunning(ScanContext& c, const char* fileName, bool forTarget)
{
    RunningScan& scan = *c.scan;
    if (!scan.running || (forTarget && !c.targetNamed)) {
        copyText(scan.name, sizeof scan.name, fileName);
        c.targetNamed = forTarget;
    }
    scan.running = true;
}

bool visitProcess(const SeenProcess& seen, void* context)
{
    ScanContext& c = *static_cast<ScanContext*>(context);
    RunningScan& scan = *c.scan;
    SeenProcess process = seen;
    char path[SAVER_PATH_SIZE];
    int target = -1;
    for (int i = 0; i < KEEP_OFF_MAX_TARGETS; ++i) {
        const KeepOffTarget& t = c.targets[i];
        if (t.set && !t.byId && ruleNames(c, t.rule, process, path)) {
            target = i;
            break;
        }
    }
    bool listed = false;
    for (UINT i = 0; i < c.rules->count && target < 0 && !listed; ++i)
        listed = ruleNames(c, *c.rules->at(i), process, path);
    if ((target < 0 && !listed) || !inOwnSession(*c.lister, process))
        return true;
    for (UINT i = 0; c.ruleRunning && i < c.rules->count; ++i)
        c.ruleRunning[i] = c.ruleRunning[i] || ruleNames(c, *c.rules->at(i), process, path);
    if (target >= 0)
        scan.targetRunning[target] = true;
    noteRunning(c, process.fileName, target >= 0);
    if (!scan.wait || (target >= 0 && !scan.waitIsTarget)) {
        HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, process.id);
        if (handle) {
            scan.wait.reset(handle);
            scan.waitIsTarget = target >= 0;
        }
    }
    return true;
}

} // namespace

void scanRunningPrograms(ProcessLister& lister, const KeepOffRules& rules,
                         const KeepOffTarget (&targets)[KEEP_OFF_MAX_TARGETS], RunningScan& scan,
                         bool* ruleRunning)
{
    scan.wait.reset();
    scan.waitIsTarget = false;
    scan.running = false;
    scan.name[0] = '\0';
    bool byName = rules.count > 0;
    for (int i = 0; i < KEEP_OFF_MAX_TARGETS; ++i) {
        scan.targetRunning[i] = false;
        byName = byName || (targets[i].set && !targets[i].byId);
    }
    ScanContext context = {&lister, &rules, targets, &scan, false, ruleRunning};
    // Nothing to look for by name: no process is listed for it.
    scan.listed = !byName || listProcesses(lister, visitProcess, &context);
    // A process known by its handle runs until the handle says it ended.
    for (int i = 0; i < KEEP_OFF_MAX_TARGETS; ++i) {
        const KeepOffTarget& t = targets[i];
        if (t.set && t.byId && WaitForSingleObject(t.process.get(), 0) == WAIT_TIMEOUT) {
            scan.targetRunning[i] = true;
            noteRunning(context, t.rule.text, true);
        }
    }
    // A switch's process is waited on by its own handle.
    bool waitedById = false;
    for (int i = 0; i < KEEP_OFF_MAX_TARGETS; ++i)
        waitedById = waitedById || (scan.targetRunning[i] && targets[i].byId);
    scan.unwaited = scan.running && !scan.wait && !waitedById;
}
