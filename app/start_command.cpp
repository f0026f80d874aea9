#include "start_command.h"

namespace {

const struct {
    const char* name;
    StartCommandKind kind;
} kSwitches[] = {
    {"enable", START_ENABLE},           {"disable", START_DISABLE},
    {"disable-for", START_DISABLE_FOR}, {"disable-until", START_DISABLE_UNTIL},
    {"launch", START_LAUNCH},           {"exit", START_EXIT},
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

const char* skipBlanks(const char* p)
{
    while (isBlank(*p))
        ++p;
    return p;
}

// The word at p, up to a blank or the end: its length.
size_t wordLength(const char* p)
{
    size_t length = 0;
    while (p[length] && !isBlank(p[length]))
        ++length;
    return length;
}

// ASCII letters only: a locale's own case rules (a Turkish dotless i) must
// not change what a switch means.
bool sameWordIgnoringCase(const char* word, size_t length, const char* name)
{
    for (size_t i = 0; i < length; ++i, ++name) {
        char c = word[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != *name)
            return false;
    }
    return *name == '\0';
}

// Digits only, at most `digits` of them and at least one; false otherwise.
bool readNumber(const char* word, size_t length, size_t digits, DWORD* value)
{
    if (length == 0 || length > digits)
        return false;
    *value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (!isDigit(word[i]))
            return false;
        *value = *value * 10 + static_cast<DWORD>(word[i] - '0');
    }
    return true;
}

// "H:MM" or "HH:MM", 24-hour, as minutes after midnight.
bool readClockTime(const char* word, size_t length, DWORD* minutes)
{
    size_t colon = 0;
    while (colon < length && word[colon] != ':')
        ++colon;
    DWORD hour = 0, minute = 0;
    if (colon == length || !readNumber(word, colon, 2, &hour)
        || length - colon - 1 != 2 || !readNumber(word + colon + 1, 2, 2, &minute)
        || hour > 23 || minute > 59)
        return false;
    *minutes = hour * 60 + minute;
    return true;
}

} // namespace

const char* commandLineArguments(const char* commandLine)
{
    const char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        p += wordLength(p);
    }
    return skipBlanks(p);
}

StartCommand parseStartCommand(const char* arguments)
{
    const StartCommand invalid = {START_INVALID, 0};
    StartCommand command = {START_NONE, 0};
    const char* p = skipBlanks(arguments);
    if (!*p)
        return command;
    if (*p != '/' && *p != '-')
        return invalid;
    size_t length = wordLength(++p);
    command.kind = START_INVALID;
    for (const auto& known : kSwitches)
        if (sameWordIgnoringCase(p, length, known.name))
            command.kind = known.kind;
    p = skipBlanks(p + length);
    if (command.kind == START_DISABLE_FOR || command.kind == START_DISABLE_UNTIL) {
        length = wordLength(p);
        bool read = command.kind == START_DISABLE_FOR ? readNumber(p, length, 4, &command.value)
                                                      : readClockTime(p, length, &command.value);
        if (!read)
            return invalid;
        p = skipBlanks(p + length);
    }
    if (*p || !startCommandValid(command.kind, command.value))
        return invalid;
    return command;
}

bool startCommandValid(StartCommandKind kind, DWORD value)
{
    switch (kind) {
    case START_DISABLE_FOR: return value >= 1 && value <= DISABLE_FOR_MAX_MINUTES;
    case START_DISABLE_UNTIL: return value < 24 * 60;
    case START_NONE:
    case START_ENABLE:
    case START_DISABLE:
    case START_LAUNCH:
    case START_EXIT: return true;
    default: return false;
    }
}
