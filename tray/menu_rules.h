// What the popup shows, decided apart from the menu calls: which items are
// greyed, and each owner-drawn item's icon, caption and marks.
#pragma once
#include <windows.h>

#include "../base/item_name.h"
#include "../saverconfig/saver_settings.h"

struct MenuContext {
    DWORD flags;               // the application's state bits
    bool noSaverSelected;      // the "[none]" entry carries the check mark
    PasswordValues passwords;  // as read for the family in flags
    bool win4Saver;            // the header test of the configured file
    UINT timedChoice;          // the "Disable For" choice now running, or 0
    DWORD policy;              // what a policy holds (POLICY_ bits), as read now
};

// One of the refresh's menu updates, in the order they are made.
struct PopupItemUpdate {
    UINT item;        // command id, or position when byPosition
    bool byPosition;
    UINT id;          // the id the item gets
    UINT state;       // MFS_GRAYED, and MFS_CHECKED where the item shows its check
};

enum { POPUP_UPDATE_COUNT = 19 };

void popupItemUpdates(const MenuContext& context, PopupItemUpdate updates[POPUP_UPDATE_COUNT]);

// Whether the header test must be asked for these inputs: only when a
// screen saver is selected (every rule that uses it needs one).
bool needsWin4Test(bool noSaverSelected);

struct ItemLook {
    int iconId;           // 0: no icon in the left column
    const char* caption;  // null for screen saver entries (their description)
    bool greyed;
    bool bold;
    bool check;           // IDI_CHECK at the right
    bool checkRoom;       // the item may show the check: its width keeps room
};

// The record a fixed item's data points at: its name for screen readers
// first, then the width the fixed items share. The tray window holds one for
// each of the refresh's updates, for as long as its popup menu lives; each
// refresh writes them afresh.
struct FixedItemRecord {
    ItemName name;
    UINT width;
    UINT id;  // the item's command id
};

// The look of a fixed item (ids below 4000). The line that says why items
// are greyed has no caption while no policy applies, when it is not shown.
ItemLook fixedItemLook(UINT itemId, const MenuContext& context);

#define MANAGED_CAPTION "Some settings are managed by your organization."

// Whether "Password Enabled" shows the check, for the family in flags.
bool passwordIsOn(DWORD flags, const PasswordValues& passwords);
