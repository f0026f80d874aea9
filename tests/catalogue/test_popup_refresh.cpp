// The refresh each time the popup opens: every item owner-drawn with one
// common width, the submenu items given their ids, the items that cannot
// apply greyed; and the width rules behind it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/tray_window.h"
#include "catalogue/catalogue_env.h"
#include "res/resource.h"
#include "support/wine_env.h"
#include "tray/menu_metrics.h"

namespace {

const long kMissing = -1;  // a password value that is not stored

struct Situation {
    bool selected;      // a catalogue entry is the configured screen saver
    bool headerPasses;  // the configured file's first bytes pass the test
    long usePassword;
    long passwordData;
};

void setPasswordValue(const char* name, long value, bool asBinary)
{
    DWORD number = static_cast<DWORD>(value);
    if (value == kMissing)
        deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, name);
    else if (asBinary)  // the stored password is binary; one byte is enough for a zero
        setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, name, REG_BINARY, &number, number ? 4 : 1);
    else
        setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, name, number);
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
        EXPECT_EQ(!(tray().noneEntry->flags & SAVER_CHECKED), s.selected)
            << "the catalogue did not take up the configuration";
        openPopup(tray());
    }

    // Which item is greyed in a situation, written out from the menu's rules.
    void expectMenu(const Situation& s)
    {
        SCOPED_TRACE(std::string(s.selected ? "selected" : "nothing selected")
                     + (s.headerPasses ? ", header passes" : ", header fails")
                     + ", ScreenSaveUsePassword " + std::to_string(s.usePassword)
                     + ", ScreenSave_Data " + std::to_string(s.passwordData));
        bool win9x = runningAsWin9x();
        bool win4 = !win9x || s.headerPasses;
        bool use = s.usePassword != 0;  // a missing value counts as set
        bool data = s.passwordData != 0;
        const struct {
            UINT item;
            bool byPosition;
            UINT id;
            bool greyed;
        } rows[] = {
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
            {IDM_CHANGEPASSWORD, false, IDM_CHANGEPASSWORD, !(win9x && s.selected && use && data && win4)},
            {IDM_LOCK, false, IDM_LOCK, !runningAsWin2kOrLater()},
        };
        // 230 / 11 pixels per point, cut to whole pixels.
        UINT width = static_cast<UINT>(menuFontPointsHere(tray().window) * 20.909090909090907);
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.byPosition ? "position " : "command ") + std::to_string(row.item));
            MenuItemView item = menuItemAt(tray().popupMenu, row.item, row.byPosition);
            EXPECT_EQ(item.id, row.id);
            EXPECT_EQ(item.state, row.greyed ? static_cast<UINT>(MFS_GRAYED) : 0u);
            EXPECT_TRUE(item.type & MFT_OWNERDRAW);
            EXPECT_EQ(item.data, width);
        }
    }

    InstalledSavers savers_;
    std::unique_ptr<Application> app_;
};

} // namespace

TEST_F(FamilyRefresh, FamilyIsTheOneTheSystemReports)
{
    EXPECT_EQ((app_->flags & APP_WIN9X) != 0, runningAsWin9x());
    EXPECT_EQ((app_->flags & APP_WIN2K) != 0, runningAsWin2kOrLater());
    std::string version = requestedVersion();
    EXPECT_TRUE(version != "win98" || runningAsWin9x());
    EXPECT_TRUE(version != "nt40" || !(runningAsWin9x() || runningAsWin2kOrLater()));
    EXPECT_TRUE(version != "win2k" || runningAsWin2kOrLater());
}

TEST_F(FamilyRefresh, SubmenuItemsGetTheirIdsAndSeparatorsStay)
{
    HMENU savers = saverSubmenu(tray());
    openPopup(tray());
    std::vector<MenuItemView> items = menuItems(tray().popupMenu);
    ASSERT_EQ(items.size(), 15u);
    EXPECT_EQ(items[0].submenu, savers);
    ASSERT_NE(items[6].submenu, nullptr);
    EXPECT_EQ(GetMenuItemCount(items[6].submenu), 2);
    EXPECT_EQ(menuItemAt(items[6].submenu, 0, true).id, static_cast<UINT>(IDM_PASSWORD));
    EXPECT_EQ(menuItemAt(items[6].submenu, 1, true).id, static_cast<UINT>(IDM_CHANGEPASSWORD));
    // 0: a separator.
    const UINT commandsInOrder[] = {IDM_SAVERMENU, 0, IDM_LAUNCH, IDM_CONFIGURE, IDM_PROPERTIES, 0,
                                    IDM_PASSWORDMENU, IDM_TIMEOUT, IDM_TOGGLE, 0, IDM_LOCK, 0,
                                    IDM_ABOUT, 0, IDM_EXIT};
    for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE("position " + std::to_string(i));
        bool separator = commandsInOrder[i] == 0;
        EXPECT_EQ((items[i].type & MFT_SEPARATOR) != 0, separator);
        EXPECT_EQ((items[i].type & MFT_OWNERDRAW) != 0, !separator);
        EXPECT_EQ(items[i].id, commandsInOrder[i]);
    }
}

// Every opening recomputes from the system: nothing of an earlier refresh is
// kept, whatever the password values and the header test say.
TEST_F(FamilyRefresh, GreyingFollowsTheSelectionThePasswordValuesAndTheHeader)
{
    std::vector<Situation> situations = {{false, true, kMissing, kMissing},
                                         {false, false, kMissing, kMissing},
                                         {true, true, 1, 1},
                                         {false, false, 0, 0},
                                         {true, true, 1, 1}};
    for (bool headerPasses : {true, false}) {
        for (long use : {kMissing, 0L, 1L, 2L}) {
            for (long data : {kMissing, 0L, 0x31323334L})
                situations.push_back({true, headerPasses, use, data});
        }
    }
    for (const Situation& s : situations) {
        enter(s);
        expectMenu(s);
    }
}

TEST_F(FamilyRefresh, AConfiguredFileOutsideTheCatalogueSelectsNothing)
{
    // The file passes the header test but lies outside the Windows and System
    // directories: "[none]" stays marked, the items that need a selection grey.
    std::string elsewhere = freshTempDirectory("outside-catalogue") + "\\starfield.scr";
    ASSERT_TRUE(CopyFileA(fixturePath("starfield.scr").c_str(), elsewhere.c_str(), FALSE));
    configureSaver(shortPath(elsewhere));
    SendMessageA(tray().window, WM_SETTINGCHANGE, 0, 0);
    openPopup(tray());
    expectMenu({false, true, kMissing, kMissing});
    DeleteFileA(elsewhere.c_str());
}

TEST(MenuMetrics, PointsEntryWidthsAndCommonWidth)
{
    EXPECT_EQ(pointsFromFontHeight(-11, 96), 8);
    EXPECT_EQ(pointsFromFontHeight(-16, 96), 12);
    EXPECT_EQ(pointsFromFontHeight(-13, 96), 10);  // 9.75 rounds to 10
    EXPECT_EQ(pointsFromFontHeight(-15, 120), 9);
    // The 95 family adds a pixel per character, but not to "[none]"; only
    // the low sixteen bits of a width are kept.
    EXPECT_EQ(saverItemWidth(10, 8, FAMILY_NT), 80);
    EXPECT_EQ(saverItemWidth(10, 8, FAMILY_95), 90);
    EXPECT_EQ(noneItemWidth(8), 48);
    EXPECT_EQ(saverItemWidth(0, 8, FAMILY_95), 0);
    EXPECT_EQ(saverItemWidth(259, 8, FAMILY_95), 259 * 9);
    EXPECT_EQ(saverItemWidth(259, 300, FAMILY_NT), (259 * 300) & 0xFFFF);
    EXPECT_EQ(saverItemWidth(259, 300, FAMILY_95), (259 * 301) & 0xFFFF);
    const UINT widths[] = {125, 146, 167, 188, 209, 229, 250, 271, 292};
    for (int points = 6; points <= 14; ++points)
        EXPECT_EQ(commonItemWidth(points), widths[points - 6]) << points << " points";
}
