// The window procedure's handlers, by real WM_COMMAND on the run's family.
#include "support/program.h"
#include "app/start_command.h"
#include "res/resource.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"

namespace {

const char kTestDescription[] = "Dormity Command Test";
const DWORD kMissing = ~0u;

// ScreenSave_Data (size -1: none), ScreenSaveUsePassword around a command.
struct PasswordStep { int dataSize; const char* data; DWORD before, after; bool dialog; };

class FamilyHandlers : public CommandTest {
protected:
    DWORD usePassword() const
    {
        DWORD value = 0;
        return readDesktopDword("ScreenSaveUsePassword", &value) ? value : kMissing;
    }
    std::string isSecure() const  // its REG_SZ bytes
    {
        std::string bytes;
        DWORD type = 0;
        bool found = readDesktopRaw("ScreenSaverIsSecure", &bytes, &type);
        return !found ? "missing" : type == REG_SZ ? bytes : "wrong type";
    }
    void runPasswordSteps(WORD id, const std::vector<PasswordStep>& steps, bool broadcasts)
    {
        BroadcastCounter counter;
        DWORD started = processesStarted();
        for (size_t i = 0; i < steps.size(); ++i) {
            const PasswordStep& step = steps[i];
            SCOPED_TRACE(testing::Message() << "step " << i);
            step.dataSize < 0 ? deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data")
                              : setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data",
                                            REG_BINARY, step.data, step.dataSize);
            step.before == kMissing
                ? deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword")
                : setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword", step.before);
            command(id);
            EXPECT_EQ(usePassword(), step.after);
            started += step.dialog;
            EXPECT_EQ(processesStarted(), started);
            EXPECT_EQ(counter.count(), broadcasts ? static_cast<int>(i + 1) : 0);
        }
        ASSERT_TRUE(log_.waitForLines(started, 10000));
        for (const LoggedRun& run : log_.runs()) {
            EXPECT_EQ(run.module, quickSaverPath());
            EXPECT_EQ(run.commandLine, quickSaverPath() + " /a 0");
        }
    }
};

} // namespace

TEST_F(FamilyHandlers, LockChangesNothingAndToggleActsOnTheSystemFlagNotItsRecord)
{
    storeCurrentSaver(runFamily(), quickSaverPath().c_str());
    TrayWindow& window = start(true);
    BroadcastCounter broadcasts;
    HICON icon = window.trayIcon.hIcon;
    int visible = visibleWindowsOfThisProcess();
    // Wine's LockWorkStation does nothing: Lock must change nothing at all.
    command(IDM_LOCK);
    pumpMessages();
    EXPECT_EQ(ownDialog(nullptr), static_cast<HWND>(nullptr));
    EXPECT_EQ(visibleWindowsOfThisProcess(), visible);
    EXPECT_TRUE(isSaverActive() && recordActive());
    EXPECT_EQ(window.trayIcon.hIcon, icon);
    std::string stored;
    EXPECT_TRUE(storedCurrentSaver(runFamily(), &stored) && stored == quickSaverPath()) << stored;

    // Whatever the record says, the system flag alternates.
    const struct { bool record, blink, active, blinking; } steps[] = {
        {false, true, false, true}, {true, true, true, false}, {true, false, false, false}};
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << "to " << step.active << ", blink " << step.blink);
        app().flags &= ~(APP_SAVER_ACTIVE | APP_BLINK);
        app().flags |= (step.record ? +APP_SAVER_ACTIVE : 0) | (step.blink ? +APP_BLINK : 0);
        command(IDM_TOGGLE);
        EXPECT_EQ(isSaverActive(), step.active) << "the toggle followed its stale record";
        EXPECT_EQ(recordActive(), step.active);
        EXPECT_TRUE(iconShows(window.trayIcon.hIcon, step.active ? IDI_SAVER_ON : IDI_SAVER_OFF));
        EXPECT_EQ(blinking(), step.blinking);
    }
    // The system announces the flag (Wine: not unless also written), not the program.
    EXPECT_EQ(broadcasts.count(), 0);
    EXPECT_EQ(processesStarted(), 0u);
}

TEST_F(FamilyHandlers, PasswordCommandsFollowTheFamilysValues)
{
    storeCurrentSaver(runFamily(), quickSaverPath().c_str());
    setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure", "1");
    start(true);
    const char one[] = "\x01\0\0\0", nine[] = "\0\0\0\0\0\0\0\0\0";
    // Change Password, on either family: always the dialog, no broadcast;
    // password use goes off only when no password is stored.
    runPasswordSteps(IDM_CHANGEPASSWORD, {{1, "", 1, 0, true}, {4, one, 7, 7, true},
                                          {-1, "", 7, 7, true}, {9, nine, 7, 7, true}}, false);
    EXPECT_EQ(isSecure(), std::string("1", 2));
    if (runFamily() == FAMILY_95) {
        // Missing is on; only no password stored asks for one; only 1 is on.
        runPasswordSteps(IDM_PASSWORD, {{1, "", kMissing, 0, false}, {1, "", 0, 1, true},
                                        {-1, "", 0, 1, false}, {9, nine, 0, 1, false},
                                        {4, one, 0, 1, false}, {4, one, 2, 1, false}},
                         true);
        EXPECT_EQ(isSecure(), std::string("1", 2)) << "the NT family's value was touched";
        return;
    }
    // The 95 family's road (off, no password stored) is not taken.
    setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword", 0);
    setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data", REG_BINARY, "", 1);
    BroadcastCounter broadcasts;
    DWORD started = processesStarted();
    // Missing is off; any number but 0 is on.
    const struct { const char* before; const char* after; } steps[] = {
        {"1", "0"}, {"0", "1"}, {nullptr, "1"}, {" 7", "0"}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.before ? step.before : "missing");
        const char* name = "ScreenSaverIsSecure";
        step.before ? setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, name, step.before)
                    : deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, name);
        command(IDM_PASSWORD);
        EXPECT_EQ(isSecure(), std::string(step.after, 2));
    }
    EXPECT_EQ(broadcasts.count(), 4);
    EXPECT_EQ(processesStarted(), started) << "the NT family started a password dialog";
    EXPECT_EQ(usePassword(), 0u) << "the 95 family's value was touched";
}

TEST_F(FamilyHandlers, ChoosingAnEntryOrNoneIsStoredInTheFamilysPlaceBeforeTheCommandReturns)
{
    InstalledFiles saver(quickSaverPath(), windowsDirectory() + "\\dmcmdtst.scr");
    SaverFamily family = runFamily(), other = family == FAMILY_95 ? FAMILY_NT : FAMILY_95;
    storeCurrentSaver(other, "C:\\other.scr");
    TrayWindow& window = start(true);
    BroadcastCounter broadcasts;
    const SaverEntry* entry = entryNamed(kTestDescription);
    ASSERT_TRUE(entry && window.noneEntry) << "the installed fixture is not in the catalogue";
    ASSERT_FALSE(entry->flags & SAVER_CHECKED);
    WORD id = entry->menuId;
    std::string fileName = entry->fileName, stored;
    EXPECT_EQ(fileName, shortPath(windowsDirectory()) + "\\dmcmdtst.scr");

    // Done when SendMessage returns; ids of no entry are only announced.
    const WORD ids[] = {id, 4999, 405, 409, 410, 415, 402, 417};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(testing::Message() << "id " << ids[i]);
        command(ids[i]);
        EXPECT_EQ(broadcasts.count(), i + 1);
        EXPECT_TRUE(storedCurrentSaver(family, &stored) && stored == fileName) << stored;
        const SaverEntry* chosen = entryNamed(kTestDescription);
        ASSERT_TRUE(chosen && chosen->menuId == id);
        EXPECT_TRUE(chosen->flags & SAVER_CHECKED);
        EXPECT_FALSE(window.noneEntry->flags & SAVER_CHECKED);
        EXPECT_EQ(window.trayIcon.szTip, std::string("Dormity - [") + kTestDescription + "]");
        EXPECT_STREQ(window.currentDescription, kTestDescription);
    }
    // [none] clears this family's place only.
    command(IDM_NONE);
    EXPECT_FALSE(storedCurrentSaver(family, &stored)) << "still there: " << stored;
    EXPECT_TRUE(storedCurrentSaver(other, &stored) && stored == "C:\\other.scr") << stored;
    EXPECT_EQ(broadcasts.count(), 9);
    EXPECT_TRUE(window.noneEntry->flags & SAVER_CHECKED);
    EXPECT_STREQ(window.trayIcon.szTip, "Dormity - [none]");
    EXPECT_EQ(processesStarted(), 0u);
}

// What a policy holds, no command by WM_COMMAND changes: not the flag nor a time (one pending
// as the policy comes is forgotten), the screen saver, the timeout (no dialog; none stored when
// the policy comes while it is open); nor does Properties start anything while it is withheld.
TEST_F(FamilyHandlers, NoCommandChangesWhatAPolicyHolds)
{
    InstalledFiles saver(quickSaverPath(), windowsDirectory() + "\\dmcmdtst.scr");
    storeCurrentSaver(runFamily(), quickSaverPath().c_str());
    start(true);
    command(IDM_DISABLE_15);
    ASSERT_TRUE(storedEnableAt());
    setPolicyValue("ScreenSaveActive", REG_SZ, "1", 2);
    SendMessageA(tray().window, WM_SETTINGCHANGE, 0, 0);
    EXPECT_FALSE(isSaverActive() || storedEnableAt()) << "enabled, or the time kept";
    ASSERT_TRUE(announceFromAnotherProgram(true) && waitForStartedProcesses(10000));
    restartProcessCount();
    BroadcastCounter broadcasts;
    const WORD ids[] = {IDM_TOGGLE, IDM_DISABLE_15, IDM_NONE, tray().saverList->menuId};
    std::string stored;
    for (WORD id : ids) {
        if (id == IDM_NONE)
            setPolicyValue("SCRNSAVE.EXE", REG_SZ, "C:\\x.scr", 9);
        command(id);
        EXPECT_TRUE(isSaverActive() && recordActive() && !storedEnableAt()) << id;
        EXPECT_TRUE(storedCurrentSaver(runFamily(), &stored) && stored == quickSaverPath()) << id;
    }
    EXPECT_EQ(broadcasts.count(), 0);

    const UINT timeout = getSaverTimeout();
    auto setTimeout = [this] { return command(IDM_TIMEOUT), static_cast<INT_PTR>(0); };
    auto policy = [](HWND) { setPolicyValue("ScreenSaveTimeOut", REG_SZ, "600", 4); };
    const std::vector<DialogStep> steps = {act(policy), setText(IDC_MINUTES, "59"), click(IDC_OK)};
    EXPECT_TRUE(runModal("Timeout", setTimeout, steps).closedByItself);
    EXPECT_FALSE(runModal("Timeout", setTimeout, steps).opened);
    EXPECT_EQ(getSaverTimeout(), timeout) << "stored though a policy holds it";

    setPolicyValue("NoDispScrSavPage", REG_DWORD, "\x01\0\0\0", 4);
    command(IDM_PROPERTIES);
    EXPECT_EQ(processesStarted(), 0u) << "started while the page is withheld";
}

// "Prevent changing screen saver" refuses every change by the menu and the switches, in either
// state: nothing stored, announced, started or opened. A time pending still ends (puts back).
TEST_F(FamilyHandlers, PreventChangingScreenSaverRefusesEveryChangeByEveryRoute)
{
    InstalledFiles saver(quickSaverPath(), windowsDirectory() + "\\dmcmdtst.scr");
    storeCurrentSaver(runFamily(), quickSaverPath().c_str());
    start(true);
    command(IDM_DISABLE_15);
    setPolicyValue("NoDispScrSavPage", REG_DWORD, "\x01\0\0\0", 4);
    SendMessageA(tray().window, WM_SETTINGCHANGE, 0, 0);
    storeEnableAt(-60);
    SendMessageA(tray().window, WM_TIMER, IDT_ENABLE, 0);
    ASSERT_TRUE(isSaverActive() && !storedEnableAt()) << "the time pending did not end";
    auto settings = [this] {
        std::string saver;
        storedCurrentSaver(runFamily(), &saver);
        return saver + isSecure() + "|" + std::to_string(usePassword()) + "|"
               + std::to_string(getSaverTimeout()) + (storedEnableAt() ? "|pending" : "");
    };
    const std::string before = settings();
    BroadcastCounter broadcasts;
    for (bool active : {true, false}) {
        setSaverActive(active);
        SendMessageA(tray().window, WM_SETTINGCHANGE, 0, 0);
        broadcasts.reset();
        for (int id : {IDM_TOGGLE, IDM_DISABLE_60, IDM_NONE, int(tray().saverList->menuId),
                       IDM_PASSWORD, IDM_CHANGEPASSWORD, IDM_CONFIGURE, IDM_PROPERTIES})
            command(static_cast<WORD>(id));
        for (WPARAM kind : {START_ENABLE, START_DISABLE, START_DISABLE_FOR, START_DISABLE_UNTIL})
            EXPECT_EQ(SendMessageA(tray().window, WM_STARTCOMMAND, kind, 60), START_REFUSED);
        EXPECT_FALSE(runModal("Timeout", [this] { return command(IDM_TIMEOUT), INT_PTR(0); },
                              {click(IDC_OK)}).opened);
        EXPECT_EQ(isSaverActive(), active);
        EXPECT_EQ(settings(), before);
        EXPECT_EQ(broadcasts.count(), 0);
        EXPECT_EQ(processesStarted(), 0u) << "a saver or the control panel started";
    }
}
