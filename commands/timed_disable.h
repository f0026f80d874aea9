// Disabling the screen saver for a while: the time it comes back is stored
// beside the blink preference, so that it survives a crash, a logoff or a
// restart, and every check compares that stored time with the clock. The
// running Dormity also keeps its own copy of the time it waits for.
#pragma once
#include <windows.h>
#include <stddef.h>

#define ENABLE_AT_VALUE "EnableAt"

// A time may lie at most a day and a minute ahead: the longest disable a
// command line can ask for, and a minute for the clock's slack.
const ULONGLONG ENABLE_AT_LIMIT_MS = (24 * 60 + 1) * 60 * 1000ULL;
// FILETIME ticks (100 ns) in a millisecond.
const ULONGLONG FILETIME_TICKS_PER_MS = 10000;
const ULONGLONG FILETIME_TICKS_PER_MINUTE = 60000 * FILETIME_TICKS_PER_MS;

// The value as read: its type, its size and, for 8 bytes, the time in it.
struct StoredEnableAt {
    bool present;
    DWORD type;
    DWORD size;
    ULONGLONG time;  // UTC FILETIME
};

enum TimedStep {
    TIMED_FORGET,  // nothing to wait for: no time at all, or the screen saver is on already
    TIMED_ENABLE,  // the time has passed, or the only time there is cannot be trusted
    TIMED_WAIT,    // ahead: a one-shot timer for what is left
};

// A check's outcome; for TIMED_WAIT, the time waited for and what is left of
// it (never more than the limit above, far below SetTimer's).
struct TimedCheck {
    TimedStep step;
    DWORD waitMs;
    ULONGLONG endsAt;
};

// Milliseconds from now until time, rounded up so that the timer never fires
// early; 0 once it has passed.
ULONGLONG timeLeftMs(ULONGLONG time, ULONGLONG now);

// What a check does with the stored value and the time this Dormity itself
// remembers (0: none). A sound stored value wins, as another Dormity of the
// same user may have moved it; without one the remembered time still ends
// the disable, so a failed write or a value deleted by someone else cannot
// leave the screen saver off for good. unreplaced is the value that was
// stored when the remembered time could not be written (present false: the
// write succeeded): while that older value is still the one stored, the
// remembered time wins over it.
TimedCheck timedDisableStep(const StoredEnableAt& stored, ULONGLONG remembered, bool saverActive,
                            ULONGLONG now, const StoredEnableAt& unreplaced);

// The minutes of a "Disable For" command; 0 for any other id.
DWORD disableMinutes(UINT commandId);
// The choice shown as running for a time not chosen from the menu (after a
// restart, or from the command line): the shortest one that still covers
// it; none (0) beyond the longest.
UINT choiceForTimeLeft(ULONGLONG msLeft);

// The clock and the stored value.
ULONGLONG currentFileTime();
StoredEnableAt readEnableAt();
// False when the time could not be stored.
bool writeEnableAt(ULONGLONG time);
void deleteEnableAt();

// The local time of a UTC time in zone (null: the computer's own), by the
// daylight saving rule in force at that time, not today's. The 95 family
// lacks that conversion: there it is the computer's zone by today's rule.
bool localTimeOf(ULONGLONG time, const TIME_ZONE_INFORMATION* zone, ULONGLONG* local);
// The local time of time in zone as text in format (a time picture); with no
// format, or one that does not fit, the user's time format without seconds.
void formatTimeInZone(ULONGLONG time, const TIME_ZONE_INFORMATION* zone, const char* format,
                      char* out, size_t size);
// The tooltip's time: the computer's zone, the user's short time format.
void formatLocalTime(ULONGLONG time, char* out, size_t size);
// The next time, within a day, that the local clock of zone (null: the
// computer's) shows clockMinutes after midnight, as a UTC time after now, in
// *at. False, and *at untouched, when the local time cannot be had: the time
// is not guessed.
bool nextClockTime(ULONGLONG now, const TIME_ZONE_INFORMATION* zone, DWORD clockMinutes,
                   ULONGLONG* at);
