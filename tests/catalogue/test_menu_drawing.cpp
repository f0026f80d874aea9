// The owner-drawn items, rendered by the program into a 32-bit DIB through a
// real WM_DRAWITEM, compared pixel for pixel with a rendering made here from
// the documented geometry, and judged by their pixels.
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
void expectSame(const Canvas& actual, const Canvas& expected, const std::string& what)
{
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            if (actual.at(x, y) != expected.at(x, y)) {
                ADD_FAILURE() << what << ": first difference at (" << x << ", " << y << "): " << std::hex
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

    // Renders one fixed item both ways, plain and highlighted, and checks it.
    void checkFixedItem(UINT id, const Facts& facts)
    {
        for (const auto& row : fixedLooks(facts)) {
            if (row.first != id)
                continue;
            for (bool selected : {false, true}) {
                SCOPED_TRACE(row.second.caption + (selected ? ", selected" : ""));
                Canvas actual(kWidth, itemHeight());
                Canvas expected(kWidth, itemHeight());
                HGDIOBJ font = GetCurrentObject(actual.dc(), OBJ_FONT);
                EXPECT_TRUE(drawItem(tray(), actual, id, 167, selected));
                EXPECT_EQ(GetCurrentObject(actual.dc(), OBJ_FONT), font) << "the DC keeps its font";
                paintReference(expected, row.second, nullptr, selected);
                expectSame(actual, expected, row.second.caption);
                expectLayout(actual, row.second, row.second.iconId != 0, selected);
            }
        }
    }

    InstalledSavers savers_;
    COLORREF savedMenuColour_ = 0;
    std::unique_ptr<Application> app_;
};

class FamilyDrawing : public Drawing {};

// Password values under which every password item can be enabled.
void passwordOn()
{
    setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword", 1);
    DWORD data = 0x31323334;
    setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data", REG_BINARY, &data, 4);
    setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure", "1");
}

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
        bool useMissing;       // 95 family
        DWORD use;
        DWORD data;
    } cases[] = {
        {"1", false, 1, 5}, {"0", false, 0, 5}, {nullptr, true, 0, 5}, {" 7", false, 2, 5},
        {"abc", false, 1, 0}, {"-1", false, 1, 0x100},
    };
    for (const auto& c : cases) {
        if (c.isSecure)
            setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure", c.isSecure);
        else
            deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure");
        if (c.useMissing)
            deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword");
        else
            setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword", c.use);
        setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data", REG_BINARY, &c.data, 4);
        // A missing use flag counts as 1; exactly 1, so 2 shows no check.
        bool on = runningAsWin9x() ? (c.useMissing || c.use == 1) && c.data != 0
                                   : c.isSecure && atoi(c.isSecure) != 0;
        SCOPED_TRACE(std::string("ScreenSaverIsSecure ") + (c.isSecure ? c.isSecure : "missing")
                     + ", ScreenSaveUsePassword " + (c.useMissing ? "missing" : std::to_string(c.use)));
        checkFixedItem(IDM_PASSWORD, {true, true, on, true, c.data != 0, false});
    }
}

TEST_F(FamilyDrawing, GreyedCaptionsAreEmbossedOnlyWhenNotSelected)
{
    start(nullptr);
    const COLORREF grey = GetSysColor(COLOR_GRAYTEXT);
    const COLORREF light = GetSysColor(COLOR_WINDOW);
    ASSERT_NE(light, kClassicMenu);
    const int h = itemHeight();
    for (UINT id : {IDM_CONFIGURE, IDM_LAUNCH, IDM_PASSWORD, IDM_CHANGEPASSWORD}) {
        SCOPED_TRACE("item " + std::to_string(id));
        Canvas plain(kWidth, h);
        drawItem(tray(), plain, id, 167, false);
        EXPECT_GT(plain.countExactly(grey, kCaptionX, 0, kWidth, h), 10) << "grey caption";
        EXPECT_GT(plain.countExactly(light, kCaptionX, 0, kWidth, h), 0) << "light shadow";
        Canvas highlighted(kWidth, h);
        drawItem(tray(), highlighted, id, 167, true);
        EXPECT_GT(highlighted.countExactly(grey, kCaptionX, 0, kWidth, h), 10);
        EXPECT_EQ(highlighted.countExactly(light, kCaptionX, 0, kWidth, h), 0) << "no shadow on the highlight";
        EXPECT_EQ(highlighted.at(kWidth - 1, 0), GetSysColor(COLOR_HIGHLIGHT));
    }
}

TEST_F(FamilyDrawing, LaunchCaptionIsBold)
{
    start("starfield.scr");
    const int h = itemHeight();
    Canvas launch(kWidth, h);
    drawItem(tray(), launch, IDM_LAUNCH, 167, false);
    Canvas normal(kWidth, h);
    paintReference(normal, {0, "Launch Screen Saver"}, nullptr, false);
    int boldInk = launch.countOther(kClassicMenu, kCaptionX, 0, kWidth, h);
    int normalInk = normal.countOther(kClassicMenu, kCaptionX, 0, kWidth, h);
    EXPECT_GT(boldInk, normalInk + normalInk / 10) << "bold " << boldInk << ", normal " << normalInk;
    EXPECT_GT(launch.lastColumnNot(kClassicMenu, kCaptionX, kWidth, 0, h),
              normal.lastColumnNot(kClassicMenu, kCaptionX, kWidth, 0, h))
        << "the bold caption is wider";
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
        TrayWindow& window = start(selected ? "starfield.scr" : nullptr);
        std::string configured = selected ? catalogueFileNameOf(WINDOWS_DIRECTORY, "starfield.scr") : "[none]";
        for (const MenuItemView& item : menuItems(saverSubmenu(window))) {
            const SaverEntry* entry = reinterpret_cast<const SaverEntry*>(item.data);
            if (strcmp(entry->description, "[none]") != 0 && strcmp(entry->description, "Starfield Fixture") != 0)
                continue;
            const bool none = item.id == IDM_NONE;
            const Look look = {0, entry->description, false, false, configured == entry->fileName};
            // Whatever the shell answers for the file name goes into the icon
            // column. "[none]" names no file: Wine's shell still hands out an
            // icon for it, but one that leaves no pixel.
            SHFILEINFOA info = {};
            SHGetFileInfoA(entry->fileName, 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON);
            UniqueIcon icon(info.hIcon);
            EXPECT_TRUE(none || icon) << "the shell's icon for the file";
            for (bool highlighted : {false, true}) {
                SCOPED_TRACE(std::string(entry->description) + (selected ? ", starfield selected" : "")
                             + (highlighted ? ", highlighted" : ""));
                Canvas actual(kWidth, itemHeight());
                EXPECT_TRUE(drawItem(window, actual, item.id, item.data, highlighted));
                Canvas expected(kWidth, itemHeight());
                paintReference(expected, look, icon.get(), highlighted);
                expectSame(actual, expected, entry->description);
                expectLayout(actual, look, !none, highlighted);
            }
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
