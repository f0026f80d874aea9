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

// The record of the first version with a UTF-16 tip (152 bytes in a
// 32-bit program), for systems that draw text of every script.
struct WideTrayIconRecord {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    WCHAR szTip[64];
};

typedef BOOL(WINAPI* NotifyIconWFunction)(DWORD action, WideTrayIconRecord* record);

// The icon and its tip as the record holds them; the tip wide from NT 4.0
// on, so that a language the ANSI code page cannot spell still shows.
BOOL notify(DWORD action, TrayWindow& tray)
{
    NotifyIconWFunction notifyWide = uiTextIsWide()
        ? findLoadedFunction<NotifyIconWFunction>("shell32.dll", "Shell_NotifyIconW")
        : nullptr;
    TrayIconRecord& record = tray.trayIcon;
    if (!notifyWide)
        return Shell_NotifyIconA(action, reinterpret_cast<NOTIFYICONDATAA*>(&record));
    WideTrayIconRecord wide;
    memset(&wide, 0, sizeof wide);
    wide.cbSize = sizeof wide;
    wide.hWnd = record.hWnd;
    wide.uID = record.uID;
    wide.uFlags = record.uFlags;
    wide.uCallbackMessage = record.uCallbackMessage;
    wide.hIcon = record.hIcon;
    copyText(wide.szTip, sizeof wide.szTip / sizeof wide.szTip[0], tray.tipText);
    return notifyWide(action, &wide);
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

void formatTrayTip(const WCHAR* description, WCHAR* tip, size_t tipSize)
{
    WCHAR text[300];
    formatText(text, sizeof text / sizeof text[0], uiText(IDS_TIP), description);
    memset(tip, 0, tipSize * sizeof(WCHAR));
    copyText(tip, tipSize, text);
}

void formatTimedTrayTip(const WCHAR* description, const WCHAR* onAt, WCHAR* tip, size_t tipSize)
{
    const WCHAR* format = uiText(IDS_TIP_TIMED);
    // What the tip holds besides the description, whatever the language
    // puts around it: the description gets what is left.
    WCHAR fixed[128];
    formatText(fixed, sizeof fixed / sizeof fixed[0], format, L"", onAt);
    size_t fixedLength = textLength(fixed);
    size_t room = tipSize > fixedLength ? tipSize - fixedLength : 1;
    WCHAR shown[260];
    copyText(shown, room < 260 ? room : 260, description);
    WCHAR text[400];
    formatText(text, sizeof text / sizeof text[0], format, shown, onAt);
    memset(tip, 0, tipSize * sizeof(WCHAR));
    copyText(tip, tipSize, text);
}

void formatOffWhileTrayTip(const WCHAR* format, const WCHAR* program, WCHAR* tip, size_t tipSize)
{
    // The format's own length, measured with an empty name.
    WCHAR text[400];
    formatText(text, sizeof text / sizeof text[0], format, L"");
    size_t fixed = textLength(text);
    size_t room = tipSize > fixed ? tipSize - fixed : 1;
    WCHAR shown[SAVER_PATH_SIZE];
    copyText(shown, room < SAVER_PATH_SIZE ? room : SAVER_PATH_SIZE, program);
    formatText(text, sizeof text / sizeof text[0], format, shown);
    memset(tip, 0, tipSize * sizeof(WCHAR));
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
    memset(tipText, 0, sizeof tipText);
    copyText(tipText, sizeof tipText / sizeof tipText[0], L"Dormity");
    ansiFromWide(tipText, trayIcon.szTip, sizeof trayIcon.szTip);
    notify(NIM_ADD, *this);
}

void TrayWindow::removeTrayIcon()
{
    notify(NIM_DELETE, *this);
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
    notify(NIM_MODIFY, *this);
}

void TrayWindow::updateTrayTip()
{
    WCHAR description[260];
    if (noSaverSelected())
        copyText(description, sizeof description / sizeof description[0], uiText(IDS_TIP_NONE));
    else
        wideFromAnsi(currentDescription, description, sizeof description / sizeof description[0]);
    WCHAR tip[sizeof tipText / sizeof tipText[0]];
    const size_t tipSize = sizeof tip / sizeof tip[0];
    if (keepOff.state == KEEP_OFF_HOLDING) {
        WCHAR program[SAVER_PATH_SIZE];
        wideFromAnsi(keepOff.scan.name, program, sizeof program / sizeof program[0]);
        formatOffWhileTrayTip(uiText(IDS_TIP_OFF_WHILE), program, tip, tipSize);
    } else if (enableAt) {
        char onAt[64];
        formatLocalTime(enableAt, onAt, sizeof onAt);
        WCHAR wideOnAt[64];
        wideFromAnsi(onAt, wideOnAt, sizeof wideOnAt / sizeof wideOnAt[0]);
        formatTimedTrayTip(description, wideOnAt, tip, tipSize);
    } else {
        formatTrayTip(description, tip, tipSize);
    }
    // Every settings change rebuilds the catalogue and lands here; telling
    // the shell an unchanged tip costs a round trip to it, most of the
    // rebuild's own cost. Both are zero-filled past their text.
    if (memcmp(tip, tipText, sizeof tip) == 0)
        return;
    memcpy(tipText, tip, sizeof tip);
    ansiFromWide(tipText, trayIcon.szTip, sizeof trayIcon.szTip);
    notify(NIM_MODIFY, *this);
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
    notify(NIM_MODIFY, *this);
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
