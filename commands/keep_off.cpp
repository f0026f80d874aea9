#include "keep_off.h"

#include <string.h>

#include "../base/hash.h"
#include "../base/text.h"
#include "../saverconfig/preference_policy.h"
#include "blink_preference.h"

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

DWORD programNameKey(const char* text)
{
    WCHAR folded[MAX_PATH];
    int length = fileNameKey(text, folded);
    if (length == 0)
        return hashBytes(HASH_START, text, textLength(text));
    return hashBytes(HASH_START, folded, static_cast<size_t>(length) * sizeof(WCHAR));
}

bool readProgramText(const char* text, size_t length, KeepOffRule* rule)
{
    // Blanks around it, then one pair of quotes.
    const char* first = text;
    size_t size = length;
    for (int pass = 0; pass < 2; ++pass) {
        while (size > 0 && isBlank(first[0])) {
            ++first;
            --size;
        }
        while (size > 0 && isBlank(first[size - 1]))
            --size;
        if (pass == 0 && size >= 2 && first[0] == '"' && first[size - 1] == '"') {
            ++first;
            size -= 2;
        } else {
            break;
        }
    }
    if (size == 0 || size >= sizeof rule->text)
        return false;
    char* out = rule->text;
    size_t nameAt = 0;
    for (size_t i = 0; i < size; ++i) {
        char c = first[i];
        // A double-byte character's second byte may look like a separator
        // or a forbidden character: the pair is taken as it is.
        if (IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < size) {
            out[i] = c;
            ++i;
            out[i] = first[i];
            continue;
        }
        if (c == '/')
            c = '\\';
        if (static_cast<unsigned char>(c) < 32 || textContains("\"*<>?|", c) || (c == ':' && i != 1))
            return false;
        if (c == '\\')
            nameAt = i + 1;
        out[i] = c;
    }
    out[size] = '\0';
    bool drive = size > 2 && isLetter(out[0]) && out[1] == ':' && out[2] == '\\';
    bool server = size > 2 && out[0] == '\\' && out[1] == '\\' && out[2] != '\\';
    // "C:vlc.exe" names a file relative to that drive's current directory.
    if (nameAt == 0 ? size > 1 && out[1] == ':' : !(drive || server))
        return false;
    if (nameAt >= size)
        return false;
    rule->nameAt = static_cast<WORD>(nameAt);
    rule->nameKey = programNameKey(out + nameAt);
    rule->textKey = nameAt == 0 ? rule->nameKey : programNameKey(out);
    return true;
}

SwitchProgram readSwitchProgram(const char* text, KeepOffRule* rule, DWORD* processId)
{
    size_t length = textLength(text);
    size_t digits = 0;
    while (digits < length && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    if (length == 0 || digits < length)
        return readProgramText(text, length, rule) ? SWITCH_PROGRAM_NAMED : SWITCH_PROGRAM_BAD;
    // Counted on no further than a DWORD can hold.
    ULONGLONG id = 0;
    for (size_t i = 0; i < length && id <= 0xFFFFFFFFULL; ++i)
        id = id * 10 + static_cast<ULONGLONG>(text[i] - '0');
    if (id == 0 || id > 0xFFFFFFFFULL)
        return SWITCH_PROGRAM_BAD;
    *processId = static_cast<DWORD>(id);
    return SWITCH_PROGRAM_ID;
}

UINT countStrings(const char* data, size_t size)
{
    UINT count = 0;
    for (size_t at = 0; at < size; ++at) {
        if (data[at] && (at + 1 == size || !data[at + 1]))
            ++count;
    }
    return count;
}

UINT parseKeepOffRules(const char* data, size_t size, KeepOffRule* out, UINT capacity)
{
    UINT count = 0;
    size_t at = 0;
    // An empty string does not end the list: what follows it is read too.
    while (at < size && count < capacity) {
        size_t end = at;
        while (end < size && data[end])
            ++end;
        KeepOffRule& rule = out[count];
        if (end > at && readProgramText(data + at, end - at, &rule)) {
            bool known = false;
            for (UINT i = 0; i < count && !known; ++i)
                known = out[i].textKey == rule.textKey && sameFileName(out[i].text, rule.text);
            if (!known)
                ++count;
        }
        at = end + 1;
    }
    return count;
}

RuleMatch matchRule(const KeepOffRule& rule, const SeenProcess& process)
{
    if (rule.nameKey != process.nameKey || !sameFileName(ruleFileName(rule), process.fileName))
        return RULE_OTHER;
    if (!ruleIsPath(rule))
        return RULE_MATCHES;
    if (!process.fullPath)
        return RULE_NEEDS_PATH;
    return sameFileName(rule.text, process.fullPath) ? RULE_MATCHES : RULE_OTHER;
}

namespace {

// Whether the string at data (length bytes) names the same program.
bool namesProgram(const char* data, size_t length, const char* program)
{
    KeepOffRule rule;
    return readProgramText(data, length, &rule) && sameFileName(rule.text, program);
}

// Copies the list's strings that pass keep, each with its terminator;
// false when out is too small for them and the list's final terminator.
bool copyStrings(const char* data, size_t size, const char* program, bool keepNaming, char* out,
                 size_t capacity, size_t* used, bool* named)
{
    *used = 0;
    *named = false;
    for (size_t at = 0; at < size;) {
        size_t end = at;
        while (end < size && data[end])
            ++end;
        bool naming = end > at && namesProgram(data + at, end - at, program);
        *named = *named || naming;
        if (end > at && (keepNaming || !naming)) {
            if (*used + (end - at) + 2 > capacity)
                return false;
            memcpy(out + *used, data + at, end - at);
            *used += end - at;
            out[(*used)++] = '\0';
        }
        at = end + 1;
    }
    return true;
}

// The list's final terminator; a list of no string is one more.
size_t endList(char* out, size_t used, size_t capacity)
{
    if (used + (used == 0 ? 2 : 1) > capacity)
        return 0;
    out[used++] = '\0';
    if (used == 1)
        out[used++] = '\0';
    return used;
}

} // namespace

size_t listWithProgram(const char* data, size_t size, const char* program, char* out,
                       size_t capacity)
{
    size_t used = 0;
    bool named = false;
    if (!copyStrings(data, size, program, true, out, capacity, &used, &named))
        return 0;
    if (!named) {
        size_t length = textLength(program);
        if (used + length + 2 > capacity)
            return 0;
        memcpy(out + used, program, length + 1);
        used += length + 1;
    }
    return endList(out, used, capacity);
}

size_t listWithoutProgram(const char* data, size_t size, const char* program, char* out,
                          size_t capacity)
{
    size_t used = 0;
    bool named = false;
    if (!copyStrings(data, size, program, false, out, capacity, &used, &named))
        return 0;
    return endList(out, used, capacity);
}

namespace {

// The user's list rewritten by change; false where it could not be.
bool changeKeepOffList(const char* program, bool add)
{
    UniqueRegKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key.put(), nullptr)
        != ERROR_SUCCESS)
        return false;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), KEEP_OFF_VALUE, nullptr, &type, nullptr, &size) != ERROR_SUCCESS
        || type != REG_MULTI_SZ)
        size = 0;
    if (size > KEEP_OFF_MAX_BYTES)
        return false;
    UniqueBlock data(allocateBlock(size + 1));
    size_t capacity = size + SAVER_PATH_SIZE + 2;
    UniqueBlock out(allocateBlock(capacity));
    if (!data || !out)
        return false;
    if (size > 0
        && (RegQueryValueExA(key.get(), KEEP_OFF_VALUE, nullptr, &type,
                             static_cast<BYTE*>(data.get()), &size) != ERROR_SUCCESS
            || type != REG_MULTI_SZ))
        return false;
    const char* text = static_cast<const char*>(data.get());
    char* list = static_cast<char*>(out.get());
    size_t length = add ? listWithProgram(text, size, program, list, capacity)
                        : listWithoutProgram(text, size, program, list, capacity);
    return length > 0 && length <= KEEP_OFF_MAX_BYTES
        && RegSetValueExA(key.get(), KEEP_OFF_VALUE, 0, REG_MULTI_SZ,
                          reinterpret_cast<const BYTE*>(list), static_cast<DWORD>(length))
            == ERROR_SUCCESS;
}

} // namespace

bool listHeldByPolicy()
{
    ListPolicy policy;
    readListPolicy(POLICY_KEEP_OFF_WHILE, &policy);
    return policy.state != LIST_NOT_SET;
}

bool addKeepOffProgram(const char* program)
{
    return changeKeepOffList(program, true);
}

bool removeKeepOffProgram(const char* program)
{
    return changeKeepOffList(program, false);
}

namespace {

// The sound programs of size bytes into rules.
void keepRules(const char* text, size_t size, KeepOffRules& rules)
{
    UINT capacity = countStrings(text, size);
    if (capacity > KEEP_OFF_MAX_RULES)
        capacity = KEEP_OFF_MAX_RULES;
    if (capacity == 0)
        return;
    rules.block.reset(allocateBlock(capacity * sizeof(KeepOffRule)));
    if (rules.block)
        rules.count = parseKeepOffRules(text, size, static_cast<KeepOffRule*>(rules.block.get()),
                                        capacity);
}

// The list of the policy in force, where one is set.
bool readPolicyRules(KeepOffRules& rules)
{
    ListPolicy policy;
    readListPolicy(POLICY_KEEP_OFF_WHILE, &policy);
    if (policy.state == LIST_NOT_SET)
        return false;
    rules.byPolicy = true;
    // Its strings lie one after the other, as in the value.
    const char* first = nextPolicyString(policy, nullptr);
    const char* last = first;
    for (const char* next = first; next; next = nextPolicyString(policy, next))
        last = next;
    if (first)
        keepRules(first, static_cast<size_t>(last + textLength(last) + 1 - first), rules);
    return true;
}

// The user's own list.
void readUserRules(KeepOffRules& rules)
{
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), KEEP_OFF_VALUE, nullptr, &type, nullptr, &size) != ERROR_SUCCESS
        || type != REG_MULTI_SZ || size == 0 || size > KEEP_OFF_MAX_BYTES)
        return;
    UniqueBlock data(allocateBlock(size));
    if (!data)
        return;
    // It may have grown since: then it is read at its next change.
    if (RegQueryValueExA(key.get(), KEEP_OFF_VALUE, nullptr, &type, static_cast<BYTE*>(data.get()),
                         &size) != ERROR_SUCCESS || type != REG_MULTI_SZ)
        return;
    keepRules(static_cast<const char*>(data.get()), size, rules);
}

} // namespace

void readKeepOffRules(KeepOffRules& rules)
{
    rules.block.reset();
    rules.count = 0;
    rules.byPolicy = false;
    if (!readPolicyRules(rules))
        readUserRules(rules);
    rules.key = hashBytes(HASH_START, &rules.byPolicy, sizeof rules.byPolicy);
    for (UINT i = 0; i < rules.count; ++i)
        rules.key = hashBytes(rules.key, rules.at(i)->text, textLength(rules.at(i)->text) + 1);
}

bool readKeptOffFor(char (&program)[SAVER_PATH_SIZE])
{
    memset(program, 0, sizeof program);
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD type = REG_NONE;
    DWORD size = sizeof program - 1;
    LONG result = RegQueryValueExA(key.get(), KEPT_OFF_FOR_VALUE, nullptr, &type,
                                   reinterpret_cast<BYTE*>(program), &size);
    if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA)
        return false;
    if (result != ERROR_SUCCESS || type != REG_SZ)
        memset(program, 0, sizeof program);
    return true;
}

void writeKeptOffFor(const char* program)
{
    UniqueRegKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key.get(), KEPT_OFF_FOR_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE*>(program),
                   static_cast<DWORD>(textLength(program) + 1));
}

void deleteKeptOffFor()
{
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
        RegDeleteValueA(key.get(), KEPT_OFF_FOR_VALUE);
}

KeepOffStep keepOffStep(const KeepOffInputs& in)
{
    const bool holding = in.state == KEEP_OFF_HOLDING;
    // Nothing here may change the flag: what Dormity held is the policy's now.
    if (in.policyHolds)
        return {holding ? KEEP_OFF_FORGET : KEEP_OFF_LEAVE, KEEP_OFF_IDLE};
    if (in.switchAsks && in.running)
        return {KEEP_OFF_HOLD, KEEP_OFF_HOLDING};
    const KeepOffState aside = in.running ? KEEP_OFF_ASIDE : KEEP_OFF_IDLE;
    if (in.userChose)
        return {holding ? KEEP_OFF_FORGET : KEEP_OFF_LEAVE, aside};
    if (!in.running) {
        // Enabled meanwhile by someone else: there is nothing to bring back.
        if (holding)
            return {in.saverActive ? KEEP_OFF_FORGET : KEEP_OFF_RELEASE, KEEP_OFF_IDLE};
        return {KEEP_OFF_LEAVE, KEEP_OFF_IDLE};
    }
    switch (in.state) {
    case KEEP_OFF_IDLE:
        if (in.saverActive)
            return {KEEP_OFF_HOLD, KEEP_OFF_HOLDING};
        return {KEEP_OFF_LEAVE, KEEP_OFF_ASIDE};
    case KEEP_OFF_HOLDING:
        if (in.saverActive)
            return {KEEP_OFF_FORGET, KEEP_OFF_ASIDE};
        return {KEEP_OFF_LEAVE, KEEP_OFF_HOLDING};
    default:
        return {KEEP_OFF_LEAVE, KEEP_OFF_ASIDE};
    }
}
