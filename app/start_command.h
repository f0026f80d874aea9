// Dormity's own command line: one switch, for scripts, shortcuts and the
// Task Scheduler. The first instance runs it; a later one hands it over and
// ends with an exit code that says how it went.
#pragma once
#include <windows.h>
#include <stddef.h>

// The values travel in WM_STARTCOMMAND's wParam and in a StartCommand
// handed over: they stay as they are. Any DWORD may arrive, so every one is a
// value of the type.
enum StartCommandKind : DWORD {
    START_NONE = 0,           // no switch: start, or put back the running one's icon
    START_ENABLE = 1,
    START_DISABLE = 2,
    START_DISABLE_FOR = 3,    // value: minutes
    START_DISABLE_UNTIL = 4,  // value: the clock time in minutes after midnight
    START_LAUNCH = 5,
    START_EXIT = 6,
    START_INVALID = 7,        // an unknown switch or a bad value: nothing is done
    START_DISABLE_WHILE = 8,  // text: a program's file name, full path or process id
};

#define DISABLE_FOR_MAX_MINUTES 1440
// A switch's text value (a file name, a full path) with its terminator.
#define START_TEXT_SIZE 260

// What Dormity.exe's exit code says. Scripts test them: the values stay.
enum ExitCode {
    EXIT_DONE = 0,             // ran, or the switch was handed over and done
    EXIT_USAGE = 2,            // the command line was not understood: nothing was done
    EXIT_NOT_HANDED_OVER = 3,  // a Dormity runs, but the switch did not reach it: not
                               // published in time, dropped (one with higher rights), hung
    EXIT_REFUSED = 4,          // Dormity could not do it and changed nothing (the local
                               // time cannot be had)
    EXIT_NOT_INTERACTIVE = 5,  // no Dormity runs, and one started here could not be seen
                               // (a scheduled task run without the user, a service): none was
};

// A switch and its value. A later start hands it over as it is (WM_COPYDATA):
// no pointers, the same layout in 32-bit and 64-bit programs.
struct StartCommand {
    StartCommandKind kind;
    DWORD value;
    char text[START_TEXT_SIZE];  // a text value, else ""
};
static_assert(sizeof(StartCommand) == 8 + START_TEXT_SIZE, "the record travels between programs");

// What the running Dormity answers to a switch handed over (WM_COPYDATA's
// result). A window that does not know the request answers 0.
enum StartAnswer {
    START_UNANSWERED = 0,
    START_DONE = 1,
    START_REFUSED = 2,  // understood, but nothing was changed
};
// COPYDATASTRUCT's dwData for a StartCommand ("DRMS").
#define START_REQUEST_TAG 0x44524D53

// What follows the program's name in a process's command line. A quoted name
// ends at its closing quote. Unquoted, Windows finds a name with blanks
// ("C:\Program Files\Dormity\Dormity.exe") by trying each blank in turn: the
// line may begin with programPath, this program's own full path (with or
// without ".exe"), which is then skipped whole; any other name ends at the
// first blank.
const char* commandLineArguments(const char* commandLine, const char* programPath);

// The next argument of text, split as Windows programs split theirs: blanks
// (spaces, tabs) between arguments; a quoted part keeps its blanks, and "" in
// it is one quote; 2n backslashes before a quote are n backslashes, and 2n+1
// are n and a literal quote; other backslashes are as they are. The second
// byte of a double-byte character (leadBytes: CPINFO's lead-byte ranges, null
// for a single-byte code page) is never read as a backslash. Writes the
// argument into out (size bytes, always terminated; *whole false when it was
// cut) and returns where the rest begins; null when only blanks are left.
const char* nextArgument(const char* text, const BYTE* leadBytes, char* out, size_t size,
                         bool* whole);

// The switch in the arguments: "/name" or "-name" in any letter case, with
// its one value where it takes one; anything else, or anything more, is
// START_INVALID. Arguments none of which begins with "/" or "-" (none at all,
// or words such as the rest of an unquoted path) are START_NONE, as any
// command line was before there were switches.
StartCommand parseStartCommand(const char* arguments, const BYTE* leadBytes);

// Whether a command (also one posted by another program) may run: a known
// switch with a value in its range.
bool startCommandValid(StartCommandKind kind, DWORD value);

// The command a WM_COPYDATA carries: START_INVALID unless it is a
// StartCommand, whole, with a terminated text and a valid switch. It may come
// from any program.
StartCommand readStartRequest(ULONG_PTR tag, DWORD size, const void* data);

// The exit code of a start whose switch got this answer.
ExitCode exitCodeOfAnswer(LRESULT answer);

// Whether a box or an icon of this process can be seen: its window station's
// flags as read (flagsRead false where they cannot be read: the 95 family).
bool stationIsInteractive(bool flagsRead, DWORD flags);
