// Keeping the screen saver off while chosen programs run: the list of
// programs (one per string of the value "KeepOffWhile" in Dormity's key),
// how a running process is matched against it, and what a check does with
// the screen saver, each decided apart from the calls.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "../base/handles.h"
#include "../saverconfig/saver_settings.h"

#define KEEP_OFF_VALUE "KeepOffWhile"
// Present while Dormity holds the screen saver off for a program: the
// program's name, so that a Dormity ended meanwhile brings it back.
#define KEPT_OFF_FOR_VALUE "KeptOffFor"

// At most this many programs are kept; a longer list is cut there, and a
// value of more bytes than they could take is not read at all.
const UINT KEEP_OFF_MAX_RULES = 1000;
const DWORD KEEP_OFF_MAX_BYTES = KEEP_OFF_MAX_RULES * SAVER_PATH_SIZE;

// One program: a file name ("vlc.exe") or a full path, as listed.
struct KeepOffRule {
    char text[SAVER_PATH_SIZE];
    WORD nameAt;    // where the file name starts in text: 0 for a bare file name
    DWORD nameKey;  // programNameKey of the file name
    DWORD textKey;  // and of the whole text
};

inline bool ruleIsPath(const KeepOffRule& rule)
{
    return rule.nameAt != 0;
}
inline const char* ruleFileName(const KeepOffRule& rule)
{
    return rule.text + rule.nameAt;
}

// length bytes of text (no terminator needed) as a rule: blanks and one
// pair of quotes around it dropped, forward slashes made backslashes. False
// for what can name no program: nothing left, 260 bytes or more, a control
// character or one of " * < > ? |, a path that is not full (it starts with
// neither a drive's "X:\" nor "\\server\"), a colon elsewhere, a path that
// ends in a separator.
bool readProgramText(const char* text, size_t length, KeepOffRule* rule);

// The switch's program: digits alone are a process id (1 to 4294967295),
// anything else a file name or full path as readProgramText reads it.
enum SwitchProgram {
    SWITCH_PROGRAM_BAD,
    SWITCH_PROGRAM_NAMED,
    SWITCH_PROGRAM_ID,
};
SwitchProgram readSwitchProgram(const char* text, KeepOffRule* rule, DWORD* processId);

// A number that is the same for any two texts sameFileName (base/text.h)
// finds equal: most names are told apart by it alone.
DWORD programNameKey(const char* text);

// The strings of a REG_MULTI_SZ's size bytes (terminators may be missing at
// the end); the work is bounded by size.
UINT countStrings(const char* data, size_t size);
// The sound programs among them, in order and each once, at most capacity.
UINT parseKeepOffRules(const char* data, size_t size, KeepOffRule* out, UINT capacity);

// A running process as the system lists it.
struct SeenProcess {
    DWORD id;
    const char* fileName;
    DWORD nameKey;         // programNameKey(fileName)
    const char* fullPath;  // null where the system gives it only to whoever may open the process
    bool sessionKnown;     // the list told its session
    DWORD session;
};

enum RuleMatch {
    RULE_OTHER,       // another program
    RULE_MATCHES,
    RULE_NEEDS_PATH,  // the same file name: the full path, once known, decides
};
// A file name rule matches the process's file name; a path rule the full
// path, asked for only where the file name already agrees; both compared as
// the file system compares names (sameFileName).
RuleMatch matchRule(const KeepOffRule& rule, const SeenProcess& process);

// A list's size bytes with program added at its end (unless a string there
// already names it) or with every string that names it left out; the
// other strings stay as they are, sound or not. The result, ending in its
// two terminators, goes to out (capacity bytes); its size, 0 when it does
// not fit.
size_t listWithProgram(const char* data, size_t size, const char* program, char* out,
                       size_t capacity);
size_t listWithoutProgram(const char* data, size_t size, const char* program, char* out,
                          size_t capacity);

// The list as read, in a block of the program's heap.
struct KeepOffRules {
    UniqueBlock block;  // KeepOffRule[count]
    UINT count = 0;
    bool byPolicy = false;  // the organisation's list: the user may not change it
    DWORD key = 0;          // changes when the programs do
    const KeepOffRule* at(UINT index) const
    {
        return static_cast<const KeepOffRule*>(block.get()) + index;
    }
};

// Reads the list in force: a policy's (Software\Policies\Dormity,
// KeepOffWhile) where one is set, which replaces the user's, and none at all
// where it is set but cannot be read; else the user's value in Dormity's
// key, a REG_MULTI_SZ of at most KEEP_OFF_MAX_BYTES (any other type, a
// longer value or no value is no rule at all).
void readKeepOffRules(KeepOffRules& rules);

// Whether a policy sets the list (readable or not): the user's own is then
// not to be changed.
bool listHeldByPolicy();

// The user's list in Dormity's key with a program added or removed (a
// value of another type counts as an empty list). False when it could not
// be stored, or would grow beyond KEEP_OFF_MAX_BYTES.
bool addKeepOffProgram(const char* program);
bool removeKeepOffProgram(const char* program);

// The marker: read (false when absent; a value of another type or length is
// present, with an empty name), written, deleted.
bool readKeptOffFor(char (&program)[SAVER_PATH_SIZE]);
void writeKeptOffFor(const char* program);
void deleteKeptOffFor();

// Who has the screen saver off while listed programs run.
enum KeepOffState {
    KEEP_OFF_IDLE,     // no listed program runs (as last seen)
    KEEP_OFF_HOLDING,  // Dormity turned it off for one: it brings it back
    KEEP_OFF_ASIDE,    // one runs, but the screen saver is the user's: it was off already, or
                       // the user chose since
};

enum KeepOffAction {
    KEEP_OFF_LEAVE,    // nothing to change
    KEEP_OFF_HOLD,     // off (if on), the marker stored
    KEEP_OFF_RELEASE,  // on again, the marker deleted
    KEEP_OFF_FORGET,   // the marker deleted, the screen saver as it is
};

struct KeepOffInputs {
    KeepOffState state;
    bool running;      // a process of a listed program, or of the switch's program, runs
    bool saverActive;  // the system's flag now
    bool userChose;    // the user enabled or disabled it by a command just now
    bool switchAsks;   // the switch asks for it off while its program runs
    bool policyHolds;  // a policy holds the active flag
};

struct KeepOffStep {
    KeepOffAction action;
    KeepOffState next;
};

// The one decision: the user's latest choice stands, and only what Dormity
// turned off itself does it turn on again.
KeepOffStep keepOffStep(const KeepOffInputs& inputs);
