#include "error_log.h"

#include <string.h>

#include "application.h"
#include "../base/handles.h"
#include "../base/text.h"

namespace {

Application* logApplication = nullptr;

const char kRule[] = "\n  ----------------------------------------------------------------------";
const char kCredit[] = "(C) 2000 The Dormity developers";

} // namespace

void setErrorLogApplication(Application* app)
{
    logApplication = app;
}

void formatLogDate(const SYSTEMTIME& time, char* date, size_t size)
{
    formatText(date, size, "%02u/%02u/%02u", time.wMonth, time.wDay, time.wYear % 100);
}

void formatLogTime(const SYSTEMTIME& time, char* text, size_t size)
{
    formatText(text, size, "%02u:%02u:%02u", time.wHour, time.wMinute, time.wSecond);
}

size_t formatLogHeader(char* out, size_t size, const char* time, const char* date)
{
    formatText(out, size,
               "%s"
               "\n                       Error Log File for %s"
               "\n                           Version:  %s"
               "%s"
               "\n\n                             %s"
               "\n\n\nThis file contains information on errors encountered by the above\napplication."
               "\n\nCreated at %s on %s \n\n---\n\n",
               kRule, "Dormity", "2.06.00", kRule, kCredit, time, date);
    return textLength(out);
}

size_t formatLogEntry(char* out, size_t size, const char* time, const char* date,
                      const char* what, const char* detail)
{
    formatText(out, size,
               "Error occurred at %s on %s.\n--------------------------------------\n"
               "      %s -- "
               "%s\n---\n\n",
               time, date, what, detail);
    return textLength(out);
}

size_t formatErrorBoxText(char* out, size_t size, const char* what, const char* detail)
{
    formatText(out, size, "%s\n\n%s", what, detail);
    return textLength(out);
}

void systemErrorText(DWORD code, char* out, size_t size)
{
    memset(out, 0, size);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  out, static_cast<DWORD>(size), nullptr);
    if (length == 0 || length >= size)
        copyText(out, size, "Unknown Error.");
}

namespace {

// Moves the file pointer relative to the end, with the high part, so a
// file of 4 GiB and more is reached where it ends. False when the pointer
// could not be put there.
bool seekFromEnd(HANDLE file, LONGLONG distance)
{
    LONG high = static_cast<LONG>(distance >> 32);
    DWORD low = SetFilePointer(file, static_cast<LONG>(distance & 0xFFFFFFFF), &high, FILE_END);
    return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

// Writes one text to the end of "error.txt" the way the C runtime's text
// mode "a+" does: the file is created when missing, an end-of-file mark
// (Ctrl+Z) ending it is dropped, and every "\n" is stored as CR LF. A file
// that cannot be opened, or whose end cannot be reached, is skipped: a write
// anywhere but at the end would overwrite an earlier entry.
void appendToLog(const char* text)
{
    UniqueFile file(CreateFileA(ERROR_LOG_FILE, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    char last = 0;
    DWORD read = 0;
    if (seekFromEnd(file.get(), -1)
        && ReadFile(file.get(), &last, 1, &read, nullptr) && read == 1 && last == '\x1A'
        && seekFromEnd(file.get(), -1))
        SetEndOfFile(file.get());
    if (!seekFromEnd(file.get(), 0))
        return;
    char chunk[256];
    size_t used = 0;
    for (const char* p = text;; ++p) {
        // Room for a CR LF pair is kept; the chunk goes out when full and at
        // the end of the text.
        if (*p == '\0' || used + 2 > sizeof chunk) {
            DWORD written = 0;
            if (used > 0 && !WriteFile(file.get(), chunk, static_cast<DWORD>(used), &written, nullptr))
                return;
            used = 0;
            if (*p == '\0')
                return;
        }
        if (*p == '\n')
            chunk[used++] = '\r';
        chunk[used++] = *p;
    }
}

bool logExists()
{
    UniqueFile file(CreateFileA(ERROR_LOG_FILE, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

} // namespace

void logError(const char* what, const char* detail)
{
    // Taken before anything else so that the last error is still the
    // failing call's.
    DWORD lastError = GetLastError();

    SYSTEMTIME now;
    GetLocalTime(&now);
    char date[16];
    char time[16];
    formatLogDate(now, date, sizeof date);
    formatLogTime(now, time, sizeof time);

    if (logApplication)
        logApplication->flags |= APP_ERROR | APP_QUIT;

    char systemText[300];
    if (!detail) {
        systemErrorText(lastError, systemText, sizeof systemText);
        detail = systemText;
    }

    if (!logExists()) {
        char header[1024];
        formatLogHeader(header, sizeof header, time, date);
        appendToLog(header);
    }

    // The detail can be long; size the entry to it instead of cutting it.
    size_t entrySize = textLength(what) + textLength(detail) + 200;
    char* entry = static_cast<char*>(allocateBlock(entrySize));
    if (entry) {
        formatLogEntry(entry, entrySize, time, date, what, detail);
        appendToLog(entry);
        freeBlock(entry);
    }

    if (!logApplication)
        return;
    size_t boxSize = textLength(what) + textLength(detail) + 10;
    char* boxText = static_cast<char*>(allocateObject(boxSize));
    if (!boxText)
        return; // the earlier text, if any, is kept and shown
    formatErrorBoxText(boxText, boxSize, what, detail);
    freeBlock(logApplication->errorText);
    logApplication->errorText = boxText;
}
