// The popup's items: the refresh each time it opens (every item owner-drawn
// with one common width, the items that cannot apply greyed) and the drawing,
// rendered by the program into a 32-bit DIB through a real WM_DRAWITEM,
// compared pixel for pixel with a rendering made here from the documented
// geometry, and judged by their pixels.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/application.h"
#include "app/handles.h"
#include "app/tray_window.h"
#include "catalogue/catalogue_env.h"
#include "res/resource.h"
#include "support/wine_env.h"
#include "tray/menu_metrics.h"

namespace {

const int kWidth = 260;
const int kIconX = 6;
const int kCaptionX = 34;
const int kCheckX = kWidth - 30;
// A menu colour apart from the window colour, as on the classic scheme, so
// that the light shadow of a greyed caption can be seen.
const COLORREF kClassicMenu = RGB(212, 208, 200);

int itemHeight() { return GetSystemMetrics(SM_CYMENUSIZE) + 2; }
int iconTop() { return (itemHeight() - 16) / 2; }
COLORREF background(bool selected) { return GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU); }

// What an item must look like.
struct Look {
    int iconId;  // 0: none
    std::string caption;
    bool greyed = false;
    bool bold = false;
    bool check = false;
};

struct Facts {
    bool selected;      // a screen saver is selected
    bool win4;          // the header test as the family applies it
    bool passwordOn;    // the family's password flag
    bool usePassword;   // 95 family values, nonzero
    bool passwordData;
    bool active;        // APP_SAVER_ACTIVE
};

// Every fixed item and its look.
std::vector<std::pair<UINT, Look>> fixedLooks(const Facts& f)
{
    bool passwordGreyed = !f.selected || !f.win4;
    return {
        {IDM_SAVERMENU, {IDI_SETSAVER, "Set Screen Saver"}},
        {IDM_LAUNCH, {IDI_LAUNCH, "Launch Screen Saver", !f.selected, true}},
        {IDM_CONFIGURE, {IDI_CONFIGURE, f.selected ? "Configure Screen Saver..." : "Configure Screen Saver",
                         !f.selected}},
        {IDM_PROPERTIES, {IDI_PROPERTIES, "Screen Saver Properties..."}},
        {IDM_PASSWORDMENU, {IDI_PASSWORD, "Password"}},
        {IDM_PASSWORD, {IDI_PASSWORD, "Password Enabled", passwordGreyed, false,
                        !passwordGreyed && f.passwordOn}},
        {IDM_CHANGEPASSWORD, {IDI_SETSAVER, "Change Password",
                              !(f.selected && f.usePassword && f.passwordData && runningAsWin9x() && f.win4)}},
        {IDM_TIMEOUT, {IDI_TIMEOUT, "Set Timeout..."}},
        {IDM_TOGGLE, f.active ? Look{IDI_SAVER_OFF, "Disable Screen Saver"}
                              : Look{IDI_SAVER_ON, "Enable Screen Saver"}},
        {IDM_LOCK, {IDI_LOCK, "Lock Computer", !runningAsWin2kOrLater()}},
        {IDM_ABOUT, {0, "About..."}},
        {IDM_EXIT, {0, "Exit"}},
    };
}

void drawIcon(HDC dc, HICON icon, int x)
{
    DrawIconEx(dc, x, iconTop(), icon, 16, 16, 0, nullptr, DI_NORMAL);
}

void drawIcon(HDC dc, int id, int x)
{
    UniqueIcon icon(static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id),
                                                  IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
    drawIcon(dc, icon.get(), x);
}

// The item as the documented geometry has it: icon at (6, centred), caption
// at (34, top + 3), check at (right - 30), grey captions embossed.
void paintReference(Canvas& canvas, const Look& look, HICON shellIcon, bool selected)
{
    HDC dc = canvas.dc();
    UniqueGdiObject bold;
    if (look.bold) {
        TEXTMETRICA metrics;
        GetTextMetricsA(dc, &metrics);
        LOGFONTA font = {};
        font.lfHeight = metrics.tmHeight;
        font.lfWeight = FW_BOLD;
        GetTextFaceA(dc, LF_FACESIZE, font.lfFaceName);
        bold.reset(CreateFontIndirectA(&font));
    }
    SelectedObject selectedFont(dc, bold.get());
    canvas.fill(background(selected));
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
    SetBkColor(dc, background(selected));
    if (look.iconId)
        drawIcon(dc, look.iconId, kIconX);
    if (shellIcon)
        drawIcon(dc, shellIcon, kIconX);
    const char* caption = look.caption.c_str();
    int length = static_cast<int>(look.caption.size());
    if (look.greyed) {
        SetBkMode(dc, TRANSPARENT);
        if (!selected) {
            SetTextColor(dc, GetSysColor(COLOR_WINDOW));
            TextOutA(dc, kCaptionX + 1, 4, caption, length);
        }
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    }
    TextOutA(dc, kCaptionX, look.greyed && look.bold ? 4 : 3, caption, length);
    if (look.check)
        drawIcon(dc, IDI_CHECK, kCheckX);
}

// Pixel for pixel, naming the first difference.
void expectSame(const Canvas& actual, const Canvas& expected)
{
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            if (actual.at(x, y) != expected.at(x, y)) {
                ADD_FAILURE() << "first difference at (" << x << ", " << y << "): " << std::hex
                              << actual.at(x, y) << ", expected " << expected.at(x, y);
                return;
            }
        }
    }
}

// The icon column, the caption and the check column of a rendered item.
void expectLayout(const Canvas& canvas, const Look& look, bool hasIcon, bool selected)
{
    COLORREF fill = background(selected);
    int h = canvas.height();
    int top = iconTop();
    EXPECT_EQ(canvas.at(0, 0), fill) << "fill colour";
    EXPECT_EQ(canvas.at(kWidth - 1, h - 1), fill) << "fill colour";
    EXPECT_EQ(canvas.countOther(fill, 0, 0, kIconX, h), 0) << "ink left of the icon column";
    if (hasIcon)
        EXPECT_GT(canvas.countOther(fill, kIconX, top, kIconX + 16, top + 16), 0) << "no icon";
    else
        EXPECT_EQ(canvas.countOther(fill, 0, 0, kCaptionX, h), 0) << "ink left of the caption";
    EXPECT_EQ(canvas.countOther(fill, kIconX + 16, 0, kCaptionX, h), 0) << "ink between icon and caption";
    int captionStart = canvas.firstColumnNot(fill, kCaptionX, kCheckX, 0, h);
    EXPECT_GE(captionStart, kCaptionX);
    EXPECT_LE(captionStart, kCaptionX + 2) << "the caption starts at x = 34";
    int checkInk = canvas.countOther(fill, kCheckX, 0, kWidth, h);
    EXPECT_EQ(checkInk, look.check ? canvas.countOther(fill, kCheckX, top, kCheckX + 16, top + 16) : 0)
        << "check ink outside the check's square";
    EXPECT_EQ(checkInk > 0, look.check) << "the check";
}

// Draws an item plain and highlighted, against the reference and the layout;
// a grey caption has its light shadow only when not highlighted, a bold one
// more ink than the same caption at normal weight.
void expectItem(TrayWindow& tray, UINT id, ULONG_PTR data, const Look& look, HICON shellIcon, bool hasIcon)
{
    const int h = itemHeight();
    for (bool selected : {false, true}) {
        SCOPED_TRACE(look.caption + (selected ? ", highlighted" : ""));
        Canvas actual(kWidth, h), expected(kWidth, h);
        HGDIOBJ font = GetCurrentObject(actual.dc(), OBJ_FONT);
        EXPECT_TRUE(drawItem(tray, actual, id, data, selected));
        EXPECT_EQ(GetCurrentObject(actual.dc(), OBJ_FONT), font) << "the DC keeps its font";
        paintReference(expected, look, shellIcon, selected);
        expectSame(actual, expected);
        expectLayout(actual, look, hasIcon, selected);
        if (look.greyed) {
            EXPECT_GT(actual.countExactly(GetSysColor(COLOR_GRAYTEXT), kCaptionX, 0, kWidth, h), 10);
            EXPECT_EQ(actual.countExactly(GetSysColor(COLOR_WINDOW), kCaptionX, 0, kWidth, h) > 0, !selected)
                << "the light shadow";
        }
        if (look.bold && !look.greyed) {
            Canvas normal(kWidth, h);
            paintReference(normal, {0, look.caption}, nullptr, selected);
            COLORREF fill = background(selected);
            int boldInk = actual.countOther(fill, kCaptionX, 0, kWidth, h);
            int normalInk = normal.countOther(fill, kCaptionX, 0, kWidth, h);
            EXPECT_GT(boldInk, normalInk + normalInk / 10) << "bold " << boldInk << ", normal " << normalInk;
            EXPECT_GT(actual.lastColumnNot(fill, kCaptionX, kWidth, 0, h),
                      normal.lastColumnNot(fill, kCaptionX, kWidth, 0, h)) << "the bold caption is wider";
        }
    }
}

// A stored password value; -1: not stored.
void setPasswordValue(const char* name, long value, bool asBinary)
{
    DWORD number = static_cast<DWORD>(value);
    if (value == -1)
        deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, name);
    else if (asBinary)  // the stored password is binary; one byte is enough for a zero
        setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, name, REG_BINARY, &number, number ? 4 : 1);
    else
        setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, name, number);
}

// Password values under which every password item can be enabled.
void passwordOn()
{
    setPasswordValue("ScreenSaveUsePassword", 1, false);
    setPasswordValue("ScreenSave_Data", 0x31323334, true);
    setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure", "1");
}

class Drawing : public testing::Test {
protected:
    void SetUp() override
    {
        resetScreenSaverSettings();
        savedMenuColour_ = GetSysColor(COLOR_MENU);
        setMenuColour(kClassicMenu);
        savers_.install("starfield.scr", WINDOWS_DIRECTORY, "starfield.scr");
        savers_.install("badheader.scr", WINDOWS_DIRECTORY, "badheader.scr");
    }
    void TearDown() override
    {
        app_.reset();
        setMenuColour(savedMenuColour_);
        savers_.removeAll();
        resetScreenSaverSettings();
        pumpMessages();
    }
    static void setMenuColour(COLORREF colour)
    {
        const int element = COLOR_MENU;
        SetSysColors(1, &element, &colour);
    }

    // The program started with the configuration in place, after the colour
    // change: Wine replaces a system colour's brush when the colour changes.
    TrayWindow& start(const char* configured)
    {
        app_.reset();
        if (configured)
            configureSaver(catalogueFileNameOf(WINDOWS_DIRECTORY, configured));
        else
            clearConfiguredSaver();
        app_.reset(new Application(GetModuleHandleA(nullptr)));
        EXPECT_NE(app_->trayWindow, nullptr);
        return *app_->trayWindow;
    }
    TrayWindow& tray() { return *app_->trayWindow; }
    bool active() const { return (app_->flags & APP_SAVER_ACTIVE) != 0; }

    void checkFixedItem(UINT id, const Facts& facts)
    {
        for (const auto& row : fixedLooks(facts)) {
            if (row.first == id)
                expectItem(tray(), id, 167, row.second, nullptr, row.second.iconId != 0);
        }
    }

    InstalledSavers savers_;
    COLORREF savedMenuColour_ = 0;
    std::unique_ptr<Application> app_;
};

class FamilyDrawing : public Drawing {};

struct Situation {
    bool selected;      // a catalogue entry is the configured screen saver
    bool headerPasses;  // the configured file's first bytes pass the test
    long usePassword;   // -1: not stored
    long passwordData;
};

// Run on each family, the menu read back through the menu API after the
// window received WM_INITMENUPOPUP.
class FamilyRefresh : public Drawing {
protected:
    void SetUp() override
    {
        Drawing::SetUp();
        start(nullptr);
    }

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
        const std::pair<UINT, bool> rows[] = {
            {IDM_SAVERMENU, false}, {IDM_LAUNCH, false}, {IDM_CONFIGURE, !s.selected},
            {IDM_PROPERTIES, false}, {IDM_PASSWORDMENU, false}, {IDM_PASSWORD, !(s.selected && win4)},
            {IDM_CHANGEPASSWORD, !(win9x && s.selected && use && data && win4)}, {IDM_TIMEOUT, false},
            {IDM_TOGGLE, false}, {IDM_LOCK, !runningAsWin2kOrLater()}, {IDM_ABOUT, false}, {IDM_EXIT, false},
        };
        // 230 / 11 pixels per point, cut to whole pixels.
        UINT width = static_cast<UINT>(menuFontPointsHere(tray().window) * 20.909090909090907);
        for (const auto& row : rows) {
            SCOPED_TRACE("command " + std::to_string(row.first));
            // The two submenus' items are found by position.
            MenuItemView item = row.first == IDM_SAVERMENU ? menuItemAt(tray().popupMenu, 0, true)
                : row.first == IDM_PASSWORDMENU ? menuItemAt(tray().popupMenu, 6, true)
                : menuItemAt(tray().popupMenu, row.first, false);
            EXPECT_EQ(item.id, row.first);
            EXPECT_EQ(item.state, row.second ? static_cast<UINT>(MFS_GRAYED) : 0u);
            EXPECT_TRUE(item.type & MFT_OWNERDRAW);
            EXPECT_EQ(item.data, width);
        }
    }
};

} // namespace

TEST_F(FamilyDrawing, EveryFixedItemWithEachSelection)
{
    passwordOn();
    // Only the 95 family looks at the file's first bytes.
    const struct {
        const char* configured;
        bool win4;
    } cases[] = {{"starfield.scr", true}, {nullptr, !runningAsWin9x()}, {"badheader.scr", !runningAsWin9x()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.configured ? c.configured : "nothing selected");
        start(c.configured);
        for (UINT id : {IDM_SAVERMENU, IDM_LAUNCH, IDM_CONFIGURE, IDM_PROPERTIES, IDM_PASSWORDMENU,
                        IDM_PASSWORD, IDM_CHANGEPASSWORD, IDM_TIMEOUT, IDM_TOGGLE, IDM_LOCK, IDM_ABOUT, IDM_EXIT})
            checkFixedItem(id, {c.configured != nullptr, c.win4, true, true, true, active()});
    }
}

TEST_F(FamilyDrawing, PasswordEnabledShowsTheCheckByTheFamilysValue)
{
    start("starfield.scr");
    const struct {
        const char* isSecure;  // NT family; null: missing
        long use;              // 95 family; -1: missing
        long data;
    } cases[] = {{"1", 1, 5}, {"0", 0, 5}, {nullptr, -1, 5}, {" 7", 2, 5}, {"abc", 1, 0}, {"-1", 1, 0x100}};
    for (const auto& c : cases) {
        if (c.isSecure)
            setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure", c.isSecure);
        else
            deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure");
        setPasswordValue("ScreenSaveUsePassword", c.use, false);
        setPasswordValue("ScreenSave_Data", c.data, true);
        // A missing use flag counts as 1; exactly 1, so 2 shows no check.
        bool on = runningAsWin9x() ? (c.use == -1 || c.use == 1) && c.data != 0
                                   : c.isSecure && atoi(c.isSecure) != 0;
        SCOPED_TRACE(std::string("ScreenSaverIsSecure ") + (c.isSecure ? c.isSecure : "missing")
                     + ", ScreenSaveUsePassword " + std::to_string(c.use));
        checkFixedItem(IDM_PASSWORD, {true, true, on, true, c.data != 0, false});
    }
}

// The program's own record of the flag decides, not the system's.
TEST_F(FamilyDrawing, ToggleCaptionAndIconFollowTheActiveFlag)
{
    start(nullptr);
    for (bool active : {true, false, true}) {
        SCOPED_TRACE(active ? "active" : "inactive");
        app_->flags = active ? app_->flags | APP_SAVER_ACTIVE : app_->flags & ~static_cast<DWORD>(APP_SAVER_ACTIVE);
        checkFixedItem(IDM_TOGGLE, {false, true, false, false, false, active});
    }
}

TEST_F(FamilyDrawing, SaverEntriesShowTheShellIconTheDescriptionAndTheCheck)
{
    for (bool selected : {true, false}) {
        SCOPED_TRACE(selected ? "starfield selected" : "nothing selected");
        TrayWindow& window = start(selected ? "starfield.scr" : nullptr);
        std::string configured = selected ? catalogueFileNameOf(WINDOWS_DIRECTORY, "starfield.scr") : "[none]";
        for (const MenuItemView& item : menuItems(saverSubmenu(window))) {
            const SaverEntry* entry = reinterpret_cast<const SaverEntry*>(item.data);
            if (strcmp(entry->description, "[none]") != 0 && strcmp(entry->description, "Starfield Fixture") != 0)
                continue;
            // Whatever the shell answers for the file name goes into the icon
            // column. "[none]" names no file: Wine's shell still hands out an
            // icon for it, but one that leaves no pixel.
            SHFILEINFOA info = {};
            SHGetFileInfoA(entry->fileName, 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON);
            UniqueIcon icon(info.hIcon);
            const bool none = item.id == IDM_NONE;
            EXPECT_TRUE(none || icon) << "the shell's icon for the file";
            expectItem(window, item.id, item.data, {0, entry->description, false, false, configured == entry->fileName},
                       icon.get(), !none);
        }
    }
}

TEST_F(Drawing, TwoThousandRoundsOfEveryItemKeepResources)
{
    passwordOn();
    TrayWindow& window = start("starfield.scr");
    std::vector<MenuItemView> entries = menuItems(saverSubmenu(window));
    ASSERT_GE(entries.size(), 3u);
    Canvas canvas(kWidth, itemHeight());
    HGDIOBJ font = GetCurrentObject(canvas.dc(), OBJ_FONT);
    auto round = [&](int i) {
        for (const auto& row : fixedLooks({}))
            drawItem(window, canvas, row.first, 167, i & 1);
        for (const MenuItemView& entry : entries)
            drawItem(window, canvas, entry.id, entry.data, i & 1);
    };
    // Two rounds first, so that what the system keeps for good (the shell's
    // icon cache) is in place; the count is exact, so a few hundred rounds
    // show any per-draw leak, and the long run belongs to the soak test.
    round(0);
    round(1);
    int before = liveGdiObjects();
    for (int i = 0; i < 300; ++i)
        round(i);
    EXPECT_EQ(liveGdiObjects(), before) << "GDI objects left behind by 300 rounds";
    EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_FONT), font);
    EXPECT_TRUE(resourcesStillAvailable());
}

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
    std::vector<Situation> situations = {
        {false, true, -1, -1}, {false, false, -1, -1}, {true, true, 1, 1}, {false, false, 0, 0}, {true, true, 1, 1}};
    for (bool headerPasses : {true, false}) {
        for (long use : {-1L, 0L, 1L, 2L}) {
            for (long data : {-1L, 0L, 0x31323334L})
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
    expectMenu({false, true, -1, -1});
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
