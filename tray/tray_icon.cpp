#include <windows.h>
#include <shellapi.h>
#include <string.h>

#include "../app/application.h"
#include "../base/text.h"
#include "../base/ui_text.h"
#include "../commands/timed_disable.h"
#include "../app/tray_window.h"
#include "../res/resource.h"
#include "../base/handles.h"
#include "dpi.h"
#include "icon_state.h"
#include "menu_metrics.h"

namespace {

// Process-wide: 0 means the next tick shows the "on" image.
BYTE blinkPhase = 0;

BOOL notify(DWORD action, TrayIconRecord& record)
{
    return Shell_NotifyIconA(action, reinterpret_cast<NOTIFYICONDATAA*>(&record));
}

} // namespace

HICON loadSmallIcon(HINSTANCE instance, int iconId, int size)
{
    return static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(iconId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

int blinkTickIcon(BYTE* phase)
{
    if (*phase == 0) {
        *phase = 1;
        return IDI_SAVER_ON;
    }
    *phase = 0;
    return IDI_SAVER_OFF;
}

void formatTrayTip(const char* description, char* tip, size_t tipSize)
{
    char text[300];
    formatText(text, sizeof text, "Dormity - [%s]", description);
    memset(tip, 0, tipSize);
    copyText(tip, tipSize, text);
}

void formatTimedTrayTip(const char* description, const char* onAt, char* tip, size_t tipSize)
{
    const char prefix[] = "Dormity - [";
    char suffix[100];
    formatText(suffix, sizeof suffix, "] - on at %s", onAt);
    size_t fixed = (sizeof prefix - 1) + textLength(suffix);
    size_t room = tipSize > fixed ? tipSize - fixed : 1;
    char shown[260];
    copyText(shown, room < sizeof shown ? room : sizeof shown, description);
    char text[400];
    formatText(text, sizeof text, "%s%s%s", prefix, shown, suffix);
    memset(tip, 0, tipSize);
    copyText(tip, tipSize, text);
}

void formatOffWhileTrayTip(const char* format, const char* program, char* tip, size_t tipSize)
{
    // The format's own length, measured with an empty name.
    char text[400];
    formatText(text, sizeof text, format, "");
    size_t fixed = textLength(text);
    size_t room = tipSize > fixed ? tipSize - fixed : 1;
    char shown[SAVER_PATH_SIZE];
    copyText(shown, room < sizeof shown ? room : sizeof shown, program);
    formatText(text, sizeof text, format, shown);
    memset(tip, 0, tipSize);
    copyText(tip, tipSize, text);
}

void TrayWindow::addTrayIcon()
{
    bool active = isSaverActive();
    if (active)
        owner->flags |= APP_SAVER_ACTIVE;
    trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIcon.cbSize = sizeof trayIcon;
    trayIcon.hWnd = window;
    trayIcon.uID = TRAY_ICON_ID;
    trayIcon.uCallbackMessage = WM_TRAYNOTIFY;
    // Exactly the size the taskbar shows, so that the shell need not scale it.
    trayIconSize = trayIconSizeFrom(systemDpiSource());
    if (active) {
        trayIcon.hIcon = loadSmallIcon(owner->instance, IDI_SAVER_ON, trayIconSize);
    } else {
        trayIcon.hIcon = loadSmallIcon(owner->instance, IDI_SAVER_OFF, trayIconSize);
        if (blinksWhileOff())
            startBlink();
    }
    copyText(trayIcon.szTip, sizeof trayIcon.szTip, "Dormity");
    notify(NIM_ADD, trayIcon);
}

void TrayWindow::removeTrayIcon()
{
    notify(NIM_DELETE, trayIcon);
    if (trayIcon.hIcon) {
        DestroyIcon(trayIcon.hIcon);
        trayIcon.hIcon = nullptr;
    }
}

void TrayWindow::setTrayIcon(int iconId)
{
    if (trayIcon.hIcon)
        DestroyIcon(trayIcon.hIcon);
    trayIcon.hIcon = loadSmallIcon(owner->instance, iconId, trayIconSize);
    notify(NIM_MODIFY, trayIcon);
}

void TrayWindow::updateTrayTip()
{
    char tip[sizeof trayIcon.szTip];
    if (keepOff.state == KEEP_OFF_HOLDING) {
        formatOffWhileTrayTip(uiText(IDS_TIP_OFF_WHILE), keepOff.scan.name, tip, sizeof tip);
    } else if (enableAt) {
        char onAt[64];
        formatLocalTime(enableAt, onAt, sizeof onAt);
        formatTimedTrayTip(currentDescription, onAt, tip, sizeof tip);
    } else {
        formatTrayTip(currentDescription, tip, sizeof tip);
    }
    // Every settings change rebuilds the catalogue and lands here; telling
    // the shell an unchanged tip costs a round trip to it, most of the
    // rebuild's own cost.
    if (textEquals(tip, trayIcon.szTip))
        return;
    copyText(trayIcon.szTip, sizeof trayIcon.szTip, tip);
    notify(NIM_MODIFY, trayIcon);
}

void TrayWindow::startBlink()
{
    blinking = SetTimer(window, IDT_BLINK, BLINK_PERIOD_MS, nullptr) != 0;
}

void TrayWindow::stopBlink()
{
    KillTimer(window, IDT_BLINK);
    blinking = false;
}

bool TrayWindow::blinksWhileOff() const
{
    // The blink asks the user to enable the screen saver again.
    return (owner->flags & APP_BLINK) && !(policyFlags(policy) & POLICY_KEEPS_OFF);
}

void TrayWindow::showSaverState(bool enabled)
{
    if (enabled) {
        setTrayIcon(IDI_SAVER_ON);
        owner->flags |= APP_SAVER_ACTIVE;
        if (owner->flags & APP_BLINK)
            stopBlink();
    } else {
        setTrayIcon(IDI_SAVER_OFF);
        owner->flags &= ~APP_SAVER_ACTIVE;
        if (blinksWhileOff())
            startBlink();
        else if (owner->flags & APP_BLINK)
            stopBlink();
    }
}

void TrayWindow::onBlinkTimer()
{
    int iconId = blinkTickIcon(&blinkPhase);
    if (trayIcon.hIcon)
        DestroyIcon(trayIcon.hIcon);
    trayIcon.hIcon = loadSmallIcon(owner->instance, iconId, trayIconSize);
    notify(NIM_MODIFY, trayIcon);
}

void TrayWindow::reinstallTrayIcon()
{
    removeTrayIcon();
    addTrayIcon();
    updateTrayTip();
}

void TrayWindow::followTaskbarDpi()
{
    if (trayIconSizeFrom(systemDpiSource()) != trayIconSize)
        reinstallTrayIcon();
}
