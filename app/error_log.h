// The fatal error log: "error.txt" in the current directory, and the text of
// the box shown as the program ends.
#pragma once
#include <windows.h>
#include <stddef.h>

struct Application;

#define ERROR_LOG_FILE "error.txt"

// The application whose flags and error text the log sets.
void setErrorLogApplication(Application* app);

// Every call is fatal: appends an entry (and the header when the file is
// new), sets APP_ERROR and APP_QUIT and stores the box text. A null detail
// means the system's text for the thread's last error.
void logError(const char* what, const char* detail);

// "MM/DD/YY" and "HH:MM:SS" of a local time; buffers of at least 9 bytes.
void formatLogDate(const SYSTEMTIME& time, char* date, size_t size);
void formatLogTime(const SYSTEMTIME& time, char* text, size_t size);

// The pieces as they are written, with "\n" line breaks (the file is opened
// in text mode, so each becomes CR LF). Return the length, truncated to fit.
size_t formatLogHeader(char* out, size_t size, const char* time, const char* date);
size_t formatLogEntry(char* out, size_t size, const char* time, const char* date,
                      const char* what, const char* detail);
size_t formatErrorBoxText(char* out, size_t size, const char* what, const char* detail);

// The system's message text for an error code, or "Unknown Error." when there
// is none or it does not fit in size bytes.
void systemErrorText(DWORD code, char* out, size_t size);
