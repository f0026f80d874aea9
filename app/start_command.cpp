#include "start_command.h"

#include <string.h>

#include "../base/text.h"
#include "../commands/keep_off.h"

namespace {

// What a switch takes after it.
enum SwitchValue { VALUE_NONE, VALUE_MINUTES, VALUE_CLOCK, VALUE_TEXT, VALUE_PROGRAM };

const struct {
    const char* name;
    StartCommandKind kind;
    SwitchValue value;
} kSwitches[] = {
    {"enable", START_ENABLE, VALUE_NONE},
    {"disable", START_DISABLE, VALUE_NONE},
    {"disable-for", START_DISABLE_FOR, VALUE_MINUTES},
    {"disable-until", START_DISABLE_UNTIL, VALUE_CLOCK},
    {"launch", START_LAUNCH, VALUE_NONE},
    {"exit", START_EXIT, VALUE_NONE},
    {"disable-while", START_DISABLE_WHILE, VALUE_PROGRAM},
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

// The first length bytes of both alike, ASCII letters in any case: a
// locale's own case rules (a Turkish dotless i) must not change what a
// switch means. Stops at the first difference, so neither text is read past
// its terminator.
bool sameIgnoringCase(const char* first, const char* second, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        char a = first[i], b = second[i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<char>(b - 'A' + 'a');
        if (a != b)
            return false;
    }
    return true;
}

// Whether the line begins with the first length bytes of path, as the file
// system compares names, followed by a blank or the end.
bool beginsWith(const char* line, const char* path, size_t length)
{
    char start[MAX_PATH];
    char own[MAX_PATH];
    if (length == 0 || length >= MAX_PATH || textLength(line) < length
        || (line[length] != '\0' && !isBlank(line[length])))
        return false;
    copyText(start, length + 1, line);
    copyText(own, length + 1, path);
    return sameFileName(start, own);
}

// Where the line begins with the program's own path, whole or without
// ".exe": the length taken; else 0.
size_t ownPathLength(const char* line, const char* programPath)
{
    size_t length = programPath ? textLength(programPath) : 0;
    if (beginsWith(line, programPath, length))
        return length;
    if (length > 4 && sameFileName(programPath + length - 4, ".exe")
        && beginsWith(line, programPath, length - 4))
        return length - 4;
    return 0;
}

bool isLeadByte(char c, const BYTE* leadBytes)
{
    BYTE byte = static_cast<BYTE>(c);
    // Pairs of first and last, ended by a pair of zeros (at most MAX_LEADBYTES bytes).
    for (size_t i = 0; leadBytes && i + 1 < MAX_LEADBYTES && leadBytes[i] != 0; i += 2) {
        if (byte >= leadBytes[i] && byte <= leadBytes[i + 1])
            return true;
    }
    return false;
}

// An argument being written: what does not fit is dropped and noted.
struct ArgumentOut {
    char* text;
    size_t size;
    size_t length;
    bool whole;

    void put(char c, size_t count = 1)
    {
        for (; count > 0; --count) {
            if (length + 1 < size)
                text[length++] = c;
            else
                whole = false;
        }
    }
};

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

// A switch's value from its argument into command.
bool readValue(SwitchValue kind, const char* word, StartCommand* command)
{
    size_t length = textLength(word);
    switch (kind) {
    case VALUE_MINUTES: return readNumber(word, length, 4, &command->value);
    case VALUE_CLOCK: return readClockTime(word, length, &command->value);
    case VALUE_TEXT:
        return length > 0 && copyText(command->text, sizeof command->text, word);
    case VALUE_PROGRAM: {
        KeepOffRule rule;
        DWORD processId = 0;
        return readSwitchProgram(word, &rule, &processId) != SWITCH_PROGRAM_BAD
            && copyText(command->text, sizeof command->text, word);
    }
    default: return false;
    }
}

} // namespace

const char* commandLineArguments(const char* commandLine, const char* programPath)
{
    const char* p = commandLine;
    if (*p == '"') {
        // Up to the closing quote; a program's name holds no escaped quotes.
        ++p;
        while (*p && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        size_t own = ownPathLength(p, programPath);
        p += own > 0 ? own : wordLength(p);
    }
    return skipBlanks(p);
}

const char* nextArgument(const char* text, const BYTE* leadBytes, char* out, size_t size,
                         bool* whole)
{
    const char* p = skipBlanks(text);
    ArgumentOut argument = {out, size, 0, size > 0};
    if (size > 0)
        out[0] = '\0';
    *whole = true;
    if (!*p)
        return nullptr;
    bool quoted = false;
    // Every turn takes at least one byte: the work is bounded by the text's length.
    while (*p && (quoted || !isBlank(*p))) {
        if (isLeadByte(*p, leadBytes) && p[1]) {
            argument.put(p[0]);
            argument.put(p[1]);
            p += 2;
        } else if (*p == '\\') {
            size_t slashes = 0;
            while (p[slashes] == '\\')
                ++slashes;
            p += slashes;
            if (*p == '"') {
                argument.put('\\', slashes / 2);
                // An odd one escapes the quote; after an even number it is a quote.
                if (slashes % 2) {
                    argument.put('"');
                    ++p;
                }
            } else {
                argument.put('\\', slashes);
            }
        } else if (*p == '"') {
            if (quoted && p[1] == '"') {
                argument.put('"');
                p += 2;
            } else {
                quoted = !quoted;
                ++p;
            }
        } else {
            argument.put(*p++);
        }
    }
    if (size > 0)
        out[argument.length] = '\0';
    *whole = argument.whole;
    return p;
}

StartCommand parseStartCommand(const char* arguments, const BYTE* leadBytes)
{
    StartCommand command;
    memset(&command, 0, sizeof command);
    size_t count = 0;
    size_t takes = 0;  // the arguments the switch found takes, itself included (0: none found)
    bool anySwitch = false, valueRead = false;
    SwitchValue valueKind = VALUE_NONE;
    char word[START_TEXT_SIZE];
    bool whole = true;
    for (const char* p = arguments; (p = nextArgument(p, leadBytes, word, sizeof word, &whole));
         ++count) {
        bool isSwitch = word[0] == '/' || word[0] == '-';
        anySwitch = anySwitch || isSwitch;
        if (count == 0 && isSwitch && whole) {
            for (const auto& known : kSwitches) {
                size_t length = textLength(known.name);
                if (sameIgnoringCase(word + 1, known.name, length) && word[1 + length] == '\0') {
                    command.kind = known.kind;
                    valueKind = known.value;
                    takes = valueKind == VALUE_NONE ? 1 : 2;
                }
            }
        } else if (count == 1 && takes == 2) {
            valueRead = whole && readValue(valueKind, word, &command);
        }
    }
    if (!anySwitch) {
        memset(&command, 0, sizeof command);
        return command;
    }
    if (takes == 0 || count != takes || (takes == 2 && !valueRead)
        || !startCommandValid(command.kind, command.value)) {
        memset(&command, 0, sizeof command);
        command.kind = START_INVALID;
    }
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
    case START_EXIT:
    case START_DISABLE_WHILE: return true;
    default: return false;
    }
}

StartCommand readStartRequest(ULONG_PTR tag, DWORD size, const void* data)
{
    StartCommand command;
    memset(&command, 0, sizeof command);
    bool read = tag == START_REQUEST_TAG && size == sizeof command && data;
    if (read)
        memcpy(&command, data, sizeof command);
    bool terminated = false;
    for (size_t i = 0; read && i < sizeof command.text && !terminated; ++i)
        terminated = command.text[i] == '\0';
    if (!read || !terminated || !startCommandValid(command.kind, command.value)) {
        memset(&command, 0, sizeof command);
        command.kind = START_INVALID;
    }
    return command;
}

ExitCode exitCodeOfAnswer(LRESULT answer)
{
    switch (answer) {
    case START_DONE: return EXIT_DONE;
    case START_REFUSED: return EXIT_REFUSED;
    default: return EXIT_NOT_HANDED_OVER;
    }
}

bool stationIsInteractive(bool flagsRead, DWORD flags)
{
    return !flagsRead || (flags & WSF_VISIBLE) != 0;
}
