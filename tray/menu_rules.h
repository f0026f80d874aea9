// What the popup shows, decided apart from the menu calls: for each fixed
// item one record, both its state in the menu (what screen readers hear)
// and its drawn look, from one function.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "../base/item_name.h"
#include "../saverconfig/saver_settings.h"

struct MenuContext {
    DWORD flags;               // the application's state bits
    bool noSaverSelected;      // the "[none]" entry carries the check mark
    PasswordValues passwords;  // as read for the family in flags, a policy's value in isSecure
    bool win4Saver;            // the header test of the screen saver in force
    UINT timedChoice;          // the "Disable For" choice now running, or 0
    DWORD policy;              // what a policy holds (POLICY_ bits), as read for the open menu
    bool processesListed;      // the system can list its processes ("Keep Off While" works)
    bool listByPolicy;         // the programs listed are the organisation's
};

// Where the refresh finds a fixed item, and the id the item gets.
struct PopupItemPlace {
    UINT item;  // command id, or position when byPosition
    bool byPosition;
    UINT id;
};

enum { POPUP_ITEM_COUNT = 21 };
// Where "Keep Off While" opens its submenu in the popup, below "Disable For".
enum { KEEP_OFF_MENU_POSITION = 10 };

// Every fixed item, in the order the refresh updates them.
extern const PopupItemPlace kPopupItems[POPUP_ITEM_COUNT];

// Whether the header test must be asked for these inputs: only when a
// screen saver is selected (every rule that uses it needs one).
bool needsWin4Test(bool noSaverSelected);

// A fixed item (ids below 4000) as the menu holds it and as it is drawn.
struct ItemLook {
    UINT state;           // MFS_GRAYED, MFS_CHECKED: the menu's state, what screen readers hear
    int iconId;           // 0: no icon in the left column
    const WCHAR* caption;  // from the string table, with its "&" marks
    bool greyed;          // drawn grey
    bool bold;
    bool check;           // IDI_CHECK at the right
    bool checkRoom;       // the item may show the check: its width keeps room
};

// The record a fixed item's data points at: its name for screen readers
// first, then the width the fixed items share. The tray window holds one for
// each of kPopupItems, for as long as its popup menu lives; each refresh
// writes them afresh.
struct FixedItemRecord {
    ItemName name;
    UINT width;
    UINT id;  // the item's command id
};

// The look of a fixed item. Its state follows the drawn look, except that
// Launch stays choosable while it is drawn grey (no screen saver selected:
// choosing it offers to select one). The line that says why items are
// greyed has an empty caption while no policy applies, when it is not shown.
ItemLook fixedItemLook(UINT itemId, const MenuContext& context);

// The record a listed program's entry points at: a fixed item's first, so
// that it is measured as one; its program as listed, and the caption that
// shows it ("&" doubled, as no access key is meant).
struct ListedItemRecord {
    FixedItemRecord item;
    char program[SAVER_PATH_SIZE];
    WCHAR caption[2 * SAVER_PATH_SIZE];
    bool held;  // one of its processes runs and Dormity holds the screen saver off for it
};

// "program" (ANSI) in UTF-16 with each "&" doubled, so that it is shown as
// it is written; size in characters.
void captionOfProgram(const char* program, WCHAR* out, size_t size);

// A listed program's entry: checked while it holds the screen saver off;
// greyed, and changing nothing, while the list is the organisation's or a
// policy holds the flag.
ItemLook listedProgramLook(const ListedItemRecord& record, const MenuContext& context);

// A caption as it is drawn and measured: without the "&" that marks its
// access key ("&&" gives one "&"). out is always terminated. Returns the
// place in out of the access key's character, -1 for none. Screen readers
// are told the caption with its marks, as the system's own menus tell them.
int shownCaption(const WCHAR* caption, WCHAR* out, size_t size);
// The character a caption marks as its access key, 0 for none.
WCHAR accessKeyOf(const WCHAR* caption);

// WM_MENUCHAR's answer for a character typed in a menu, given each item's
// access key (0: none, or not choosable) in menu order, as the caller folds
// letter case, and the item selected now (-1: none).
struct MenuCharAnswer {
    WORD action;  // MNC_IGNORE, MNC_EXECUTE or MNC_SELECT
    int item;
};
MenuCharAnswer menuCharAnswer(const WCHAR* keys, int count, WCHAR typed, int selected);

// Whether "Password Enabled" shows the check, for the family in flags.
bool passwordIsOn(DWORD flags, const PasswordValues& passwords);
