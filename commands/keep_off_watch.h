// What the running Dormity keeps to keep the screen saver off while listed
// programs run: the list, the switch's program, the processes last found
// and the handles it waits on for their end and for the list's next change.
#pragma once
#include <windows.h>

#include "../base/handles.h"
#include "keep_off.h"
#include "process_list.h"

// Looked for again this often while no listed program runs (a start is
// seen within this and a look's own time).
#define KEEP_OFF_POLL_MS 1500
// The switch's programs held for at once; a switch beyond is refused.
#define KEEP_OFF_MAX_TARGETS 8

// A switch's program: a file name or path as a rule, or one process, by the
// handle opened as the switch came (so that a reused id cannot stand in for
// it; its rule's text is then the name to show).
struct KeepOffTarget {
    bool set = false;
    bool byId = false;
    KeepOffRule rule;
    UniqueKernelObject process;
};

// What one look at the running processes found.
struct RunningScan {
    bool listed = false;  // false: they could not be listed, nothing is known
    bool running = false;
    bool targetRunning[KEEP_OFF_MAX_TARGETS] = {};
    // The file name of the first one found, the switch's program first.
    char name[SAVER_PATH_SIZE];
    // One of them to wait on, a switch's program's first. Waiting on one is
    // enough: when it ends, a look finds the others, and when the last one
    // ends, it is the one waited on (each earlier end of the one waited on
    // brought a look that chose another that still ran).
    UniqueKernelObject wait;
    bool waitIsTarget = false;
    // None of them may be waited on (not opened): the clock looks again.
    bool unwaited = false;
};

// Looks at every process of the system once: the listed ones and the
// switches' that run in this session, and one of them to wait on; where
// ruleRunning is given (one for each rule), which rules name one of them.
void scanRunningPrograms(ProcessLister& lister, const KeepOffRules& rules,
                         const KeepOffTarget (&targets)[KEEP_OFF_MAX_TARGETS], RunningScan& scan,
                         bool* ruleRunning = nullptr);

struct KeepOffWatch {
    ProcessLister lister;
    bool canList = false;
    KeepOffRules rules;
    KeepOffTarget targets[KEEP_OFF_MAX_TARGETS];
    KeepOffState state = KEEP_OFF_IDLE;
    RunningScan scan;
    // Dormity's key and the event its next change sets; both null where
    // the system cannot tell (the 95 family).
    UniqueRegKey watchedKey;
    UniqueKernelObject keyChanged;
    bool timerArmed = false;
};
