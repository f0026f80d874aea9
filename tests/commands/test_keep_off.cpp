// Off while listed programs run, in process: the list and the marker as the registry holds them,
// both ways of listing processes, the display request, the tooltip and the policy.
#include "support/program.h"
#include "commands/blink_preference.h"
#include "commands/dialogs.h"
#include "commands/display_request.h"
#include "commands/keep_off.h"
#include "commands/process_list.h"
#include "res/resource.h"
#include "tray/menu_rules.h"

#include <map>

namespace {

// What Wine keeps of the process's last request (it has no effect there): asked with no flags,
// which leaves a continuous request as it is.
bool displayRequested()
{
    const DWORD asked = ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED;
    return (SetThreadExecutionState(0) & asked) == asked;
}

struct Listed {
    std::string name, path;  // lower case
    SeenProcess seen;
};

bool collect(const SeenProcess& process, void* context)
{
    Listed listed = {process.fileName, process.fullPath ? process.fullPath : "", process};
    CharLowerA(&listed.name[0]), CharLowerA(&listed.path[0]);
    (*static_cast<std::map<DWORD, Listed>*>(context))[process.id] = listed;
    return true;
}

class FamilyKeepOff : public CommandTest {
protected:
    const std::string notepad_ = systemDirectory() + "\\notepad.exe";
};

}  // namespace

TEST_F(FamilyKeepOff, TheListAndTheMarkerAreReadWhateverTheRegistryHolds)
{
    KeepOffRules rules;
    const std::string huge(KEEP_OFF_MAX_BYTES + 2, 'a');
    const struct { std::string bytes; DWORD type; UINT count; } lists[] = {
        {std::string("a.exe\0b.exe\0\0", 13), REG_MULTI_SZ, 2}, {"a.exe", REG_SZ, 0},
        {std::string("a.exe\0\0", 7), REG_BINARY, 0}, {huge, REG_MULTI_SZ, 0},
        {std::string(5000, 'n') + std::string("\0c.exe", 6), REG_MULTI_SZ, 1}};
    for (const auto& list : lists) {
        listKeepOffPrograms(list.bytes, list.type);
        readKeepOffRules(rules);
        EXPECT_EQ(rules.count, list.count) << list.type << ", " << list.bytes.size() << " bytes";
    }
    // A marker of any form says Dormity held it: with nothing running, it comes back at the start.
    const struct { DWORD type; std::string bytes; } markers[] = {
        {REG_SZ, std::string("notepad.exe\0", 12)}, {REG_DWORD, "\1\0\0\0"},
        {REG_SZ, std::string(600, 'x')}};
    for (const auto& marker : markers) {
        setRegValue(HKEY_CURRENT_USER, BLINK_KEY, KEPT_OFF_FOR_VALUE, marker.type,
                    marker.bytes.data(), static_cast<DWORD>(marker.bytes.size()));
        start(false);
        EXPECT_TRUE(isSaverActive()) << marker.type << ", " << marker.bytes.size() << " bytes";
        EXPECT_FALSE(readRegValue(HKEY_CURRENT_USER, BLINK_KEY, KEPT_OFF_FOR_VALUE, nullptr));
    }
}

TEST_F(FamilyKeepOff, TheDisplayStaysOnWhileDormityHoldsItOffUnlessAPolicySaysOtherwise)
{
    setRegDword(HKEY_CURRENT_USER, BLINK_KEY, KEEP_DISPLAY_ON_VALUE, 1);
    start(true);
    EXPECT_FALSE(displayRequested());
    // Disable, Enable, Disable For; then enabled and disabled by another program (0 and 1).
    for (auto step : {std::make_pair(IDM_TOGGLE, true), {IDM_TOGGLE, false}, {IDM_DISABLE_15, true},
                      {1, false}, {0, false}}) {
        if (step.first > 1)
            command(static_cast<WORD>(step.first));
        else
            ASSERT_TRUE(announceFromAnotherProgram(step.first == 1));
        EXPECT_EQ(displayRequested(), step.second) << step.first;
    }

    // A listed program runs as Dormity starts: off for it, and the tooltip says so.
    ChildProcess player;
    ASSERT_TRUE(player.start(notepad_));
    listKeepOffPrograms(std::string("Notepad.exe\0", 12));
    start(true);
    EXPECT_FALSE(isSaverActive());
    EXPECT_STREQ(tray().trayIcon.szTip, "Dormity - off while notepad.exe runs");
    EXPECT_TRUE(displayRequested()) << "a listed program";
    // The organisation sets when the display goes off, then no longer; the preference off, on.
    auto changed = [&](HKEY root, const char* key, const char* name, int value) {
        if (value < 0)
            deleteRegValue(root, key, name);
        else
            setRegDword(root, key, name, static_cast<DWORD>(value));
        SendMessageA(tray().window, WM_SETTINGCHANGE, 0, 0);
        return displayRequested();
    };
    EXPECT_FALSE(changed(HKEY_LOCAL_MACHINE, DISPLAY_OFF_POLICY_KEY, "DCSettingIndex", 300));
    EXPECT_TRUE(changed(HKEY_LOCAL_MACHINE, DISPLAY_OFF_POLICY_KEY, "DCSettingIndex", -1));
    EXPECT_FALSE(changed(HKEY_CURRENT_USER, BLINK_KEY, KEEP_DISPLAY_ON_VALUE, 0));
    EXPECT_TRUE(changed(HKEY_CURRENT_USER, BLINK_KEY, KEEP_DISPLAY_ON_VALUE, 1));
    // Signing out while it holds: on again at once, and the request with it.
    SendMessageA(tray().window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_TRUE(isSaverActive());
    EXPECT_FALSE(readRegValue(HKEY_CURRENT_USER, BLINK_KEY, KEPT_OFF_FOR_VALUE, nullptr));
    EXPECT_FALSE(displayRequested()) << "sign-out";
}

TEST(KeepOffProcesses, EveryWayOfListingFindsAProgramAndPsapiAndTheProcessItsFullPath)
{
    restartProcessCount();
    ChildProcess player;
    std::string notepad = systemDirectory() + "\\notepad.exe", self = moduleFileName();
    ASSERT_TRUE(player.start(notepad));
    CharLowerA(&notepad[0]), CharLowerA(&self[0]);
    ProcessLister lister;
    prepareProcessLister(lister);
    ASSERT_TRUE(canListProcesses(lister));
    std::map<DWORD, Listed> ntdll, toolhelp, psapi;
    ASSERT_TRUE(listProcessesByNtdll(lister, collect, &ntdll));
    ASSERT_TRUE(listProcessesByToolhelp(lister, collect, &toolhelp));
    ASSERT_TRUE(listProcessesByPsapi(lister, collect, &psapi));
    for (auto* list : {&ntdll, &toolhelp, &psapi})
        EXPECT_EQ((*list)[player.id].name, "notepad.exe");
    EXPECT_TRUE(ntdll[player.id].seen.sessionKnown && inOwnSession(lister, ntdll[player.id].seen));
    EXPECT_EQ(psapi[player.id].path, notepad) << "NT 4.0's way gives the path";
    for (auto* list : {&ntdll, &toolhelp})
        EXPECT_EQ((*list)[GetCurrentProcessId()].name, fileNameOfPath(self.c_str()));
    char path[MAX_PATH];
    ASSERT_TRUE(processFullPath(lister, player.id, path, sizeof path));
    EXPECT_EQ(lstrcmpiA(path, notepad.c_str()), 0) << path;
}

// "Keep Off While" as it opens: an entry for each listed program before "Add Running
// Program...", the one holding the screen saver off checked for screen readers too; choosing an
// entry takes it off the list. While a policy holds the flag (here from the start) the entries
// are greyed and change nothing, and neither a listed program nor the switch turns it off, nor
// may the About box's display box change.
TEST_F(FamilyKeepOff, TheSubmenuListsTheProgramsAndNothingChangesTheFlagAPolicyHolds)
{
    ChildProcess player;
    ASSERT_TRUE(player.start(notepad_));
    const std::string listed("vlc.exe\0Notepad.exe\0", 21);
    listKeepOffPrograms(listed);
    setRegDword(HKEY_CURRENT_USER, BLINK_KEY, KEEP_DISPLAY_ON_VALUE, 1);
    setPolicyValue("ScreenSaveActive", REG_SZ, "1", 2);
    start(true);
    HMENU submenu = GetSubMenu(tray().popupMenu, KEEP_OFF_MENU_POSITION);
    auto open = [&] {  // the popup, then the submenu, as a click opens them
        openPopup(tray()), openMenu(tray(), submenu);
        std::vector<std::pair<UINT, UINT>> items;  // id, state (a separator's 0, 0)
        for (const MenuItemView& item : menuItems(submenu))
            items.push_back({item.id, item.id ? item.state & (MF_CHECKED | MF_GRAYED) : 0});
        return items;
    };
    auto list = [] {
        std::string value;
        return readRegValue(HKEY_CURRENT_USER, BLINK_KEY, KEEP_OFF_VALUE, &value), value;
    };
    const UINT first = IDM_KEEPOFF_FIRST, grey = MF_GRAYED;
    using Items = std::vector<std::pair<UINT, UINT>>;
    EXPECT_FALSE(tray().disableWhile("notepad.exe"));
    EXPECT_FALSE(tray().disableWhile(std::to_string(player.id).c_str()));
    pumpUntil([] { return false; }, 1500);  // a look or two of the clock
    EXPECT_TRUE(isSaverActive());
    EXPECT_FALSE(readRegValue(HKEY_CURRENT_USER, BLINK_KEY, KEPT_OFF_FOR_VALUE, nullptr));
    EXPECT_FALSE(displayRequested());
    BOOL enabled = TRUE;  // the About box's display box
    runModal("About", [this] { return showAboutDialog(app()); },
             {act([&](HWND d) { enabled = IsWindowEnabled(GetDlgItem(d, IDC_KEEP_DISPLAY_ON)); }),
              click(IDC_OK)});
    EXPECT_FALSE(enabled) << "the display box changeable while a policy holds the flag";
    EXPECT_EQ(open(), (Items{{first, grey}, {first + 1, grey}, {0, 0}, {IDM_ADD_RUNNING, grey}}));
    command(IDM_KEEPOFF_FIRST);
    EXPECT_EQ(list(), listed) << "changed while a policy holds the flag";

    removePolicies();
    SendMessageA(tray().window, WM_SETTINGCHANGE, 0, 0);
    ASSERT_TRUE(pumpUntil([] { return !isSaverActive(); }, 5000)) << "the listed program";
    EXPECT_EQ(open(), (Items{{first, 0}, {first + 1, MF_CHECKED}, {0, 0}, {IDM_ADD_RUNNING, 0}}));
    command(IDM_KEEPOFF_FIRST);
    EXPECT_EQ(list(), std::string("Notepad.exe\0\0", 13));
}
