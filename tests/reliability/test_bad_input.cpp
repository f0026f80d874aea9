// Seeded random registry values, profile and screen saver files: every read gives the stored
// value or its default. DORMITY_FUZZ_SEED=N|random (--seed=N), DORMITY_FUZZ_CASES=N (--cases=N).
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "base/handles.h"
#include "app/tray_window.h"
#include "commands/blink_preference.h"
#include "commands/dialogs.h"
#include "support/dialogs.h"
#include "res/resource.h"
#include "support/savers.h"
#include "support/pixels.h"
#include "support/processes.h"
#include "support/system.h"

namespace {

const char kNone[] = "[none]";

// A value as RegQueryValueExA hands it out (Wine converts texts through the
// code page, so not always the bytes written).
struct Stored {
    bool present;
    std::string bytes;
    std::string text() const { return bytes.substr(0, bytes.find('\0')); }
};

// Every registry value the program reads; the first six by their place.
struct Location {
    HKEY root;
    const char* key;
    const char* name;
};
enum { kSaverValue, kUsePassword, kPasswordData, kIsSecure, kBlink, kSysInfo };
#define SOUND_KEY(event) SOUND_SCHEME_KEY "\\Dormity-" event "\\.Current"
const Location kPlaces[] = {{HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE"},
                            {HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveUsePassword"},
                            {HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSave_Data"},
                            {HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaverIsSecure"},
                            {HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE},
                            {HKEY_LOCAL_MACHINE, MSINFO_KEY, MSINFO_VALUE},
                            {HKEY_CURRENT_USER, SOUND_KEY("Launch"), ""},
                            {HKEY_CURRENT_USER, SOUND_KEY("Enable"), ""},
                            {HKEY_CURRENT_USER, SOUND_KEY("Disable"), ""},
                            {HKEY_CURRENT_USER, SOUND_KEY("Select"), ""},
                            {HKEY_CURRENT_USER, SOUND_KEY("Pass_Enable"), ""},
                            {HKEY_CURRENT_USER, SOUND_KEY("Pass_Disable"), ""}};

// NT family: the text up to the first NUL when the value fits the 260-byte
// buffer with its terminator; no bytes name no file.
std::string expectedNtSaver(const Stored& stored)
{
    const std::string text = stored.text();
    return !stored.present || stored.bytes.empty() || stored.bytes.size() > 260 || text.size() > 259
               ? kNone
               : text;
}

// 95 family: the profile's text cut to the 259 characters that fit.
std::string expectedIniSaver()
{
    std::string text;
    return storedCurrentSaver(FAMILY_95, &text) ? text.substr(0, 259) : kNone;
}

// 95-family password fields: 1 to 4 bytes little-endian, else 1.
DWORD expectedSmallNumber(const Stored& stored)
{
    DWORD value = 0;
    for (size_t i = stored.bytes.size(); i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(stored.bytes[i]);
    return !stored.present || stored.bytes.empty() || stored.bytes.size() > 4 ? 1 : value;
}

// NT password flag: the leading decimal integer of a value of at most 10 bytes.
long long expectedIsSecure(const Stored& stored)
{
    return stored.present && stored.bytes.size() <= 10 ? strtoll(stored.text().c_str(), nullptr, 10)
                                                       : 0;
}

// The header test on the configured file; false when it is no plain file.
bool expectedWin4(const std::string& configured, bool* win4)
{
    *win4 = false;
    if (configured == kNone)
        return true;
    UniqueFile file(CreateFileA(configured.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr));
    if (!file)
        return true;
    unsigned char header[6] = {};
    DWORD read = 0;
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        return false;
    ReadFile(file.get(), header, sizeof header, &read, nullptr);
    *win4 = read == 6 && memcmp(header + 2, "\x90\x00\x03\x00", 4) == 0;
    return true;
}

// Lengths around the buffers' edges.
size_t randomLength(SeededRandom& random)
{
    static const size_t edges[] = {0,   1,   2,   3,   4,   5,   8,   9,   10,  11,  12, 254,
                                   255, 256, 258, 259, 260, 261, 262, 300, 520, 599, 600};
    const uint32_t kind = random.below(3);
    return kind == 0 ? random.below(601) : kind == 1 ? random.below(13) : edges[random.below(23)];
}

std::string randomChars(SeededRandom& random, size_t length, int first, uint32_t count)
{
    std::string text;
    while (text.size() < length)
        text.push_back(static_cast<char>(first + static_cast<int>(random.below(count))));
    return text;
}

std::string randomName(SeededRandom& random, const std::vector<std::string>& names)
{
    std::string text = names[random.below(static_cast<uint32_t>(names.size()))];
    for (char& c : text)
        if (random.chance(30) && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            c ^= 0x20;
    return text;
}

// Bytes, texts, numbers, zeros, file names; with or without a terminator.
std::string randomData(SeededRandom& random, const std::vector<std::string>& names)
{
    static const char* const leads[] = {"", " ", "\t", "  \r\n", "x"};
    static const char* const signs[] = {"", "+", "-", "--"};
    std::string data;
    switch (random.below(10)) {
    case 0:
    case 1:
    case 2: data = randomChars(random, randomLength(random), 0, 256); break;
    case 3: data = randomChars(random, randomLength(random), ' ', 95); break;
    case 4:
        data = randomName(random, names);
        data += random.chance(30) ? " \"x\" ;y" : "";
        break;
    case 5:
        data = leads[random.below(5)];
        data += signs[random.below(4)];
        data += randomChars(random, random.below(13), '0', 10);
        data += random.chance(30) ? "9z" : "";
        break;
    case 6: data.assign(randomLength(random) % 9, '\0'); break;
    case 7: data = randomChars(random, 1 + random.below(5), 0, 256); break;
    case 8:  // long, often just about filling the buffers
        data = randomChars(
            random, random.chance(50) ? 257 + random.below(5) : 250 + random.below(351), 'A', 26);
        break;
    default: break;
    }
    if (random.chance(50))
        data.push_back('\0');
    return data;
}

// Writes (or deletes) one value; the registry may look one byte past a text.
void scramble(SeededRandom& random, const Location& where, const std::vector<std::string>& names)
{
    static const DWORD types[] = {
        REG_NONE,     REG_SZ,    REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_SZ, REG_DWORD_BIG_ENDIAN,
        REG_MULTI_SZ, REG_QWORD, REG_SZ,        REG_BINARY};
    if (random.chance(12))
        return deleteRegValue(where.root, where.key, where.name);
    std::string data = randomData(random, names);
    const DWORD size = static_cast<DWORD>(data.size());
    data.push_back(random.chance(50) ? '\0' : 'Q');
    const DWORD type
        = random.chance(5) ? static_cast<DWORD>(random.next()) : types[random.below(11)];
    setRegValue(where.root, where.key, where.name, type, data.data(), size);
}

// Where in the fixture its headers and resources lie.
struct PeLayout {
    size_t peHeader, headersEnd, resourceStart, resourceSize;
};

PeLayout layoutOf(const std::string& image)
{
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    const IMAGE_NT_HEADERS* nt
        = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.data() + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
    const WORD count = nt->FileHeader.NumberOfSections;
    PeLayout layout = {
        static_cast<size_t>(dos->e_lfanew),
        static_cast<size_t>(reinterpret_cast<const char*>(sections + count) - image.data()), 0, 0};
    for (WORD i = 0; i < count; ++i)
        if (memcmp(sections[i].Name, ".rsrc", 5) == 0)
            layout.resourceStart = sections[i].PointerToRawData,
            layout.resourceSize = sections[i].SizeOfRawData;
    return layout;
}

// Random bytes, or the fixture changed in its headers, resources or anywhere.
std::vector<unsigned char> randomFile(SeededRandom& random, const std::string& image,
                                      const PeLayout& layout)
{
    if (random.below(4) == 0) {
        std::vector<unsigned char> bytes = random.bytes(random.below(2048));
        if (bytes.size() >= 2 && random.chance(50))
            memcpy(bytes.data(), "MZ", 2);
        if (bytes.size() >= 6 && random.chance(30))
            memcpy(bytes.data() + 2, "\x90\x00\x03\x00", 4);
        return bytes;
    }
    std::vector<unsigned char> bytes(image.begin(), image.end());
    const size_t regions[5][2] = {{0, 0x40},
                                  {layout.peHeader, layout.headersEnd - layout.peHeader},
                                  {layout.resourceStart, layout.resourceSize},
                                  {layout.resourceStart, layout.resourceSize},
                                  {0, bytes.size()}};
    static const unsigned char extremes[] = {0x00, 0xFF, 0x7F, 0x80, 0x01};
    for (uint32_t flips = 1 + random.below(8); flips > 0; --flips) {
        const size_t* region = regions[random.below(5)];
        unsigned char& byte = bytes[region[0] + random.below(static_cast<uint32_t>(region[1]))];
        byte = random.chance(50) ? byte ^ (1 + random.below(255)) : extremes[random.below(5)];
    }
    if (random.chance(15))
        bytes.resize(random.below(static_cast<uint32_t>(bytes.size())));
    return bytes;
}

// The fixture with string 0's length word (no header describes it) sent past the file's end
// into the view's unmapped rest. Disguised, block 1's id also gets a garbage high word: the
// loader still takes it for block 1, a reader comparing the whole word finds no table.
std::vector<unsigned char> damagedStringTable(bool disguise)
{
    const std::string image = readFileBytes(fixtureSaverPath());
    std::string pattern = {0, 0, static_cast<char>(fixtureDescription().size()), 0};
    for (char c : fixtureDescription())
        pattern += std::string(1, c) + '\0';
    const size_t at = image.find(pattern);
    // A page past the view, which ends at the file's size rounded to a page.
    const size_t length = ((image.size() + 4095) / 4096 * 4096 + 4096 - at - 2) / 2;
    if (at == std::string::npos || length > 0xFFFF)
        return {};
    std::vector<unsigned char> bytes(image.begin(), image.end());
    bytes[at] = static_cast<unsigned char>(length & 0xFF);
    bytes[at + 1] = static_cast<unsigned char>(length >> 8);
    auto word = [&](size_t offset) { return *reinterpret_cast<WORD*>(&bytes[offset]); };
    auto dword = [&](size_t offset) -> DWORD& { return *reinterpret_cast<DWORD*>(&bytes[offset]); };
    const size_t root = layoutOf(image).resourceStart;
    for (DWORD i = 0; disguise && i < word(root + 12) + word(root + 14); ++i) {
        const size_t entry = root + 16 + 8 * i;
        if (dword(entry) != 6 || !(dword(entry + 4) & 0x80000000))
            continue;
        const size_t blocks = root + (dword(entry + 4) & 0x7FFFFFFF);
        for (DWORD j = 0; j < word(blocks + 12) + word(blocks + 14); ++j)
            if (dword(blocks + 16 + 8 * j) == 1) {
                dword(blocks + 16 + 8 * j) = 0x6A000001;
                return bytes;
            }
    }
    return disguise ? std::vector<unsigned char>() : bytes;
}

// Which case runs, so that a crash or a hang can name it.
volatile LONG currentCase = -1;
volatile DWORD caseStarted = 0;
uint64_t currentSeed = 0;
LONG WINAPI reportCrash(EXCEPTION_POINTERS* exception);
DWORD WINAPI watchdog(void*);

struct BadInput : testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(fileExists(fixtureSaverPath()));
        running_ = this;
        previousFilter_ = SetUnhandledExceptionFilter(reportCrash);
        watchdog_.reset(CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr));
        ASSERT_TRUE(static_cast<bool>(watchdog_));
    }
    void TearDown() override
    {
        currentCase = -1;
        TerminateThread(watchdog_.get(), 0);
        SetUnhandledExceptionFilter(previousFilter_);
        restore();
    }
    // Puts the prefix back: files, system.ini and every key the cases write.
    void restore()
    {
        running_ = nullptr;
        files_.removeAll();
        SetFileAttributesA(ini_.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (iniExisted_)
            writeFileBytes(ini_, iniBefore_.data(), iniBefore_.size());
        else
            DeleteFileA(ini_.c_str());
        WritePrivateProfileStringA(nullptr, nullptr, nullptr,
                                   "system.ini");  // drops the cached copy
        for (SavedRegistryKey* key : {&desktop_, &blink_, &sounds_, &sysInfo_})
            key->restore();
    }
    // Listed under its own name or left out, and nothing read past the table.
    void expectListedSafely(bool disguise)
    {
        const std::vector<unsigned char> bytes = damagedStringTable(disguise);
        ASSERT_FALSE(bytes.empty()) << "string 1 or its block not found in the fixture";
        ASSERT_TRUE(files_.write(bytes, 0));
        Application app(GetModuleHandleA(nullptr));
        ASSERT_NE(app.trayWindow, nullptr);
        TrayWindow& tray = *app.trayWindow;
        SendMessageA(tray.window, WM_SETTINGCHANGE, 0, 0);
        for (const SaverEntry* entry = tray.saverList; entry != tray.noneEntry; entry = entry->next)
            EXPECT_TRUE(lstrcmpiA(entry->fileName, files_.catalogueNameOf(0).c_str()) != 0
                        || strcmp(entry->description, "zrfz00") == 0)
                << entry->description;
        SendMessageA(tray.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(tray.popupMenu), 0);
        EXPECT_FALSE(renderAllItems(tray.window, ownerDrawnItems(tray)).empty());
    }

    InstalledFiles files_{"zrfz"};
    SavedRegistryKey desktop_{HKEY_CURRENT_USER, DESKTOP_KEY};
    SavedRegistryKey blink_{HKEY_CURRENT_USER, BLINK_KEY};
    SavedRegistryKey sounds_{HKEY_CURRENT_USER, SOUND_SCHEME_KEY};
    SavedRegistryKey sysInfo_{HKEY_LOCAL_MACHINE, MSINFO_KEY};
    const std::string ini_ = windowsDirectory() + "\\system.ini";
    const bool iniExisted_ = fileExists(ini_);
    const std::string iniBefore_ = readFileBytes(ini_);
    LPTOP_LEVEL_EXCEPTION_FILTER previousFilter_ = nullptr;
    UniqueKernelObject watchdog_;
    static BadInput* running_;
};

BadInput* BadInput::running_ = nullptr;

// A crash or a hang names its case and puts the prefix back for the tests that follow.
void giveUp(const char* what)
{
    printf("\n*** %s in case %ld of seed %llu (-1: outside the seeded cases)\n", what, currentCase,
           static_cast<unsigned long long>(currentSeed));
    fflush(stdout);
    if (BadInput::running_)
        BadInput::running_->restore();
    fflush(stdout);
}

LONG WINAPI reportCrash(EXCEPTION_POINTERS* exception)
{
    char what[64];
    snprintf(what, sizeof what, "crash (exception 0x%08lx)",
             exception->ExceptionRecord->ExceptionCode);
    giveUp(what);
    return EXCEPTION_EXECUTE_HANDLER;
}

DWORD WINAPI watchdog(void*)
{
    while (currentCase < 0 || GetTickCount() - caseStarted < 20000)
        Sleep(250);
    giveUp("hang (20 s)");
    TerminateProcess(GetCurrentProcess(), 3);
    return 0;
}

}  // namespace

TEST_F(BadInput, DamagedStringTableIsNotReadPastItsEnd)
{
    expectListedSafely(false);
}

TEST_F(BadInput, DisguisedStringBlockIsNotReadPastItsEnd)
{
    expectListedSafely(true);
}

TEST_F(BadInput, EveryReadGivesTheStoredValueOrItsDefault)
{
    const uint64_t seed = currentSeed = chooseSeed("DORMITY_FUZZ_SEED");
    const char* casesText = strstr(GetCommandLineA(), "--cases=");
    casesText = casesText ? casesText + 8 : getenv("DORMITY_FUZZ_CASES");
    const int cases = casesText && atoi(casesText) > 0 ? atoi(casesText) : 2000;
    SeededRandom random(seed);
    const std::string image = readFileBytes(fixtureSaverPath());
    const PeLayout layout = layoutOf(image);
    ASSERT_GT(layout.resourceSize, 0u) << "the fixture has no resource section";

    // Files 0 and 1 the cases damage; file 2 stays intact.
    const int kIntact = 2;
    std::vector<std::string> names = {kNone};
    for (int i = 0; i <= kIntact; ++i) {
        if (i < kIntact)
            ASSERT_TRUE(files_.write(randomFile(random, image, layout), i));
        else
            files_.copy(fixtureSaverPath(), i);
        names.push_back(files_.catalogueNameOf(i));
        names.push_back(files_.pathOf(i));
    }
    std::unique_ptr<Application> app(new Application(GetModuleHandleA(nullptr)));
    ASSERT_NE(app->trayWindow, nullptr);
    Canvas canvas(320, 64);
    ASSERT_TRUE(canvas.valid());
    const DWORD platform = app->flags & (APP_WIN9X | APP_WIN2K);

    int failedCases = 0;
    int listedDamaged = 0;
    const DWORD start = GetTickCount();
    const testing::TestResult* result
        = testing::UnitTest::GetInstance()->current_test_info()->result();
    for (int index = 0; index < cases && failedCases < 10; ++index) {
        const int partsBefore = result->total_part_count();
        caseStarted = GetTickCount();
        currentCase = index;
        SCOPED_TRACE(testing::Message() << "case " << index << " of seed " << seed);

        // The input of this case.
        for (const Location& where : kPlaces)
            if (random.chance(60))
                scramble(random, where, names);
        if (random.chance(50)) {
            const bool remove = random.chance(15);
            std::string text = remove ? "" : randomData(random, names);
            // A network path would make every open wait for the network.
            if (text.size() >= 2 && (text[0] == '\\' || text[0] == '/')
                && (text[1] == '\\' || text[1] == '/'))
                text[0] = '_';
            WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", remove ? nullptr : text.c_str(),
                                       "system.ini");
        }
        if (random.chance(30)) {
            const int which = static_cast<int>(random.below(kIntact));
            files_.write(randomFile(random, image, layout), which);  // false while a sound holds it
        }
        const bool win9x = random.chance(50);
        app->flags = (app->flags & ~(APP_WIN9X | APP_WIN2K)) | (win9x ? APP_WIN9X : platform);

        // What the program must make of it.
        std::vector<Stored> stored;
        for (int i = 0; i <= kSysInfo; ++i) {
            const Location& at = kPlaces[i];
            stored.push_back({false, ""});
            stored.back().present = readRegValue(at.root, at.key, at.name, &stored.back().bytes);
        }
        const std::string ntSaver = expectedNtSaver(stored[kSaverValue]);
        const std::string iniSaver = expectedIniSaver();
        const std::string configured = win9x ? iniSaver : ntSaver;

        // The catalogue rebuilt from it, as on every settings change.
        TrayWindow& tray = *app->trayWindow;
        SendMessageA(tray.window, WM_SETTINGCHANGE, 0, 0);
        int entries = 0;
        int checked = 0;
        bool intactListed = false;
        const SaverEntry* expectedChecked = tray.noneEntry;
        std::vector<bool> idSeen(64, false);
        for (const SaverEntry* entry = tray.saverList; entry; entry = entry->next) {
            ++entries;
            ASSERT_NE(memchr(entry->description, '\0', sizeof entry->description), nullptr);
            ASSERT_NE(memchr(entry->fileName, '\0', sizeof entry->fileName), nullptr);
            checked += (entry->flags & SAVER_CHECKED) != 0;
            if (entry == tray.noneEntry) {
                EXPECT_EQ(entry->menuId, IDM_NONE);
                EXPECT_EQ(entry->next, nullptr) << "\"[none]\" is not last";
                continue;
            }
            const int n = entry->menuId - IDM_NONE;
            EXPECT_TRUE(n >= 1 && n < 64 && !idSeen[n]) << "id " << entry->menuId;
            if (n >= 1 && n < 64)
                idSeen[n] = true;
            // The loader accepts nothing that does not start as an executable.
            EXPECT_EQ(readFileBytes(entry->fileName).substr(0, 2), "MZ")
                << entry->fileName << " is listed";
            const bool intact
                = lstrcmpiA(entry->fileName, files_.catalogueNameOf(kIntact).c_str()) == 0;
            intactListed |= intact;
            listedDamaged += !intact;
            EXPECT_TRUE(!intact || fixtureDescription() == entry->description)
                << entry->description;
            if (lstrcmpiA(configured.c_str(), kNone) != 0
                && lstrcmpiA(configured.c_str(), entry->fileName) == 0)
                expectedChecked = entry;
        }
        EXPECT_TRUE(intactListed);
        EXPECT_EQ(entries, tray.saverCount + 1);
        for (int n = 1; n <= tray.saverCount && n < 64; ++n)
            EXPECT_TRUE(idSeen[n]) << "ids have a gap at " << IDM_NONE + n;
        EXPECT_EQ(GetMenuItemCount(GetSubMenu(tray.popupMenu, 0)), entries);
        EXPECT_EQ(checked, 1) << "exactly one entry carries the mark";
        EXPECT_TRUE(expectedChecked->flags & SAVER_CHECKED) << configured;
        EXPECT_STREQ(tray.currentDescription,
                     expectedChecked == tray.noneEntry ? "none" : expectedChecked->description);
        EXPECT_EQ(tray.trayIcon.szTip,
                  (std::string("Dormity - [") + tray.currentDescription + "]").substr(0, 63));

        // Every item measured and drawn, as the open menu does.
        SendMessageA(tray.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(tray.popupMenu), 0);
        for (const MenuItemView& item : ownerDrawnItems(tray)) {
            MEASUREITEMSTRUCT measure = {ODT_MENU, 0, item.id, 0, 0, item.data};
            EXPECT_EQ(
                SendMessageA(tray.window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure)),
                TRUE);
            EXPECT_EQ(canvas.draw(tray.window, item, random.chance(50)), TRUE) << item.id;
        }

        // Every setting read, nothing written past the buffer.
        for (SaverFamily family : {FAMILY_NT, FAMILY_95}) {
            char buffer[SAVER_PATH_SIZE + 8];
            memset(buffer, 'X', sizeof buffer);
            readCurrentSaver(family, buffer);
            EXPECT_EQ(std::string(buffer), family == FAMILY_NT ? ntSaver : iniSaver);
            EXPECT_EQ(std::string(buffer + SAVER_PATH_SIZE, 8), "XXXXXXXX")
                << "written past the buffer";
        }
        const PasswordValues old95 = readPasswordValues(FAMILY_95);
        EXPECT_EQ(old95.usePassword, expectedSmallNumber(stored[kUsePassword]));
        EXPECT_EQ(old95.passwordData, expectedSmallNumber(stored[kPasswordData]));
        // When the digits do not fit 32 bits, only "not zero" is certain.
        const long long secure = expectedIsSecure(stored[kIsSecure]);
        const LONG isSecure = readPasswordValues(FAMILY_NT).isSecure;
        EXPECT_TRUE(secure == static_cast<LONG>(secure) ? isSecure == secure : isSecure != 0)
            << isSecure;
        // Blink unless the value is exactly four zero bytes.
        const bool blink
            = !(stored[kBlink].present && stored[kBlink].bytes == std::string(4, '\0'));
        EXPECT_EQ(readBlinkPreference(), blink);
        bool win4 = false;
        const bool decided = expectedWin4(iniSaver, &win4);
        const bool isWin4 = isWin4Saver(FAMILY_95);  // run either way: it must not crash or hang
        EXPECT_TRUE(!decided || isWin4 == win4) << iniSaver;
        EXPECT_TRUE(isWin4Saver(FAMILY_NT));
        if (index % 4 == 0)
            tray.playEventSound(static_cast<int>(random.below(6)));

        // Now and then the About box (System Information when its path fits 255
        // bytes, the blink box) and a fresh start.
        if (index % 50 == 0) {
            bool sysInfo = false;
            bool box = false;
            DialogRun run
                = runModal("About", [&] { return showAboutDialog(*app); }, {act([&](HWND dialog) {
                               sysInfo = IsWindowEnabled(GetDlgItem(dialog, IDC_SYSINFO)) != FALSE;
                               box = IsDlgButtonChecked(dialog, IDC_BLINK) == BST_CHECKED;
                               PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                           })});
            EXPECT_TRUE(run.opened && run.closedByItself);
            EXPECT_EQ(sysInfo, stored[kSysInfo].present && stored[kSysInfo].bytes.size() <= 255);
            EXPECT_EQ(box, blink);
        }
        if (index % 200 == 199) {
            app.reset();
            app.reset(new Application(GetModuleHandleA(nullptr)));
            ASSERT_NE(app->trayWindow, nullptr);
            EXPECT_EQ((app->flags & APP_BLINK) != 0, blink);
        }
        pumpMessages();
        failedCases += result->total_part_count() != partsBefore;
    }
    currentCase = -1;
    printf("[ fuzz     ] %d cases in %lu ms; %d listings of damaged files\n", cases,
           static_cast<unsigned long>(GetTickCount() - start), listedDamaged);
    app.reset();
    EXPECT_TRUE(resourcesStillAvailable());
}
