#include "dpi.h"

#include <stddef.h>
#include <string.h>

#include "../base/handles.h"
#include "../commands/command_line.h"

namespace {

typedef HMONITOR(WINAPI* MonitorFromPointFunction)(POINT point, DWORD flags);
typedef HRESULT(WINAPI* GetDpiForMonitorFunction)(HMONITOR monitor, int type, UINT* x, UINT* y);
typedef BOOL(WINAPI* SystemParametersInfoForDpiFunction)(UINT action, UINT param, void* data,
                                                          UINT winIni, UINT dpi);
typedef int(WINAPI* GetSystemMetricsForDpiFunction)(int index, UINT dpi);

// The size of NONCLIENTMETRICSA before Vista added a field; the larger form
// is refused by earlier systems, this one is accepted by all.
const UINT kClassicMetricsSize = 340;
const int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI: what the system scales by

// The wide metrics with the field Vista added after them, the form the
// per-DPI call (which only Windows 10 has) is documented with.
union WideMetrics {
    NONCLIENTMETRICSW metrics;
    BYTE withPaddedBorder[sizeof(NONCLIENTMETRICSW) + sizeof(int)];
};

// The one display's pixels per inch, the value every window shares before
// Windows 10 and the one the system's plain calls answer for.
UINT systemDpi()
{
    WindowDC screen(nullptr);
    int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// Present where monitors are scaled apart, and only there worth asking.
SystemParametersInfoForDpiFunction parametersForDpi()
{
    return findLoadedFunction<SystemParametersInfoForDpiFunction>("user32.dll",
                                                                  "SystemParametersInfoForDpi");
}

UINT systemDpiAt(POINT point)
{
    UINT fallback = systemDpi();
    if (!parametersForDpi())
        return fallback;
    MonitorFromPointFunction monitorFromPoint
        = findLoadedFunction<MonitorFromPointFunction>("user32.dll", "MonitorFromPoint");
    HMONITOR monitor
        = monitorFromPoint ? monitorFromPoint(point, MONITOR_DEFAULTTONEAREST) : nullptr;
    if (!monitor)
        return fallback;
    // Loaded by full path; every Windows that has the call above has it.
    UniqueModule shcore(loadSystemLibrary("shcore.dll"));
    GetDpiForMonitorFunction dpiForMonitor
        = shcore ? findFunction<GetDpiForMonitorFunction>(shcore.get(), "GetDpiForMonitor")
                 : nullptr;
    UINT x = 0;
    UINT y = 0;
    if (!dpiForMonitor || dpiForMonitor(monitor, kEffectiveDpi, &x, &y) != S_OK || y == 0)
        return fallback;
    return y;
}

LOGFONTA systemMenuFontAt(UINT dpi)
{
    SystemParametersInfoForDpiFunction forDpi = parametersForDpi();
    if (forDpi) {
        WideMetrics wide;
        memset(&wide, 0, sizeof wide);
        wide.metrics.cbSize = sizeof wide.withPaddedBorder;
        if (forDpi(SPI_GETNONCLIENTMETRICS, sizeof wide.withPaddedBorder, &wide, 0, dpi)) {
            // Everything but the face name has the same form in both.
            const LOGFONTW& source = wide.metrics.lfMenuFont;
            LOGFONTA font;
            memset(&font, 0, sizeof font);
            memcpy(&font, &source, offsetof(LOGFONTA, lfFaceName));
            if (!WideCharToMultiByte(CP_ACP, 0, source.lfFaceName, -1, font.lfFaceName,
                                     sizeof font.lfFaceName, nullptr, nullptr))
                font.lfFaceName[0] = '\0';
            font.lfFaceName[sizeof font.lfFaceName - 1] = '\0';
            return font;
        }
    }
    NONCLIENTMETRICSA metrics;
    memset(&metrics, 0, sizeof metrics);
    metrics.cbSize = kClassicMetricsSize;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, &metrics, 0);
    // The one display's font; another DPI only where the call above is
    // missing, which never hands out another.
    UINT system = systemDpi();
    if (dpi != system)
        metrics.lfMenuFont.lfHeight = MulDiv(metrics.lfMenuFont.lfHeight, dpi, system);
    return metrics.lfMenuFont;
}

int systemMetricAt(int index, UINT dpi)
{
    GetSystemMetricsForDpiFunction forDpi = findLoadedFunction<GetSystemMetricsForDpiFunction>(
        "user32.dll", "GetSystemMetricsForDpi");
    if (forDpi)
        return forDpi(index, dpi);
    UINT system = systemDpi();
    int value = GetSystemMetrics(index);
    return dpi == system ? value : MulDiv(value, dpi, system);
}

const DpiSource kSystemSource = {systemDpiAt, systemMenuFontAt, systemMetricAt};

} // namespace

const DpiSource& systemDpiSource()
{
    return kSystemSource;
}

POINT taskbarPoint()
{
    // The shell's taskbar is shown also while it hides itself; a hidden
    // window of its class holds none (Wine's desktop keeps one).
    HWND taskbar = nullptr;
    do
        taskbar = FindWindowExA(nullptr, taskbar, "Shell_TrayWnd", nullptr);
    while (taskbar && !IsWindowVisible(taskbar));
    RECT rect;
    if (!taskbar || !GetWindowRect(taskbar, &rect))
        return primaryMonitorPoint();
    POINT middle = {rect.left + (rect.right - rect.left) / 2, rect.top + (rect.bottom - rect.top) / 2};
    return middle;
}
