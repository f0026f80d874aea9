// Pixels per inch where something shows, and the system's menu font and
// metrics at any of them. Windows 10 scales each monitor apart from 1703 on,
// where the program is per-monitor aware and told each monitor's own value;
// 1607 has the calls but scales this program by the system's value, which
// they then answer. Everywhere else every answer is the one display's, as
// the system has always given it.
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

// A point on the primary monitor.
inline POINT primaryMonitorPoint()
{
    POINT origin = {0, 0};
    return origin;
}

// A point on the monitor that holds the taskbar, and its notification area:
// the middle of the shell's taskbar window, wherever the user moved it; the
// primary monitor's without one.
POINT taskbarPoint();
