#include "error_log.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "application.h"
#include "text.h"

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
    return strlen(out);
}

size_t formatLogEntry(char* out, size_t size, const char* time, const char* date,
                      const char* what, const char* detail)
{
    formatText(out, size,
               "Error occurred at %s on %s.\n--------------------------------------\n"
               "      %s -- "
               "%s\n---\n\n",
               time, date, what, detail);
    return strlen(out);
}

size_t formatErrorBoxText(char* out, size_t size, const char* what, const char* detail)
{
    formatText(out, size, "%s\n\n%s", what, detail);
    return strlen(out);
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

// Writes one text to "error.txt", opened for appending in text mode so that
// every "\n" is stored as CR LF. A file that cannot be opened is skipped.
void appendToLog(const char* text)
{
    FILE* file = fopen(ERROR_LOG_FILE, "a+");
    if (!file)
        return;
    fputs(text, file);
    fclose(file);
}

bool logExists()
{
    FILE* file = fopen(ERROR_LOG_FILE, "r");
    if (!file)
        return false;
    fclose(file);
    return true;
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
    size_t entrySize = strlen(what) + strlen(detail) + 200;
    char* entry = static_cast<char*>(malloc(entrySize));
    if (entry) {
        formatLogEntry(entry, entrySize, time, date, what, detail);
        appendToLog(entry);
        free(entry);
    }

    if (!logApplication)
        return;
    size_t boxSize = strlen(what) + strlen(detail) + 10;
    char* boxText = static_cast<char*>(allocateObject(boxSize));
    if (!boxText)
        return; // the earlier text, if any, is kept and shown
    formatErrorBoxText(boxText, boxSize, what, detail);
    free(logApplication->errorText);
    logApplication->errorText = boxText;
}
