#include "menu_rules.h"

#include "../app/application.h"
#include "../app/tray_window.h"
#include "../base/ui_text.h"
#include "../res/resource.h"
#include "../res/string_ids.h"

const PopupItemPlace kPopupItems[POPUP_ITEM_COUNT] = {
    {IDM_LAUNCH, false, IDM_LAUNCH},
    {IDM_CONFIGURE, false, IDM_CONFIGURE},
    {IDM_PROPERTIES, false, IDM_PROPERTIES},
    {0, true, IDM_SAVERMENU},
    {IDM_TIMEOUT, false, IDM_TIMEOUT},
    {IDM_TOGGLE, false, IDM_TOGGLE},
    {IDM_PASSWORD, false, IDM_PASSWORD},
    {IDM_ABOUT, false, IDM_ABOUT},
    {IDM_EXIT, false, IDM_EXIT},
    {6, true, IDM_PASSWORDMENU},
    {IDM_CHANGEPASSWORD, false, IDM_CHANGEPASSWORD},
    {IDM_LOCK, false, IDM_LOCK},
    {9, true, IDM_DISABLEMENU},
    {IDM_DISABLE_15, false, IDM_DISABLE_15},
    {IDM_DISABLE_30, false, IDM_DISABLE_30},
    {IDM_DISABLE_60, false, IDM_DISABLE_60},
    {IDM_DISABLE_120, false, IDM_DISABLE_120},
    {IDM_DISABLE_240, false, IDM_DISABLE_240},
    // Found only while it is shown; otherwise its update fails unseen.
    {IDM_MANAGED, false, IDM_MANAGED},
    {KEEP_OFF_MENU_POSITION, true, IDM_KEEPOFFMENU},
    {IDM_ADD_RUNNING, false, IDM_ADD_RUNNING},
};

bool needsWin4Test(bool noSaverSelected)
{
    return !noSaverSelected;
}

bool passwordIsOn(DWORD flags, const PasswordValues& passwords)
{
    if (flags & APP_WIN9X)
        return passwords.usePassword == 1 && passwords.passwordData != 0;
    return passwords.isSecure != 0;
}

namespace {

ItemLook lookOf(int iconId, UINT captionId, bool greyed)
{
    ItemLook look = {0, iconId, uiText(captionId), greyed, false, false, false};
    return look;
}

} // namespace

ItemLook fixedItemLook(UINT itemId, const MenuContext& c)
{
    const bool none = c.noSaverSelected;
    const bool active = (c.flags & APP_SAVER_ACTIVE) != 0;
    ItemLook look = {0, 0, L"", false, false, false, false};
    switch (itemId) {
    case IDM_LAUNCH:
        look = lookOf(IDI_LAUNCH, IDS_LAUNCH, none);
        look.bold = true;
        break;
    case IDM_CONFIGURE:
        // Its dots promise a dialog, which only a selected screen saver has.
        look = lookOf(IDI_CONFIGURE, none ? IDS_CONFIGURE_GREYED : IDS_CONFIGURE, none);
        break;
    case IDM_PROPERTIES: look = lookOf(IDI_PROPERTIES, IDS_PROPERTIES, false); break;
    case IDM_ABOUT: look = lookOf(0, IDS_ABOUT, false); break;
    case IDM_EXIT: look = lookOf(0, IDS_EXIT, false); break;
    case IDM_SAVERMENU: look = lookOf(IDI_SETSAVER, IDS_SET_SAVER, false); break;
    case IDM_TOGGLE:
        look = active ? lookOf(IDI_SAVER_OFF, IDS_DISABLE, false)
                      : lookOf(IDI_SAVER_ON, IDS_ENABLE, false);
        break;
    case IDM_TIMEOUT: look = lookOf(IDI_TIMEOUT, IDS_SET_TIMEOUT, false); break;
    case IDM_PASSWORD:
        look = lookOf(IDI_PASSWORD, IDS_PASSWORD_ENABLED, none || !c.win4Saver);
        look.check = !look.greyed && passwordIsOn(c.flags, c.passwords);
        look.checkRoom = true;
        break;
    case IDM_CHANGEPASSWORD: {
        bool allowed = (c.flags & APP_WIN9X) && !none && c.passwords.usePassword != 0
            && c.passwords.passwordData != 0 && c.win4Saver;
        look = lookOf(IDI_SETSAVER, IDS_CHANGE_PASSWORD, !allowed);
        break;
    }
    case IDM_PASSWORDMENU: look = lookOf(IDI_PASSWORD, IDS_PASSWORD_MENU, false); break;
    case IDM_LOCK: look = lookOf(IDI_LOCK, IDS_LOCK, (c.flags & APP_WIN2K) == 0); break;
    case IDM_DISABLEMENU: look = lookOf(IDI_SAVER_OFF, IDS_DISABLE_FOR, false); break;
    // Greyed where the system cannot list its processes: nothing could be seen to run.
    case IDM_KEEPOFFMENU:
        look = lookOf(IDI_SAVER_OFF, IDS_KEEP_OFF_WHILE, !c.processesListed);
        break;
    case IDM_ADD_RUNNING:
        look = lookOf(0, IDS_ADD_RUNNING, c.listByPolicy || !c.processesListed);
        break;
    case IDM_DISABLE_15:
    case IDM_DISABLE_30:
    case IDM_DISABLE_60:
    case IDM_DISABLE_120:
    case IDM_DISABLE_240: {
        static const UINT captions[] = {IDS_15_MINUTES, IDS_30_MINUTES, IDS_1_HOUR, IDS_2_HOURS,
                                        IDS_4_HOURS};
        look = lookOf(IDI_TIMEOUT, captions[itemId - IDM_DISABLE_15], false);
        look.check = c.timedChoice == itemId;
        look.checkRoom = true;
        break;
    }
    case IDM_MANAGED:
        look = c.policy ? lookOf(0, IDS_MANAGED, true) : look;
        look.greyed = true;
        break;
    default:
        break;
    }
    // Held by a policy: greyed, its check still telling the setting.
    if (policyLocks(c.policy, static_cast<WORD>(itemId)))
        look.greyed = true;
    if (look.greyed && itemId != IDM_LAUNCH)
        look.state |= MFS_GRAYED;
    if (look.check)
        look.state |= MFS_CHECKED;
    return look;
}

void captionOfProgram(const char* program, WCHAR* out, size_t size)
{
    WCHAR wide[SAVER_PATH_SIZE];
    wideFromAnsi(program, wide, sizeof wide / sizeof wide[0]);
    size_t length = 0;
    for (const WCHAR* p = wide; *p && length + 2 < size; ++p) {
        if (*p == L'&')
            out[length++] = L'&';
        out[length++] = *p;
    }
    if (size > 0)
        out[length] = L'\0';
}

ItemLook listedProgramLook(const ListedItemRecord& record, const MenuContext& c)
{
    bool greyed = c.listByPolicy || policyLocks(c.policy, IDM_KEEPOFF_FIRST);
    ItemLook look = {0, 0, record.caption, greyed, false, record.held, true};
    if (greyed)
        look.state |= MFS_GRAYED;
    if (look.check)
        look.state |= MFS_CHECKED;
    return look;
}

int shownCaption(const WCHAR* caption, WCHAR* out, size_t size)
{
    if (size == 0)
        return -1;
    size_t length = 0;
    int key = -1;
    for (const WCHAR* p = caption; *p && length + 1 < size; ++p) {
        if (*p == L'&') {
            if (*++p == L'\0')
                break;
            // "&&" stands for one "&", marking nothing.
            if (*p != L'&' && key < 0)
                key = static_cast<int>(length);
        }
        out[length++] = *p;
    }
    out[length] = L'\0';
    return key;
}

WCHAR accessKeyOf(const WCHAR* caption)
{
    WCHAR shown[260];
    int key = shownCaption(caption, shown, sizeof shown / sizeof shown[0]);
    return key < 0 ? 0 : shown[key];
}

MenuCharAnswer menuCharAnswer(const WCHAR* keys, int count, WCHAR typed, int selected)
{
    // As the system's own menus do: one item of that key is chosen; among
    // several, the next after the one selected is selected, round.
    int first = -1;
    int next = -1;
    int matches = 0;
    for (int i = 0; i < count; ++i) {
        if (!keys[i] || keys[i] != typed)
            continue;
        ++matches;
        first = first < 0 ? i : first;
        next = next < 0 && i > selected ? i : next;
    }
    MenuCharAnswer answer = {MNC_IGNORE, 0};
    if (matches == 1)
        answer = {MNC_EXECUTE, first};
    else if (matches > 1)
        answer = {MNC_SELECT, next >= 0 ? next : first};
    return answer;
}
