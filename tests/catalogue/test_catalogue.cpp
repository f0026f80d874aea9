// The catalogue of installed screen savers, built by the real program from
// real files in the prefix's Windows and System directories.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/handles.h"
#include "app/tray_window.h"
#include "catalogue/catalogue_env.h"
#include "res/resource.h"
#include "saverconfig/catalogue.h"
#include "support/wine_env.h"

namespace {

// String 1 of long300.scr cut to 259: every tenth character a letter, so a
// cut anywhere else shows.
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
    PROCESS_HEAP_ENTRY entry;
    memset(&entry, 0, sizeof entry);
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
            EXPECT_EQ(entry->prev, i + 1 < items.size() ? newestFirst[items.size() - 2 - i] : nullptr);
        }
        std::string description = checked < 0 ? "none" : expected[checked].description;
        EXPECT_EQ(tray.currentDescription, description);
        EXPECT_EQ(tray.trayIcon.szTip, ("Dormity - [" + description + "]").substr(0, 63));
    }

    InstalledSavers savers_;
    std::vector<Installed> installed_;
    std::unique_ptr<Application> app_;
};

// The cases where the family decides where the configuration lives and how
// wide the entries are.
class FamilyCatalogue : public Catalogue {};

} // namespace

TEST_F(Catalogue, NoScreenSaverFilesLeaveOnlyTheMarkedNoneEntry)
{
    ASSERT_TRUE(searchOrder(WINDOWS_DIRECTORY).empty());
    ASSERT_TRUE(searchOrder(SYSTEM_DIRECTORY).empty());
    TrayWindow& tray = start();
    expectCatalogue(tray, {}, -1);
    // A configured file that is not installed changes nothing.
    configureSaver(shortSaverDirectory(WINDOWS_DIRECTORY) + "\\first.scr");
    openSaverSubmenu(tray);
    expectCatalogue(tray, {}, -1);
}

// No string 1, an empty one and a damaged string table give the file name, a
// long one is cut to 259 characters; a text file and a cut-off executable are
// left out, and the ids of the entries after them have no gaps.
TEST_F(Catalogue, DescriptionsFallBackUnloadableFilesAreLeftOutTheIdsStayWithoutGaps)
{
    install("nostring.scr", WINDOWS_DIRECTORY, "x.scr", "x");
    install("emptystr.scr", WINDOWS_DIRECTORY, "emptystr.scr", "emptystr");
    install("notes.scr", WINDOWS_DIRECTORY, "notes.scr", "");
    install("long300.scr", WINDOWS_DIRECTORY, "long300.scr", long259());
    install("truncated.scr", WINDOWS_DIRECTORY, "cut.scr", "");
    install("badstrings.scr", WINDOWS_DIRECTORY, "badstr.scr", "badstr");
    install("tenchars.scr", SYSTEM_DIRECTORY, "tenchars.scr", "TenChars10");
    install("starfield.scr", SYSTEM_DIRECTORY, "starfield.scr", "Starfield Fixture");
    TrayWindow& tray = start();
    std::vector<ExpectedEntry> expected = expectedEntries();
    ASSERT_EQ(expected.size(), 6u);
    expectCatalogue(tray, expected, -1);
}

TEST_F(Catalogue, AFileNameInBothDirectoriesGivesTwoEntries)
{
    install("starfield.scr", WINDOWS_DIRECTORY, "starfield.scr", "Starfield Fixture");
    install("starfield.scr", SYSTEM_DIRECTORY, "starfield.scr", "Starfield Fixture");
    std::vector<ExpectedEntry> expected = expectedEntries();
    ASSERT_EQ(expected.size(), 2u);
    EXPECT_NE(expected[0].fileName, expected[1].fileName);
    // Only the System directory's copy is configured, so only it is marked.
    configureSaver(expected[1].fileName);
    expectCatalogue(start(), expected, 1);
}

TEST_F(Catalogue, OpeningTheSubmenuTwiceGivesTheSameItemsAndFreesTheOldList)
{
    install("starfield.scr", WINDOWS_DIRECTORY, "starfield.scr", "Starfield Fixture");
    install("nostring.scr", WINDOWS_DIRECTORY, "x.scr", "x");
    install("tenchars.scr", SYSTEM_DIRECTORY, "tenchars.scr", "TenChars10");
    std::vector<ExpectedEntry> expected = expectedEntries();
    ASSERT_EQ(expected.size(), 3u);
    configureSaver(expected[2].fileName);
    TrayWindow& tray = start();
    openSaverSubmenu(tray);
    std::vector<std::string> first = listed(tray.saverList);
    openSaverSubmenu(tray);
    EXPECT_EQ(listed(tray.saverList), first);
    expectCatalogue(tray, expected, 2);

    // Many rebuilds leave the heap holding as many entries as one.
    int before = usedEntryBlocks();
    ASSERT_GE(before, static_cast<int>(expected.size() + 1)) << "the live list is not counted";
    for (int i = 0; i < 100; ++i)
        openSaverSubmenu(tray);
    EXPECT_EQ(usedEntryBlocks(), before) << "blocks left behind by 100 rebuilds";
    expectCatalogue(tray, expected, 2);
}

TEST_F(Catalogue, ReadingADescriptionNeverRunsTheFilesCode)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string marker = std::string(temp) + "dormity-scr-code-ran.txt";
    DeleteFileA(marker.c_str());
    install("marker.scr", WINDOWS_DIRECTORY, "marker.scr", "Marker Fixture");
    install("marker.scr", SYSTEM_DIRECTORY, "marker.scr", "Marker Fixture");
    TrayWindow& tray = start();
    openSaverSubmenu(tray);
    SendMessageA(tray.window, WM_SETTINGCHANGE, 0, 0);
    SendMessageA(tray.window, WM_REINSTALL, 0, 0);
    expectCatalogue(tray, expectedEntries(), -1);
    EXPECT_FALSE(fileExists(marker)) << "a rebuild ran code of a screen saver file";
    app_.reset();

    // The probe works: loading it as a module that runs code leaves the marker.
    std::string copy = freshTempDirectory("marker-probe") + "\\probe.scr";
    ASSERT_TRUE(CopyFileA(fixturePath("marker.scr").c_str(), copy.c_str(), FALSE));
    EXPECT_TRUE(UniqueModule(LoadLibraryA(copy.c_str())));
    EXPECT_TRUE(fileExists(marker)) << "the fixture's code did not run when loaded normally";
    DeleteFileA(marker.c_str());
    DeleteFileA(copy.c_str());
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
    const struct {
        std::string configured;  // "": nothing configured
        int checked;
    } steps[] = {
        {longPath, -1},  // names the file, but is not the catalogue's form
        {shortForm, 1},
        {lower, 1},      // letter case does not count
        {saverDirectory(WINDOWS_DIRECTORY) + "\\first.scr", 0},  // long and short agree
        {"", -1},
    };
    configureSaver(longPath);
    TrayWindow& tray = start();
    for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
        SCOPED_TRACE("configured \"" + steps[i].configured + "\"");
        if (steps[i].configured.empty())
            clearConfiguredSaver();
        else
            configureSaver(steps[i].configured);
        if (i % 2)
            SendMessageA(tray.window, WM_SETTINGCHANGE, 0, 0);
        else
            openSaverSubmenu(tray);
        expectCatalogue(tray, expected, steps[i].checked);
    }
}

TEST_F(FamilyCatalogue, EntryWidthsFollowTheMenuFontAndTheFamily)
{
    install("tenchars.scr", WINDOWS_DIRECTORY, "tenchars.scr", "TenChars10");
    install("long300.scr", WINDOWS_DIRECTORY, "long300.scr", long259());
    install("starfield.scr", SYSTEM_DIRECTORY, "starfield.scr", "Starfield Fixture");
    TrayWindow& tray = start();
    NONCLIENTMETRICSA original;
    memset(&original, 0, sizeof original);
    original.cbSize = 340;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, &original, 0);
    for (LONG height : {original.lfMenuFont.lfHeight, -16L}) {
        SCOPED_TRACE("menu font height " + std::to_string(height));
        NONCLIENTMETRICSA changed = original;
        changed.lfMenuFont.lfHeight = height;
        SystemParametersInfoA(SPI_SETNONCLIENTMETRICS, 0, &changed, 0);
        openSaverSubmenu(tray);
        int points = menuFontPointsHere(tray.window);
        EXPECT_GT(points, 0);
        LOGFONTA logFont = menuLogFont();
        WindowDC dc(nullptr);
        UniqueGdiObject font(CreateFontIndirectA(&logFont));
        SelectedObject selected(dc.get(), font.get());
        for (const MenuItemView& item : menuItems(saverSubmenu(tray))) {
            const SaverEntry* entry = reinterpret_cast<const SaverEntry*>(item.data);
            SCOPED_TRACE(entry->description);
            UINT rule = item.id == IDM_NONE ? static_cast<UINT>(6 * points)
                : static_cast<UINT>(strlen(entry->description) * (points + runningAsWin9x())) & 0xFFFF;
            // Never narrower than the icon column, the caption and the check
            // mark with its gap need.
            SIZE caption = {0, 0};
            GetTextExtentPoint32A(dc.get(), entry->description, lstrlenA(entry->description), &caption);
            UINT expected = std::max(rule, static_cast<UINT>(34 + caption.cx + 4 + 30));
            EXPECT_EQ(entry->itemWidth, expected);
            MEASUREITEMSTRUCT measure = {ODT_MENU, 0, item.id, 0, 0, item.data};
            EXPECT_EQ(SendMessageA(tray.window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure)),
                      TRUE);
            EXPECT_EQ(measure.itemWidth, expected);
            EXPECT_EQ(measure.itemHeight, static_cast<UINT>(GetSystemMetrics(SM_CYMENUSIZE) + 2));
        }
    }
    SystemParametersInfoA(SPI_SETNONCLIENTMETRICS, 0, &original, 0);
}

// An entry drawn at the width it asks for shows its whole caption clear of
// the check mark: "[none]" when nothing is installed, and a short description.
TEST_F(FamilyCatalogue, EveryEntryIsWideEnoughForItsCaptionAndItsCheck)
{
    const int height = GetSystemMetrics(SM_CYMENUSIZE) + 2;
    const int iconTop = (height - 16) / 2;
    for (bool installed : {false, true}) {
        SCOPED_TRACE(installed ? "a short description" : "only [none]");
        if (installed) {
            install("tenchars.scr", WINDOWS_DIRECTORY, "tenchars.scr", "TenChars10");
            configureSaver(catalogueFileNameOf(WINDOWS_DIRECTORY, "tenchars.scr"));
        }
        TrayWindow& tray = start();
        SaverEntry* entry = installed ? tray.saverList : tray.noneEntry;
        ASSERT_TRUE(entry && (entry->flags & SAVER_CHECKED));
        const int checkX = entry->itemWidth - 30;
        // The caption alone, on an item wider than anything needs.
        entry->flags = 0;
        Canvas alone(600, height);
        EXPECT_TRUE(drawItem(tray, alone, entry->menuId, reinterpret_cast<ULONG_PTR>(entry), false));
        entry->flags = SAVER_CHECKED;
        COLORREF background = alone.at(alone.width() - 1, 0);
        int captionEnd = alone.lastColumnNot(background, 34, alone.width(), 0, height);
        ASSERT_GT(captionEnd, 34) << "the caption was drawn";
        EXPECT_LT(captionEnd, checkX - 1) << "check at " << checkX << " of " << entry->itemWidth;
        // At its own width, with its check: the caption whole, the check beside it.
        Canvas fitted(entry->itemWidth, height);
        EXPECT_TRUE(drawItem(tray, fitted, entry->menuId, reinterpret_cast<ULONG_PTR>(entry), false));
        EXPECT_TRUE(fitted.sameAs(alone, 0, 0, checkX, height)) << "the caption is intact";
        EXPECT_GT(fitted.countOther(background, checkX, iconTop, checkX + 16, iconTop + 16), 0)
            << "the check is drawn";
        app_.reset();
    }
}

namespace {

WORD lengthTimesSeven(const void*, const char* description, bool none)
{
    return static_cast<WORD>(strlen(description) * 7 + (none ? 1 : 0));
}

// One rebuild from both directories, scanned as the program scans them.
void rebuild(SaverCatalogue& catalogue)
{
    SaverWidthRule rule = {lengthTimesSeven, nullptr, 7};
    catalogue.beginRebuild(runningAsWin9x() ? FAMILY_95 : FAMILY_NT, rule);
    for (SaverDirectory where : {WINDOWS_DIRECTORY, SYSTEM_DIRECTORY})
        catalogue.scanDirectory((saverDirectory(where) + "\\*.scr").c_str(),
                                shortSaverDirectory(where).c_str());
    catalogue.finishRebuild();
    catalogue.releasePrevious();
}

std::vector<ULONG_PTR> itemData(TrayWindow& tray)
{
    std::vector<ULONG_PTR> data;
    for (const MenuItemView& item : menuItems(saverSubmenu(tray)))
        data.push_back(item.data);
    return data;
}

} // namespace

// A catalogue that reuses what it read before lists, after every kind of
// change, exactly what a new one lists; the program's submenu keeps its items
// (and the entries they point at) only while nothing it shows has changed.
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
        {"a file added", false, [&] { savers_.install("long300.scr", SYSTEM_DIRECTORY, "sysone.scr"); }},
        {"a file replaced by one of the same size", false,
         [&] { savers_.replaceContent(first, "tenchars.scr"); }},
        {"a file touched", true, [&] { touch(third); }},
        {"a file renamed", false, [&] { second = savers_.rename(second, "renamed.scr"); }},
        {"another file configured", true,
         [&] { configureSaver(catalogueFileNameOf(WINDOWS_DIRECTORY, "first.scr")); }},
        {"the configured file removed", false, [&] { DeleteFileA(first.c_str()); }},
        {"a refused file made whole", false,
         [&] { savers_.replaceContent(saverDirectory(SYSTEM_DIRECTORY) + "\\truncated.scr", "starfield.scr"); }},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.change);
        std::vector<ULONG_PTR> before = itemData(tray);
        step.apply();
        rebuild(kept);
        SaverCatalogue fresh;
        rebuild(fresh);
        EXPECT_EQ(listed(kept.newest), listed(fresh.newest));
        EXPECT_STREQ(kept.currentDescription, fresh.currentDescription);
        openSaverSubmenu(tray);
        EXPECT_EQ(listed(tray.saverList, false), listed(fresh.newest, false));
        EXPECT_STREQ(tray.currentDescription, fresh.currentDescription);
        std::vector<ULONG_PTR> after = itemData(tray);
        EXPECT_EQ(after == before, step.itemsStay);
        ASSERT_EQ(after.size(), static_cast<size_t>(tray.saverCount + 1));
        for (const SaverEntry* entry = tray.saverList; entry; entry = entry->next)
            EXPECT_EQ(after[entry->menuId - IDM_NONE], reinterpret_cast<ULONG_PTR>(entry))
                << "every item points at the live entry of its id";
    }
}

namespace {

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

} // namespace

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
    const std::string text = readFileBytes(fixturePath("notes.scr"));
    const std::string badHeader = readFileBytes(fixturePath("badheader.scr"));
    const struct {
        const char* what;
        std::string bytes;
        size_t length;
        size_t size;
        bool fits;
    } cases[] = {
        {"the headers of a whole file", whole, 4096, whole.size(), true},
        {"a whole file", whole, whole.size(), whole.size(), true},
        {"the file ends before its last section", whole, 4096, whole.size() - 1, false},
        {"half a file", whole, 4096, whole.size() / 2, false},
        {"text", text, text.size(), text.size(), false},
        {"no MZ", changed(0, "X"), 4096, whole.size(), false},
        {"a 16-bit NE program", changed(nt, "N"), 4096, whole.size(), false},
        {"a machine against the header's kind", changed(nt + 4, wide ? "\x4C\x01" : "\x64\x86"),
         4096, whole.size(), false},
        {"a header against the machine", changed(nt + 24, wide ? "\x0B\x01" : "\x0B\x02"), 4096,
         whole.size(), false},
        {"Itanium", changed(nt + 4, std::string("\0\2", 2)), 4096, whole.size(), false},
        {"headers far outside", changed(0x3C, "\xF0\xF0\xF0\xF0"), 4096, whole.size(), false},
        {"too many sections", changed(nt + 6, "\xFF"), 4096, whole.size(), false},
        {"DOS page counts, which the loader ignores", badHeader, 4096, badHeader.size(), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fits(c.bytes, c.length, c.size), c.fits) << c.what;
    // Fewer bytes than the headers and the section table need.
    for (size_t cut : {0u, 2u, 63u, 64u, 200u, 400u})
        EXPECT_FALSE(fits(whole, cut, cut)) << cut << " bytes";
}

TEST(CompleteImage, TheFileCheckReadsTheFileItself)
{
    std::string empty = freshTempDirectory("empty-image") + "\\empty.scr";
    writeFileBytes(empty, "", 0);
    const struct {
        std::string path;
        SaverFileCheck check;
    } cases[] = {
        {fixturePath("starfield.scr"), SAVER_FILE_SOUND}, {fixturePath("marker.scr"), SAVER_FILE_SOUND},
        {fixturePath("nostring.scr"), SAVER_FILE_SOUND}, {fixturePath("long300.scr"), SAVER_FILE_SOUND},
        {fixturePath("badstrings.scr"), SAVER_FILE_UNREADABLE},
        {fixturePath("truncated.scr"), SAVER_FILE_REFUSED}, {fixturePath("notes.scr"), SAVER_FILE_REFUSED},
        {fixturePath("missing.scr"), SAVER_FILE_REFUSED}, {empty, SAVER_FILE_REFUSED},
    };
    for (const auto& c : cases)
        EXPECT_EQ(checkSaverFile(c.path.c_str()), c.check) << c.path;
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
    size_t lengthOfZero = 0;
    while (lengthOfZero < sound.size() && sound[lengthOfZero] == damaged[lengthOfZero])
        ++lengthOfZero;
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
// system's own loader picks, whatever the thread's language asks for.
TEST(SaverFile, TheDescriptionIsInTheLanguageTheLoaderPicks)
{
    const LCID original = GetThreadLocale();
    for (const char* fixture : {"twolang.scr", "otherlang.scr", "starfield.scr"}) {
        for (LCID locale : {original, MAKELCID(0x0407, SORT_DEFAULT), MAKELCID(0x040C, SORT_DEFAULT),
                            MAKELCID(0x0411, SORT_DEFAULT)}) {
            SCOPED_TRACE(std::string(fixture) + " in locale " + std::to_string(locale));
            SetThreadLocale(locale);
            std::string path = fixturePath(fixture);
            char loaded[260] = "";
            UniqueModule module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
            ASSERT_TRUE(module);
            LoadStringA(module.get(), 1, loaded, sizeof loaded);
            char description[260];
            EXPECT_EQ(readSaverFile(path.c_str(), description, sizeof description), SAVER_FILE_SOUND);
            EXPECT_STRNE(loaded, "");
            EXPECT_STREQ(description, loaded);
        }
    }
    SetThreadLocale(original);
    char description[260];
    readSaverFile(fixturePath("twolang.scr").c_str(), description, sizeof description);
    EXPECT_STREQ(description, "Starfield In English") << "English is the user's language here";
}

TEST(SaverFile, TheLanguageOrderIsNeutralThreadUserSystemThenEnglish)
{
    LANGID order[12];
    ASSERT_EQ(resourceLanguageOrder(0x0407, 0x040C, 0x0411, order, 12), 8u);
    EXPECT_EQ(std::vector<LANGID>(order, order + 8),
              (std::vector<LANGID>{0x0000, 0x0407, 0x0007, 0x040C, 0x000C, 0x0411, 0x0011, 0x0409}));
    // The same language twice is tried once; the list never overruns.
    EXPECT_EQ(resourceLanguageOrder(0x0409, 0x0409, 0x0409, order, 12), 3u);
    EXPECT_EQ(resourceLanguageOrder(0x0407, 0x040C, 0x0411, order, 4), 4u);
}
