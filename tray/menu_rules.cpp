#include "menu_rules.h"

#include "../app/application.h"
#include "../app/tray_window.h"
#include "../res/resource.h"

bool needsWin4Test(bool noSaverSelected)
{
    return !noSaverSelected;
}

void popupItemUpdates(const MenuContext& c, PopupItemUpdate u[POPUP_UPDATE_COUNT])
{
    const UINT grey = MFS_GRAYED;
    bool win9x = (c.flags & APP_WIN9X) != 0;
    UINT configureState = c.noSaverSelected ? grey : 0;
    UINT passwordState = (c.noSaverSelected || !c.win4Saver) ? grey : 0;
    bool changeAllowed = win9x && !c.noSaverSelected && c.passwords.usePassword != 0
        && c.passwords.passwordData != 0 && c.win4Saver;
    UINT lockState = (c.flags & APP_WIN2K) ? 0 : grey;

    const PopupItemUpdate table[POPUP_UPDATE_COUNT] = {
        {IDM_LAUNCH, false, IDM_LAUNCH, 0},
        {IDM_CONFIGURE, false, IDM_CONFIGURE, configureState},
        {IDM_PROPERTIES, false, IDM_PROPERTIES, 0},
        {0, true, IDM_SAVERMENU, 0},
        {IDM_TIMEOUT, false, IDM_TIMEOUT, 0},
        {IDM_TOGGLE, false, IDM_TOGGLE, 0},
        {IDM_PASSWORD, false, IDM_PASSWORD, passwordState},
        {IDM_ABOUT, false, IDM_ABOUT, 0},
        {IDM_EXIT, false, IDM_EXIT, 0},
        {6, true, IDM_PASSWORDMENU, 0},
        {IDM_CHANGEPASSWORD, false, IDM_CHANGEPASSWORD, changeAllowed ? 0u : grey},
        {IDM_LOCK, false, IDM_LOCK, lockState},
        {9, true, IDM_DISABLEMENU, 0},
        {IDM_DISABLE_15, false, IDM_DISABLE_15, 0},
        {IDM_DISABLE_30, false, IDM_DISABLE_30, 0},
        {IDM_DISABLE_60, false, IDM_DISABLE_60, 0},
        {IDM_DISABLE_120, false, IDM_DISABLE_120, 0},
        {IDM_DISABLE_240, false, IDM_DISABLE_240, 0},
        // Found only while it is shown; otherwise its update fails unseen.
        {IDM_MANAGED, false, IDM_MANAGED, grey},
    };
    for (int i = 0; i < POPUP_UPDATE_COUNT; ++i) {
        u[i] = table[i];
        // Checked for screen readers exactly where the check is drawn.
        if (fixedItemLook(u[i].id, c).check)
            u[i].state |= MFS_CHECKED;
        // What a policy holds is greyed too: its handler would change nothing.
        if (policyLocks(c.policy, static_cast<WORD>(u[i].id)))
            u[i].state |= grey;
    }
}

bool passwordIsOn(DWORD flags, const PasswordValues& passwords)
{
    if (flags & APP_WIN9X)
        return passwords.usePassword == 1 && passwords.passwordData != 0;
    return passwords.isSecure != 0;
}

ItemLook fixedItemLook(UINT itemId, const MenuContext& c)
{
    ItemLook look = {0, "", false, false, false, false};
    bool active = (c.flags & APP_SAVER_ACTIVE) != 0;
    switch (itemId) {
    case IDM_LAUNCH:
        look = {IDI_LAUNCH, "Launch Screen Saver", c.noSaverSelected, true, false, false};
        break;
    case IDM_CONFIGURE:
        look = {IDI_CONFIGURE, c.noSaverSelected ? "Configure Screen Saver" : "Configure Screen Saver...",
                c.noSaverSelected, false, false, false};
        break;
    case IDM_PROPERTIES:
        look = {IDI_PROPERTIES, "Screen Saver Properties...", false, false, false, false};
        break;
    case IDM_ABOUT:
        look = {0, "About...", false, false, false, false};
        break;
    case IDM_EXIT:
        look = {0, "Exit", false, false, false, false};
        break;
    case IDM_SAVERMENU:
        look = {IDI_SETSAVER, "Set Screen Saver", false, false, false, false};
        break;
    case IDM_TOGGLE:
        look = {active ? IDI_SAVER_OFF : IDI_SAVER_ON,
                active ? "Disable Screen Saver" : "Enable Screen Saver", false, false, false, false};
        break;
    case IDM_TIMEOUT:
        look = {IDI_TIMEOUT, "Set Timeout...", false, false, false, false};
        break;
    case IDM_PASSWORD: {
        bool greyed = c.noSaverSelected || !c.win4Saver;
        look = {IDI_PASSWORD, "Password Enabled", greyed, false,
                !greyed && passwordIsOn(c.flags, c.passwords), true};
        break;
    }
    case IDM_CHANGEPASSWORD: {
        bool allowed = !c.noSaverSelected && c.passwords.usePassword != 0
            && c.passwords.passwordData != 0 && (c.flags & APP_WIN9X) && c.win4Saver;
        look = {IDI_SETSAVER, "Change Password", !allowed, false, false, false};
        break;
    }
    case IDM_PASSWORDMENU:
        look = {IDI_PASSWORD, "Password", false, false, false, false};
        break;
    case IDM_LOCK:
        look = {IDI_LOCK, "Lock Computer", (c.flags & APP_WIN2K) == 0, false, false, false};
        break;
    case IDM_DISABLEMENU:
        look = {IDI_SAVER_OFF, "Disable For", false, false, false, false};
        break;
    case IDM_DISABLE_15:
    case IDM_DISABLE_30:
    case IDM_DISABLE_60:
    case IDM_DISABLE_120:
    case IDM_DISABLE_240: {
        static const char* const captions[] = {"15 Minutes", "30 Minutes", "1 Hour", "2 Hours",
                                               "4 Hours"};
        look = {IDI_TIMEOUT, captions[itemId - IDM_DISABLE_15], false, false,
                c.timedChoice == itemId, true};
        break;
    }
    case IDM_MANAGED:
        look = {0, c.policy ? MANAGED_CAPTION : "", true, false, false, false};
        break;
    default:
        break;
    }
    // Held by a policy: greyed, its check still telling the setting.
    if (policyLocks(c.policy, static_cast<WORD>(itemId)))
        look.greyed = true;
    return look;
}
