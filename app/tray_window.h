// The hidden window object: owner of the tray icon, the popup menu and the
// catalogue of installed screen savers.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "../saverconfig/catalogue.h"
#include "../saverconfig/policy.h"
#include "../saverconfig/saver_settings.h"
#include "../base/handles.h"
#include "../commands/keep_off_watch.h"
#include "../commands/timed_disable.h"
#include "start_command.h"
#include "../tray/menu_metrics.h"
#include "../tray/menu_rules.h"

struct Application;

// Private messages; the values are fixed because other programs send them.
#define WM_TRAYNOTIFY (WM_APP + 100)
#define WM_REINSTALL (WM_APP + 101)
#define TRAY_SHOWMENU (WM_APP + 102)
// A command-line switch for the running Dormity, posted by another program
// (a later start hands its switch over in WM_COPYDATA, to hear the answer):
// wParam the StartCommandKind, lParam its value (minutes, or the clock time
// in minutes after midnight).
#define WM_STARTCOMMAND (WM_APP + 103)

#define IDT_BLINK 1
// One-shot: the end of a timed disable, armed only while one is pending.
#define IDT_ENABLE 2
// While a listed program may start (or one that runs cannot be waited for).
#define IDT_KEEPOFF 3
#define BLINK_PERIOD_MS 500
#define TRAY_ICON_ID 1

enum SoundEvent {
    SOUND_LAUNCH = 0,
    SOUND_ENABLE = 1,
    SOUND_DISABLE = 2,
    SOUND_SELECT = 3,
    SOUND_PASS_ENABLE = 4,
    SOUND_PASS_DISABLE = 5,
};

// The notification icon record in its original form (64-character tip,
// 88 bytes in a 32-bit program), which every shell version accepts.
struct TrayIconRecord {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    CHAR szTip[64];
};
static_assert(sizeof(TrayIconRecord) == (sizeof(void*) == 4 ? 88 : 104),
              "the shell expects the record of its first version");

struct TrayWindow {
    Application* owner;
    SaverEntry* saverList;
    SaverEntry* noneEntry;
    HWND window;
    HMENU popupMenu;
    // The icon as the shell has it; its tip in the ANSI code page, and as
    // decided, in UTF-16 (what the shell gets from NT 4.0 on).
    TrayIconRecord trayIcon;
    WCHAR tipText[64];
    HBRUSH highlightBrush;
    HBRUSH menuBrush;
    char currentDescription[260];
    WORD saverCount;
    // Owns the entries that saverList and noneEntry point into.
    SaverCatalogue catalogue;
    // What the popup's fixed items point at (their names and shared width),
    // one for each of kPopupItems, in the same order.
    FixedItemRecord fixedItems[POPUP_ITEM_COUNT];
    // The policy in force, read as the menu opens, at each command, timer
    // and settings change: every decision until the next reading uses it.
    PolicyState policy;
    // The system's winmm.dll, loaded by full path when the first sound
    // plays and kept: an asynchronous sound goes on playing from it after
    // the call returns. Stopped and freed in the teardown.
    UniqueModule soundLibrary;
    // The pending end of a timed disable (0: none): the stored value as last
    // read, or this Dormity's own copy when that value is gone or could not
    // be written; and the choice that shows its check.
    ULONGLONG enableAt;
    UINT timedChoice;
    // The stored value a failed write of enableAt left (present false: none).
    StoredEnableAt unreplacedEnableAt;
    // Where the popup last opened, and the layout of the monitor there that
    // the popup and its submenus are measured and drawn with.
    POINT menuPoint;
    MenuLayout menuLayout;
    // The layout the screen saver entries were last added to the submenu
    // with: they are measured again when it changes.
    DWORD saverMenuKey;
    // Whether this Windows has dark menus, whether the popup now paints
    // dark (decided as it opens), and the menus' dark background brush.
    bool darkMenusExist;
    bool menuDark;
    UniqueGdiObject menuBackground;
    // The tray icon's image size, for the taskbar's pixels per inch.
    int trayIconSize;
    // Whether the blink timer runs.
    bool blinking;
    // Keeping it off while listed programs run.
    KeepOffWatch keepOff;
    // What the entries of "Keep Off While" point at: ListedItemRecord[count].
    UniqueBlock listedItems;
    UINT listedItemCount;
    // Whether Dormity's own command has the screen saver off (until it is
    // on again), and whether the display is asked to stay on for it.
    bool dormityHoldsOff;
    bool displayRequested;

    explicit TrayWindow(Application& owner);
    ~TrayWindow();
    TrayWindow(const TrayWindow&) = delete;
    TrayWindow& operator=(const TrayWindow&) = delete;

    // Allocation failure yields null after the program's handler has run.
    static void* operator new(size_t size) noexcept;
    static void operator delete(void* block) noexcept;

    // One turn of the message loop: 0 for WM_QUIT, else the message number.
    UINT pumpMessage();
    SaverFamily family() const;
    // Whether "[none]" carries the check mark (also while no list exists).
    bool noSaverSelected() const;

    // Tray icon, tooltip and blinking.
    void addTrayIcon();
    void removeTrayIcon();
    void setTrayIcon(int iconId);
    void updateTrayTip();
    void startBlink();
    void stopBlink();
    // Whether the icon blinks while the screen saver is off: as the user
    // prefers, unless a policy keeps it off, which nobody here can change.
    bool blinksWhileOff() const;
    void showSaverState(bool enabled);
    void onBlinkTimer();
    // Puts the icon back after the shell lost it (second start, shell restart).
    void reinstallTrayIcon();
    // Re-adds the icon at the size the taskbar's pixels per inch now asks for.
    void followTaskbarDpi();

    // Catalogue of installed screen savers.
    bool rebuildSaverMenu();
    bool scanSaverDirectory(const char* pattern, const char* shortDirectory);
    void freeSaverList();

    // Popup menu and its owner-drawn items.
    bool showPopupMenu();
    bool refreshPopupMenu();
    BOOL drawMenuItem(const DRAWITEMSTRUCT* item);
    // The look of a fixed item now, its name for screen readers written
    // from the same caption: the one place a fixed item's caption is decided.
    ItemLook decideFixedItem(UINT itemId, const MenuContext& context);
    // What the rules decide from, the policy as last read.
    MenuContext menuContext(bool win4Test);
    // WM_MENUCHAR: the item of the popup or a submenu whose access key was typed.
    LRESULT menuChar(WORD typed, HMENU menu);
    // Decides the popup's colours as it opens and gives its menus their background.
    void choosePalette();

    // Commands.
    bool runSaver(bool launch);
    bool openDisplayProperties();
    void changePassword();
    void lockWorkstation();
    bool playEventSound(int event);
    // Stops a sound still playing; the library stays loaded.
    void stopSound();

    // Handlers run by the window procedure itself.
    void toggleSaverActive();
    void togglePassword();
    void changePasswordCommand();
    void selectNoSaver();
    void selectSaver(WORD id);
    void onSettingsChange();
    // The Enable and Disable commands' own steps: sound, flag, icon.
    void enableSaver();
    void disableSaver();

    // The command line's switches (the menu's Enable, Disable, Disable For).
    void enableCommand();
    void disableCommand();
    void disableForMinutes(DWORD minutes);
    // False, and nothing changed, when the local time cannot be had.
    bool disableUntilClock(DWORD clockMinutes);

    // Disabling for a while: a menu choice, and what every timed disable does.
    void disableFor(UINT choice);
    void startTimedDisable(ULONGLONG endsAt, UINT choice);
    // Compares the stored time with the clock: enables, or arms the timer.
    void checkTimedDisable();
    // No time pending any more: value deleted, timer killed.
    void forgetTimedDisable();
    // Exit: nobody is left to enable it later, so it is enabled now.
    void endTimedDisable();
    // Ends Dormity as Exit does: what it holds is released (a timed disable
    // ended), then the message loop ends. Exit and the Restart Manager's
    // request to close both come here.
    void exitDormity();
    // True while a policy holds the active flag; a time still pending is
    // then forgotten, since nobody may enable the screen saver at its end.
    bool policyEndsTimedDisable();
    // Whether the policy in force holds what the command would change: the
    // guard at the top of a handler.
    bool refuses(WORD id) const;
    // Reads the policy afresh (a settings change that removed one lets the
    // icon blink again).
    void readPolicy();

    // Off while listed programs run (app/keep_off.cpp). The list is read
    // at start and at each change of Dormity's key.
    void startKeepOff();
    void watchKeepOffList();
    // Looks at the processes again (when scan), then does what the decision
    // says; asking is the switch whose program is to hold it off (or -1).
    void checkKeepOff(bool scan, bool userChose = false, int asking = -1);
    // The user enabled or disabled it by a command: that choice stands.
    void keepOffUserChose();
    // A listed program's entry chosen: it leaves the user's list.
    void removeListedProgram(WORD id);
    // "Keep Off While" as it opens: an entry for each listed program, then
    // "Add Running Program..." (tray/keep_off_menu.cpp).
    void rebuildKeepOffMenu(HMENU menu);
    // The switch: true when Dormity now holds it off while the program runs.
    bool disableWhile(const char* program);
    // Exit and sign-out: what Dormity holds off for a program comes back.
    void endKeepOff();
    // What the message loop waits on besides messages, and what one set.
    DWORD keepOffWaitHandles(HANDLE (&handles)[MAXIMUM_WAIT_OBJECTS]);
    void onKeepOffSignal(HANDLE signalled);
    // Asks for the display to stay on, or no longer, as the preference says.
    void updateDisplayRequest();
};

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A valid command-line switch, run as the menu runs its command: this
// start's own, or one a later start handed over.
StartAnswer runStartCommand(Application& app, TrayWindow& tray, const StartCommand& command);
// Whether the policy in force holds what the switch would change.
bool switchHeldByPolicy(const TrayWindow& tray, StartCommandKind kind);
BOOL measureMenuItem(MEASUREITEMSTRUCT* item, const MenuLayout& layout);

// The message the shell broadcasts when its taskbar is (re)created.
UINT taskbarCreatedMessage();

// Which handler a menu command id goes to.
enum CommandRoute {
    ROUTE_SELECT_SAVER,
    ROUTE_SELECT_NONE,
    ROUTE_CONFIGURE,
    ROUTE_PROPERTIES,
    ROUTE_ABOUT,
    ROUTE_EXIT,
    ROUTE_LAUNCH,
    ROUTE_TOGGLE,
    ROUTE_TIMEOUT,
    ROUTE_PASSWORD,
    ROUTE_CHANGE_PASSWORD,
    ROUTE_LOCK,
    ROUTE_DISABLE_FOR,
    ROUTE_ADD_RUNNING,     // "Add Running Program..."
    ROUTE_REMOVE_PROGRAM,  // a listed program, chosen to take it off the list
};
CommandRoute routeCommand(WORD id);

// Whether the command would change a setting the policy (POLICY_ bits)
// holds, or open the page it withholds: its item is greyed and its handler
// changes nothing. Ids that name no command are never locked.
bool policyLocks(DWORD policy, WORD id);
// The same with the policy read now, for a decision taken after its command
// began (a dialog's OK).
inline bool policyRefuses(WORD id)
{
    return policyLocks(readPolicyFlags(), id);
}

// Windows Vista and later (the Restart Manager); named only for builds aimed there.
#ifndef ENDSESSION_CLOSEAPP
#define ENDSESSION_CLOSEAPP 0x00000001
#endif
// Whether WM_ENDSESSION (wParam ending, lParam reason) asks Dormity itself
// to close: the Restart Manager's ENDSESSION_CLOSEAPP. At a sign-out or a
// shutdown the process is ended anyway, and a timed disable is kept for the
// next start.
bool sessionEndClosesDormity(WPARAM ending, LPARAM reason);

// Centre of the screen for the hidden window (integer division toward zero).
POINT hiddenWindowPosition(int screenWidth, int screenHeight);
