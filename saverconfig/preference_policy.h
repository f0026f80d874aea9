// Dormity's own preferences as an organisation sets them. The administrative
// templates (installer/policy/Dormity.admx) leave them under
// Software\Policies\Dormity, in HKEY_LOCAL_MACHINE for the computer and in
// HKEY_CURRENT_USER for the user: the computer's value wins, and either wins
// over the user's own choice. Read afresh at every use, for reading only
// (users may not write their policy keys).
#pragma once
#include <windows.h>
#include <stddef.h>

#include "../base/handles.h"

#define PREFERENCE_POLICY_KEY "Software\\Policies\\Dormity"
// The value names, as the templates write them.
#define POLICY_BLINK "Blink"                    // REG_DWORD: 0 or 1
#define POLICY_KEEP_DISPLAY_ON "KeepDisplayOn"  // REG_DWORD: 0 or 1
#define POLICY_KEEP_OFF_WHILE "KeepOffWhile"    // REG_MULTI_SZ: one program per string
#define POLICY_LANGUAGE "Language"              // REG_SZ: a language name such as "de-DE"

// A number a policy sets: only a REG_DWORD of four bytes sets it; anything
// else counts as not set, so the user's own choice applies.
struct DwordPolicy {
    bool set;
    DWORD value;
};
DwordPolicy dwordPolicyFrom(bool present, DWORD type, DWORD size, DWORD value);
DwordPolicy readDwordPolicy(const char* name);

// A list a policy sets. A value of another type, or larger than
// POLICY_LIST_LIMIT bytes, is set but unreadable: the organisation meant to
// hold the list, so nothing from the user's own list applies then either.
enum ListPolicyState { LIST_NOT_SET, LIST_SET, LIST_UNREADABLE };
#define POLICY_LIST_LIMIT 32768
ListPolicyState listPolicyState(bool present, DWORD type, DWORD size);

struct ListPolicy {
    ListPolicyState state;
    // While LIST_SET: the strings, each ended by a zero byte, the list by an
    // empty one (also when the value was stored without its terminators).
    UniqueBlock strings;
};
void readListPolicy(const char* name, ListPolicy* out);
// The list's first string (after null) or the one after previous; null
// after the last one, and for a list that is not LIST_SET.
const char* nextPolicyString(const ListPolicy& list, const char* previous);

// A text a policy sets: only a REG_SZ that is not empty and fits
// POLICY_TEXT_SIZE bytes with its terminator sets it.
#define POLICY_TEXT_SIZE 260
struct TextPolicy {
    bool set;
    char text[POLICY_TEXT_SIZE];
};
// data holds size bytes of the value as read (any number when absent).
void textPolicyFrom(bool present, DWORD type, const BYTE* data, DWORD size, TextPolicy* out);
void readTextPolicy(const char* name, TextPolicy* out);

// Whether a policy holds any of Dormity's own preferences now (the menu's
// managed line says so).
bool preferencePolicyHolds();
