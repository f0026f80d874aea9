// Disabling the screen saver for a while: the time it comes back is stored
// beside the blink preference, so that it survives a crash, a logoff or a
// restart, and every check compares that stored time with the clock.
#pragma once
#include <windows.h>
#include <stddef.h>

#define ENABLE_AT_VALUE "EnableAt"

// A stored time may lie at most the longest choice and a minute ahead.
const ULONGLONG ENABLE_AT_LIMIT_MS = (4 * 60 + 1) * 60 * 1000ULL;
// FILETIME ticks (100 ns) in a millisecond.
const ULONGLONG FILETIME_TICKS_PER_MS = 10000;

// The value as read: its type, its size and, for 8 bytes, the time in it.
struct StoredEnableAt {
    bool present;
    DWORD type;
    DWORD size;
    ULONGLONG time;  // UTC FILETIME
};

enum TimedStep {
    TIMED_FORGET,  // nothing to wait for: no value, or the screen saver is on already
    TIMED_ENABLE,  // the time has passed, or the value cannot be trusted
    TIMED_WAIT,    // ahead: a one-shot timer for what is left
};

// Milliseconds from now until time, rounded up so that the timer never fires
// early; 0 once it has passed.
ULONGLONG timeLeftMs(ULONGLONG time, ULONGLONG now);

// What a check of the stored value does; for TIMED_WAIT, *waitMs is the
// time left (never more than the limit above, far below SetTimer's).
TimedStep timedDisableStep(const StoredEnableAt& stored, bool saverActive, ULONGLONG now,
                           DWORD* waitMs);

// The minutes of a "Disable For" command; 0 for any other id.
DWORD disableMinutes(UINT commandId);
// The choice shown as running for a pending time (after a restart the
// choice itself is not known): the shortest one that still covers it.
UINT choiceForTimeLeft(ULONGLONG msLeft);

// The clock and the stored value.
ULONGLONG currentFileTime();
StoredEnableAt readEnableAt();
void writeEnableAt(ULONGLONG time);
void deleteEnableAt();

// The time in the user's short format without seconds, local time.
void formatLocalTime(ULONGLONG time, char* out, size_t size);
