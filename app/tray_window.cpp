#include "tray_window.h"

#include <string.h>

#include "../base/system_version.h"
#include "../base/text.h"
#include "../commands/blink_preference.h"
#include "../commands/display_request.h"
#include "../commands/dialogs.h"
#include "../commands/sound_events.h"
#include "../res/resource.h"
#include "../tray/dpi.h"
#include "../tray/menu_palette.h"
#include "application.h"
#include "start_command.h"
#include "user_language.h"

// Windows 8.1 and later; the headers name it only for builds aimed there.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace {

// The window procedure's application, taken at WM_CREATE.
Application* procApplication = nullptr;

const int kCentreWidth = 374;
const int kCentreHeight = 246;
const int kWindowSize = 10;

} // namespace

void* TrayWindow::operator new(size_t size) noexcept
{
    return allocateObject(size);
}

void TrayWindow::operator delete(void* block) noexcept
{
    freeBlock(block);
}

POINT hiddenWindowPosition(int screenWidth, int screenHeight)
{
    POINT position;
    position.x = (screenWidth - kCentreWidth) / 2;
    position.y = (screenHeight - kCentreHeight) / 2;
    return position;
}

CommandRoute routeCommand(WORD id)
{
    if (id > IDM_NONE)
        return ROUTE_SELECT_SAVER;
    if (id == IDM_NONE)
        return ROUTE_SELECT_NONE;
    if (id >= IDM_KEEPOFF_FIRST && id <= IDM_KEEPOFF_LAST)
        return ROUTE_REMOVE_PROGRAM;
    switch (id) {
    case IDM_CONFIGURE: return ROUTE_CONFIGURE;
    case IDM_PROPERTIES: return ROUTE_PROPERTIES;
    case IDM_ABOUT: return ROUTE_ABOUT;
    case IDM_EXIT: return ROUTE_EXIT;
    case IDM_LAUNCH: return ROUTE_LAUNCH;
    case IDM_TOGGLE: return ROUTE_TOGGLE;
    case IDM_TIMEOUT: return ROUTE_TIMEOUT;
    case IDM_PASSWORD: return ROUTE_PASSWORD;
    case IDM_CHANGEPASSWORD: return ROUTE_CHANGE_PASSWORD;
    case IDM_LOCK: return ROUTE_LOCK;
    case IDM_DISABLE_15:
    case IDM_DISABLE_30:
    case IDM_DISABLE_60:
    case IDM_DISABLE_120:
    case IDM_DISABLE_240: return ROUTE_DISABLE_FOR;
    case IDM_ADD_RUNNING: return ROUTE_ADD_RUNNING;
    default: return ROUTE_SELECT_SAVER;
    }
}

bool policyLocks(DWORD policy, WORD id)
{
    // Every command that changes a setting of the screen saver is held by
    // "Prevent changing screen saver" too.
    DWORD held = POLICY_NO_CHANGES;
    switch (routeCommand(id)) {
    case ROUTE_SELECT_SAVER:
        // Only the catalogue's ids: the submenus' own ids route here too.
        held = id > IDM_NONE ? held | POLICY_SAVER : 0;
        break;
    case ROUTE_SELECT_NONE: held |= POLICY_SAVER; break;
    case ROUTE_TOGGLE:
    case ROUTE_DISABLE_FOR:
    case ROUTE_ADD_RUNNING:
    case ROUTE_REMOVE_PROGRAM: held |= POLICY_ACTIVE; break;
    case ROUTE_PASSWORD:
    case ROUTE_CHANGE_PASSWORD: held |= POLICY_PASSWORD; break;
    case ROUTE_TIMEOUT: held |= POLICY_TIMEOUT; break;
    case ROUTE_PROPERTIES: held |= POLICY_NO_PROPERTIES; break;
    case ROUTE_CONFIGURE: break;
    default: held = 0; break;
    }
    return (policy & held) != 0;
}

bool TrayWindow::refuses(WORD id) const
{
    return policyLocks(policyFlags(policy), id);
}

bool sessionEndClosesDormity(WPARAM ending, LPARAM reason)
{
    return ending != 0 && (static_cast<DWORD>(reason) & ENDSESSION_CLOSEAPP) != 0;
}

namespace {
UINT taskbarCreated = 0;
} // namespace

UINT taskbarCreatedMessage()
{
    if (taskbarCreated == 0)
        taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    return taskbarCreated;
}

namespace {

// From Windows Vista on, a program with fewer rights than this one (this
// one started by an elevated installer, or a later start from a scheduled
// task) cannot send or post to its window unless it lets each message in:
// the switches, the icon's return, and the shell's word that the taskbar
// is back. Windows 7 lets them in for this window alone; Vista for the
// process. Both looked up at run time: earlier systems have no such filter.
void acceptFromLowerRights(HWND window)
{
    typedef BOOL(WINAPI * WindowFilter)(HWND, UINT, DWORD, void*);
    typedef BOOL(WINAPI * ProcessFilter)(UINT, DWORD);
    const DWORD allow = 1;  // MSGFLT_ALLOW, and MSGFLT_ADD for the process
    WindowFilter windowFilter =
        findLoadedFunction<WindowFilter>("user32.dll", "ChangeWindowMessageFilterEx");
    ProcessFilter processFilter =
        findLoadedFunction<ProcessFilter>("user32.dll", "ChangeWindowMessageFilter");
    const UINT messages[] = {WM_COPYDATA, WM_STARTCOMMAND, WM_REINSTALL, taskbarCreatedMessage()};
    for (UINT message : messages) {
        if (windowFilter)
            windowFilter(window, message, allow, nullptr);
        else if (processFilter)
            processFilter(message, allow);
    }
}

} // namespace

TrayWindow::TrayWindow(Application& app)
    : owner(&app), saverList(nullptr), noneEntry(nullptr), window(nullptr), popupMenu(nullptr),
      highlightBrush(nullptr), menuBrush(nullptr), saverCount(0), soundLibrary(), enableAt(0),
      timedChoice(0), unreplacedEnableAt(), menuPoint(primaryMonitorPoint()), saverMenuKey(0),
      darkMenusExist(false), menuDark(false), menuBackground(), trayIconSize(16), blinking(false),
      keepOff(), listedItems(), listedItemCount(0), dormityHoldsOff(false), displayRequested(false)
{
    // First of all, so that the window procedure can reach this object
    // while the window is being created.
    app.trayWindow = this;
    memset(&trayIcon, 0, sizeof trayIcon);
    memset(tipText, 0, sizeof tipText);
    memset(currentDescription, 0, sizeof currentDescription);
    memset(fixedItems, 0, sizeof fixedItems);
    memset(&policy, 0, sizeof policy);

    OSVERSIONINFOA version = reportedVersion();
    app.flags |= platformFlags(version.dwPlatformId, version.dwMajorVersion);
    darkMenusExist = systemHasDarkMenus(version.dwPlatformId, version.dwMajorVersion,
                                        version.dwBuildNumber);
    // Until the popup first opens, laid out for the primary monitor.
    menuLayout = menuLayoutAt(systemDpiSource(), menuPoint);

    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = app.instance;
    windowClass.lpszClassName = DORMITY_CLASS_NAME;
    RegisterClassA(&windowClass);

    taskbarCreatedMessage();
    POINT position =
        hiddenWindowPosition(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    window = CreateWindowExA(0, DORMITY_CLASS_NAME, DORMITY_WINDOW_TITLE, WS_OVERLAPPEDWINDOW,
                             position.x, position.y, kWindowSize, kWindowSize, nullptr, nullptr,
                             app.instance, &app);
    if (window) {
        UpdateWindow(window);
        ShowWindow(window, SW_HIDE);
        acceptFromLowerRights(window);
    }

    if (readBlinkPreference())
        app.flags |= APP_BLINK;
    // However Dormity was installed, the Sounds control panel lists it.
    registerSoundEvents();

    highlightBrush = GetSysColorBrush(COLOR_HIGHLIGHT);
    menuBrush = GetSysColorBrush(COLOR_MENU);

    // Only the popup is kept: it is detached from the resource's one-item
    // menu bar, which is destroyed here so that nothing outlives its owner.
    HMENU menuBar = LoadMenuA(app.instance, MAKEINTRESOURCEA(IDR_TRAYMENU));
    if (menuBar) {
        popupMenu = GetSubMenu(menuBar, 0);
        RemoveMenu(menuBar, 0, MF_BYPOSITION);
        DestroyMenu(menuBar);
    }

    readPolicy();
    addTrayIcon();
    rebuildSaverMenu();
    // A time stored by an earlier run is honoured, or ended if it passed.
    checkTimedDisable();
    startKeepOff();
    // Off for a time or for a program: Dormity's own doing, from an earlier run.
    dormityHoldsOff = enableAt != 0 || keepOff.state == KEEP_OFF_HOLDING;
    updateDisplayRequest();
}

TrayWindow::~TrayWindow()
{
    if (displayRequested)
        requestDisplayOn(executionStateFunction(), false);
    freeSaverList();
    removeTrayIcon();
    if (popupMenu) {
        DestroyMenu(popupMenu);
        popupMenu = nullptr;
    }
    if (window) {
        DestroyWindow(window);
        window = nullptr;
    }
    UnregisterClassA(DORMITY_CLASS_NAME, owner->instance);
    if (procApplication == owner)
        procApplication = nullptr;
    stopSound();
    soundLibrary.reset();
}

UINT TrayWindow::pumpMessage()
{
    MSG message;
    for (;;) {
        HANDLE handles[MAXIMUM_WAIT_OBJECTS];
        DWORD count = keepOffWaitHandles(handles);
        DWORD woken = WAIT_FAILED;
        // Only a queue that is empty is waited on: a wait does not wake for
        // messages that a look at the queue has already seen.
        if (count > 0 && !PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE))
            woken = MsgWaitForMultipleObjects(count, handles, FALSE, INFINITE, QS_ALLINPUT);
        if (woken < WAIT_OBJECT_0 + count) {
            onKeepOffSignal(handles[woken - WAIT_OBJECT_0]);
            continue;
        }
        if (woken == WAIT_OBJECT_0 + count && !PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE))
            continue;  // what woke it was a message sent to a window here, handled by the look
        if (GetMessageA(&message, nullptr, 0, 0) <= 0)
            return 0;
        break;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
    return message.message;
}

void TrayWindow::exitDormity()
{
    // Nobody is left to enable the screen saver later: it is enabled now.
    endTimedDisable();
    endKeepOff();
    owner->flags |= APP_QUIT;
    PostQuitMessage(0);
}

SaverFamily TrayWindow::family() const
{
    return familyFromFlags(owner->flags);
}

bool TrayWindow::noSaverSelected() const
{
    return !noneEntry || (noneEntry->flags & SAVER_CHECKED);
}

namespace {

void runCommand(Application& app, TrayWindow& tray, WORD id)
{
    // Once for the command: its handler and everything it calls decide by it.
    tray.readPolicy();
    switch (routeCommand(id)) {
    case ROUTE_SELECT_SAVER: tray.selectSaver(id); break;
    case ROUTE_SELECT_NONE: tray.selectNoSaver(); break;
    case ROUTE_CONFIGURE: tray.runSaver(false); break;
    case ROUTE_PROPERTIES: tray.openDisplayProperties(); break;
    case ROUTE_ABOUT: showAboutDialog(app); break;
    case ROUTE_EXIT: tray.exitDormity(); break;
    case ROUTE_LAUNCH:
        tray.playEventSound(SOUND_LAUNCH);
        tray.runSaver(true);
        break;
    case ROUTE_TOGGLE: tray.toggleSaverActive(); break;
    case ROUTE_TIMEOUT: showTimeoutDialog(app); break;
    case ROUTE_PASSWORD: tray.togglePassword(); break;
    case ROUTE_CHANGE_PASSWORD: tray.changePasswordCommand(); break;
    case ROUTE_LOCK: tray.lockWorkstation(); break;
    case ROUTE_DISABLE_FOR: tray.disableFor(id); break;
    case ROUTE_ADD_RUNNING: showPickerDialog(app); break;
    case ROUTE_REMOVE_PROGRAM: tray.removeListedProgram(id); break;
    }
}

// A switch handed over by a later start, which waits for the answer. Launch
// is only begun: the box it may show (no screen saver selected) must not
// hold that start up. The data may come from any program.
LRESULT answerHandedOver(Application& app, TrayWindow& tray, const COPYDATASTRUCT* data)
{
    if (!data)
        return START_UNANSWERED;
    StartCommand command = readStartRequest(data->dwData, data->cbData, data->lpData);
    if (command.kind == START_INVALID)
        return START_UNANSWERED;
    if (command.kind == START_LAUNCH) {
        PostMessageA(tray.window, WM_STARTCOMMAND, START_LAUNCH, 0);
        return START_DONE;
    }
    return runStartCommand(app, tray, command);
}

} // namespace

bool switchHeldByPolicy(const TrayWindow& tray, StartCommandKind kind)
{
    switch (kind) {
    case START_ENABLE:
    case START_DISABLE:
    case START_DISABLE_WHILE: return tray.refuses(IDM_TOGGLE);
    case START_DISABLE_FOR:
    case START_DISABLE_UNTIL: return tray.refuses(IDM_DISABLE_15);
    default: return false;
    }
}

StartAnswer runStartCommand(Application& app, TrayWindow& tray, const StartCommand& command)
{
    tray.readPolicy();
    // A switch the policy in force holds changes nothing, and its caller is
    // told so (the handler still forgets a time the policy made moot).
    bool refused = switchHeldByPolicy(tray, command.kind);
    switch (command.kind) {
    case START_ENABLE: tray.enableCommand(); break;
    case START_DISABLE: tray.disableCommand(); break;
    case START_DISABLE_FOR: tray.disableForMinutes(command.value); break;
    case START_DISABLE_UNTIL:
        if (!tray.disableUntilClock(command.value))
            return START_REFUSED;
        break;
    case START_LAUNCH:
        // As from the menu, which the right click brought to the front: the
        // system starts the screen saver for the window in front, and another
        // program's may ignore it.
        SetForegroundWindow(tray.window);
        runCommand(app, tray, IDM_LAUNCH);
        break;
    case START_EXIT: runCommand(app, tray, IDM_EXIT); break;
    case START_DISABLE_WHILE:
        // Its program not running, or held by a policy: nothing changed.
        return tray.disableWhile(command.text) ? START_DONE : START_REFUSED;
    default: break;
    }
    return refused ? START_REFUSED : START_DONE;
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) {
        const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        procApplication = static_cast<Application*>(create->lpCreateParams);
        return DefWindowProcA(window, message, wParam, lParam);
    }
    Application* app = procApplication;
    TrayWindow* tray = app ? app->trayWindow : nullptr;
    if (!tray || tray->window != window)
        return DefWindowProcA(window, message, wParam, lParam);

    switch (message) {
    case WM_SETTINGCHANGE:
        // The user's language settings changed, or Group Policy refreshed
        // its own: the language is decided again, and the submenu's entries
        // measured in it.
        if (lParam
            && (textEquals(reinterpret_cast<const char*>(lParam), "intl")
                || textEquals(reinterpret_cast<const char*>(lParam), "Policy"))) {
            speakUserLanguage();
            tray->saverMenuKey = 0;
        }
        tray->onSettingsChange();
        tray->followTaskbarDpi();
        break;
    case WM_DRAWITEM:
        return tray->drawMenuItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_MENUCHAR:
        return tray->menuChar(LOWORD(wParam), reinterpret_cast<HMENU>(lParam));
    case WM_MEASUREITEM:
        return measureMenuItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam), tray->menuLayout);
    case WM_DISPLAYCHANGE: {
        POINT position =
            hiddenWindowPosition(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
        MoveWindow(window, position.x, position.y, kWindowSize, kWindowSize, TRUE);
        tray->followTaskbarDpi();
        break;
    }
    case WM_DPICHANGED:
        // The scale of the monitor under the window (the primary one, with
        // the taskbar) changed.
        tray->followTaskbarDpi();
        break;
    case WM_COMMAND:
        if (HIWORD(wParam) == 0)
            runCommand(*app, *tray, LOWORD(wParam));
        break;
    case WM_TIMER:
        if (wParam == IDT_ENABLE) {
            KillTimer(window, IDT_ENABLE);
            tray->readPolicy();
            tray->checkTimedDisable();
        } else if (wParam == IDT_KEEPOFF) {
            tray->checkKeepOff(true);
        } else {
            tray->onBlinkTimer();
        }
        break;
    case WM_TIMECHANGE:
    case WM_POWERBROADCAST:
        // The clock moved, or the machine slept through the timer.
        tray->readPolicy();
        tray->checkTimedDisable();
        break;
    case WM_INITMENUPOPUP: {
        HMENU menu = reinterpret_cast<HMENU>(wParam);
        if (menu == tray->popupMenu)
            tray->refreshPopupMenu();
        else if (tray->popupMenu && menu == GetSubMenu(tray->popupMenu, 0))
            tray->rebuildSaverMenu();
        else if (tray->popupMenu && menu == GetSubMenu(tray->popupMenu, KEEP_OFF_MENU_POSITION))
            tray->rebuildKeepOffMenu(menu);
        break;
    }
    case WM_TRAYNOTIFY:
        switch (lParam) {
        case WM_LBUTTONDBLCLK:
            tray->readPolicy();
            tray->playEventSound(SOUND_LAUNCH);
            tray->runSaver(true);
            break;
        case WM_RBUTTONDOWN:
            SetForegroundWindow(window);
            PostMessageA(window, WM_TRAYNOTIFY, 0, TRAY_SHOWMENU);
            return 1;
        case TRAY_SHOWMENU:
            tray->showPopupMenu();
            break;
        default:
            break;
        }
        break;
    case WM_ENDSESSION:
        // The Restart Manager closes Dormity for an installer that replaces
        // or removes its file; it ends as on Exit. (Answering the query
        // before it is the default's TRUE.)
        if (sessionEndClosesDormity(wParam, lParam))
            tray->exitDormity();
        // Signing out, or Windows ending: what Dormity holds off for a
        // program comes back now, while the user's settings can still be
        // written (a timed disable waits for the next start).
        else if (wParam)
            tray->endKeepOff();
        break;
    case WM_STARTCOMMAND: {
        // Posted by any program: what is out of range is ignored.
        StartCommand command = {static_cast<StartCommandKind>(wParam),
                                static_cast<DWORD>(lParam), ""};
        if (static_cast<DWORD>(wParam) == wParam && startCommandValid(command.kind, command.value))
            return runStartCommand(*app, *tray, command);
        break;
    }
    case WM_COPYDATA:
        return answerHandedOver(*app, *tray, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_REINSTALL:
        tray->readPolicy();
        tray->removeTrayIcon();
        tray->addTrayIcon();
        tray->rebuildSaverMenu();
        break;
    default:
        if (message == taskbarCreatedMessage() && message != 0)
            tray->reinstallTrayIcon();
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
