// The owner-drawn items, rendered by the program into a 32-bit DIB through
// a real WM_DRAWITEM and judged by their pixels: where the icon, the
// caption and the check mark are, the fill colour, the embossed grey look,
// the bold Launch caption. Each render is also compared, pixel for pixel,
// with a rendering made here from the documented geometry.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <stdlib.h>
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

const int kWidth = 260;
const int kIconX = 6;
const int kCaptionX = 34;
const int kCheckX = kWidth - 30;
// A menu colour apart from the window colour, as on the classic scheme, so
// that the light shadow of a greyed caption can be seen.
const COLORREF kClassicMenu = RGB(212, 208, 200);

int itemHeight()
{
    return GetSystemMetrics(SM_CYMENUSIZE) + 2;
}

int iconTop()
{
    return (itemHeight() - 16) / 2;
}

// What an item must look like.
struct Look {
    int iconId;           // 0: none
    std::string caption;
    bool greyed;
    bool bold;
    bool check;
};

struct Facts {
    bool selected;      // a screen saver is selected
    bool win4;          // the header test as the family applies it
    bool passwordOn;    // the family's password flag
    bool usePassword;   // 95 family values, nonzero
    bool passwordData;
    bool active;        // APP_SAVER_ACTIVE
};

Look expectedLook(UINT id, const Facts& f)
{
    bool win9x = runningAsWin9x();
    switch (id) {
    case IDM_LAUNCH:
        return {IDI_LAUNCH, "Launch Screen Saver", !f.selected, true, false};
    case IDM_CONFIGURE:
        return {IDI_CONFIGURE, f.selected ? "Configure Screen Saver..." : "Configure Screen Saver",
                !f.selected, false, false};
    case IDM_PROPERTIES:
        return {IDI_PROPERTIES, "Screen Saver Properties...", false, false, false};
    case IDM_ABOUT:
        return {0, "About...", false, false, false};
    case IDM_EXIT:
        return {0, "Exit", false, false, false};
    case IDM_SAVERMENU:
        return {IDI_SETSAVER, "Set Screen Saver", false, false, false};
    case IDM_TOGGLE:
        return f.active ? Look{IDI_SAVER_OFF, "Disable Screen Saver", false, false, false}
                        : Look{IDI_SAVER_ON, "Enable Screen Saver", false, false, false};
    case IDM_TIMEOUT:
        return {IDI_TIMEOUT, "Set Timeout...", false, false, false};
    case IDM_PASSWORD: {
        bool greyed = !f.selected || !f.win4;
        return {IDI_PASSWORD, "Password Enabled", greyed, false, !greyed && f.passwordOn};
    }
    case IDM_CHANGEPASSWORD:
        return {IDI_SETSAVER, "Change Password",
                !(f.selected && f.usePassword && f.passwordData && win9x && f.win4), false, false};
    case IDM_PASSWORDMENU:
        return {IDI_PASSWORD, "Password", false, false, false};
    case IDM_LOCK:
        return {IDI_LOCK, "Lock Computer", !runningAsWin2kOrLater(), false, false};
    default:
        ADD_FAILURE() << "no look for " << id;
        return {0, "", false, false, false};
    }
}

const UINT kFixedIds[] = {IDM_SAVERMENU, IDM_LAUNCH, IDM_CONFIGURE, IDM_PROPERTIES,
                          IDM_PASSWORDMENU, IDM_PASSWORD, IDM_CHANGEPASSWORD, IDM_TIMEOUT,
                          IDM_TOGGLE, IDM_LOCK, IDM_ABOUT, IDM_EXIT};

HICON loadIcon(int id)
{
    return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id),
                                         IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
}

void drawIconAt(HDC dc, HICON icon, int x)
{
    DrawIconEx(dc, x, iconTop(), icon, 16, 16, 0, nullptr, DI_NORMAL);
}

COLORREF background(bool selected)
{
    return GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU);
}

// The item as the documented geometry has it: icon at (6, centred), caption
// at (34, top + 3), check at (right - 30), grey captions embossed.
void paintReference(Canvas& canvas, const Look& look, HICON shellIcon, bool selected)
{
    HDC dc = canvas.dc();
    int saved = SaveDC(dc);
    RECT rect = canvas.rect();
    FillRect(dc, &rect, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
    SetBkColor(dc, background(selected));
    HFONT bold = nullptr;
    if (look.bold) {
        TEXTMETRICA metrics;
        GetTextMetricsA(dc, &metrics);
        LOGFONTA font;
        memset(&font, 0, sizeof font);
        font.lfHeight = metrics.tmHeight;
        font.lfWeight = FW_BOLD;
        GetTextFaceA(dc, LF_FACESIZE, font.lfFaceName);
        bold = CreateFontIndirectA(&font);
        SelectObject(dc, bold);
    }
    if (look.iconId) {
        HICON icon = loadIcon(look.iconId);
        drawIconAt(dc, icon, kIconX);
        DestroyIcon(icon);
    }
    if (shellIcon)
        drawIconAt(dc, shellIcon, kIconX);
    int length = static_cast<int>(look.caption.size());
    if (!look.greyed) {
        TextOutA(dc, kCaptionX, 3, look.caption.c_str(), length);
    } else {
        SetBkMode(dc, TRANSPARENT);
        if (!selected) {
            SetTextColor(dc, GetSysColor(COLOR_WINDOW));
            TextOutA(dc, kCaptionX + 1, 4, look.caption.c_str(), length);
        }
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        TextOutA(dc, kCaptionX, look.bold ? 4 : 3, look.caption.c_str(), length);
    }
    if (look.check) {
        HICON check = loadIcon(IDI_CHECK);
        drawIconAt(dc, check, kCheckX);
        DestroyIcon(check);
    }
    RestoreDC(dc, saved);
    if (bold)
        DeleteObject(bold);
}

// The pixels a caption covers when drawn alone at a point in the item's
// font (bold for Launch).
class Mask {
public:
    Mask(int width, int height) : width_(width), covered_(width * height, false) {}
    void set(int x, int y) { covered_[y * width_ + x] = true; }
    bool covers(int x, int y) const { return covered_[y * width_ + x]; }

private:
    int width_;
    std::vector<bool> covered_;
};

Mask captionMask(const Look& look, int x, int y)
{
    Canvas canvas(kWidth, itemHeight());
    const COLORREF paper = RGB(255, 255, 255);
    canvas.fill(paper);
    HDC dc = canvas.dc();
    HFONT bold = nullptr;
    HGDIOBJ previous = nullptr;
    if (look.bold) {
        TEXTMETRICA metrics;
        GetTextMetricsA(dc, &metrics);
        LOGFONTA font;
        memset(&font, 0, sizeof font);
        font.lfHeight = metrics.tmHeight;
        font.lfWeight = FW_BOLD;
        GetTextFaceA(dc, LF_FACESIZE, font.lfFaceName);
        bold = CreateFontIndirectA(&font);
        previous = SelectObject(dc, bold);
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutA(dc, x, y, look.caption.c_str(), static_cast<int>(look.caption.size()));
    if (bold) {
        SelectObject(dc, previous);
        DeleteObject(bold);
    }
    Mask mask(canvas.width(), canvas.height());
    for (int row = 0; row < canvas.height(); ++row) {
        for (int column = 0; column < canvas.width(); ++column) {
            if (canvas.at(column, row) != paper)
                mask.set(column, row);
        }
    }
    return mask;
}

std::string firstDifference(const Canvas& actual, const Canvas& expected)
{
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            if (actual.at(x, y) != expected.at(x, y)) {
                char text[120];
                wsprintfA(text, "first difference at (%d, %d): %06lx, expected %06lx", x, y,
                          actual.at(x, y), expected.at(x, y));
                return text;
            }
        }
    }
    return "none";
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
    EXPECT_EQ(canvas.countOther(fill, kIconX + 16, 0, kCaptionX, h), 0)
        << "ink between icon and caption";
    int captionStart = canvas.firstColumnNot(fill, kCaptionX, kCheckX, 0, h);
    EXPECT_GE(captionStart, kCaptionX);
    EXPECT_LE(captionStart, kCaptionX + 2) << "the caption starts at x = 34";
    int checkInk = canvas.countOther(fill, kCheckX, 0, kWidth, h);
    if (look.check) {
        EXPECT_GT(canvas.countOther(fill, kCheckX, top, kCheckX + 16, top + 16), 0) << "no check";
        EXPECT_EQ(checkInk, canvas.countOther(fill, kCheckX, top, kCheckX + 16, top + 16));
    } else {
        EXPECT_EQ(checkInk, 0) << "a check where none belongs";
    }
}

class DrawingBase : public testing::Test {
protected:
    void SetUp() override
    {
        resetScreenSaverSettings();
        const int elements[] = {COLOR_MENU};
        savedMenuColour_ = GetSysColor(COLOR_MENU);
        const COLORREF classic[] = {kClassicMenu};
        SetSysColors(1, elements, classic);
        savers_.install("starfield.scr", WINDOWS_DIRECTORY, "starfield.scr");
        savers_.install("badheader.scr", WINDOWS_DIRECTORY, "badheader.scr");
    }
    void TearDown() override
    {
        app_.reset();
        const int elements[] = {COLOR_MENU};
        const COLORREF saved[] = {savedMenuColour_};
        SetSysColors(1, elements, saved);
        savers_.removeAll();
        resetScreenSaverSettings();
        pumpMessages();
    }

    // The program started with the configuration in place, and after the
    // colour change: Wine replaces a system colour's brush when the colour
    // changes, so the brushes the program holds must be taken afterwards.
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

    // Renders one fixed item both ways and checks it.
    void checkFixedItem(UINT id, const Facts& facts, bool selected)
    {
        SCOPED_TRACE("item " + std::to_string(id) + (selected ? ", selected" : ""));
        Look look = expectedLook(id, facts);
        Canvas actual(kWidth, itemHeight());
        Canvas expected(kWidth, itemHeight());
        HGDIOBJ font = GetCurrentObject(actual.dc(), OBJ_FONT);
        EXPECT_EQ(drawItem(tray(), actual, id, 167, selected), TRUE);
        EXPECT_EQ(GetCurrentObject(actual.dc(), OBJ_FONT), font) << "the DC keeps its font";
        paintReference(expected, look, nullptr, selected);
        EXPECT_TRUE(actual.sameAs(expected, 0, 0, kWidth, itemHeight()))
            << look.caption << ": " << firstDifference(actual, expected);
        expectLayout(actual, look, look.iconId != 0, selected);
    }

    InstalledFiles savers_;
    COLORREF savedMenuColour_ = 0;
    std::unique_ptr<Application> app_;
};

class FamilyDrawing : public DrawingBase {};
class Drawing : public DrawingBase {};

// Password values under which every password item can be enabled.
void passwordOn()
{
    setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword", 1);
    DWORD data = 0x31323334;
    setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data", REG_BINARY, &data, 4);
    setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure", "1");
}

} // namespace

TEST_F(FamilyDrawing, EveryFixedItemWithASelectedSaver)
{
    passwordOn();
    start("starfield.scr");
    Facts facts = {true, true, true, true, true, (app_->flags & APP_SAVER_ACTIVE) != 0};
    for (UINT id : kFixedIds) {
        checkFixedItem(id, facts, false);
        checkFixedItem(id, facts, true);
    }
}

TEST_F(FamilyDrawing, EveryFixedItemWithNothingSelected)
{
    passwordOn();
    start(nullptr);
    Facts facts = {false, !runningAsWin9x(), true, true, true,
                   (app_->flags & APP_SAVER_ACTIVE) != 0};
    for (UINT id : kFixedIds) {
        checkFixedItem(id, facts, false);
        checkFixedItem(id, facts, true);
    }
}

TEST_F(FamilyDrawing, PasswordItemsFollowTheHeaderTestOnTheNinetyFiveFamily)
{
    passwordOn();
    start("badheader.scr");
    // Only the 95 family looks at the file's first bytes.
    Facts facts = {true, !runningAsWin9x(), true, true, true,
                   (app_->flags & APP_SAVER_ACTIVE) != 0};
    for (UINT id : {IDM_PASSWORD, IDM_CHANGEPASSWORD}) {
        checkFixedItem(id, facts, false);
        checkFixedItem(id, facts, true);
    }
}

TEST_F(FamilyDrawing, PasswordEnabledShowsTheCheckByTheFamilysValue)
{
    start("starfield.scr");
    struct Case {
        const char* isSecure;  // NT family; null: missing
        bool useMissing;       // 95 family
        DWORD use;
        DWORD data;
    };
    const Case cases[] = {
        {"1", false, 1, 5}, {"0", false, 0, 5}, {nullptr, true, 0, 5}, {" 7", false, 2, 5},
        {"abc", false, 1, 0}, {"-1", false, 1, 0x100},
    };
    for (const Case& c : cases) {
        if (c.isSecure)
            setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure", c.isSecure);
        else
            deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure");
        if (c.useMissing)
            deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword");
        else
            setRegDword(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword", c.use);
        setRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data", REG_BINARY, &c.data, 4);

        bool on;
        if (runningAsWin9x()) {
            DWORD use = c.useMissing ? 1 : c.use;
            on = use == 1 && c.data != 0;  // exactly 1: a value of 2 shows no check
        } else {
            on = c.isSecure && atoi(c.isSecure) != 0;
        }
        SCOPED_TRACE(std::string("ScreenSaverIsSecure ") + (c.isSecure ? c.isSecure : "missing")
                     + ", ScreenSaveUsePassword "
                     + (c.useMissing ? std::string("missing") : std::to_string(c.use)));
        Canvas canvas(kWidth, itemHeight());
        drawItem(tray(), canvas, IDM_PASSWORD, 167, false);
        int top = iconTop();
        EXPECT_EQ(canvas.countOther(kClassicMenu, kCheckX, top, kCheckX + 16, top + 16) > 0, on);
        Facts facts = {true, true, on, true, c.data != 0, false};
        checkFixedItem(IDM_PASSWORD, facts, false);
    }
}

TEST_F(FamilyDrawing, GreyedCaptionsAreEmbossedOnlyWhenNotSelected)
{
    start(nullptr);
    COLORREF grey = GetSysColor(COLOR_GRAYTEXT);
    COLORREF light = GetSysColor(COLOR_WINDOW);
    ASSERT_NE(light, kClassicMenu);
    Facts facts = {false, false, false, false, false, false};
    int h = itemHeight();
    for (UINT id : {IDM_CONFIGURE, IDM_LAUNCH, IDM_PASSWORD, IDM_CHANGEPASSWORD}) {
        SCOPED_TRACE("item " + std::to_string(id));
        Look look = expectedLook(id, facts);
        ASSERT_TRUE(look.greyed);
        // Launch keeps its grey caption on the shadow's row.
        int greyTop = look.bold ? 4 : 3;
        Mask captionAt = captionMask(look, kCaptionX, greyTop);
        Mask shadowAt = captionMask(look, kCaptionX + 1, 4);

        Canvas plain(kWidth, h);
        drawItem(tray(), plain, id, 167, false);
        int greyPixels = 0, lightPixels = 0, strayGrey = 0, strayLight = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = kCaptionX; x < kWidth; ++x) {
                COLORREF c = plain.at(x, y);
                if (c == grey) {
                    ++greyPixels;
                    strayGrey += !captionAt.covers(x, y);
                }
                if (c == light) {
                    ++lightPixels;
                    strayLight += !shadowAt.covers(x, y);
                }
            }
        }
        EXPECT_GT(greyPixels, 10) << "grey caption";
        EXPECT_GT(lightPixels, 0) << "light shadow";
        EXPECT_EQ(strayGrey, 0) << "grey outside the caption at (34, top + " << greyTop << ")";
        EXPECT_EQ(strayLight, 0) << "light outside the shadow at (35, top + 4)";

        Canvas highlighted(kWidth, h);
        drawItem(tray(), highlighted, id, 167, true);
        EXPECT_GT(highlighted.countExactly(grey, kCaptionX, 0, kWidth, h), 10);
        EXPECT_EQ(highlighted.countExactly(light, kCaptionX, 0, kWidth, h), 0)
            << "no shadow on the highlight";
        EXPECT_EQ(highlighted.at(kWidth - 1, 0), GetSysColor(COLOR_HIGHLIGHT));
    }
}

TEST_F(FamilyDrawing, LaunchCaptionIsBold)
{
    start("starfield.scr");
    int h = itemHeight();
    Canvas launch(kWidth, h);
    drawItem(tray(), launch, IDM_LAUNCH, 167, false);
    Canvas normal(kWidth, h);
    normal.fill(kClassicMenu);
    SetBkColor(normal.dc(), kClassicMenu);
    SetTextColor(normal.dc(), GetSysColor(COLOR_MENUTEXT));
    TextOutA(normal.dc(), kCaptionX, 3, "Launch Screen Saver", 19);
    int boldInk = launch.countOther(kClassicMenu, kCaptionX, 0, kWidth, h);
    int normalInk = normal.countOther(kClassicMenu, kCaptionX, 0, kWidth, h);
    EXPECT_GT(boldInk, normalInk + normalInk / 10) << "bold " << boldInk << ", normal " << normalInk;
    EXPECT_GT(launch.lastColumnNot(kClassicMenu, kCaptionX, kWidth, 0, h),
              normal.lastColumnNot(kClassicMenu, kCaptionX, kWidth, 0, h))
        << "the bold caption is wider";
}

TEST_F(FamilyDrawing, ToggleCaptionAndIconFollowTheActiveFlag)
{
    start(nullptr);
    int h = itemHeight();
    int top = iconTop();
    for (bool active : {true, false, true}) {
        SCOPED_TRACE(active ? "active" : "inactive");
        // The program's own record of the flag, not the system's, decides.
        if (active)
            app_->flags |= APP_SAVER_ACTIVE;
        else
            app_->flags &= ~static_cast<DWORD>(APP_SAVER_ACTIVE);
        Canvas actual(kWidth, h);
        drawItem(tray(), actual, IDM_TOGGLE, 167, false);
        Canvas icon(kWidth, h);
        icon.fill(kClassicMenu);
        HICON expectedIcon = loadIcon(active ? IDI_SAVER_OFF : IDI_SAVER_ON);
        drawIconAt(icon.dc(), expectedIcon, kIconX);
        DestroyIcon(expectedIcon);
        EXPECT_TRUE(actual.sameAs(icon, kIconX, top, kIconX + 16, top + 16));
        Facts facts = {false, true, false, false, false, active};
        checkFixedItem(IDM_TOGGLE, facts, false);
    }
}

TEST_F(FamilyDrawing, SaverEntriesShowTheShellIconTheDescriptionAndTheCheck)
{
    for (bool selected : {true, false}) {
        SCOPED_TRACE(selected ? "starfield selected" : "nothing selected");
        TrayWindow& window = start(selected ? "starfield.scr" : nullptr);
        std::string configured = selected ? catalogueFileNameOf(WINDOWS_DIRECTORY, "starfield.scr")
                                          : std::string("[none]");
        for (const MenuItemView& item : menuItems(saverSubmenu(window))) {
            const SaverEntry* entry = reinterpret_cast<const SaverEntry*>(item.data);
            if (strcmp(entry->description, "[none]") != 0
                && strcmp(entry->description, "Starfield Fixture") != 0)
                continue;
            for (bool highlighted : {false, true}) {
                SCOPED_TRACE(std::string(entry->description) + (highlighted ? ", highlighted" : ""));
                bool none = item.id == IDM_NONE;
                Look look = {0, entry->description, false, false,
                             none ? !selected : configured == entry->fileName};
                // Whatever the shell answers for the file name goes into the
                // icon column. "[none]" names no file: Wine's shell still
                // hands out an icon for it, but one that leaves no pixel.
                SHFILEINFOA info;
                memset(&info, 0, sizeof info);
                SHGetFileInfoA(entry->fileName, 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON);
                if (!none) {
                    EXPECT_NE(info.hIcon, nullptr) << "the shell's icon for the file";
                }

                Canvas actual(kWidth, itemHeight());
                EXPECT_EQ(drawItem(window, actual, item.id, item.data, highlighted), TRUE);
                Canvas expected(kWidth, itemHeight());
                paintReference(expected, look, info.hIcon, highlighted);
                if (info.hIcon)
                    DestroyIcon(info.hIcon);
                EXPECT_TRUE(actual.sameAs(expected, 0, 0, kWidth, itemHeight()))
                    << firstDifference(actual, expected);
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
        bool selected = (i & 1) != 0;
        for (UINT id : kFixedIds)
            drawItem(window, canvas, id, 167, selected);
        for (const MenuItemView& entry : entries)
            drawItem(window, canvas, entry.id, entry.data, selected);
    };
    // One round first, so that what the system keeps for good (the shell's
    // icon cache) is in place before counting.
    round(0);
    round(1);
    // The count is exact, so a few hundred rounds show any per-draw leak;
    // the long run belongs to the soak test.
    int before = liveGdiObjects();
    for (int i = 0; i < 300; ++i)
        round(i);
    int after = liveGdiObjects();
    EXPECT_EQ(after, before) << "GDI objects left behind by 300 rounds";
    EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_FONT), font);
    EXPECT_TRUE(resourcesStillAvailable());
}
