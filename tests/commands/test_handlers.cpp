// The handlers the window procedure runs itself, driven by real WM_COMMAND
// messages against the real system.ini, registry and system parameters of
// the family this run reports (the suites named Family* run on each).
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>

#include <string>

#include "support/program.h"
#include "res/resource.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"

namespace {

const char kTestDescription[] = "Dormity Command Test";

std::string oneZeroByte()
{
    return std::string(1, '\0');
}

void setPasswordData(const std::string& bytes)
{
    setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data", REG_BINARY, bytes.data(),
                static_cast<DWORD>(bytes.size()));
}

class FamilyHandlers : public CommandTest {
protected:
    bool is95() const { return runFamily() == FAMILY_95; }
    // The ScreenSaveUsePassword value as a number; ~0 when missing.
    DWORD usePassword() const
    {
        DWORD value = 0;
        return readDesktopDword("ScreenSaveUsePassword", &value) ? value : ~0u;
    }
    // ScreenSaverIsSecure's raw bytes, "missing" when absent; REG_SZ only.
    std::string isSecure() const
    {
        std::string bytes;
        DWORD type = 0;
        if (!readDesktopRaw("ScreenSaverIsSecure", &bytes, &type))
            return "missing";
        return type == REG_SZ ? bytes : "wrong type";
    }
};

} // namespace

TEST_F(FamilyHandlers, ToggleActsOnTheSystemFlagEvenWhenTheRecordIsStale)
{
    TrayWindow& window = start(true);
    BroadcastCounter broadcasts;

    // The system says on, the program's record says off.
    app().flags &= ~APP_SAVER_ACTIVE;
    command(IDM_TOGGLE);
    EXPECT_FALSE(isSaverActive()) << "the toggle followed its stale record";
    EXPECT_FALSE(recordActive());
    EXPECT_TRUE(iconShows(window.trayIcon.hIcon, IDI_SAVER_OFF));
    EXPECT_TRUE(blinking());

    // The system says off, the record says on.
    app().flags |= APP_SAVER_ACTIVE;
    command(IDM_TOGGLE);
    EXPECT_TRUE(isSaverActive()) << "the toggle followed its stale record";
    EXPECT_TRUE(recordActive());
    EXPECT_TRUE(iconShows(window.trayIcon.hIcon, IDI_SAVER_ON));
    EXPECT_FALSE(blinking());

    // In line, without blinking: off shows the steady icon.
    app().flags &= ~APP_BLINK;
    command(IDM_TOGGLE);
    EXPECT_FALSE(isSaverActive());
    EXPECT_FALSE(recordActive());
    EXPECT_TRUE(iconShows(window.trayIcon.hIcon, IDI_SAVER_OFF));
    EXPECT_FALSE(blinking());

    // The system announces the flag itself; the program adds no broadcast
    // of its own (and Wine announces only changes also written to the
    // profile, so nothing at all arrives here).
    EXPECT_EQ(broadcasts.count(), 0);
    EXPECT_EQ(processesStarted(), 0u);
}

TEST_F(FamilyHandlers, PasswordToggleFollowsTheFamilysValues)
{
    storeCurrentSaver(runFamily(), quickSaverPath().c_str());
    TrayWindow& window = start(true);
    (void)window;
    BroadcastCounter broadcasts;
    DWORD started = processesStarted();

    if (is95()) {
        // Missing reads as on: switched off, and no password dialog.
        setPasswordData(oneZeroByte());
        command(IDM_PASSWORD);
        EXPECT_EQ(usePassword(), 0u);
        EXPECT_EQ(processesStarted(), started);
        EXPECT_EQ(broadcasts.count(), 1);

        // Off with no password stored: the screen saver is asked for one
        // ("/a 0"), then password use is on.
        command(IDM_PASSWORD);
        EXPECT_EQ(usePassword(), 1u);
        EXPECT_EQ(processesStarted(), started + 1);
        EXPECT_EQ(broadcasts.count(), 2);
        ASSERT_TRUE(log_.waitForLines(1, 10000));
        std::vector<LoggedRun> runs = log_.runs();
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].module, quickSaverPath());
        EXPECT_EQ(runs[0].commandLine, quickSaverPath() + " /a 0");

        // Off with the data missing, or longer than four bytes, or holding
        // a password: no dialog, straight on.
        const std::string cases[] = {std::string(), std::string(9, '\0'),
                                     std::string("\x01\x00\x00\x00", 4)};
        for (const std::string& data : cases) {
            setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword", 0);
            if (data.empty())
                deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data");
            else
                setPasswordData(data);
            command(IDM_PASSWORD);
            EXPECT_EQ(usePassword(), 1u) << "data of " << data.size() << " bytes";
            EXPECT_EQ(processesStarted(), started + 1) << "data of " << data.size() << " bytes";
        }

        // Only exactly 1 counts as on: 2 is switched on (to 1).
        setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword", 2);
        command(IDM_PASSWORD);
        EXPECT_EQ(usePassword(), 1u);
        EXPECT_EQ(broadcasts.count(), 6);
        // The NT family's value is none of this family's business.
        EXPECT_EQ(isSecure(), "missing");
    } else {
        // Tempt the 95 family's road: it must not be taken.
        setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword", 0);
        setPasswordData(oneZeroByte());

        setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure", "1");
        command(IDM_PASSWORD);
        EXPECT_EQ(isSecure(), std::string("0", 2));
        EXPECT_EQ(broadcasts.count(), 1);

        command(IDM_PASSWORD);
        EXPECT_EQ(isSecure(), std::string("1", 2));
        EXPECT_EQ(broadcasts.count(), 2);

        deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure");
        command(IDM_PASSWORD);
        EXPECT_EQ(isSecure(), std::string("1", 2));

        // Any number but 0 is on.
        setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure", " 7");
        command(IDM_PASSWORD);
        EXPECT_EQ(isSecure(), std::string("0", 2));
        EXPECT_EQ(broadcasts.count(), 4);

        EXPECT_EQ(processesStarted(), started) << "the NT family started a password dialog";
        EXPECT_EQ(usePassword(), 0u) << "the 95 family's value was touched";
    }
}

TEST_F(FamilyHandlers, ChangePasswordWorksOnThe95ValuesWithoutBroadcast)
{
    storeCurrentSaver(runFamily(), quickSaverPath().c_str());
    setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure", "1");
    start(true);
    BroadcastCounter broadcasts;
    DWORD started = processesStarted();

    // No password stored: the dialog is started and password use goes off.
    setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword", 1);
    setPasswordData(oneZeroByte());
    command(IDM_CHANGEPASSWORD);
    EXPECT_EQ(processesStarted(), started + 1);
    EXPECT_EQ(usePassword(), 0u);

    // A password stored, or the data unreadable as four bytes: nothing is
    // written (a 7 stays a 7).
    const std::string cases[] = {std::string("\x04\x03\x02\x01", 4), std::string(),
                                 std::string(9, '\0')};
    for (const std::string& data : cases) {
        setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword", 7);
        if (data.empty())
            deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data");
        else
            setPasswordData(data);
        command(IDM_CHANGEPASSWORD);
        EXPECT_EQ(usePassword(), 7u) << "data of " << data.size() << " bytes";
    }
    EXPECT_EQ(processesStarted(), started + 4) << "the dialog starts every time";

    // The same command line on both families, read from this family's
    // place; no sound (see the sound tests), no broadcast, and the NT
    // family's value untouched.
    ASSERT_TRUE(log_.waitForLines(4, 10000));
    for (const LoggedRun& run : log_.runs()) {
        EXPECT_EQ(run.module, quickSaverPath());
        EXPECT_EQ(run.commandLine, quickSaverPath() + " /a 0");
    }
    EXPECT_EQ(broadcasts.count(), 0);
    EXPECT_EQ(isSecure(), std::string("1", 2));
}

TEST_F(FamilyHandlers, ChoosingNoneClearsOnlyTheFamilysPlace)
{
    SaverFamily family = runFamily();
    SaverFamily other = family == FAMILY_95 ? FAMILY_NT : FAMILY_95;
    storeCurrentSaver(family, quickSaverPath().c_str());
    storeCurrentSaver(other, "C:\\other.scr");
    TrayWindow& window = start(true);
    BroadcastCounter broadcasts;

    command(IDM_NONE);
    std::string value;
    EXPECT_FALSE(storedCurrentSaver(family, &value)) << "still there: " << value;
    ASSERT_TRUE(storedCurrentSaver(other, &value));
    EXPECT_EQ(value, "C:\\other.scr");
    EXPECT_EQ(broadcasts.count(), 1);
    ASSERT_NE(window.noneEntry, nullptr);
    EXPECT_TRUE(window.noneEntry->flags & SAVER_CHECKED);
    EXPECT_STREQ(window.trayIcon.szTip, "Dormity - [none]");
    EXPECT_EQ(processesStarted(), 0u);
}

TEST_F(FamilyHandlers, ChoosingAnEntryIsStoredAndShownBeforeTheCommandReturns)
{
    InstalledFiles saver(quickSaverPath(), windowsDirectory() + "\\dmcmdtst.scr");
    SaverFamily family = runFamily();
    SaverFamily other = family == FAMILY_95 ? FAMILY_NT : FAMILY_95;
    storeCurrentSaver(other, "C:\\other.scr");
    TrayWindow& window = start(true);
    BroadcastCounter broadcasts;

    const SaverEntry* entry = entryNamed(kTestDescription);
    ASSERT_NE(entry, nullptr) << "the installed fixture is not in the catalogue";
    ASSERT_FALSE(entry->flags & SAVER_CHECKED);
    WORD id = entry->menuId;
    std::string fileName = entry->fileName;
    EXPECT_EQ(fileName, shortPath(windowsDirectory()) + "\\dmcmdtst.scr");

    // The whole effect is there when SendMessage returns: the program's own
    // broadcast was handled inside the command.
    command(id);
    std::string stored;
    ASSERT_TRUE(storedCurrentSaver(family, &stored));
    EXPECT_EQ(stored, fileName);
    ASSERT_TRUE(storedCurrentSaver(other, &stored));
    EXPECT_EQ(stored, "C:\\other.scr");
    const SaverEntry* chosen = entryWithId(id);
    ASSERT_NE(chosen, nullptr);
    EXPECT_STREQ(chosen->description, kTestDescription);
    EXPECT_TRUE(chosen->flags & SAVER_CHECKED);
    ASSERT_NE(window.noneEntry, nullptr);
    EXPECT_FALSE(window.noneEntry->flags & SAVER_CHECKED);
    EXPECT_EQ(std::string(window.trayIcon.szTip), std::string("Dormity - [") + kTestDescription + "]");
    EXPECT_STREQ(window.currentDescription, kTestDescription);
    EXPECT_EQ(broadcasts.count(), 1);

    // Ids that match no entry change nothing but are still announced.
    const WORD unknown[] = {4999, 405, 409, 410, 415, 402, 417};
    int expected = 1;
    for (WORD other : unknown) {
        command(other);
        ++expected;
        EXPECT_EQ(broadcasts.count(), expected) << "id " << other;
        ASSERT_TRUE(storedCurrentSaver(family, &stored));
        EXPECT_EQ(stored, fileName) << "id " << other;
    }
    EXPECT_TRUE(entryWithId(id) && (entryWithId(id)->flags & SAVER_CHECKED));
    EXPECT_EQ(processesStarted(), 0u);
}

TEST_F(FamilyHandlers, LockShowsNothingAndChangesNothing)
{
    storeCurrentSaver(runFamily(), quickSaverPath().c_str());
    TrayWindow& window = start(true);
    BroadcastCounter broadcasts;
    HICON icon = window.trayIcon.hIcon;
    int visible = visibleWindowsOfThisProcess();

    command(IDM_LOCK);
    pumpMessages();
    // Wine's user32 exports LockWorkStation on every reported version and
    // does nothing in it, so on NT 4 as on 2000 the command must end
    // quietly: no box, no window, no program, no settings change.
    RecordProperty("LockWorkStationExported",
                   GetProcAddress(GetModuleHandleA("user32.dll"), "LockWorkStation") ? 1 : 0);
    EXPECT_EQ(ownDialog(nullptr), static_cast<HWND>(nullptr));
    EXPECT_EQ(visibleWindowsOfThisProcess(), visible);
    EXPECT_EQ(processesStarted(), 0u);
    EXPECT_EQ(broadcasts.count(), 0);
    EXPECT_TRUE(isSaverActive());
    EXPECT_TRUE(recordActive());
    EXPECT_EQ(window.trayIcon.hIcon, icon);
    std::string stored;
    ASSERT_TRUE(storedCurrentSaver(runFamily(), &stored));
    EXPECT_EQ(stored, quickSaverPath());
}
