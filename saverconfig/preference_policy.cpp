#include "preference_policy.h"

#include <string.h>

#include "../base/text.h"

namespace {

// The computer's policies first: they win over the user's.
const HKEY kPolicyRoots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
const int kRootCount = 2;

// Users may only read their policy keys: asking for more would fail.
HKEY openPolicyKey(HKEY root)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, PREFERENCE_POLICY_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// The value's type and size without its data: ERROR_SUCCESS when it is there.
LONG queryValueShape(HKEY key, const char* name, DWORD* type, DWORD* size)
{
    *type = REG_NONE;
    *size = 0;
    return RegQueryValueExA(key, name, nullptr, type, nullptr, size);
}

// One root's list: its state, and its strings while it is set.
void readListFrom(HKEY root, const char* name, ListPolicy* out)
{
    out->state = LIST_NOT_SET;
    out->strings.reset();
    UniqueRegKey key(openPolicyKey(root));
    if (!key)
        return;
    DWORD type, size;
    LONG result = queryValueShape(key.get(), name, &type, &size);
    out->state = listPolicyState(result == ERROR_SUCCESS, type, size);
    if (out->state != LIST_SET)
        return;
    // Two zero bytes beyond the data end the list however it was stored.
    out->strings.reset(allocateZeroedBlock(static_cast<size_t>(size) + 2));
    DWORD read = size;
    DWORD readType = REG_NONE;
    if (!out->strings
        || RegQueryValueExA(key.get(), name, nullptr, &readType,
                            static_cast<BYTE*>(out->strings.get()), &read) != ERROR_SUCCESS
        || listPolicyState(true, readType, read) != LIST_SET) {
        // Changed while read, or no memory: held all the same, so held empty.
        out->strings.reset();
        out->state = LIST_UNREADABLE;
    }
}

} // namespace

DwordPolicy dwordPolicyFrom(bool present, DWORD type, DWORD size, DWORD value)
{
    DwordPolicy policy = {false, 0};
    if (present && type == REG_DWORD && size == sizeof(DWORD))
        policy = {true, value};
    return policy;
}

DwordPolicy readDwordPolicy(const char* name)
{
    DwordPolicy policy = {false, 0};
    for (int i = 0; i < kRootCount && !policy.set; ++i) {
        UniqueRegKey key(openPolicyKey(kPolicyRoots[i]));
        if (!key)
            continue;
        DWORD value = 0;
        DWORD type = REG_NONE;
        DWORD size = sizeof value;
        LONG result = RegQueryValueExA(key.get(), name, nullptr, &type,
                                       reinterpret_cast<BYTE*>(&value), &size);
        policy = dwordPolicyFrom(result == ERROR_SUCCESS, type, size, value);
    }
    return policy;
}

ListPolicyState listPolicyState(bool present, DWORD type, DWORD size)
{
    if (!present)
        return LIST_NOT_SET;
    return type == REG_MULTI_SZ && size <= POLICY_LIST_LIMIT ? LIST_SET : LIST_UNREADABLE;
}

void readListPolicy(const char* name, ListPolicy* out)
{
    for (int i = 0; i < kRootCount; ++i) {
        readListFrom(kPolicyRoots[i], name, out);
        if (out->state != LIST_NOT_SET)
            return;
    }
}

const char* nextPolicyString(const ListPolicy& list, const char* previous)
{
    if (list.state != LIST_SET || !list.strings)
        return nullptr;
    const char* next = static_cast<const char*>(list.strings.get());
    if (previous)
        next = previous + textLength(previous) + 1;
    return *next ? next : nullptr;
}

void textPolicyFrom(bool present, DWORD type, const BYTE* data, DWORD size, TextPolicy* out)
{
    out->set = false;
    out->text[0] = '\0';
    if (!present || type != REG_SZ || size > POLICY_TEXT_SIZE)
        return;
    // Stored with or without its terminator; a full buffer must end in one.
    DWORD length = 0;
    while (length < size && data[length] != 0)
        ++length;
    if (length == 0 || length >= POLICY_TEXT_SIZE)
        return;
    memcpy(out->text, data, length);
    out->text[length] = '\0';
    out->set = true;
}

void readTextPolicy(const char* name, TextPolicy* out)
{
    textPolicyFrom(false, REG_NONE, nullptr, 0, out);
    for (int i = 0; i < kRootCount && !out->set; ++i) {
        UniqueRegKey key(openPolicyKey(kPolicyRoots[i]));
        if (!key)
            continue;
        BYTE data[POLICY_TEXT_SIZE];
        DWORD type = REG_NONE;
        DWORD size = sizeof data;
        // Too long for the buffer (ERROR_MORE_DATA): no language name is.
        LONG result = RegQueryValueExA(key.get(), name, nullptr, &type, data, &size);
        textPolicyFrom(result == ERROR_SUCCESS, type, data, size, out);
    }
}

bool preferencePolicyHolds()
{
    if (readDwordPolicy(POLICY_BLINK).set || readDwordPolicy(POLICY_KEEP_DISPLAY_ON).set)
        return true;
    TextPolicy language;
    readTextPolicy(POLICY_LANGUAGE, &language);
    ListPolicy programs;
    readListPolicy(POLICY_KEEP_OFF_WHILE, &programs);
    return language.set || programs.state != LIST_NOT_SET;
}
