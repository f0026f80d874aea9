// The catalogue built from real files in the Windows and System directories, and the popup's
// items: their refresh and their drawing through WM_DRAWITEM against a reference rendering.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/application.h"
#include "base/handles.h"
#include "base/item_name.h"
#include "app/start_command.h"
#include "app/tray_window.h"
#include "support/savers.h"
#include "support/pixels.h"
#include "res/resource.h"
#include "saverconfig/catalogue.h"
#include "saverconfig/policy.h"
#include "support/system.h"
#include "support/processes.h"
#include "saverconfig/native_system.h"
#include "tray/dpi.h"
#include "tray/menu_metrics.h"

namespace {

// String 1 of long300.scr cut to 259; every tenth character a letter.
std::string long259()
{
    std::string text;
    for (int i = 0; i < 259; ++i)
        text += i % 10 ? static_cast<char>('0' + i % 10) : static_cast<char>('A' + i / 10 % 26);
    return text;
}

// Entry-sized blocks in use on the process heap, where the entries live.
int usedEntryBlocks()
{
    HANDLE heap = GetProcessHeap();
    PROCESS_HEAP_ENTRY entry = {};
    int used = 0;
    HeapLock(heap);
    while (HeapWalk(heap, &entry))
        used += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && entry.cbData == sizeof(SaverEntry);
    HeapUnlock(heap);
    return used;
}

// Every entry of a list, newest first, as one line.
std::vector<std::string> listed(const SaverEntry* entry, bool widths = true)
{
    std::vector<std::string> lines;
    for (; entry; entry = entry->next)
        lines.push_back(std::to_string(entry->menuId) + " " + std::to_string(entry->flags) + " "
                        + (widths ? std::to_string(entry->itemWidth) : "") + " "
                        + entry->description + " | " + entry->fileName);
    return lines;
}

struct ExpectedEntry {
    std::string description;
    std::string fileName;
};

// A file installed under a name and what it must show ("": left out).
struct Installed {
    SaverDirectory where;
    std::string name;
    std::string description;
};

class Catalogue : public testing::Test {
protected:
    void SetUp() override { resetScreenSaverSettings(); }
    void TearDown() override
    {
        app_.reset();
        savers_.removeAll();
        resetScreenSaverSettings();
        pumpMessages();
    }

    TrayWindow& start()
    {
        app_.reset();
        app_.reset(new Application(GetModuleHandleA(nullptr)));
        EXPECT_NE(app_->trayWindow, nullptr);
        return *app_->trayWindow;
    }

    void install(const char* fixture, SaverDirectory where, const char* name,
                 const std::string& description)
    {
        savers_.install(fixture, where, name);
        installed_.push_back({where, name, description});
    }

    // "[none]" aside, the Windows directory's files and then the System
    // directory's, each in the order the directory search returns them.
    std::vector<ExpectedEntry> expectedEntries()
    {
        std::vector<ExpectedEntry> expected;
        for (SaverDirectory where : {WINDOWS_DIRECTORY, SYSTEM_DIRECTORY}) {
            for (const FoundFile& found : searchOrder(where)) {
                const Installed* known = nullptr;
                for (const Installed& candidate : installed_) {
                    if (candidate.where == where
                        && _stricmp(candidate.name.c_str(), found.longName.c_str()) == 0)
                        known = &candidate;
                }
                if (!known)
                    ADD_FAILURE() << "unexpected file " << found.longName;
                else if (!known->description.empty())
                    expected.push_back({known->description, catalogueFileName(where, found)});
            }
        }
        return expected;
    }

    // The submenu, the list and the counters agree with the expectation;
    // checked is the index in expected of the marked entry, or -1 for none.
    void expectCatalogue(TrayWindow& tray, const std::vector<ExpectedEntry>& expected, int checked)
    {
        std::vector<MenuItemView> items = menuItems(saverSubmenu(tray));
        std::vector<const SaverEntry*> newestFirst = entriesNewestFirst(tray);
        ASSERT_EQ(items.size(), expected.size() + 1);
        ASSERT_EQ(newestFirst.size(), items.size());
        EXPECT_EQ(tray.saverCount, expected.size());
        EXPECT_EQ(newestFirst.back(), tray.noneEntry) << "\"[none]\" stays last in the list";
        for (size_t i = 0; i < items.size(); ++i) {
            SCOPED_TRACE("menu position " + std::to_string(i));
            // The list runs newest first, the menu oldest first.
            const SaverEntry* entry = newestFirst[items.size() - 1 - i];
            EXPECT_TRUE(items[i].type & MFT_OWNERDRAW);
            EXPECT_EQ(items[i].data, reinterpret_cast<ULONG_PTR>(entry));
            EXPECT_EQ(items[i].id, IDM_NONE + i) << "ids without gaps";
            EXPECT_EQ(entry->menuId, IDM_NONE + i);
            EXPECT_EQ(entry->flags, static_cast<int>(i) == checked + 1 ? SAVER_CHECKED : 0);
            EXPECT_EQ(entry->description, i ? expected[i - 1].description : "[none]");
            EXPECT_EQ(entry->fileName, i ? expected[i - 1].fileName : "[none]");
            EXPECT_EQ(entry->prev,
                      i + 1 < items.size() ? newestFirst[items.size() - 2 - i] : nullptr);
        }
        std::string description = checked < 0 ? "none" : expected[checked].description;
        EXPECT_EQ(tray.currentDescription, description);
        EXPECT_EQ(tray.trayIcon.szTip, ("Dormity - [" + description + "]").substr(0, 63));
    }

    InstalledFiles savers_;
    std::vector<Installed> installed_;
    std::unique_ptr<Application> app_;
};

// Where the family decides where the configuration lives and the entries' widths.
class FamilyCatalogue : public Catalogue {};

// One rebuild from both directories, scanned as the program scans them.
void rebuild(SaverCatalogue& catalogue)
{
    SaverWidthRule rule = {[](const void*, const char* description, bool none) {
                               return static_cast<WORD>(strlen(description) * 7 + (none ? 1 : 0));
                           }, nullptr, 7};
    char configured[SAVER_PATH_SIZE];
    readCurrentSaver(runFamily(), configured);
    catalogue.beginRebuild(runFamily(), rule, configured);
    for (SaverDirectory where : {WINDOWS_DIRECTORY, SYSTEM_DIRECTORY})
        catalogue.scanDirectory((saverDirectory(where) + "\\*.scr").c_str(),
                                shortSaverDirectory(where).c_str());
    catalogue.finishRebuild();
    catalogue.releasePrevious();
}

bool fits(const std::string& bytes, size_t length, size_t fileSize)
{
    return imageFitsInFile(reinterpret_cast<const unsigned char*>(bytes.data()), length,
                           static_cast<DWORD>(fileSize));
}

bool stringOneFits(const std::string& bytes)
{
    return stringOneIsReadable(reinterpret_cast<const unsigned char*>(bytes.data()),
                               static_cast<DWORD>(bytes.size()));
}

const int kWidth = 260;
const int kIconX = 6;
const int kCaptionX = 34;
const int kCheckX = kWidth - 30;
// A menu colour apart from the window colour, so a grey caption's light shadow shows.
const COLORREF kClassicMenu = RGB(212, 208, 200);
const int kMenuElement = COLOR_MENU;

int itemHeight() { return GetSystemMetrics(SM_CYMENUSIZE) + 2; }
int iconTop() { return (itemHeight() - 16) / 2; }
COLORREF background(bool selected) { return GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU); }

// What an item must look like.
struct Look {
    int iconId;  // 0: none
    std::string caption;
    bool greyed = false, bold = false, check = false;
};

// A saver selected; the family's header test passed; its password flag; the 95 family's
// password values nonzero; the program's record of the active flag.
struct Facts {
    bool selected, win4, passwordOn, usePassword, passwordData, active;
};

// Every fixed item and its look.
std::vector<std::pair<UINT, Look>> fixedLooks(const Facts& f)
{
    bool passwordGreyed = !f.selected || !f.win4;
    return {
        {IDM_SAVERMENU, {IDI_SETSAVER, "Set Screen Saver"}},
        {IDM_LAUNCH, {IDI_LAUNCH, "Launch Screen Saver", !f.selected, true}},
        {IDM_CONFIGURE,
         {IDI_CONFIGURE, f.selected ? "Configure Screen Saver..." : "Configure Screen Saver",
          !f.selected}},
        {IDM_PROPERTIES, {IDI_PROPERTIES, "Screen Saver Properties..."}},
        {IDM_PASSWORDMENU, {IDI_PASSWORD, "Password"}},
        {IDM_PASSWORD,
         {IDI_PASSWORD, "Password Enabled", passwordGreyed, false,
          !passwordGreyed && f.passwordOn}},
        {IDM_CHANGEPASSWORD,
         {IDI_SETSAVER, "Change Password",
          !(f.selected && f.usePassword && f.passwordData && runningAsWin9x() && f.win4)}},
        {IDM_TIMEOUT, {IDI_TIMEOUT, "Set Timeout..."}},
        {IDM_TOGGLE, f.active ? Look{IDI_SAVER_OFF, "Disable Screen Saver"}
                              : Look{IDI_SAVER_ON, "Enable Screen Saver"}},
        {IDM_LOCK, {IDI_LOCK, "Lock Computer", !runningAsWin2kOrLater()}},
        {IDM_ABOUT, {0, "About..."}},
        {IDM_EXIT, {0, "Exit"}},
        {IDM_DISABLEMENU, {IDI_SAVER_OFF, "Disable For"}},
        {IDM_DISABLE_15, {IDI_TIMEOUT, "15 Minutes"}},
        {IDM_DISABLE_30, {IDI_TIMEOUT, "30 Minutes"}},
        {IDM_DISABLE_60, {IDI_TIMEOUT, "1 Hour"}},
        {IDM_DISABLE_120, {IDI_TIMEOUT, "2 Hours"}},
        {IDM_DISABLE_240, {IDI_TIMEOUT, "4 Hours"}},
        {IDM_KEEPOFFMENU, {IDI_SAVER_OFF, "Keep Off While"}},
        {IDM_ADD_RUNNING, {0, "Add Running Program..."}},
    };
}

void drawIcon(HDC dc, HICON icon, int x)
{
    DrawIconEx(dc, x, iconTop(), icon, 16, 16, 0, nullptr, DI_NORMAL);
}

UniqueIcon loadIcon(int id)
{
    return UniqueIcon(static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id),
                                                    IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
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
    drawIcon(dc, look.iconId ? loadIcon(look.iconId).get() : shellIcon, kIconX);
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
        drawIcon(dc, loadIcon(IDI_CHECK).get(), kCheckX);
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
    EXPECT_EQ(checkInk,
              look.check ? canvas.countOther(fill, kCheckX, top, kCheckX + 16, top + 16) : 0)
        << "check ink outside the check's square";
    EXPECT_EQ(checkInk > 0, look.check) << "the check";
}

// Draws an item plain and highlighted against the reference and the layout; a grey caption
// is shadowed only when not highlighted, a bold one has more ink than at normal weight.
void expectItem(TrayWindow& tray, UINT id, ULONG_PTR data, const Look& look, HICON shellIcon,
                bool hasIcon)
{
    const int h = itemHeight();
    for (bool selected : {false, true}) {
        SCOPED_TRACE(look.caption + (selected ? ", highlighted" : ""));
        Canvas actual(kWidth, h), expected(kWidth, h);
        HGDIOBJ font = GetCurrentObject(actual.dc(), OBJ_FONT);
        EXPECT_TRUE(drawItem(tray, actual, id, data, selected));
        EXPECT_EQ(GetCurrentObject(actual.dc(), OBJ_FONT), font) << "the DC keeps its font";
        paintReference(expected, look, shellIcon, selected);
        EXPECT_TRUE(actual.sameAs(expected, 0, 0, kWidth, h)) << "the reference rendering";
        expectLayout(actual, look, hasIcon, selected);
        if (look.greyed) {
            EXPECT_GT(actual.countExactly(GetSysColor(COLOR_GRAYTEXT), kCaptionX, 0, kWidth, h),
                      10);
            EXPECT_EQ(actual.countExactly(GetSysColor(COLOR_WINDOW), kCaptionX, 0, kWidth, h) > 0,
                      !selected)
                << "the light shadow";
        }
        if (look.bold && !look.greyed) {
            Canvas normal(kWidth, h);
            paintReference(normal, {0, look.caption}, nullptr, selected);
            COLORREF fill = background(selected);
            int boldInk = actual.countOther(fill, kCaptionX, 0, kWidth, h);
            int normalInk = normal.countOther(fill, kCaptionX, 0, kWidth, h);
            EXPECT_GT(boldInk, normalInk + normalInk / 10)
                << "bold " << boldInk << ", normal " << normalInk;
            EXPECT_GT(actual.lastColumnNot(fill, kCaptionX, kWidth, 0, h),
                      normal.lastColumnNot(fill, kCaptionX, kWidth, 0, h))
                << "the bold caption is wider";
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

// The classic menu colour; two files installed, one failing the header test.
class Drawing : public Catalogue {
protected:
    void SetUp() override
    {
        Catalogue::SetUp();
        savedMenuColour_ = GetSysColor(COLOR_MENU);
        SetSysColors(1, &kMenuElement, &kClassicMenu);
        savers_.install("starfield.scr", WINDOWS_DIRECTORY, "starfield.scr");
        savers_.install("badheader.scr", WINDOWS_DIRECTORY, "badheader.scr");
    }
    void TearDown() override
    {
        Catalogue::TearDown();
        SetSysColors(1, &kMenuElement, &savedMenuColour_);
    }

    static void configure(const char* name)
    {
        if (name)
            configureSaver(catalogueFileNameOf(WINDOWS_DIRECTORY, name));
        else
            clearConfiguredSaver();
    }
    // Started after the colour change: Wine replaces a colour's brush with it.
    TrayWindow& start(const char* configured)
    {
        configure(configured);
        return Catalogue::start();
    }
    TrayWindow& tray() { return *app_->trayWindow; }

    COLORREF savedMenuColour_ = 0;
};

class FamilyDrawing : public Drawing {};

// An entry configured, its header test passed, the 95 family's password values (-1: none).
struct Situation {
    bool selected, headerPasses;
    long usePassword, passwordData;
};

class FamilyRefresh : public Drawing {
protected:
    void SetUp() override
    {
        Drawing::SetUp();
        start(nullptr);
    }

    // The situation, followed as the program would: a settings change, then the popup opening.
    void enter(const Situation& s)
    {
        configure(!s.selected ? nullptr : s.headerPasses ? "starfield.scr" : "badheader.scr");
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
                     + (s.headerPasses ? "" : ", header fails") + ", password values "
                     + std::to_string(s.usePassword) + " " + std::to_string(s.passwordData));
        // A missing password value counts as set; Launch stays choosable
        // though its caption is grey.
        bool passwordOn = runningAsWin9x() && (s.usePassword == 1 || s.usePassword == -1)
            && s.passwordData != 0;  // the use flag 1 or missing
        Facts facts = {s.selected, !runningAsWin9x() || s.headerPasses, passwordOn,
                       s.usePassword != 0, s.passwordData != 0, false};
        // 230 / 11 pixels per point, cut to whole pixels.
        UINT width = static_cast<UINT>(menuFontPointsHere(tray().window) * 20.909090909090907);
        for (const auto& row : fixedLooks(facts)) {
            SCOPED_TRACE(row.second.caption);
            // The two submenus' items are found by position.
            MenuItemView item = row.first == IDM_SAVERMENU ? menuItemAt(tray().popupMenu, 0, true)
                : row.first == IDM_PASSWORDMENU ? menuItemAt(tray().popupMenu, 6, true)
                : row.first == IDM_DISABLEMENU ? menuItemAt(tray().popupMenu, 9, true)
                : row.first == IDM_KEEPOFFMENU ? menuItemAt(tray().popupMenu, 10, true)
                : menuItemAt(tray().popupMenu, row.first, false);
            EXPECT_EQ(item.id, row.first);
            bool greyed = row.second.greyed && row.first != IDM_LAUNCH;
            EXPECT_EQ(item.state, (greyed ? static_cast<UINT>(MFS_GRAYED) : 0u)
                                      | (row.second.check ? static_cast<UINT>(MFS_CHECKED) : 0u));
            EXPECT_TRUE(item.type & MFT_OWNERDRAW);
            // The data is the item's record; at 96 pixels per inch the rule's width.
            MEASUREITEMSTRUCT measure = {ODT_MENU, 0, item.id, 0, 0, item.data};
            SendMessageA(tray().window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
            EXPECT_EQ(measure.itemWidth, width);
        }
    }
};

} // namespace

TEST_F(Catalogue, NoScreenSaverFilesLeaveOnlyTheMarkedNoneEntry)
{
    TrayWindow& tray = start();
    expectCatalogue(tray, {}, -1);
    // A configured file that is not installed changes nothing.
    configureSaver(shortSaverDirectory(WINDOWS_DIRECTORY) + "\\first.scr");
    openSaverSubmenu(tray);
    expectCatalogue(tray, {}, -1);
}

// No, an empty or a damaged string 1 gives the file name, a long one is cut to 259; a text
// file and a cut-off executable are left out without gaps in the ids.
TEST_F(Catalogue, DescriptionsFallBackUnloadableFilesAreLeftOutNoCodeRuns)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string marker = std::string(temp) + "dormity-scr-code-ran.txt";
    DeleteFileA(marker.c_str());
    install("nostring.scr", WINDOWS_DIRECTORY, "x.scr", "x");
    install("emptystr.scr", WINDOWS_DIRECTORY, "emptystr.scr", "emptystr");
    install("notes.scr", WINDOWS_DIRECTORY, "notes.scr", "");
    install("long300.scr", WINDOWS_DIRECTORY, "long300.scr", long259());
    install("truncated.scr", WINDOWS_DIRECTORY, "cut.scr", "");
    install("badstrings.scr", WINDOWS_DIRECTORY, "badstr.scr", "badstr");
    install("marker.scr", WINDOWS_DIRECTORY, "marker.scr", "Marker Fixture");
    install("marker.scr", SYSTEM_DIRECTORY, "marker.scr", "Marker Fixture");
    install("tenchars.scr", SYSTEM_DIRECTORY, "tenchars.scr", "TenChars10");
    TrayWindow& tray = start();
    std::vector<ExpectedEntry> expected = expectedEntries();
    ASSERT_EQ(expected.size(), 7u);
    expectCatalogue(tray, expected, -1);
    openSaverSubmenu(tray);
    SendMessageA(tray.window, WM_SETTINGCHANGE, 0, 0);
    SendMessageA(tray.window, WM_REINSTALL, 0, 0);
    expectCatalogue(tray, expected, -1);
    EXPECT_FALSE(fileExists(marker)) << "a rebuild ran code of a screen saver file";
    // The probe works: loading it as a module that runs code leaves the marker.
    std::string copy = freshTempDirectory("marker-probe") + "\\probe.scr";
    ASSERT_TRUE(CopyFileA(fixturePath("marker.scr").c_str(), copy.c_str(), FALSE));
    EXPECT_TRUE(UniqueModule(LoadLibraryA(copy.c_str())));
    EXPECT_TRUE(fileExists(marker)) << "the fixture's code did not run when loaded normally";
    DeleteFileA(marker.c_str());
    DeleteFileA(copy.c_str());
}

// A long name the code page cannot spell (Greek on a Western system) comes back from the ANSI
// search with '?' in it: the file is read by its short name and listed under its description.
TEST_F(Catalogue, AFileTheCodePageCannotSpellIsReadByItsShortName)
{
    WCHAR from[MAX_PATH], to[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, fixturePath("starfield.scr").c_str(), -1, from, MAX_PATH);
    GetWindowsDirectoryW(to, MAX_PATH);
    lstrcatW(to, L"\\\x03a9\x03bc\x03ad\x03b3\x03b1.scr");
    ASSERT_TRUE(CopyFileW(from, to, FALSE));
    TrayWindow& tray = start();
    std::vector<std::string> listed;
    for (const SaverEntry* entry = tray.saverList; entry != tray.noneEntry; entry = entry->next)
        listed.push_back(entry->description);
    app_.reset();
    DeleteFileW(to);
    EXPECT_EQ(listed, std::vector<std::string>{"Starfield Fixture"});
}

// 131,070 entries on each level of the resource tree and more sections than the file's size
// lets every language's lookup walk: judged within a second, and listed under its name.
TEST_F(Catalogue, ACraftedResourceTreeIsJudgedInTimeByItsSize)
{
    install("crafted.scr", WINDOWS_DIRECTORY, "crafted.scr", "crafted");
    DWORD began = GetTickCount();
    TrayWindow& tray = start();
    openSaverSubmenu(tray);
    EXPECT_LT(GetTickCount() - began, 1000u) << "the first rebuild and the submenu took too long";
    EXPECT_NE(tray.trayIcon.hIcon, nullptr) << "no tray icon";
    expectCatalogue(tray, expectedEntries(), -1);
}

// A file that cannot be opened now is not remembered as refused.
TEST_F(Catalogue, AFileHeldOpenWithoutSharingIsListedAtTheNextRebuild)
{
    install("starfield.scr", WINDOWS_DIRECTORY, "held.scr", "Starfield Fixture");
    UniqueFile held(CreateFileA((saverDirectory(WINDOWS_DIRECTORY) + "\\held.scr").c_str(),
                                GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    TrayWindow& tray = start();
    EXPECT_EQ(tray.saverCount, 0) << "listed though it could not be read";
    held.reset();
    openSaverSubmenu(tray);
    expectCatalogue(tray, expectedEntries(), -1);
}

// Only the configured one of two same-named files is marked.
TEST_F(Catalogue, BothDirectoriesCopiesStayApartAndRebuildsFreeTheOldList)
{
    install("starfield.scr", WINDOWS_DIRECTORY, "starfield.scr", "Starfield Fixture");
    install("nostring.scr", WINDOWS_DIRECTORY, "x.scr", "x");
    install("starfield.scr", SYSTEM_DIRECTORY, "starfield.scr", "Starfield Fixture");
    std::vector<ExpectedEntry> expected = expectedEntries();
    ASSERT_EQ(expected.size(), 3u);
    configureSaver(expected[2].fileName);
    TrayWindow& tray = start();
    expectCatalogue(tray, expected, 2);
    std::vector<std::string> first = listed(tray.saverList);
    openSaverSubmenu(tray);
    EXPECT_EQ(listed(tray.saverList), first);
    // Many rebuilds leave the heap holding as many entries as one.
    int before = usedEntryBlocks();
    ASSERT_GE(before, static_cast<int>(expected.size() + 1)) << "the live list is not counted";
    for (int i = 0; i < 100; ++i)
        openSaverSubmenu(tray);
    EXPECT_EQ(usedEntryBlocks(), before) << "blocks left behind by 100 rebuilds";
    expectCatalogue(tray, expected, 2);
}

TEST_F(FamilyCatalogue, OnlyTheShortPathFormMarksTheConfiguredFile)
{
    install("tenchars.scr", SYSTEM_DIRECTORY, "Long Name Saver.scr", "TenChars10");
    install("starfield.scr", WINDOWS_DIRECTORY, "first.scr", "Starfield Fixture");
    std::vector<ExpectedEntry> expected = expectedEntries();
    ASSERT_EQ(expected.size(), 2u);
    const std::string longPath = saverDirectory(SYSTEM_DIRECTORY) + "\\Long Name Saver.scr";
    const std::string shortForm = expected[1].fileName;
    ASSERT_NE(shortForm, longPath) << "the long name needs a short form of its own";
    EXPECT_TRUE(fileExists(shortForm));
    std::string lower = shortForm;
    CharLowerA(&lower[0]);
    // The long path names the file but is not the catalogue's form; letter
    // case does not count; a name whose long and short forms agree marks by either.
    const std::pair<std::string, int> steps[] = {{longPath, -1}, {shortForm, 1}, {lower, 1},
        {saverDirectory(WINDOWS_DIRECTORY) + "\\first.scr", 0}, {"", -1}};
    configureSaver(longPath);
    TrayWindow& tray = start();
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE("configured \"" + steps[i].first + "\"");
        if (steps[i].first.empty())
            clearConfiguredSaver();
        else
            configureSaver(steps[i].first);
        if (i % 2)
            SendMessageA(tray.window, WM_SETTINGCHANGE, 0, 0);
        else
            openSaverSubmenu(tray);
        expectCatalogue(tray, expected, steps[i].second);
    }
}

// Never too narrow for caption and check, judged also by the entry drawn at its own width.
TEST_F(FamilyCatalogue, EntryWidthsFollowTheMenuFontAndTheFamilyAndFitCaptionAndCheck)
{
    install("tenchars.scr", WINDOWS_DIRECTORY, "tenchars.scr", "TenChars10");
    install("long300.scr", WINDOWS_DIRECTORY, "long300.scr", long259());
    install("starfield.scr", SYSTEM_DIRECTORY, "starfield.scr", "Starfield Fixture");
    TrayWindow& tray = start();
    NONCLIENTMETRICSA original = {};
    original.cbSize = 340;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, &original, 0);
    for (LONG fontHeight : {original.lfMenuFont.lfHeight, -16L}) {
        SCOPED_TRACE("menu font height " + std::to_string(fontHeight));
        NONCLIENTMETRICSA changed = original;
        changed.lfMenuFont.lfHeight = fontHeight;
        SystemParametersInfoA(SPI_SETNONCLIENTMETRICS, 0, &changed, 0);
        openSaverSubmenu(tray);
        int points = menuFontPointsHere(tray.window);
        EXPECT_GT(points, 0);
        const int height = GetSystemMetrics(SM_CYMENUSIZE) + 2;
        const int iconTop = (height - 16) / 2;
        LOGFONTA logFont = menuLogFont();
        WindowDC dc(nullptr);
        UniqueGdiObject font(CreateFontIndirectA(&logFont));
        SelectedObject selected(dc.get(), font.get());
        for (const MenuItemView& item : menuItems(saverSubmenu(tray))) {
            SaverEntry* entry = reinterpret_cast<SaverEntry*>(item.data);
            SCOPED_TRACE(entry->description);
            UINT rule
                = item.id == IDM_NONE
                      ? static_cast<UINT>(6 * points)
                      : static_cast<UINT>(strlen(entry->description) * (points + runningAsWin9x()))
                            & 0xFFFF;
            // Never narrower than the icon column, the caption and the check
            // mark with its gap need.
            SIZE caption = {0, 0};
            GetTextExtentPoint32A(dc.get(), entry->description, lstrlenA(entry->description),
                                  &caption);
            UINT expected = std::max(rule, static_cast<UINT>(34 + caption.cx + 4 + 30));
            EXPECT_EQ(entry->itemWidth, expected);
            MEASUREITEMSTRUCT measure = {ODT_MENU, 0, item.id, 0, 0, item.data};
            EXPECT_EQ(
                SendMessageA(tray.window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure)),
                TRUE);
            EXPECT_EQ(measure.itemWidth, expected);
            EXPECT_EQ(measure.itemHeight, static_cast<UINT>(height));
            if (entry->itemWidth > 600)
                continue;
            // The caption alone, on an item wider than anything needs; then
            // at the entry's own width with its check: the caption whole.
            const BYTE flags = entry->flags;
            const int checkX = entry->itemWidth - 30;
            entry->flags = 0;
            Canvas alone(600, height);
            drawItem(tray, alone, item.id, item.data, false);
            entry->flags = SAVER_CHECKED;
            Canvas fitted(entry->itemWidth, height);
            drawItem(tray, fitted, item.id, item.data, false);
            entry->flags = flags;
            COLORREF background = alone.at(alone.width() - 1, 0);
            int captionEnd = alone.lastColumnNot(background, 34, alone.width(), 0, height);
            EXPECT_GT(captionEnd, 34) << "the caption was drawn";
            EXPECT_LT(captionEnd, checkX - 1)
                << "check at " << checkX << " of " << entry->itemWidth;
            EXPECT_TRUE(fitted.sameAs(alone, 0, 0, checkX, height)) << "the caption is intact";
            EXPECT_GT(fitted.countOther(background, checkX, iconTop, checkX + 16, iconTop + 16), 0)
                << "the check is drawn";
        }
    }
    SystemParametersInfoA(SPI_SETNONCLIENTMETRICS, 0, &original, 0);
}

// The submenu keeps its items (and their entries) only while nothing it shows has changed.
TEST_F(Catalogue, ReusedDescriptionsListWhatAFreshScanLists)
{
    std::string first = savers_.install("starfield.scr", WINDOWS_DIRECTORY, "first.scr");
    std::string second = savers_.install("nostring.scr", WINDOWS_DIRECTORY, "second.scr");
    std::string third = savers_.install("tenchars.scr", SYSTEM_DIRECTORY, "third.scr");
    savers_.install("truncated.scr", SYSTEM_DIRECTORY, "truncated.scr");
    configureSaver(catalogueFileNameOf(SYSTEM_DIRECTORY, "third.scr"));
    TrayWindow& tray = start();
    SaverCatalogue kept;
    rebuild(kept);
    auto touch = [](const std::string& path) {
        UniqueFile file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        EXPECT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &now)) << path;
    };
    const struct {
        const char* change;
        bool itemsStay;  // the submenu shows the same items as before
        std::function<void()> apply;
    } steps[] = {
        {"nothing", true, [] {}},
        {"a file added", false,
         [&] { savers_.install("long300.scr", SYSTEM_DIRECTORY, "sysone.scr"); }},
        {"a file replaced by one of the same size", false,
         [&] { savers_.replaceContent(first, "tenchars.scr"); }},
        {"a file touched", true, [&] { touch(third); }},
        {"a file renamed", false, [&] { second = savers_.rename(second, "renamed.scr"); }},
        {"another file configured", true,
         [&] { configureSaver(catalogueFileNameOf(WINDOWS_DIRECTORY, "first.scr")); }},
        {"the configured file removed", false, [&] { DeleteFileA(first.c_str()); }},
        {"a refused file made whole", false,
         [&] {
             savers_.replaceContent(saverDirectory(SYSTEM_DIRECTORY) + "\\truncated.scr",
                                    "starfield.scr");
         }},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.change);
        std::vector<const SaverEntry*> before = entriesNewestFirst(tray);
        step.apply();
        rebuild(kept);
        SaverCatalogue fresh;
        rebuild(fresh);
        EXPECT_EQ(listed(kept.newest), listed(fresh.newest));
        EXPECT_STREQ(kept.currentDescription, fresh.currentDescription);
        openSaverSubmenu(tray);
        EXPECT_EQ(listed(tray.saverList, false), listed(fresh.newest, false));
        EXPECT_STREQ(tray.currentDescription, fresh.currentDescription);
        EXPECT_EQ(entriesNewestFirst(tray) == before, step.itemsStay);
        std::vector<MenuItemView> items = menuItems(saverSubmenu(tray));
        ASSERT_EQ(items.size(), static_cast<size_t>(tray.saverCount + 1));
        for (const SaverEntry* entry = tray.saverList; entry; entry = entry->next)
            EXPECT_EQ(items[entry->menuId - IDM_NONE].data, reinterpret_cast<ULONG_PTR>(entry))
                << "every item points at the live entry of its id";
    }
}

// Language-neutral savers, laid out as Windows' own: from Windows Vista on each is listed under
// string 1 of its first satellite in the user interface languages, then in its ultimate fallback
// language; a satellite installed or replaced shows at the next opening. Before, file names.
TEST_F(FamilyCatalogue, LanguageNeutralSaversShowTheirSatellitesDescription)
{
    const LANGID ui = reportedUiLanguage();
    ASSERT_TRUE(ui == 0x0409 || ui == 0x0407) << "a UI language the fixtures have";
    const bool satellites = runningAsVistaOrLater();
    const std::string english = "Satellite In English", german = "Satellit auf Deutsch";
    auto satellite = [&](const char* fixture, SaverDirectory where, const char* language,
                         const char* saver) {
        return savers_.install(fixturePath(fixture),
                               saverDirectory(where) + "\\" + language + "\\" + saver + ".mui");
    };
    const struct {
        const char* fixture;
        SaverDirectory where;
        const char* name;
        std::string english, german;  // listed under, by the UI language
        std::string before = "";  // before Vista ("": its file name)
    } cases[] = {
        {"mui_neutral_en.scr", SYSTEM_DIRECTORY, "muisaver.scr", english, german},
        {"mui_neutral_de.scr", SYSTEM_DIRECTORY, "muifallback.scr", german, german},
        {"mui_neutral_en.scr", WINDOWS_DIRECTORY, "muiwin.scr", english, english},
        {"mui_neutral_en.scr", SYSTEM_DIRECTORY, "muinofit.scr", "muinofit", "muinofit"},
        // Its satellites hold string tables: theirs go before its own.
        {"mui_neutral_strings.scr", WINDOWS_DIRECTORY, "muifirst.scr", english, german,
         "Its Own Table"},
    };
    for (const auto& c : cases) {
        std::string name = c.name;
        install(c.fixture, c.where, c.name,
                !satellites ? (c.before.empty() ? name.substr(0, name.size() - 4) : c.before)
                : ui == 0x0407 ? c.german : c.english);
    }
    satellite("en.mui", WINDOWS_DIRECTORY, "en-US", "muifirst.scr");
    satellite("de.mui", WINDOWS_DIRECTORY, "de-DE", "muifirst.scr");
    satellite("en.mui", SYSTEM_DIRECTORY, "en-US", "muisaver.scr");
    satellite("de.mui", SYSTEM_DIRECTORY, "de-DE", "muisaver.scr");
    satellite("de.mui", SYSTEM_DIRECTORY, "de-DE", "muifallback.scr");
    std::string windowsSatellite = satellite("en.mui", WINDOWS_DIRECTORY, "en-US", "muiwin.scr");
    satellite("de.mui", SYSTEM_DIRECTORY, "fr-FR", "muinofit.scr");
    TrayWindow& tray = start();
    expectCatalogue(tray, expectedEntries(), -1);

    // A satellite replaced by one of the same size, and a language pack installed.
    savers_.replaceContent(windowsSatellite, "en_replaced.mui");
    satellite("en.mui", SYSTEM_DIRECTORY, "en-US", "muinofit.scr");
    if (satellites) {
        installed_[2].description = "Satellite Replaced";
        installed_[3].description = english;
    }
    openSaverSubmenu(tray);
    expectCatalogue(tray, expectedEntries(), -1);
}

// A satellite another program holds open without sharing cannot be read at one rebuild; the
// file is not remembered so, and the next rebuild lists it under the satellite's description.
TEST_F(Catalogue, ASatelliteHeldOpenIsReadAgainAtTheNextRebuild)
{
    ASSERT_TRUE(runningAsVistaOrLater());
    install("mui_neutral_en.scr", SYSTEM_DIRECTORY, "muiheld.scr", "muiheld");
    UniqueFile held(CreateFileA(
        savers_.install(fixturePath("en.mui"), saverDirectory(SYSTEM_DIRECTORY)
                                                   + "\\en-US\\muiheld.scr.mui").c_str(),
        GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    TrayWindow& tray = start();
    expectCatalogue(tray, expectedEntries(), -1);
    held.reset();
    installed_[0].description = "Satellite In English";
    openSaverSubmenu(tray);
    expectCatalogue(tray, expectedEntries(), -1);
}

// The satellites' folders: the loader's list as the system names it, then the file's ultimate
// fallback, and nothing else; a multilingual file's table: neutral, that list (each language
// followed by its neutral sublanguage), then English.
TEST(SaverFile, SatellitesFollowTheLoadersListThenTheFilesFallback)
{
    const struct {
        const char* user;
        std::vector<std::string> list;  // the thread's merged list, as the system gives it
        const char* fallback;
        std::vector<std::string> satellites;  // the folders that hold one
        std::string chosen;
    } cases[] = {
        {"Portugal: no parent made up", {"pt-PT", "pt"}, "en-US", {"pt-BR", "en-US"}, "en-US"},
        {"Taiwan: Simplified is no parent", {"zh-TW", "zh-Hant"}, "en-US", {"zh-CN"}, ""},
        {"Taiwan, the fallback there", {"zh-TW", "zh-Hant"}, "en-US", {"zh-CN", "en-US"}, "en-US"},
        {"a list of the user's own, not the system's", {"fr-FR", "fr"}, "de-DE",
         {"en-US", "de-DE"}, "de-DE"},
        {"the list before the fallback", {"de-DE", "de"}, "en-US", {"en-US", "de"}, "de"},
        {"no fallback", {"de-DE"}, "", {"en-US"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user);
        std::wstring system;
        for (const std::string& name : c.list)
            system += std::wstring(name.begin(), name.end()) + L'\0';
        system += L'\0';
        LanguageNames preferred, order;
        parseLanguageNames(system.data(), system.size(), &preferred);
        satelliteFolderOrder(preferred, c.fallback, &order);
        std::string chosen;
        for (size_t i = 0; i < order.count && chosen.empty(); ++i) {
            for (const std::string& folder : c.satellites)
                chosen = _stricmp(order.names[i], folder.c_str()) == 0 ? folder : chosen;
        }
        EXPECT_EQ(chosen, c.chosen);
    }
    // A name that could lead out of the language folders is no folder at all.
    const WCHAR odd[] = L"..\0" L"en-US\0" L"a\\b\0" L"EN-us\0" L"\0";
    LanguageNames names;
    parseLanguageNames(odd, sizeof odd / sizeof odd[0], &names);
    ASSERT_EQ(names.count, 1u) << "a repeat in another case is one folder";
    EXPECT_STREQ(names.names[0], "en-US");
    const struct {
        std::vector<LANGID> preferred, tables;
    } tables[] = {
        {{0x0816, 0x0016, 0x0409}, {0x0000, 0x0816, 0x0016, 0x0409, 0x0009}},
        {{}, {0x0000, 0x0409}},
    };
    for (const auto& c : tables) {
        LANGID out[16];
        size_t count = loaderLanguageOrder(c.preferred.data(), c.preferred.size(), out, 16);
        EXPECT_EQ(std::vector<LANGID>(out, out + count), c.tables);
    }
    LANGID out[2];
    const LANGID three[] = {0x0407, 0x040C, 0x0411};
    EXPECT_EQ(loaderLanguageOrder(three, 3, out, 2), 2u) << "the list never overruns";
    // As the MUI functions give them with MUI_LANGUAGE_ID; a broken entry is skipped.
    const WCHAR list[] = L"0407\0" L"040c\0" L"zz\0" L"12345\0" L"0409\0";
    LANGID ids[8];
    ASSERT_EQ(parseLanguageIds(list, sizeof list / sizeof list[0], ids, 8), 3u);
    EXPECT_EQ(std::vector<LANGID>(ids, ids + 3), (std::vector<LANGID>{0x0407, 0x040C, 0x0409}));
    EXPECT_EQ(parseLanguageIds(list, 3, ids, 8), 0u) << "an entry cut off by the length";
    EXPECT_EQ(parseLanguageIds(list, sizeof list / sizeof list[0], ids, 1), 1u);
}

TEST(CompleteImage, OnlyAWholeX86X64OrArm64PortableExecutableFits)
{
    const std::string whole = readFileBytes(fixturePath("starfield.scr"));
    ASSERT_GT(whole.size(), 4096u);
    DWORD nt = 0;
    memcpy(&nt, whole.data() + 0x3C, 4);
    auto changed = [&](size_t at, const std::string& bytes) {
        return whole.substr(0, at) + bytes + whole.substr(at + bytes.size());
    };
    const bool wide = whole.substr(nt + 24, 2) == "\x0B\x02";  // 0x10B, 0x20B: 32-, 64-bit
    EXPECT_TRUE(fits(whole, whole.size(), whole.size()));
    EXPECT_FALSE(fits(whole, 4096, whole.size() - 1)) << "the file ends before its last section";
    EXPECT_FALSE(fits(whole, 4096, whole.size() / 2));
    // The first 4096 bytes read, or the whole file when it is shorter.
    struct Case {
        const char* what;
        std::string bytes;
        bool fits;
    };
    const Case cases[] = {
        {"a whole image", whole, true},
        {"text", readFileBytes(fixturePath("notes.scr")), false},
        {"no MZ", changed(0, "X"), false},
        {"a 16-bit NE program", changed(nt, "N"), false},
        {"a machine against the header's kind", changed(nt + 4, wide ? "\x4C\x01" : "\x64\x86"),
         false},
        {"a header against the machine", changed(nt + 24, wide ? "\x0B\x01" : "\x0B\x02"), false},
        {"Itanium", changed(nt + 4, std::string("\0\2", 2)), false},
        {"headers far outside", changed(0x3C, "\xF0\xF0\xF0\xF0"), false},
        {"too many sections", changed(nt + 6, "\xFF"), false},
        {"DOS page counts, which the loader ignores", readFileBytes(fixturePath("badheader.scr")),
         true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fits(c.bytes, std::min<size_t>(4096, c.bytes.size()), c.bytes.size()), c.fits)
            << c.what;
    // Fewer bytes than the headers and the section table need.
    for (size_t cut : {0u, 2u, 63u, 64u, 200u, 400u})
        EXPECT_FALSE(fits(whole, cut, cut)) << cut << " bytes";
}

TEST(CompleteImage, TheFileCheckReadsTheFileItself)
{
    std::string empty = freshTempDirectory("empty-image") + "\\empty.scr";
    writeFileBytes(empty, "", 0);
    for (const char* sound : {"starfield.scr", "marker.scr", "nostring.scr", "long300.scr"})
        EXPECT_EQ(checkSaverFile(fixturePath(sound).c_str()), SAVER_FILE_SOUND) << sound;
    EXPECT_EQ(checkSaverFile(fixturePath("badstrings.scr").c_str()), SAVER_FILE_UNREADABLE);
    for (const std::string& refused : {fixturePath("truncated.scr"), fixturePath("notes.scr"),
                                       fixturePath("missing.scr"), empty})
        EXPECT_EQ(checkSaverFile(refused.c_str()), SAVER_FILE_REFUSED) << refused;
    DeleteFileA(empty.c_str());
}

TEST(CompleteImage, AStringTableIsReadOnlyWhenStringOneLiesInTheFile)
{
    std::string sound = readFileBytes(fixturePath("starfield.scr"));
    std::string damaged = readFileBytes(fixturePath("badstrings.scr"));
    ASSERT_EQ(sound.size(), damaged.size());
    EXPECT_TRUE(stringOneFits(sound));
    EXPECT_FALSE(stringOneFits(damaged));
    // The files differ in the length word of string 0, which string 1
    // follows. Of ever larger lengths of string 1, those that keep it in its
    // block pass, and the first one past the block's end fails.
    size_t lengthOfZero
        = std::mismatch(sound.begin(), sound.end(), damaged.begin()).first - sound.begin();
    ASSERT_LT(lengthOfZero + 3, sound.size());
    ASSERT_EQ(sound[lengthOfZero + 2], 17) << "string 1 is \"Starfield Fixture\"";
    int largestThatFits = -1;
    for (int length = 0; length < 200; ++length) {
        sound[lengthOfZero + 2] = static_cast<char>(length);
        if (stringOneFits(sound)) {
            EXPECT_EQ(largestThatFits, length - 1) << "lengths that fit have no gap";
            largestThatFits = length;
        }
    }
    // The block holds the 17 characters and the 14 empty strings after them.
    EXPECT_GE(largestThatFits, 17 + 14);
    EXPECT_LT(largestThatFits, 17 + 14 + 4);
}

// With string tables in two languages, the description is the string the
// system's own loader picks, whatever the thread's language asks for. Before
// Windows Vista the thread's locale chooses, as Wine's loader does; from Vista
// on the user interface languages choose and the locale does not (Wine's
// loader keeps the older rule there).
TEST(FamilySaverFile, TheDescriptionIsInTheLanguageTheLoaderPicks)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    const bool byUiLanguages
        = version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6;
    const LCID original = GetThreadLocale();
    for (const char* fixture : {"twolang.scr", "otherlang.scr", "starfield.scr"}) {
        std::string path = fixturePath(fixture);
        char uiChoice[260];
        readSaverFile(path.c_str(), uiChoice, sizeof uiChoice);
        for (LCID locale : {original, MAKELCID(0x0407, SORT_DEFAULT),
                            MAKELCID(0x040C, SORT_DEFAULT), MAKELCID(0x0411, SORT_DEFAULT)}) {
            SCOPED_TRACE(std::string(fixture) + " in locale " + std::to_string(locale));
            SetThreadLocale(locale);
            char loaded[260] = "";
            UniqueModule module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
            ASSERT_TRUE(module);
            LoadStringA(module.get(), 1, loaded, sizeof loaded);
            char description[260];
            EXPECT_EQ(readSaverFile(path.c_str(), description, sizeof description),
                      SAVER_FILE_SOUND);
            EXPECT_STRNE(loaded, "");
            EXPECT_STREQ(description, byUiLanguages ? uiChoice : loaded);
        }
    }
    SetThreadLocale(MAKELCID(0x0407, SORT_DEFAULT));
    char description[260];
    readSaverFile(fixturePath("twolang.scr").c_str(), description, sizeof description);
    EXPECT_STREQ(description, byUiLanguages ? "Starfield In English" : "Sternenfeld auf Deutsch")
        << "English is the user's language here, German the thread's";
    SetThreadLocale(original);
}

TEST(SaverFile, TheLanguageOrderIsNeutralThreadUserSystemThenEnglish)
{
    LANGID order[12];
    ASSERT_EQ(resourceLanguageOrder(0x0407, 0x040C, 0x0411, order, 12), 8u);
    EXPECT_EQ(
        std::vector<LANGID>(order, order + 8),
        (std::vector<LANGID>{0x0000, 0x0407, 0x0007, 0x040C, 0x000C, 0x0411, 0x0011, 0x0409}));
    // The same language twice is tried once; the list never overruns.
    EXPECT_EQ(resourceLanguageOrder(0x0409, 0x0409, 0x0409, order, 12), 3u);
    EXPECT_EQ(resourceLanguageOrder(0x0407, 0x040C, 0x0411, order, 4), 4u);
}

TEST_F(FamilyDrawing, EveryFixedItemWithEachSelection)
{
    passwordOn();
    // Only the 95 family looks at the file's first bytes.
    const char* const files[] = {"starfield.scr", nullptr, "badheader.scr"};
    for (const char* configured : files) {
        SCOPED_TRACE(configured ? configured : "nothing selected");
        start(configured);
        // The program's own record of the active flag decides, not the system's.
        app_->flags ^= APP_SAVER_ACTIVE;
        Facts facts = {configured != nullptr, !runningAsWin9x() || configured == files[0],
                       true, true, true, (app_->flags & APP_SAVER_ACTIVE) != 0};
        for (const auto& row : fixedLooks(facts))
            expectItem(tray(), row.first, 167, row.second, nullptr, row.second.iconId != 0);
    }
}

TEST_F(FamilyDrawing, PasswordEnabledShowsTheCheckByTheFamilysValue)
{
    start("starfield.scr");
    // The NT family's flag (null: missing) and the 95 family's values (-1: missing).
    const struct { const char* isSecure; long use, data; } cases[] = {
        {"1", 1, 5}, {"0", 0, 5}, {nullptr, -1, 5}, {" 7", 2, 5}, {"abc", 1, 0}, {"-1", 1, 0x100}};
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
        SCOPED_TRACE(std::string(c.isSecure ? c.isSecure : "missing") + ", "
                     + std::to_string(c.use));
        const Look look = fixedLooks({true, true, on, true, c.data != 0, false})[5].second;
        expectItem(tray(), IDM_PASSWORD, 167, look, nullptr, true);
    }
}

TEST_F(FamilyDrawing, SaverEntriesShowTheShellIconTheDescriptionAndTheCheck)
{
    for (bool selected : {true, false}) {
        SCOPED_TRACE(selected ? "starfield selected" : "nothing selected");
        TrayWindow& window = start(selected ? "starfield.scr" : nullptr);
        std::string configured
            = selected ? catalogueFileNameOf(WINDOWS_DIRECTORY, "starfield.scr") : "[none]";
        for (const MenuItemView& item : menuItems(saverSubmenu(window))) {
            const SaverEntry* entry = reinterpret_cast<const SaverEntry*>(item.data);
            if (strcmp(entry->description, "[none]") != 0
                && strcmp(entry->description, "Starfield Fixture") != 0)
                continue;
            // The shell's icon for the file name; "[none]" names no file, and
            // Wine's shell hands out an icon for it that leaves no pixel.
            SHFILEINFOA info = {};
            SHGetFileInfoA(entry->fileName, 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON);
            UniqueIcon icon(info.hIcon);
            const bool none = item.id == IDM_NONE;
            EXPECT_TRUE(none || icon) << "the shell's icon for the file";
            Look look = {0, entry->description, false, false, configured == entry->fileName};
            expectItem(window, item.id, item.data, look, icon.get(), !none);
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

// A saver's own icon is read at the menu's size on its monitor (not the shell's, stretched); read
// with redirection off (no alias), by each rebuild and kept, never while drawing.
TEST_F(Drawing, ASaversOwnIconIsReadAtTheMenusSizeWithRedirectionOffByTheRebuildOnly)
{
    savers_.install("tenchars.scr", WINDOWS_DIRECTORY, "tenchars.scr");
    TrayWindow& window = start(nullptr);
    SaverEntry* entry = window.saverList;
    while (entry && strcmp(entry->description, "TenChars10") != 0)
        entry = entry->next;
    ASSERT_TRUE(entry && countIconCalls());
    static UINT dpi;
    const DpiSource monitor = {[](POINT) { return dpi; }, [](UINT) { return menuLogFont(); },
        [](int index, UINT at) { return MulDiv(GetSystemMetrics(index), at, 96); }};
    for (UINT each : {96u, 144u, 192u, 0u}) {
        dpi = each ? each : 96;
        window.menuLayout = menuLayoutAt(monitor, POINT{0, 0});
        if (!each) {  // as 64-bit Windows XP without the alias has it; the entry stays
            entry->nativeAccess = NATIVE_REDIRECTION_OFF;
            openSaverSubmenu(window);
        }
        const ItemGeometry& g = window.menuLayout.geometry;
        const int height = window.menuLayout.itemHeight, x = g.iconX, y = iconTop(g, 0, height);
        Canvas drawn(kWidth, height), expected(kWidth, height);
        const long loaded = iconCalls().loaded;
        for (int i = 0; i < 3; ++i)
            drawItem(window, drawn, entry->menuId, reinterpret_cast<ULONG_PTR>(entry), false);
        EXPECT_TRUE(each || iconCalls().loaded == loaded) << "read while drawing";
        expected.fill(background(false));
        UniqueIcon own(static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr),
            MAKEINTRESOURCEA(IDI_SAVER_ON), IMAGE_ICON, g.iconSize, g.iconSize, LR_DEFAULTCOLOR)));
        DrawIconEx(expected.dc(), x, y, own.get(), g.iconSize, g.iconSize, 0, nullptr, DI_NORMAL);
        EXPECT_TRUE(drawn.sameAs(expected, x, y, x + g.iconSize, y + g.iconSize)) << g.iconSize;
    }
    const long destroyed = iconCalls().destroyed;
    openSaverSubmenu(window);
    EXPECT_EQ(iconCalls().destroyed - destroyed, 1) << "the last rebuild's icon kept";
}

// What screen readers hear of an item: the name its data carries by the convention, read as
// a menu item's text is, its access key's "&" taken out ("&&" is one "&").
std::string heardName(const MenuItemView& item)
{
    const ItemName& name = *reinterpret_cast<const ItemName*>(item.data);
    EXPECT_TRUE(item.data && hasItemName(name) && name.msaa.cchWText == wcslen(name.text));
    std::wstring heard;
    for (const WCHAR* c = name.text; *c; ++c) {
        if (*c == L'&' && !*++c)
            break;
        heard += *c;
    }
    char ansi[600] = "";
    WideCharToMultiByte(CP_ACP, 0, heard.c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
    return ansi;
}

// Every owner-drawn item, in each state its caption and check follow, is heard as it is
// drawn: named by its caption, checked exactly when it draws the check, as the menu holds them
// before the drawing (after it when the state changes with the menu open: a timed disable ends).
// Disable For checks the shortest choice covering the time to the stored "EnableAt" (a real run).
TEST_F(FamilyDrawing, EveryItemIsHeardAsItIsDrawnNamedByItsCaptionCheckedByItsCheck)
{
    Canvas canvas(kWidth, itemHeight());
    auto expectHeardAsDrawn = [&](bool afterDrawing) {
        for (MenuItemView item : ownerDrawnItems(tray())) {
            std::string name = heardName(item);
            ASSERT_TRUE(recordDrawing());
            canvas.draw(tray().window, item, false);
            DrawingRecord drawn = takeDrawing();
            if (afterDrawing) {
                item = menuItemAt(item.menu, item.id, false);
                name = heardName(item);
            }
            ASSERT_FALSE(drawn.texts.empty()) << item.id;
            for (const DrawnText& text : drawn.texts)
                EXPECT_EQ(text.text, name) << item.id;
            EXPECT_EQ((item.state & MFS_CHECKED) != 0,
                      std::any_of(drawn.icons.begin(), drawn.icons.end(),
                                  [](const DrawnIcon& icon) { return icon.x != kIconX; }))
                << name;
        }
    };
    const struct { const char* configured; bool active, passwordOn; DWORD minutes; } states[] = {
        {"starfield.scr", true, true, 0}, {"starfield.scr", false, false, 30},
        {"starfield.scr", false, false, 90}, {"starfield.scr", false, true, 241},
        {nullptr, false, true, 15}, {nullptr, true, false, 0}};
    for (const auto& state : states) {
        SCOPED_TRACE(std::string(state.configured ? "selected" : "none")
                     + (state.active ? ", active" : ", inactive"));
        passwordOn();
        setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure",
                     state.passwordOn ? "1" : "0");
        setPasswordValue("ScreenSaveUsePassword", state.passwordOn, false);
        storeEnableAt(-60);  // the last state's time, over: the start ends it
        start(state.configured);
        app_->flags = state.active ? app_->flags | APP_SAVER_ACTIVE
                                   : app_->flags & ~static_cast<DWORD>(APP_SAVER_ACTIVE);
        if (state.minutes)
            SendMessageA(tray().window, WM_STARTCOMMAND, START_DISABLE_FOR, state.minutes);
        openPopup(tray());
        openSaverSubmenu(tray());
        EXPECT_EQ(ownerDrawnItems(tray()).size(), fixedLooks({}).size() + tray().saverCount + 1u);
        expectHeardAsDrawn(false);
        double ahead = 0;
        ASSERT_EQ(storedEnableAt(&ahead), state.minutes != 0);
        const double choices[] = {15, 30, 60, 120, 240};  // minutes, in menu order
        for (UINT id = IDM_DISABLE_15, shortest = 0; id <= IDM_DISABLE_240; ++id) {
            bool covers = state.minutes && ahead <= choices[id - IDM_DISABLE_15] * 60 && !shortest++;
            EXPECT_EQ(menuItemAt(tray().popupMenu, id, false).state, covers ? MFS_CHECKED : 0u);
        }
    }
    // The menu open, refreshed as disabled for 30 minutes, when the time comes.
    SendMessageA(tray().window, WM_COMMAND, IDM_DISABLE_30, 0);
    openPopup(tray());
    storeEnableAt(-60);
    SendMessageA(tray().window, WM_TIMER, IDT_ENABLE, 0);
    ASSERT_TRUE((app_->flags & APP_SAVER_ACTIVE) && !tray().timedChoice);
    expectHeardAsDrawn(true);
}

// The layout at the display's pixels per inch: the catalogue_dpi entry runs this again in
// a prefix set to 120, 144 and 192 (DORMITY_EXPECT_DPI); the lengths of 96 scaled by dpi / 96.
class DpiDrawing : public Drawing {};

TEST_F(DpiDrawing, EveryItemFitsItsCaptionIconsAtTheSmallIconSizeCheckAtRightLess30s)
{
    const struct {
        int dpi, smallIcon, iconX, captionX, captionDown, shadow, checkFromRight;
    } rows[] = {{96, 16, 6, 34, 3, 1, 30}, {120, 20, 8, 43, 4, 1, 38},
                {144, 24, 9, 51, 5, 2, 45}, {192, 32, 12, 68, 6, 2, 60}};
    int dpi = GetDeviceCaps(WindowDC(nullptr).get(), LOGPIXELSY);
    if (const char* expected = getenv("DORMITY_EXPECT_DPI")) {
        ASSERT_EQ(dpi, atoi(expected)) << "the prefix's LogPixels did not take";
    }
    const auto* row = std::find_if(std::begin(rows), std::end(rows),
                                   [dpi](const auto& r) { return r.dpi == dpi; });
    ASSERT_NE(row, std::end(rows)) << dpi << " pixels per inch";
    ASSERT_EQ(GetSystemMetrics(SM_CXSMICON), row->smallIcon);
    passwordOn();
    savers_.install("tenchars.scr", WINDOWS_DIRECTORY, "tenchars.scr");
    TrayWindow& window = start("starfield.scr");
    openPopup(window);
    openSaverSubmenu(window);
    int checks = 0;
    for (const MenuItemView& item : ownerDrawnItems(window)) {
        MEASUREITEMSTRUCT measure = {ODT_MENU, 0, item.id, 0, 0, item.data};
        SendMessageA(window.window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
        const int width = static_cast<int>(measure.itemWidth), height = itemHeight();
        Canvas canvas(width, height);
        for (bool selected : {false, true}) {
            SCOPED_TRACE(std::to_string(item.id) + (selected ? ", highlighted" : ""));
            ASSERT_TRUE(recordDrawing());
            canvas.draw(window.window, item, selected);
            DrawingRecord drawn = takeDrawing();
            ASSERT_FALSE(drawn.texts.empty());
            const DrawnText& caption = drawn.texts.back();
            EXPECT_EQ(caption.x, row->captionX);
            EXPECT_TRUE(caption.y == row->captionDown || caption.y == row->captionDown + row->shadow)
                << caption.y;
            if (drawn.texts.size() == 2) {  // the greyed caption's light shadow
                EXPECT_EQ(drawn.texts[0].x, row->captionX + row->shadow);
                EXPECT_EQ(drawn.texts[0].y, row->captionDown + row->shadow);
            }
            int captionEnd = width;
            for (const DrawnIcon& icon : drawn.icons) {
                EXPECT_TRUE(icon.width == row->smallIcon && icon.height == row->smallIcon);
                EXPECT_EQ(icon.y, (height - row->smallIcon) / 2);
                if (icon.x == row->iconX)
                    continue;
                EXPECT_EQ(icon.x, width - row->checkFromRight) << "the check";
                captionEnd = icon.x;
                checks += !selected;
            }
            EXPECT_LE(caption.right, captionEnd) << caption.text << " in " << width;
            for (const LoadedIcon& load : drawn.loads) {
                EXPECT_TRUE(load.width == row->smallIcon && load.height == row->smallIcon);
                EXPECT_TRUE(iconResourceHasSize(load.id, row->smallIcon)) << load.id;
            }
        }
    }
    EXPECT_EQ(checks, 2) << "\"Password Enabled\" and the selected entry";
}

TEST_F(FamilyRefresh, TheFamilyIsTheReportedOneSubmenuItemsGetTheirIdsSeparatorsStay)
{
    EXPECT_EQ((app_->flags & APP_WIN9X) != 0, runningAsWin9x());
    EXPECT_EQ((app_->flags & APP_WIN2K) != 0, runningAsWin2kOrLater());
    std::string version = requestedVersion();
    EXPECT_TRUE(version != "win98" || runningAsWin9x());
    EXPECT_TRUE(version != "nt40" || !(runningAsWin9x() || runningAsWin2kOrLater()));
    EXPECT_TRUE(version != "win2k" || runningAsWin2kOrLater());
    HMENU savers = saverSubmenu(tray());
    openPopup(tray());
    std::vector<MenuItemView> items = menuItems(tray().popupMenu);
    ASSERT_EQ(items.size(), 17u);
    EXPECT_EQ(items[0].submenu, savers);
    ASSERT_NE(items[6].submenu, nullptr);
    EXPECT_EQ(GetMenuItemCount(items[6].submenu), 2);
    EXPECT_EQ(menuItemAt(items[6].submenu, 0, true).id, static_cast<UINT>(IDM_PASSWORD));
    EXPECT_EQ(menuItemAt(items[6].submenu, 1, true).id, static_cast<UINT>(IDM_CHANGEPASSWORD));
    // 0: a separator.
    const UINT commandsInOrder[] = {IDM_SAVERMENU, 0, IDM_LAUNCH, IDM_CONFIGURE, IDM_PROPERTIES, 0,
                                    IDM_PASSWORDMENU, IDM_TIMEOUT, IDM_TOGGLE, IDM_DISABLEMENU,
                                    IDM_KEEPOFFMENU, 0, IDM_LOCK, 0, IDM_ABOUT, 0, IDM_EXIT};
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
    std::vector<Situation> situations = {{false, true, -1, -1},
                                         {false, false, -1, -1},
                                         {true, true, 1, 1},
                                         {false, false, 0, 0},
                                         {true, true, 1, 1}};
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

// A policy value in any form holds its setting: its items greyed (every screen saver entry
// too, the check kept), the rest as without it; the line above Exit says why, and goes with it.
TEST_F(FamilyRefresh, APolicyValueOfAnyFormHoldsItsSettingAndTheMenuSaysSo)
{
    enter({true, true, 1, 0x31323334});
    std::map<UINT, UINT> before;  // every item's state without a policy
    for (const MenuItemView& item : ownerDrawnItems(tray()))
        before[item.id] = item.state;
    const DWORD off = POLICY_ACTIVE | POLICY_KEEPS_OFF, page = POLICY_NO_PROPERTIES;
    const std::map<DWORD, std::vector<UINT>> greys = {{POLICY_SAVER, {IDM_NONE}},
        {POLICY_ACTIVE, {IDM_TOGGLE, IDM_DISABLE_15, IDM_DISABLE_30, IDM_DISABLE_60,
                         IDM_DISABLE_120, IDM_DISABLE_240, IDM_ADD_RUNNING}},
        {POLICY_TIMEOUT, {IDM_TIMEOUT}},
        {POLICY_PASSWORD, {IDM_PASSWORD, IDM_CHANGEPASSWORD}}, {page, {IDM_PROPERTIES}},
        {POLICY_NO_CHANGES, {IDM_TOGGLE, IDM_DISABLE_15, IDM_DISABLE_30, IDM_DISABLE_60,
         IDM_DISABLE_120, IDM_DISABLE_240, IDM_TIMEOUT, IDM_PASSWORD, IDM_CHANGEPASSWORD,
         IDM_PROPERTIES, IDM_NONE, IDM_CONFIGURE, IDM_ADD_RUNNING}}};
    const std::string one("\x01\0\0\0", 4), zero(4, '\0');
    const struct { const char* name; DWORD type; std::string bytes; DWORD effect; } rows[] = {
        {"", REG_NONE, "", 0}, {"ScreenSaveActive", REG_SZ, "1", POLICY_ACTIVE},
        {"ScreenSaveActive", REG_SZ, " +0", off}, {"ScreenSaveActive", REG_DWORD, zero, off},
        {"ScreenSaveActive", REG_DWORD, "1", POLICY_ACTIVE},  // one byte: text
        {"ScreenSaverIsSecure", REG_BINARY, "0", POLICY_PASSWORD},  // no terminator
        {"ScreenSaverIsSecure", REG_SZ, "1", POLICY_PASSWORD},
        {"ScreenSaveTimeOut", REG_SZ, std::string(300, '9'), POLICY_TIMEOUT},  // too long to read
        {"SCRNSAVE.EXE", REG_SZ, catalogueFileNameOf(WINDOWS_DIRECTORY, "starfield.scr"),
         POLICY_SAVER}, {"NoDispScrSavPage", REG_DWORD, one, POLICY_NO_CHANGES},
        {"NoDispCPL", REG_BINARY, one, page}, {"NoDispCPL", REG_SZ, "1", page},
        {"NoDispScrSavPage", REG_DWORD, zero, 0}, {"NoDispCPL", REG_SZ, "0", 0}};
    Canvas canvas(kWidth, itemHeight());
    auto timeoutDrawnGrey = [&] {  // a grey caption's light shadow, then its grey
        EXPECT_TRUE(recordDrawing());
        canvas.draw(tray().window, menuItemAt(tray().popupMenu, IDM_TIMEOUT, false), false);
        return takeDrawing().texts.size() == 2;
    };
    setPolicyValue("ScreenSaveTimeOut", REG_SZ, "600", 4);
    EXPECT_FALSE(timeoutDrawnGrey()) << "read again for the drawing";
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.name) + ", type " + std::to_string(row.type));
        removePolicies();
        if (*row.name)  // text with its terminator, as the registry keeps it
            setPolicyValue(row.name, row.type, row.bytes.c_str(),
                           static_cast<DWORD>(row.bytes.size() + (row.type == REG_SZ)));
        SendMessageA(tray().window, WM_SETTINGCHANGE, 0, 0);
        EXPECT_EQ(timeoutDrawnGrey(), (row.effect & (POLICY_TIMEOUT | POLICY_NO_CHANGES)) != 0);
        openPopup(tray());
        EXPECT_EQ(readPolicyFlags(), row.effect);
        for (const MenuItemView& item : ownerDrawnItems(tray())) {  // the entries as "[none]"
            bool greyed = item.id == IDM_MANAGED;
            for (const auto& held : greys)
                greyed |= (row.effect & held.first) && std::count(held.second.begin(),
                              held.second.end(), std::min<UINT>(item.id, IDM_NONE));
            UINT state = before[item.id] | (greyed ? MFS_GRAYED : 0u);
            if (item.id == IDM_PASSWORD && row.effect == POLICY_PASSWORD && !runningAsWin9x())
                state = (state & ~MFS_CHECKED) | (row.bytes == "1" ? MFS_CHECKED : 0u);
            EXPECT_EQ(item.state, state) << item.id;
        }
        EXPECT_FALSE(tray().noneEntry->flags & SAVER_CHECKED) << "the check moved";
        std::vector<MenuItemView> items = menuItems(tray().popupMenu);  // 0 to 14 stay
        ASSERT_EQ(items.size(), row.effect ? 19u : 17u);
        const FixedItemRecord* line = reinterpret_cast<const FixedItemRecord*>(items[16].data);
        EXPECT_TRUE(!row.effect || (items[16].id == IDM_MANAGED && items[16].state == MFS_GRAYED
            && (items[17].type & MFT_SEPARATOR) && items[18].id == IDM_EXIT
            && hasItemName(line->name)
            && lstrcmpW(line->name.text, L"Some settings are managed by your organization.") == 0));
    }
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
