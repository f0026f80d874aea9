// The catalogue of installed screen savers, rebuilt by the real program
// from real screen saver files in the prefix's Windows and System
// directories and read back through the menu API and the entry list.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/handles.h"
#include "app/tray_window.h"
#include "support/savers.h"
#include "support/pixels.h"
#include "res/resource.h"
#include "saverconfig/catalogue.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"

namespace {

// The description of string 1 of long300.scr: 300 characters in which
// every tenth is a letter, so that a cut anywhere else shows.
std::string longDescription()
{
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += i % 10 == 0 ? static_cast<char>('A' + (i / 10) % 26) : static_cast<char>('0' + i % 10);
    return text;
}

std::string markerPath()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    return std::string(temp) + "dormity-scr-code-ran.txt";
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

// Puts the system's menu font back however a test ends.
struct MenuFontRestorer {
    NONCLIENTMETRICSA original;
    MenuFontRestorer()
    {
        memset(&original, 0, sizeof original);
        original.cbSize = 340;
        SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, &original, 0);
    }
    ~MenuFontRestorer() { SystemParametersInfoA(SPI_SETNONCLIENTMETRICS, 0, &original, 0); }
};

struct ExpectedEntry {
    std::string description;
    std::string fileName;
};

// What a file installed under a name must show; unloadable files are
// left out of the catalogue.
struct Installed {
    SaverDirectory where;
    std::string name;
    std::string description;  // empty: the file must be left out
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

    // The catalogue the program must build: "[none]" aside, the Windows
    // directory's files and then the System directory's, each in the order
    // in which the directory search returns them.
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
                if (!known) {
                    ADD_FAILURE() << "unexpected file " << found.longName;
                    continue;
                }
                if (!known->description.empty())
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
        ASSERT_EQ(items.size(), expected.size() + 1);
        std::vector<const SaverEntry*> newestFirst = entriesNewestFirst(tray);
        ASSERT_EQ(newestFirst.size(), expected.size() + 1);
        EXPECT_EQ(tray.saverCount, expected.size());

        const SaverEntry* none = tray.noneEntry;
        ASSERT_NE(none, nullptr);
        EXPECT_EQ(newestFirst.back(), none) << "\"[none]\" stays last in the list";
        EXPECT_EQ(items[0].id, static_cast<UINT>(IDM_NONE));
        EXPECT_EQ(items[0].data, reinterpret_cast<ULONG_PTR>(none));
        EXPECT_STREQ(none->description, "[none]");
        EXPECT_STREQ(none->fileName, "[none]");
        EXPECT_EQ(none->menuId, IDM_NONE);
        EXPECT_EQ(none->next, nullptr);
        EXPECT_EQ((none->flags & SAVER_CHECKED) != 0, checked < 0);

        for (size_t i = 0; i < items.size(); ++i) {
            SCOPED_TRACE("menu position " + std::to_string(i));
            EXPECT_TRUE(items[i].type & MFT_OWNERDRAW);
            // The list runs newest first, the menu oldest first.
            const SaverEntry* entry = newestFirst[newestFirst.size() - 1 - i];
            EXPECT_EQ(items[i].data, reinterpret_cast<ULONG_PTR>(entry));
            EXPECT_EQ(items[i].id, static_cast<UINT>(IDM_NONE + i)) << "ids without gaps";
            EXPECT_EQ(entry->menuId, IDM_NONE + i);
            EXPECT_EQ(entry->flags & ~SAVER_CHECKED, 0);
            if (i == 0)
                continue;
            EXPECT_EQ(entry->description, expected[i - 1].description);
            EXPECT_EQ(entry->fileName, expected[i - 1].fileName);
            EXPECT_EQ((entry->flags & SAVER_CHECKED) != 0, static_cast<int>(i - 1) == checked);
            EXPECT_EQ(entry->next, newestFirst[newestFirst.size() - i]);
            EXPECT_EQ(entry->next->prev, entry);
        }
        EXPECT_EQ(tray.saverList->prev, nullptr);

        std::string description = checked < 0 ? "none" : expected[checked].description;
        EXPECT_EQ(tray.currentDescription, description);
        std::string tip = ("Dormity - [" + description + "]").substr(0, 63);
        EXPECT_EQ(tray.trayIcon.szTip, tip);
    }

    InstalledFiles savers_;
    std::vector<Installed> installed_;
    std::unique_ptr<Application> app_;
};

// The same edge cases where the family decides where the configuration
// lives and how wide the entries are.
class FamilyCatalogue : public Catalogue {};

} // namespace

TEST_F(Catalogue, NoScreenSaverFilesLeaveOnlyTheMarkedNoneEntry)
{
    ASSERT_TRUE(searchOrder(WINDOWS_DIRECTORY).empty());
    ASSERT_TRUE(searchOrder(SYSTEM_DIRECTORY).empty());
    TrayWindow& tray = start();
    expectCatalogue(tray, {}, -1);
    EXPECT_STREQ(tray.trayIcon.szTip, "Dormity - [none]");
    // A configured file that is not installed changes nothing.
    configureSaver(shortSaverDirectory(WINDOWS_DIRECTORY) + "\\first.scr");
    openSaverSubmenu(tray);
    expectCatalogue(tray, {}, -1);
}

TEST_F(Catalogue, UnloadableFilesAreLeftOutAndTheIdsStayWithoutGaps)
{
    // A text file and a cut-off executable: neither can be loaded.
    for (const char* unloadable : {"notes.scr", "truncated.scr"}) {
        SCOPED_TRACE(unloadable);
        installed_.clear();
        savers_.removeAll();
        install("starfield.scr", WINDOWS_DIRECTORY, "first.scr", "Starfield Fixture");
        install("tenchars.scr", WINDOWS_DIRECTORY, "second.scr", "TenChars10");
        install("long300.scr", WINDOWS_DIRECTORY, "third.scr", longDescription().substr(0, 259));
        install("nostring.scr", SYSTEM_DIRECTORY, "sysone.scr", "sysone");
        install("emptystr.scr", SYSTEM_DIRECTORY, "systwo.scr", "systwo");

        // The second file that the search returns becomes unloadable; its
        // directory entry, and so the order, stays as it was.
        std::vector<FoundFile> order = searchOrder(WINDOWS_DIRECTORY);
        ASSERT_EQ(order.size(), 3u);
        savers_.replaceContent(saverDirectory(WINDOWS_DIRECTORY) + "\\" + order[1].longName,
                               unloadable);
        for (Installed& file : installed_) {
            if (file.where == WINDOWS_DIRECTORY && file.name == order[1].longName)
                file.description.clear();
        }

        TrayWindow& tray = start();
        std::vector<ExpectedEntry> expected = expectedEntries();
        ASSERT_EQ(expected.size(), 4u);
        expectCatalogue(tray, expected, -1);
        // First, third, then the System directory's two.
        EXPECT_EQ(expected[0].fileName,
                  shortSaverDirectory(WINDOWS_DIRECTORY) + "\\" + order[0].longName);
        EXPECT_EQ(expected[1].fileName,
                  shortSaverDirectory(WINDOWS_DIRECTORY) + "\\" + order[2].longName);
        app_.reset();
    }
}

TEST_F(Catalogue, DescriptionsFallBackToTheFileNameAndAreCutAt259Characters)
{
    install("nostring.scr", WINDOWS_DIRECTORY, "x.scr", "x");
    install("emptystr.scr", WINDOWS_DIRECTORY, "emptystr.scr", "emptystr");
    install("long300.scr", WINDOWS_DIRECTORY, "long300.scr", longDescription().substr(0, 259));
    install("tenchars.scr", SYSTEM_DIRECTORY, "tenchars.scr", "TenChars10");
    install("starfield.scr", SYSTEM_DIRECTORY, "starfield.scr", "Starfield Fixture");
    TrayWindow& tray = start();
    std::vector<ExpectedEntry> expected = expectedEntries();
    ASSERT_EQ(expected.size(), 5u);
    expectCatalogue(tray, expected, -1);

    for (const SaverEntry* entry : entriesNewestFirst(tray)) {
        if (strcmp(entry->description, "x") == 0) {
            // A plain 8.3 name is used as it is, under the short directory.
            EXPECT_EQ(std::string(entry->fileName),
                      shortSaverDirectory(WINDOWS_DIRECTORY) + "\\x.scr");
        }
        if (strlen(entry->description) > 100) {
            EXPECT_EQ(strlen(entry->description), 259u);
            EXPECT_EQ(entry->description[258], '8');  // "...Z12345678": the 259th character
        }
    }
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
    TrayWindow& tray = start();
    expectCatalogue(tray, expected, 1);
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
    std::vector<MenuItemView> first = menuItems(saverSubmenu(tray));
    std::vector<SaverEntry> firstEntries;
    for (const MenuItemView& item : first)
        firstEntries.push_back(*reinterpret_cast<const SaverEntry*>(item.data));

    openSaverSubmenu(tray);
    std::vector<MenuItemView> second = menuItems(saverSubmenu(tray));
    ASSERT_EQ(second.size(), first.size());
    for (size_t i = 0; i < second.size(); ++i) {
        SCOPED_TRACE("position " + std::to_string(i));
        const SaverEntry* entry = reinterpret_cast<const SaverEntry*>(second[i].data);
        EXPECT_EQ(second[i].id, first[i].id);
        EXPECT_EQ(entry->menuId, firstEntries[i].menuId);
        EXPECT_EQ(entry->flags, firstEntries[i].flags);
        EXPECT_EQ(entry->itemWidth, firstEntries[i].itemWidth);
        EXPECT_STREQ(entry->description, firstEntries[i].description);
        EXPECT_STREQ(entry->fileName, firstEntries[i].fileName);
    }
    expectCatalogue(tray, expected, 2);

    // Each rebuild frees the list it replaces: many rebuilds leave the
    // heap holding as many blocks as one.
    int before = usedEntryBlocks();
    ASSERT_GE(before, static_cast<int>(expected.size() + 1)) << "the live list is not counted";
    for (int i = 0; i < 100; ++i)
        openSaverSubmenu(tray);
    int after = usedEntryBlocks();
    EXPECT_EQ(after, before) << "blocks left behind by 100 rebuilds";
    EXPECT_EQ(GetMenuItemCount(saverSubmenu(tray)), static_cast<int>(expected.size() + 1));
    expectCatalogue(tray, expected, 2);
}

TEST_F(Catalogue, ReadingADescriptionNeverRunsTheFilesCode)
{
    std::string marker = markerPath();
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

    // The probe works: loading it as a module that runs code leaves the
    // marker.
    std::string copy = freshTempDirectory("marker-probe") + "\\probe.scr";
    ASSERT_TRUE(CopyFileA(fixturePath("marker.scr").c_str(), copy.c_str(), FALSE));
    HMODULE module = LoadLibraryA(copy.c_str());
    ASSERT_NE(module, nullptr);
    FreeLibrary(module);
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
    std::string longPath = saverDirectory(SYSTEM_DIRECTORY) + "\\Long Name Saver.scr";
    const std::string& shortForm = expected[1].fileName;
    ASSERT_NE(shortForm, longPath) << "the long name needs a short form of its own";
    EXPECT_TRUE(fileExists(shortForm));

    // The long path names the file but is not the catalogue's form.
    configureSaver(longPath);
    TrayWindow& tray = start();
    expectCatalogue(tray, expected, -1);
    EXPECT_STREQ(tray.trayIcon.szTip, "Dormity - [none]");

    configureSaver(shortForm);
    SendMessageA(tray.window, WM_SETTINGCHANGE, 0, 0);
    expectCatalogue(tray, expected, 1);
    EXPECT_STREQ(tray.trayIcon.szTip, "Dormity - [TenChars10]");

    // Letter case does not count.
    std::string lower = shortForm;
    CharLowerA(&lower[0]);
    configureSaver(lower);
    openSaverSubmenu(tray);
    expectCatalogue(tray, expected, 1);

    // A file whose long and short names agree is marked by either.
    configureSaver(saverDirectory(WINDOWS_DIRECTORY) + "\\first.scr");
    openSaverSubmenu(tray);
    expectCatalogue(tray, expected, 0);
    EXPECT_STREQ(tray.trayIcon.szTip, "Dormity - [Starfield Fixture]");

    // Back to nothing configured: "[none]" is marked again.
    clearConfiguredSaver();
    openSaverSubmenu(tray);
    expectCatalogue(tray, expected, -1);
}

namespace {

// A caption's width in the menu font as the system gives it now.
UINT captionWidth(const char* caption)
{
    LOGFONTA logFont = menuLogFont();
    HDC dc = GetDC(nullptr);
    HFONT font = CreateFontIndirectA(&logFont);
    HGDIOBJ previous = SelectObject(dc, font);
    SIZE extent = {0, 0};
    GetTextExtentPoint32A(dc, caption, lstrlenA(caption), &extent);
    SelectObject(dc, previous);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    return static_cast<UINT>(extent.cx);
}

} // namespace

TEST_F(FamilyCatalogue, EntryWidthsFollowTheMenuFontAndTheFamily)
{
    install("tenchars.scr", WINDOWS_DIRECTORY, "tenchars.scr", "TenChars10");
    install("long300.scr", WINDOWS_DIRECTORY, "long300.scr", longDescription().substr(0, 259));
    install("starfield.scr", SYSTEM_DIRECTORY, "starfield.scr", "Starfield Fixture");
    TrayWindow& tray = start();
    EXPECT_EQ((app_->flags & APP_WIN9X) != 0, runningAsWin9x());

    MenuFontRestorer restorer;
    const NONCLIENTMETRICSA& original = restorer.original;
    for (LONG height : {original.lfMenuFont.lfHeight, -16L}) {
        SCOPED_TRACE("menu font height " + std::to_string(height));
        NONCLIENTMETRICSA changed = original;
        changed.lfMenuFont.lfHeight = height;
        SystemParametersInfoA(SPI_SETNONCLIENTMETRICS, 0, &changed, 0);
        openSaverSubmenu(tray);

        int points = menuFontPointsHere(tray.window);
        ASSERT_GT(points, 0);
        int perCharacter = runningAsWin9x() ? points + 1 : points;
        for (const MenuItemView& item : menuItems(saverSubmenu(tray))) {
            const SaverEntry* entry = reinterpret_cast<const SaverEntry*>(item.data);
            SCOPED_TRACE(entry->description);
            UINT rule = item.id == IDM_NONE
                ? static_cast<UINT>(6 * points)
                : static_cast<UINT>(strlen(entry->description) * perCharacter) & 0xFFFF;
            // Never narrower than the icon column, the caption and the
            // check mark with its gap need.
            UINT drawn = 34 + captionWidth(entry->description) + 4 + 30;
            UINT expected = rule > drawn ? rule : drawn;
            EXPECT_EQ(entry->itemWidth, expected);

            MEASUREITEMSTRUCT measure;
            memset(&measure, 0, sizeof measure);
            measure.CtlType = ODT_MENU;
            measure.itemID = item.id;
            measure.itemData = item.data;
            EXPECT_EQ(SendMessageA(tray.window, WM_MEASUREITEM, 0,
                                   reinterpret_cast<LPARAM>(&measure)),
                      TRUE);
            EXPECT_EQ(measure.itemWidth, expected);
            EXPECT_EQ(measure.itemHeight, static_cast<UINT>(GetSystemMetrics(SM_CYMENUSIZE) + 2));
        }
    }
}

namespace {

std::string starfieldBytes()
{
    return readFileBytes(fixturePath("starfield.scr"));
}

bool fits(const std::string& bytes, size_t length, size_t fileSize)
{
    return imageFitsInFile(reinterpret_cast<const unsigned char*>(bytes.data()), length,
                           static_cast<DWORD>(fileSize));
}

DWORD ntOffsetOf(const std::string& bytes)
{
    DWORD offset = 0;
    memcpy(&offset, bytes.data() + 0x3C, 4);
    return offset;
}

} // namespace

TEST(CompleteImage, AWholeFixtureFitsAndEveryCutOneDoesNot)
{
    std::string bytes = starfieldBytes();
    ASSERT_GT(bytes.size(), 4096u);
    EXPECT_TRUE(fits(bytes, 4096, bytes.size()));
    EXPECT_TRUE(fits(bytes, bytes.size(), bytes.size()));
    // The headers read in full, but the file ends before its last section.
    EXPECT_FALSE(fits(bytes, 4096, bytes.size() - 1));
    EXPECT_FALSE(fits(bytes, 4096, bytes.size() / 2));
    // Fewer bytes than the headers and the section table need.
    for (size_t cut : {0u, 2u, 63u, 64u, 200u, 400u})
        EXPECT_FALSE(fits(bytes, cut, cut)) << cut << " bytes";
}

TEST(CompleteImage, OnlyAnX86X64OrArm64PortableExecutableFits)
{
    std::string bytes = starfieldBytes();
    DWORD nt = ntOffsetOf(bytes);
    std::string text = readFileBytes(fixturePath("notes.scr"));
    EXPECT_FALSE(fits(text, text.size(), text.size()));

    std::string noMz = bytes;
    noMz[0] = 'X';
    EXPECT_FALSE(fits(noMz, 4096, noMz.size()));
    // A 16-bit program has "NE" where a 32-bit one has "PE".
    std::string newExecutable = bytes;
    newExecutable[nt] = 'N';
    EXPECT_FALSE(fits(newExecutable, 4096, newExecutable.size()));
    // A machine that does not go with the optional header's kind, either
    // way round, and a machine that is neither x86, x64 nor ARM64.
    bool wide = bytes[nt + 24] == '\x0B' && bytes[nt + 25] == '\x02';
    std::string otherMachine = bytes;
    otherMachine[nt + 4] = wide ? '\x4C' : '\x64';  // 0x14C x86, 0x8664 x64
    otherMachine[nt + 5] = wide ? '\x01' : '\x86';
    EXPECT_FALSE(fits(otherMachine, 4096, otherMachine.size()));
    std::string otherHeader = bytes;
    otherHeader[nt + 24] = '\x0B';  // 0x10B and 0x20B: 32- and 64-bit headers
    otherHeader[nt + 25] = wide ? '\x01' : '\x02';
    EXPECT_FALSE(fits(otherHeader, 4096, otherHeader.size()));
    std::string itanium = bytes;
    itanium[nt + 4] = '\x00';  // 0x200
    itanium[nt + 5] = '\x02';
    EXPECT_FALSE(fits(itanium, 4096, itanium.size()));
    // Header fields that point outside what was read.
    std::string farHeaders = bytes;
    farHeaders[0x3C] = farHeaders[0x3D] = farHeaders[0x3E] = farHeaders[0x3F] = '\xF0';
    EXPECT_FALSE(fits(farHeaders, 4096, farHeaders.size()));
    std::string manySections = bytes;
    manySections[nt + 6] = '\xFF';
    EXPECT_FALSE(fits(manySections, 4096, manySections.size()));
    // The DOS header's page counts do not matter to the loader.
    std::string badHeader = readFileBytes(fixturePath("badheader.scr"));
    EXPECT_TRUE(fits(badHeader, 4096, badHeader.size()));
}

TEST(CompleteImage, TheFileCheckReadsTheFileItself)
{
    EXPECT_EQ(checkSaverFile(fixturePath("starfield.scr").c_str()), SAVER_FILE_SOUND);
    EXPECT_EQ(checkSaverFile(fixturePath("marker.scr").c_str()), SAVER_FILE_SOUND);
    EXPECT_EQ(checkSaverFile(fixturePath("nostring.scr").c_str()), SAVER_FILE_SOUND);
    EXPECT_EQ(checkSaverFile(fixturePath("long300.scr").c_str()), SAVER_FILE_SOUND);
    EXPECT_EQ(checkSaverFile(fixturePath("badstrings.scr").c_str()), SAVER_FILE_UNREADABLE);
    EXPECT_EQ(checkSaverFile(fixturePath("truncated.scr").c_str()), SAVER_FILE_REFUSED);
    EXPECT_EQ(checkSaverFile(fixturePath("notes.scr").c_str()), SAVER_FILE_REFUSED);
    EXPECT_EQ(checkSaverFile(fixturePath("missing.scr").c_str()), SAVER_FILE_REFUSED);
    std::string empty = freshTempDirectory("empty-image") + "\\empty.scr";
    writeFileBytes(empty, "", 0);
    EXPECT_EQ(checkSaverFile(empty.c_str()), SAVER_FILE_REFUSED);
    DeleteFileA(empty.c_str());
}

TEST(CompleteImage, AStringTableIsReadOnlyWhenStringOneLiesInTheFile)
{
    std::string sound = starfieldBytes();
    std::string damaged = readFileBytes(fixturePath("badstrings.scr"));
    ASSERT_EQ(sound.size(), damaged.size());
    EXPECT_TRUE(stringOneIsReadable(reinterpret_cast<const unsigned char*>(sound.data()),
                                    static_cast<DWORD>(sound.size())));
    EXPECT_FALSE(stringOneIsReadable(reinterpret_cast<const unsigned char*>(damaged.data()),
                                     static_cast<DWORD>(damaged.size())));

    // The two files differ in the length word of string 0, which string 1
    // follows. Giving string 1 ever larger lengths: those that keep it in
    // its block pass, and the first one past the block's end fails.
    size_t lengthOfZero = 0;
    while (lengthOfZero < sound.size() && sound[lengthOfZero] == damaged[lengthOfZero])
        ++lengthOfZero;
    ASSERT_LT(lengthOfZero + 3, sound.size());
    ASSERT_EQ(sound[lengthOfZero + 2], 17) << "string 1 is \"Starfield Fixture\"";
    std::string longer = sound;
    int largestThatFits = -1;
    for (int length = 0; length < 200; ++length) {
        longer[lengthOfZero + 2] = static_cast<char>(length);
        bool readable = stringOneIsReadable(reinterpret_cast<const unsigned char*>(longer.data()),
                                            static_cast<DWORD>(longer.size()));
        if (readable) {
            EXPECT_EQ(largestThatFits, length - 1) << "lengths that fit have no gap";
            largestThatFits = length;
        }
    }
    // The block holds the 17 characters and the 14 empty strings after them.
    EXPECT_GE(largestThatFits, 17 + 14);
    EXPECT_LT(largestThatFits, 17 + 14 + 4);
}

TEST_F(Catalogue, ADamagedStringTableIsListedUnderTheFileName)
{
    install("badstrings.scr", WINDOWS_DIRECTORY, "badstr.scr", "badstr");
    install("starfield.scr", WINDOWS_DIRECTORY, "starfield.scr", "Starfield Fixture");
    TrayWindow& tray = start();
    std::vector<ExpectedEntry> expected = expectedEntries();
    ASSERT_EQ(expected.size(), 2u);
    expectCatalogue(tray, expected, -1);
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

// Two lists with the same entries, field by field, and the same choice.
void expectSameList(const SaverEntry* actual, const SaverEntry* expected, bool widths)
{
    for (; actual && expected; actual = actual->next, expected = expected->next) {
        SCOPED_TRACE(expected->description);
        EXPECT_EQ(actual->menuId, expected->menuId);
        EXPECT_EQ(actual->flags, expected->flags);
        EXPECT_STREQ(actual->description, expected->description);
        EXPECT_STREQ(actual->fileName, expected->fileName);
        if (widths) {
            EXPECT_EQ(actual->itemWidth, expected->itemWidth);
        }
    }
    EXPECT_EQ(actual, nullptr) << "entries beyond the fresh list";
    EXPECT_EQ(expected, nullptr) << "entries missing";
}

void touch(const std::string& path)
{
    UniqueFile file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file) << path;
    SYSTEMTIME time;
    GetSystemTime(&time);
    FILETIME now;
    SystemTimeToFileTime(&time, &now);
    EXPECT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &now));
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
// change to the directories and the settings, exactly what a new one lists;
// and the program's submenu keeps its items (and the entries they point at)
// only while nothing it shows has changed.
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
        expectSameList(kept.newest, fresh.newest, true);
        EXPECT_STREQ(kept.currentDescription, fresh.currentDescription);

        openSaverSubmenu(tray);
        expectSameList(tray.saverList, fresh.newest, false);
        EXPECT_STREQ(tray.currentDescription, fresh.currentDescription);
        EXPECT_EQ(itemData(tray) == before, step.itemsStay);
        std::vector<ULONG_PTR> after = itemData(tray);
        ASSERT_EQ(after.size(), static_cast<size_t>(tray.saverCount + 1));
        for (const SaverEntry* entry = tray.saverList; entry; entry = entry->next) {
            EXPECT_EQ(after[entry->menuId - IDM_NONE], reinterpret_cast<ULONG_PTR>(entry))
                << "every item points at the live entry of its id";
        }
    }
}

// Screen savers whose string table exists in two languages: the description
// is the string the system's own loader picks, whatever the thread's
// language asks for.
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
            {
                UniqueModule module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
                ASSERT_TRUE(module);
                LoadStringA(module.get(), 1, loaded, sizeof loaded);
            }
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
    size_t count = resourceLanguageOrder(0x0407, 0x040C, 0x0411, order, 12);
    const LANGID expected[] = {0x0000, 0x0407, 0x0007, 0x040C, 0x000C, 0x0411, 0x0011, 0x0409};
    ASSERT_EQ(count, sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < count; ++i)
        EXPECT_EQ(order[i], expected[i]) << "position " << i;
    // The same language twice is tried once; the list never overruns.
    EXPECT_EQ(resourceLanguageOrder(0x0409, 0x0409, 0x0409, order, 12), 3u);
    EXPECT_EQ(resourceLanguageOrder(0x0407, 0x040C, 0x0411, order, 4), 4u);
}

// An entry drawn at the width it asks for shows its whole caption clear of
// the check mark, judged by its pixels: "[none]" when no screen saver is
// installed at all, and a short description.
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
        ASSERT_NE(entry, nullptr);
        ASSERT_TRUE(entry->flags & SAVER_CHECKED);
        const int width = entry->itemWidth;
        const int checkX = width - 30;

        // The caption alone, on an item wider than anything needs.
        entry->flags = 0;
        Canvas alone(600, height);
        EXPECT_EQ(drawItem(tray, alone, entry->menuId, reinterpret_cast<ULONG_PTR>(entry), false),
                  TRUE);
        entry->flags = SAVER_CHECKED;
        COLORREF background = alone.at(alone.width() - 1, 0);
        int captionEnd = alone.lastColumnNot(background, 34, alone.width(), 0, height);
        ASSERT_GT(captionEnd, 34) << "the caption was drawn";
        EXPECT_LT(captionEnd, checkX - 1) << "caption ends at " << captionEnd << ", check starts at "
                                          << checkX << " of " << width;

        // At its own width, with its check: the caption whole, the check
        // beside it.
        Canvas fitted(width, height);
        EXPECT_EQ(drawItem(tray, fitted, entry->menuId, reinterpret_cast<ULONG_PTR>(entry), false),
                  TRUE);
        EXPECT_TRUE(fitted.sameAs(alone, 0, 0, checkX, height)) << "the caption is intact";
        EXPECT_GT(fitted.countOther(background, checkX, iconTop, checkX + 16, iconTop + 16), 0)
            << "the check is drawn";
        app_.reset();
        savers_.removeAll();
        clearConfiguredSaver();
    }
}
