// Pixels per inch where something shows, and the system's menu font and
// metrics at any of them. Windows 10 (1607 on) scales each monitor apart;
// there the program is told each monitor's own value. Everywhere else every
// answer is the one display's, as the system has always given it.
#pragma once
#include <windows.h>

struct DpiSource {
    // The pixels per inch of the monitor that shows point.
    UINT (*dpiAt)(POINT point);
    // The menu font as the system draws menus at dpi.
    LOGFONTA (*menuFontAt)(UINT dpi);
    // GetSystemMetrics' index at dpi.
    int (*metricAt)(int index, UINT dpi);
};

// The system's own answers.
const DpiSource& systemDpiSource();

// A point on the primary monitor, which holds the taskbar's notification area.
inline POINT primaryMonitorPoint()
{
    POINT origin = {0, 0};
    return origin;
}
