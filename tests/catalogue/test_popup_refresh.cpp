// The refresh that runs each time the popup opens: every item becomes
// owner-drawn with one common width, the submenu items get their ids, and
// the items that cannot apply are greyed. Run on each family (the test
// names start with "Family"), with the menu read back through the menu API
// after the window received WM_INITMENUPOPUP.
#include <gtest/gtest.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/tray_window.h"
#include "support/savers.h"
#include "support/pixels.h"
#include "res/resource.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"

namespace {

// A password value of the 95 family: absent, or a number.
struct Optional {
    bool present;
    DWORD value;
};
const Optional kMissing = {false, 0};
Optional number(DWORD value)
{
    return {true, value};
}

std::string describe(const Optional& value)
{
    return value.present ? std::to_string(value.value) : std::string("missing");
}

struct Situation {
    bool selected;       // a catalogue entry is the configured screen saver
    bool headerPasses;   // the configured file's first bytes pass the test
    Optional usePassword;
    Optional passwordData;
};

// The rules of the refresh, written out from the menu's behaviour: which
// item is greyed in a situation.
struct ExpectedItem {
    UINT item;
    bool byPosition;
    UINT id;
    bool greyed;
};

std::vector<ExpectedItem> expectedItems(const Situation& s)
{
    bool win9x = runningAsWin9x();
    bool win4 = !win9x || s.headerPasses;
    // A missing value counts as set.
    bool use = !s.usePassword.present || s.usePassword.value != 0;
    bool data = !s.passwordData.present || s.passwordData.value != 0;
    return {
        {IDM_LAUNCH, false, IDM_LAUNCH, false},
        {IDM_CONFIGURE, false, IDM_CONFIGURE, !s.selected},
        {IDM_PROPERTIES, false, IDM_PROPERTIES, false},
        {0, true, IDM_SAVERMENU, false},
        {IDM_TIMEOUT, false, IDM_TIMEOUT, false},
        {IDM_TOGGLE, false, IDM_TOGGLE, false},
        {IDM_PASSWORD, false, IDM_PASSWORD, !(s.selected && win4)},
        {IDM_ABOUT, false, IDM_ABOUT, false},
        {IDM_EXIT, false, IDM_EXIT, false},
        {6, true, IDM_PASSWORDMENU, false},
        {IDM_CHANGEPASSWORD, false, IDM_CHANGEPASSWORD,
         !(win9x && s.selected && use && data && win4)},
        {IDM_LOCK, false, IDM_LOCK, !runningAsWin2kOrLater()},
    };
}

UINT expectedCommonWidth(int points)
{
    return static_cast<UINT>(static_cast<double>(static_cast<unsigned>(points))
                             * 20.909090909090907);
}

void setPasswordValue(const char* name, const Optional& value, bool asBinary)
{
    if (!value.present) {
        deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, name);
        return;
    }
    if (asBinary) {
        // The stored password is binary; one byte is enough for a zero.
        DWORD size = value.value == 0 ? 1 : 4;
        setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, name, REG_BINARY, &value.value, size);
    } else {
        setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, name, value.value);
    }
}

class FamilyRefresh : public testing::Test {
protected:
    void SetUp() override
    {
        resetScreenSaverSettings();
        savers_.install("starfield.scr", WINDOWS_DIRECTORY, "starfield.scr");
        savers_.install("badheader.scr", WINDOWS_DIRECTORY, "badheader.scr");
        app_.reset(new Application(GetModuleHandleA(nullptr)));
        ASSERT_NE(app_->trayWindow, nullptr);
    }
    void TearDown() override
    {
        app_.reset();
        savers_.removeAll();
        resetScreenSaverSettings();
        pumpMessages();
    }
    TrayWindow& tray() { return *app_->trayWindow; }

    // Puts the system into the situation and lets the program follow it as
    // it would: a settings change, then the popup opening.
    void enter(const Situation& s)
    {
        if (s.selected)
            configureSaver(catalogueFileNameOf(WINDOWS_DIRECTORY,
                                               s.headerPasses ? "starfield.scr" : "badheader.scr"));
        else
            clearConfiguredSaver();
        setPasswordValue("ScreenSaveUsePassword", s.usePassword, false);
        setPasswordValue("ScreenSave_Data", s.passwordData, true);
        SendMessageA(tray().window, WM_SETTINGCHANGE, 0, 0);
        EXPECT_EQ(tray().noneEntry != nullptr && !(tray().noneEntry->flags & SAVER_CHECKED),
                  s.selected)
            << "the catalogue did not take up the configuration";
        openPopup(tray());
    }

    void expectMenu(const Situation& s)
    {
        SCOPED_TRACE(std::string(s.selected ? "selected" : "nothing selected")
                     + (s.headerPasses ? ", header passes" : ", header fails")
                     + ", ScreenSaveUsePassword " + describe(s.usePassword)
                     + ", ScreenSave_Data " + describe(s.passwordData));
        UINT width = expectedCommonWidth(menuFontPointsHere(tray().window));
        for (const ExpectedItem& expected : expectedItems(s)) {
            SCOPED_TRACE(std::string(expected.byPosition ? "position " : "command ")
                         + std::to_string(expected.item));
            MenuItemView item = menuItemAt(tray().popupMenu, expected.item, expected.byPosition);
            EXPECT_EQ(item.id, expected.id);
            EXPECT_EQ(item.state, expected.greyed ? static_cast<UINT>(MFS_GRAYED) : 0u);
            EXPECT_TRUE(item.type & MFT_OWNERDRAW);
            EXPECT_EQ(item.data, width);
        }
    }

    InstalledFiles savers_;
    std::unique_ptr<Application> app_;
};

} // namespace

TEST_F(FamilyRefresh, FamilyIsTheOneTheSystemReports)
{
    EXPECT_EQ((app_->flags & APP_WIN9X) != 0, runningAsWin9x());
    EXPECT_EQ((app_->flags & APP_WIN2K) != 0, runningAsWin2kOrLater());
    std::string version = requestedVersion();
    if (version == "win98") {
        EXPECT_TRUE(runningAsWin9x());
    }
    if (version == "nt40") {
        EXPECT_FALSE(runningAsWin9x() || runningAsWin2kOrLater());
    }
    if (version == "win2k") {
        EXPECT_TRUE(runningAsWin2kOrLater());
    }
}

TEST_F(FamilyRefresh, SubmenuItemsGetTheirIdsAndSeparatorsStay)
{
    HMENU savers = saverSubmenu(tray());
    openPopup(tray());
    std::vector<MenuItemView> items = menuItems(tray().popupMenu);
    ASSERT_EQ(items.size(), 15u);
    EXPECT_EQ(items[0].id, static_cast<UINT>(IDM_SAVERMENU));
    EXPECT_EQ(items[0].submenu, savers);
    EXPECT_EQ(items[6].id, static_cast<UINT>(IDM_PASSWORDMENU));
    ASSERT_NE(items[6].submenu, nullptr);
    EXPECT_EQ(GetMenuItemCount(items[6].submenu), 2);
    EXPECT_EQ(menuItemAt(items[6].submenu, 0, true).id, static_cast<UINT>(IDM_PASSWORD));
    EXPECT_EQ(menuItemAt(items[6].submenu, 1, true).id, static_cast<UINT>(IDM_CHANGEPASSWORD));
    const UINT commandsInOrder[] = {0, 0, IDM_LAUNCH, IDM_CONFIGURE, IDM_PROPERTIES, 0, 0,
                                    IDM_TIMEOUT, IDM_TOGGLE, 0, IDM_LOCK, 0, IDM_ABOUT, 0,
                                    IDM_EXIT};
    for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE("position " + std::to_string(i));
        bool separator = i == 1 || i == 5 || i == 9 || i == 11 || i == 13;
        EXPECT_EQ((items[i].type & MFT_SEPARATOR) != 0, separator);
        EXPECT_EQ((items[i].type & MFT_OWNERDRAW) != 0, !separator);
        if (commandsInOrder[i]) {
            EXPECT_EQ(items[i].id, commandsInOrder[i]);
        }
    }
}

TEST_F(FamilyRefresh, NothingSelectedGreysConfigureAndBothPasswordItems)
{
    for (bool headerPasses : {true, false}) {
        Situation s = {false, headerPasses, kMissing, kMissing};
        enter(s);
        expectMenu(s);
    }
    // Launch stays choosable although nothing is selected.
    EXPECT_EQ(menuItemAt(tray().popupMenu, IDM_LAUNCH, false).state, 0u);
}

TEST_F(FamilyRefresh, SelectedSaverAcrossPasswordValuesAndHeaders)
{
    const Optional values[] = {kMissing, number(0), number(1), number(2)};
    for (bool headerPasses : {true, false}) {
        for (const Optional& use : values) {
            for (const Optional& data : {kMissing, number(0), number(0x31323334)}) {
                Situation s = {true, headerPasses, use, data};
                enter(s);
                expectMenu(s);
            }
        }
    }
}

TEST_F(FamilyRefresh, EachOpeningRecomputesFromTheSystem)
{
    // From everything enabled to everything greyed and back: nothing of an
    // earlier refresh is kept.
    Situation open = {true, true, number(1), number(1)};
    Situation closed = {false, false, number(0), number(0)};
    for (const Situation& s : {open, closed, open, closed}) {
        enter(s);
        expectMenu(s);
    }
}

TEST_F(FamilyRefresh, AConfiguredFileOutsideTheCatalogueSelectsNothing)
{
    // The file passes the header test but is not in the Windows or System
    // directory, so "[none]" stays marked and the items that need a
    // selection stay grey.
    std::string elsewhere = freshTempDirectory("outside-catalogue") + "\\starfield.scr";
    ASSERT_TRUE(CopyFileA(fixturePath("starfield.scr").c_str(), elsewhere.c_str(), FALSE));
    configureSaver(shortPath(elsewhere));
    SendMessageA(tray().window, WM_SETTINGCHANGE, 0, 0);
    openPopup(tray());
    Situation s = {false, true, kMissing, kMissing};
    expectMenu(s);
    DeleteFileA(elsewhere.c_str());
}
