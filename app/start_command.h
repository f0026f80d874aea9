// Dormity's own command line: one switch, for scripts, shortcuts and the
// Task Scheduler. The first instance runs it; a later one hands it over.
#pragma once
#include <windows.h>

// The values travel in WM_STARTCOMMAND's wParam: they stay as they are.
enum StartCommandKind {
    START_NONE = 0,           // no switch: start, or put back the running one's icon
    START_ENABLE = 1,
    START_DISABLE = 2,
    START_DISABLE_FOR = 3,    // value: minutes
    START_DISABLE_UNTIL = 4,  // value: the clock time in minutes after midnight
    START_LAUNCH = 5,
    START_EXIT = 6,
    START_INVALID = 7,        // an unknown switch or a bad value: nothing is done
};

#define DISABLE_FOR_MAX_MINUTES 1440
// The exit code when the command line is not understood.
#define USAGE_EXIT_CODE 2

struct StartCommand {
    StartCommandKind kind;
    DWORD value;
};

// What follows the program's name (quoted or not) in a process's command line.
const char* commandLineArguments(const char* commandLine);

// The switch in the arguments: "/name" or "-name" in any letter case, with
// its one value where it takes one; anything else, or anything more, is
// START_INVALID. Blank arguments are START_NONE.
StartCommand parseStartCommand(const char* arguments);

// Whether a command (also one posted by another program) may run: a known
// switch with a value in its range.
bool startCommandValid(StartCommandKind kind, DWORD value);
