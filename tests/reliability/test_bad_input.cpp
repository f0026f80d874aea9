// Seeded random input in every place the program reads from: the registry
// values of the screen saver settings, the blink preference, the sound
// scheme and the System Information tool; "SCRNSAVE.EXE" in system.ini; and
// screen saver files of random bytes or damaged copies of a real one in the
// Windows directory. After each case the catalogue is rebuilt, every menu
// item measured and drawn, and every setting read; each read must give the
// stored value or its stated default, computed here from what the registry
// and the files hold.
//
// The seed is printed; DORMITY_FUZZ_SEED=N (or --seed=N) repeats a run,
// DORMITY_FUZZ_SEED=random picks a new one; DORMITY_FUZZ_CASES=N (or
// --cases=N) changes the number of cases.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/application.h"
#include "app/handles.h"
#include "app/tray_window.h"
#include "commands/blink_preference.h"
#include "commands/dialogs.h"
#include "res/resource.h"
#include "support/savers.h"
#include "support/pixels.h"
#include "support/processes.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"

namespace {

const int kSuiteCases = 2000;

// --- Where the program reads --------------------------------------------

struct Location {
    HKEY root;
    const char* key;
    const char* name;
};

const Location kSaverValue = {HKEY_CURRENT_USER, "Control Panel\\Desktop", "SCRNSAVE.EXE"};
const Location kUsePassword = {HKEY_CURRENT_USER, "Control Panel\\Desktop",
                               "ScreenSaveUsePassword"};
const Location kPasswordData = {HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSave_Data"};
const Location kIsSecure = {HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaverIsSecure"};
const Location kBlink = {HKEY_CURRENT_USER,
                         "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Dormity", "Blink"};
const Location kSysInfo = {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSInfo", "Path"};
const char kSoundRoot[] = "AppEvents\\Schemes\\Apps\\Dormity";
const Location kSounds[6] = {
    {HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Launch\\.Current", ""},
    {HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Enable\\.Current", ""},
    {HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Disable\\.Current", ""},
    {HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Select\\.Current", ""},
    {HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Pass_Enable\\.Current", ""},
    {HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Pass_Disable\\.Current", ""},
};

// A value as RegQueryValueExA hands it out, read with room to spare. Wine
// keeps texts as UTF-16 and converts them through the ANSI code page, so
// what the program can read is this, not the bytes that were written.
struct Stored {
    bool present = false;
    std::string bytes;
};

Stored readStored(const Location& where)
{
    Stored stored;
    stored.present = readRegValue(where.root, where.key, where.name, &stored.bytes);
    return stored;
}

// --- The rules, stated independently of the program ----------------------

const char kNone[] = "[none]";

// NT family: the stored bytes up to the first NUL when the value fits the
// 260-byte buffer and that text leaves room for its terminator.
std::string expectedNtSaver(const Stored& stored)
{
    // A value of no bytes names no file.
    if (!stored.present || stored.bytes.empty() || stored.bytes.size() > 260)
        return kNone;
    std::string text = stored.bytes.substr(0, stored.bytes.find('\0'));
    if (text.size() > 259)
        return kNone;
    return text;
}

// 95 family: what the profile holds (read with a large buffer), cut to the
// 259 characters that fit; "[none]" when the key is missing.
std::string expectedIniSaver()
{
    std::vector<char> buffer(8192);
    GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "\x01missing", buffer.data(),
                             static_cast<DWORD>(buffer.size()), "system.ini");
    std::string text = buffer.data();
    if (text == "\x01missing")
        return kNone;
    if (text.size() > 259)
        text.resize(259);
    return text;
}

// 95-family password fields: 1 to 4 bytes little-endian, else 1.
DWORD expectedSmallNumber(const Stored& stored)
{
    if (!stored.present || stored.bytes.empty() || stored.bytes.size() > 4)
        return 1;
    DWORD value = 0;
    for (size_t i = 0; i < stored.bytes.size(); ++i)
        value |= static_cast<DWORD>(static_cast<unsigned char>(stored.bytes[i])) << (8 * i);
    return value;
}

// NT password flag: the leading decimal integer of at most 10 bytes. When
// the digits do not fit 32 bits only "not zero" is certain.
struct ExpectedInteger {
    long long value;
    bool exact;
};
ExpectedInteger expectedIsSecure(const Stored& stored)
{
    if (!stored.present || stored.bytes.size() > 10)
        return {0, true};
    std::string text = stored.bytes.substr(0, stored.bytes.find('\0'));
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10 + (text[i] - '0');
    if (negative)
        value = -value;
    return {value, value >= -2147483647LL - 1 && value <= 2147483647LL};
}

// Blink unless the value is exactly four zero bytes.
bool expectedBlink(const Stored& stored)
{
    return !(stored.present && stored.bytes == std::string(4, '\0'));
}

// The About box offers System Information when the path can be read into
// its 255 bytes.
bool expectedSysInfo(const Stored& stored)
{
    return stored.present && stored.bytes.size() <= 255;
}

// The header test on the first six bytes of the configured file; null when
// the configured name is not a plain file that can be checked safely.
const bool* expectedWin4(const std::string& configured, bool* storage)
{
    *storage = false;
    if (configured == kNone)
        return storage;
    UniqueFile file(CreateFileA(configured.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr));
    if (!file)
        return storage;
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        return nullptr;
    unsigned char header[6] = {0, 0, 0, 0, 0, 0};
    DWORD read = 0;
    ReadFile(file.get(), header, sizeof header, &read, nullptr);
    *storage = read == 6 && header[2] == 0x90 && header[3] == 0x00 && header[4] == 0x03
        && header[5] == 0x00;
    return storage;
}

// --- Making bad input ---------------------------------------------------

size_t randomLength(SeededRandom& random)
{
    static const size_t edges[] = {0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 254, 255, 256,
                                   258, 259, 260, 261, 262, 300, 520, 599, 600};
    switch (random.below(3)) {
    case 0: return random.below(601);
    case 1: return random.below(13);
    default: return edges[random.below(sizeof edges / sizeof edges[0])];
    }
}

std::string randomCase(SeededRandom& random, std::string text)
{
    for (char& c : text)
        if (random.chance(30))
            c = static_cast<char>(
                (c >= 'a' && c <= 'z') ? c - 32 : (c >= 'A' && c <= 'Z') ? c + 32 : c);
    return text;
}

// Data for one registry value: random bytes, texts with and without their
// terminator, numbers, zeros, names of real files.
std::vector<unsigned char> randomValueData(SeededRandom& random,
                                           const std::vector<std::string>& names)
{
    std::vector<unsigned char> data;
    auto text = [&](const std::string& t) { data.assign(t.begin(), t.end()); };
    switch (random.below(10)) {
    case 0:
    case 1:
    case 2:
        data = random.bytes(randomLength(random));
        break;
    case 3: {
        size_t length = randomLength(random);
        for (size_t i = 0; i < length; ++i)
            data.push_back(static_cast<unsigned char>(' ' + random.below(95)));
        break;
    }
    case 4:
        text(randomCase(random, names[random.below(static_cast<uint32_t>(names.size()))]));
        break;
    case 5: {
        static const char* const leads[] = {"", " ", "\t", "  \r\n", "x"};
        static const char* const signs[] = {"", "+", "-", "--"};
        std::string t = std::string(leads[random.below(5)]) + signs[random.below(4)];
        int digits = static_cast<int>(random.below(13));
        for (int i = 0; i < digits; ++i)
            t.push_back(static_cast<char>('0' + random.below(10)));
        if (random.chance(30))
            t += "9z";
        text(t);
        break;
    }
    case 6:
        data.assign(randomLength(random) % 9, 0);
        break;
    case 7:
        data = random.bytes(1 + random.below(5));
        break;
    case 8: {
        size_t length = 250 + random.below(351);
        for (size_t i = 0; i < length; ++i)
            data.push_back(static_cast<unsigned char>('A' + random.below(26)));
        break;
    }
    default:
        break;  // empty
    }
    // Texts sometimes end in their terminator, sometimes not.
    if (random.chance(50))
        data.push_back(0);
    return data;
}

DWORD randomType(SeededRandom& random)
{
    static const DWORD types[] = {REG_NONE,   REG_SZ,       REG_EXPAND_SZ,       REG_BINARY,
                                  REG_DWORD,  REG_SZ,       REG_DWORD_BIG_ENDIAN, REG_MULTI_SZ,
                                  REG_QWORD,  REG_SZ,       REG_BINARY};
    if (random.chance(5))
        return static_cast<DWORD>(random.next());
    return types[random.below(sizeof types / sizeof types[0])];
}

// Writes (or, now and then, deletes) one value with a random type and data.
void scramble(SeededRandom& random, const Location& where, const std::vector<std::string>& names)
{
    if (random.chance(12)) {
        deleteRegValue(where.root, where.key, where.name);
        return;
    }
    std::vector<unsigned char> data = randomValueData(random, names);
    DWORD size = static_cast<DWORD>(data.size());
    // The registry may look one byte past a text for its terminator.
    data.push_back(static_cast<unsigned char>(random.chance(50) ? 0 : 'Q'));
    UniqueRegKey key;
    if (RegCreateKeyExA(where.root, where.key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key.get(), where.name, 0, randomType(random), data.data(), size);
}

std::string randomIniText(SeededRandom& random, const std::vector<std::string>& names)
{
    std::string text;
    switch (random.below(6)) {
    case 0: {
        size_t length = randomLength(random);
        for (size_t i = 0; i < length; ++i)
            text.push_back(static_cast<char>(1 + random.below(255)));
        break;
    }
    case 1: {
        size_t length = randomLength(random);
        for (size_t i = 0; i < length; ++i)
            text.push_back(static_cast<char>(' ' + random.below(95)));
        break;
    }
    case 2:
    case 3:
        text = randomCase(random, names[random.below(static_cast<uint32_t>(names.size()))]);
        break;
    case 4:
        text = names[random.below(static_cast<uint32_t>(names.size()))] + " \"x\" ;y";
        break;
    default:
        text = std::string(260 + random.below(300), 'L');
        break;
    }
    // A network path would make every open wait for the network; that is
    // slowness of the system, not of the program.
    if (text.size() >= 2 && (text[0] == '\\' || text[0] == '/') && (text[1] == '\\' || text[1] == '/'))
        text[0] = '_';
    return text;
}

// --- Damaged screen saver files -------------------------------------------

struct PeLayout {
    size_t peHeader = 0;
    size_t headersEnd = 0;
    size_t resourceStart = 0;
    size_t resourceSize = 0;
};

PeLayout layoutOf(const std::string& image)
{
    PeLayout layout;
    if (image.size() < 0x40)
        return layout;
    DWORD peOffset = 0;
    memcpy(&peOffset, image.data() + 0x3C, 4);
    if (peOffset + 24 > image.size())
        return layout;
    layout.peHeader = peOffset;
    WORD sections = 0;
    WORD optionalSize = 0;
    memcpy(&sections, image.data() + peOffset + 6, 2);
    memcpy(&optionalSize, image.data() + peOffset + 20, 2);
    size_t table = peOffset + 24 + optionalSize;
    layout.headersEnd = table + 40u * sections;
    for (WORD i = 0; i < sections && table + 40u * (i + 1) <= image.size(); ++i) {
        const char* section = image.data() + table + 40u * i;
        if (memcmp(section, ".rsrc", 5) == 0) {
            DWORD rawSize = 0;
            DWORD rawOffset = 0;
            memcpy(&rawSize, section + 16, 4);
            memcpy(&rawOffset, section + 20, 4);
            layout.resourceStart = rawOffset;
            layout.resourceSize = rawSize;
        }
    }
    return layout;
}

std::vector<unsigned char> damagedCopy(SeededRandom& random, const std::string& image,
                                       const PeLayout& layout)
{
    std::vector<unsigned char> bytes(image.begin(), image.end());
    int flips = 1 + static_cast<int>(random.below(8));
    for (int i = 0; i < flips; ++i) {
        size_t start = 0;
        size_t length = bytes.size();
        switch (random.below(5)) {
        case 0: start = 0; length = 0x40; break;                               // MS-DOS header
        case 1: start = layout.peHeader; length = layout.headersEnd - start; break;  // PE headers
        case 2:                                                               // resources
        case 3: start = layout.resourceStart; length = layout.resourceSize; break;
        default: break;                                                       // anywhere
        }
        if (length == 0 || start + length > bytes.size())
            start = 0, length = bytes.size();
        size_t at = start + random.below(static_cast<uint32_t>(length));
        static const unsigned char extremes[] = {0x00, 0xFF, 0x7F, 0x80, 0x01};
        if (random.chance(50))
            bytes[at] ^= static_cast<unsigned char>(1 + random.below(255));
        else
            bytes[at] = extremes[random.below(5)];
    }
    if (random.chance(15))
        bytes.resize(random.below(static_cast<uint32_t>(bytes.size())));
    return bytes;
}

std::vector<unsigned char> randomFile(SeededRandom& random, const std::string& image,
                                      const PeLayout& layout)
{
    switch (random.below(4)) {
    case 0: {
        std::vector<unsigned char> bytes = random.bytes(random.below(2048));
        if (bytes.size() >= 2 && random.chance(50)) {
            bytes[0] = 'M';
            bytes[1] = 'Z';
        }
        if (bytes.size() >= 6 && random.chance(30)) {
            bytes[2] = 0x90;
            bytes[3] = 0x00;
            bytes[4] = 0x03;
            bytes[5] = 0x00;
        }
        return bytes;
    }
    default:
        return damagedCopy(random, image, layout);
    }
}

// --- Watching over the cases --------------------------------------------

// Puts the prefix back (files, system.ini, registry) when a case crashes or
// hangs, so that the tests that run after this one in the same prefix do
// not meet its damaged files and values.
void (*emergencyCleanup)() = nullptr;

void cleanUpAfterFailure()
{
    if (emergencyCleanup) {
        void (*cleanup)() = emergencyCleanup;
        emergencyCleanup = nullptr;
        cleanup();
    }
}

volatile LONG currentCase = -1;
volatile DWORD caseStarted = 0;
uint64_t currentSeed = 0;

LONG WINAPI reportCrash(EXCEPTION_POINTERS* exception)
{
    char module[MAX_PATH] = "?";
    HMODULE owner = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS
                               | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(exception->ExceptionRecord->ExceptionAddress), &owner))
        GetModuleFileNameA(owner, module, sizeof module);
    printf("\n*** crash (exception 0x%08lx at %p in %s) in case %ld of seed %llu\n",
           exception->ExceptionRecord->ExceptionCode, exception->ExceptionRecord->ExceptionAddress,
           module, currentCase, static_cast<unsigned long long>(currentSeed));
    // The files of the case, kept for a closer look.
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string keep = std::string(temp) + "dormity-fuzz-crash";
    CreateDirectoryA(keep.c_str(), nullptr);
    for (int i = 0; i < 3; ++i) {
        char name[32];
        snprintf(name, sizeof name, "\\zrfz%02d.scr", i);
        CopyFileA((windowsDirectory() + name).c_str(), (keep + name).c_str(), FALSE);
    }
    printf("*** its screen saver files are kept in %s\n", keep.c_str());
    fflush(stdout);
    cleanUpAfterFailure();
    fflush(stdout);
    return EXCEPTION_EXECUTE_HANDLER;
}

// A case that takes this long is a hang: say which one and end the run.
const DWORD kHangMs = 20000;

DWORD WINAPI watchdog(void*)
{
    for (;;) {
        Sleep(250);
        if (currentCase >= 0 && GetTickCount() - caseStarted > kHangMs) {
            printf("\n*** case %ld of seed %llu has not finished in %lu ms: hang\n", currentCase,
                   static_cast<unsigned long long>(currentSeed),
                   static_cast<unsigned long>(kHangMs));
            fflush(stdout);
            cleanUpAfterFailure();
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
}

// The About box, opened in-process and read as soon as it shows.
struct AboutReading {
    bool shown = false;
    bool sysInfoEnabled = false;
    bool blinkChecked = false;
};
AboutReading* aboutReading = nullptr;

BOOL CALLBACK findDialog(HWND window, LPARAM lParam)
{
    char name[16];
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, "#32770") == 0) {
        *reinterpret_cast<HWND*>(lParam) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK readAbout(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog || !aboutReading)
        return;
    KillTimer(nullptr, timer);
    aboutReading->shown = true;
    aboutReading->sysInfoEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_SYSINFO)) != FALSE;
    aboutReading->blinkChecked = IsDlgButtonChecked(dialog, IDC_BLINK) == BST_CHECKED;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
}

AboutReading openAbout(Application& app)
{
    AboutReading reading;
    aboutReading = &reading;
    UINT_PTR timer = SetTimer(nullptr, 0, 1, readAbout);
    showAboutDialog(app);
    KillTimer(nullptr, timer);
    aboutReading = nullptr;
    return reading;
}

int caseCount()
{
    const char* text = getenv("DORMITY_FUZZ_CASES");
    const char* argument = strstr(GetCommandLineA(), "--cases=");
    if (argument)
        text = argument + strlen("--cases=");
    int count = text ? atoi(text) : 0;
    return count > 0 ? count : kSuiteCases;
}

bool sameText(const char* a, const char* b)
{
    return lstrcmpiA(a, b) == 0;
}

class BadInput : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fileExists(fixtureSaverPath()));
        iniBefore_ = readFileBytes(windowsDirectory() + "\\system.ini");
        iniExisted_ = fileExists(windowsDirectory() + "\\system.ini");
        running_ = this;
        emergencyCleanup = [] {
            if (running_) {
                running_->TearDown();
                running_->desktop_.restore();
                running_->blink_.restore();
                running_->sounds_.restore();
                running_->sysInfo_.restore();
            }
        };
    }
    void TearDown() override
    {
        emergencyCleanup = nullptr;
        files_.removeAll();
        std::string ini = windowsDirectory() + "\\system.ini";
        SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (iniExisted_)
            writeFileBytes(ini, iniBefore_.data(), iniBefore_.size());
        else
            DeleteFileA(ini.c_str());
        // Drops the profile code's cached copy.
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, "system.ini");
    }

    InstalledFiles files_{"zrfz"};
    // Every key the cases write, put back as it was afterwards.
    SavedRegistryKey desktop_{HKEY_CURRENT_USER, "Control Panel\\Desktop"};
    SavedRegistryKey blink_{HKEY_CURRENT_USER, BLINK_KEY};
    SavedRegistryKey sounds_{HKEY_CURRENT_USER, kSoundRoot};
    SavedRegistryKey sysInfo_{HKEY_LOCAL_MACHINE, MSINFO_KEY};
    std::string iniBefore_;
    bool iniExisted_ = false;
    static BadInput* running_;
};

BadInput* BadInput::running_ = nullptr;

// A copy of the fixture whose string table is damaged in the one place that
// its headers do not describe: the length word of string 0, in front of
// string 1. Every header is intact; a reader that trusts the stored length
// steps past the end of the file, to the unmapped rest of the 64 KB that
// the system reserves for a view (views start on 64 KB boundaries).
std::vector<unsigned char> damagedStringTable(const std::string& image)
{
    std::vector<unsigned char> bytes(image.begin(), image.end());
    const std::string text = fixtureDescription();
    std::vector<unsigned char> pattern = {static_cast<unsigned char>(text.size()), 0};
    for (char c : text) {
        pattern.push_back(static_cast<unsigned char>(c));
        pattern.push_back(0);
    }
    for (size_t at = 2; at + pattern.size() <= bytes.size(); ++at) {
        if (memcmp(bytes.data() + at, pattern.data(), pattern.size()) == 0
            && bytes[at - 2] == 0 && bytes[at - 1] == 0) {
            // Mapped as a data file, the view ends at the file's size
            // rounded up to a page; land a page after that.
            size_t viewEnd = (bytes.size() + 4095) / 4096 * 4096;
            size_t length = (viewEnd + 4096 - at) / 2;
            if (length > 0xFFFF)
                return {};
            bytes[at - 2] = static_cast<unsigned char>(length & 0xFF);
            bytes[at - 1] = static_cast<unsigned char>(length >> 8);
            return bytes;
        }
    }
    return {};
}

// The directory entry that names string block 1, with its high bytes filled
// with garbage (the name flag left clear): the loader still takes it for
// block 1 by its low word, while a reader that compares the whole word
// finds no string table at all.
bool disguiseStringBlockId(std::vector<unsigned char>& bytes, const PeLayout& layout)
{
    auto le16 = [&](size_t at) { return static_cast<DWORD>(bytes[at] | bytes[at + 1] << 8); };
    auto le32 = [&](size_t at) { return le16(at) | le16(at + 2) << 16; };
    size_t root = layout.resourceStart;
    if (root + 16 > bytes.size())
        return false;
    for (DWORD i = 0; i < le16(root + 12) + le16(root + 14); ++i) {
        size_t entry = root + 16 + 8 * i;
        if (entry + 8 > bytes.size() || le32(entry) != 6 || !(le32(entry + 4) & 0x80000000))
            continue;
        size_t types = root + (le32(entry + 4) & 0x7FFFFFFF);
        if (types + 16 > bytes.size())
            return false;
        for (DWORD j = 0; j < le16(types + 12) + le16(types + 14); ++j) {
            size_t block = types + 16 + 8 * j;
            if (block + 8 <= bytes.size() && le32(block) == 1) {
                bytes[block + 2] = 0x00;
                bytes[block + 3] = 0x6A;
                return true;
            }
        }
    }
    return false;
}

LONG WINAPI reportStringTableCrash(EXCEPTION_POINTERS* exception)
{
    printf("\n*** crash (exception 0x%08lx at %p) while the catalogue read a screen saver whose "
           "string table is damaged\n",
           exception->ExceptionRecord->ExceptionCode, exception->ExceptionRecord->ExceptionAddress);
    fflush(stdout);
    cleanUpAfterFailure();
    return EXCEPTION_EXECUTE_HANDLER;
}

// Installs the file, starts the program and rebuilds its catalogue: the
// file is listed under its name or left out, and nothing is read from
// beyond its string table.
void expectListedSafely(InstalledFiles& files, const std::vector<unsigned char>& bytes)
{
    ASSERT_TRUE(files.write(bytes, 0));
    struct Filter {
        LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(reportStringTableCrash);
        ~Filter() { SetUnhandledExceptionFilter(previous); }
    } filter;
    Application app(GetModuleHandleA(nullptr));
    ASSERT_NE(app.trayWindow, nullptr);
    TrayWindow& tray = *app.trayWindow;
    SendMessageA(tray.window, WM_SETTINGCHANGE, 0, 0);
    for (const SaverEntry* entry = tray.saverList; entry; entry = entry->next) {
        if (entry != tray.noneEntry && sameText(entry->fileName, files.catalogueNameOf(0).c_str())) {
            EXPECT_STREQ(entry->description, "zrfz00");
        }
    }
    SendMessageA(tray.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(tray.popupMenu), 0);
    EXPECT_FALSE(renderAllItems(tray.window, ownerDrawnItems(tray)).empty());
}

} // namespace

TEST_F(BadInput, DamagedStringTableIsNotReadPastItsEnd)
{
    std::vector<unsigned char> bytes = damagedStringTable(readFileBytes(fixtureSaverPath()));
    ASSERT_FALSE(bytes.empty()) << "string 1 of the fixture not found";
    expectListedSafely(files_, bytes);
}

TEST_F(BadInput, DisguisedStringBlockIsNotReadPastItsEnd)
{
    const std::string image = readFileBytes(fixtureSaverPath());
    std::vector<unsigned char> bytes = damagedStringTable(image);
    ASSERT_FALSE(bytes.empty()) << "string 1 of the fixture not found";
    ASSERT_TRUE(disguiseStringBlockId(bytes, layoutOf(image))) << "no string block 1 found";
    expectListedSafely(files_, bytes);
}

TEST_F(BadInput, EveryReadGivesTheStoredValueOrItsDefault)
{
    const uint64_t seed = chooseSeed("DORMITY_FUZZ_SEED");
    currentSeed = seed;
    const int cases = caseCount();
    SeededRandom random(seed);

    const std::string image = readFileBytes(fixtureSaverPath());
    const PeLayout layout = layoutOf(image);
    ASSERT_GT(layout.resourceSize, 0u) << "the fixture has no resource section";

    // Two files that the cases damage, one that stays intact.
    const int kDamaged = 2;
    const int kIntact = 2;
    for (int i = 0; i < kDamaged; ++i)
        ASSERT_TRUE(files_.write(randomFile(random, image, layout), i));
    files_.copy(fixtureSaverPath(), kIntact);
    std::vector<std::string> names;
    for (int i = 0; i <= kIntact; ++i) {
        names.push_back(files_.catalogueNameOf(i));
        names.push_back(files_.pathOf(i));
    }
    names.push_back(kNone);

    // Crashes and hangs name their case; the guard stands the watch down
    // however the test ends.
    struct Watch {
        LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(reportCrash);
        HANDLE thread = CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr);
        ~Watch()
        {
            currentCase = -1;
            if (thread) {
                TerminateThread(thread, 0);
                CloseHandle(thread);
            }
            SetUnhandledExceptionFilter(previous);
        }
    } watch;
    ASSERT_TRUE(watch.thread);

    struct AppHolder {
        Application* app = nullptr;
        ~AppHolder() { delete app; }
    } holder;
    holder.app = new Application(GetModuleHandleA(nullptr));
    Application*& app = holder.app;
    ASSERT_NE(app->trayWindow, nullptr);
    Canvas canvas(320, 64);
    ASSERT_TRUE(canvas.valid());
    const DWORD platform = app->flags & (APP_WIN9X | APP_WIN2K);

    // Where the time goes, for keeping the suite's run short.
    static const char* const kLaps[] = {"input", "rebuild", "draw", "reads", "sound", "about/restart", "pump"};
    DWORD lapTotals[7] = {0, 0, 0, 0, 0, 0, 0};
    DWORD lapStart = GetTickCount();
    int lapIndex = -1;
    auto lap = [&](int next) {
        DWORD now = GetTickCount();
        if (lapIndex >= 0)
            lapTotals[lapIndex] += now - lapStart;
        lapStart = now;
        lapIndex = next;
    };
    int failedCases = 0;
    int heldFiles = 0;
    int listedDamaged = 0;
    int aboutChecks = 0;
    int restarts = 0;
    DWORD start = GetTickCount();
    const testing::TestResult* result = testing::UnitTest::GetInstance()->current_test_info()->result();
    for (int index = 0; index < cases; ++index) {
        const int partsBefore = result->total_part_count();
        caseStarted = GetTickCount();
        currentCase = index;
        SCOPED_TRACE(testing::Message() << "case " << index << " of seed " << seed);

        lap(0);
        // The input of this case.
        const Location* registryValues[] = {&kSaverValue, &kUsePassword, &kPasswordData,
                                            &kIsSecure,   &kBlink,       &kSysInfo,
                                            &kSounds[0],  &kSounds[1],   &kSounds[2],
                                            &kSounds[3],  &kSounds[4],   &kSounds[5]};
        for (const Location* where : registryValues)
            if (random.chance(60))
                scramble(random, *where, names);
        if (random.chance(50)) {
            if (random.chance(15))
                WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", nullptr, "system.ini");
            else
                WritePrivateProfileStringA("boot", "SCRNSAVE.EXE",
                                           randomIniText(random, names).c_str(), "system.ini");
        }
        if (random.chance(30)
            && !files_.write(randomFile(random, image, layout),
                             static_cast<int>(random.below(kDamaged))))
            ++heldFiles;
        const bool win9x = random.chance(50);
        app->flags = (app->flags & ~(APP_WIN9X | APP_WIN2K)) | (win9x ? APP_WIN9X : platform);
        const SaverFamily family = win9x ? FAMILY_95 : FAMILY_NT;

        // What the program must make of it.
        const Stored saverValue = readStored(kSaverValue);
        const std::string ntSaver = expectedNtSaver(saverValue);
        const std::string iniSaver = expectedIniSaver();
        const std::string configured = family == FAMILY_95 ? iniSaver : ntSaver;

        lap(1);
        // The catalogue rebuilt from it, as on every settings change.
        TrayWindow& tray = *app->trayWindow;
        SendMessageA(tray.window, WM_SETTINGCHANGE, 0, 0);
        int entries = 0;
        int checked = 0;
        bool intactListed = false;
        const SaverEntry* expectedChecked = nullptr;
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
            int n = entry->menuId - IDM_NONE;
            EXPECT_TRUE(n >= 1 && n < 64 && !idSeen[n]) << "id " << entry->menuId;
            if (n >= 1 && n < 64)
                idSeen[n] = true;
            // Only what the loader accepts is listed, and it accepts nothing
            // that does not start as an executable does.
            std::string head = readFileBytes(entry->fileName).substr(0, 2);
            EXPECT_EQ(head, "MZ") << entry->fileName << " is listed";
            if (sameText(entry->fileName, files_.catalogueNameOf(kIntact).c_str())) {
                intactListed = true;
                EXPECT_STREQ(entry->description, fixtureDescription().c_str());
            } else {
                ++listedDamaged;
            }
            if (!sameText(configured.c_str(), kNone) && sameText(configured.c_str(), entry->fileName))
                expectedChecked = entry;
        }
        EXPECT_TRUE(intactListed);
        EXPECT_EQ(entries, tray.saverCount + 1);
        for (int n = 1; n <= tray.saverCount && n < 64; ++n)
            EXPECT_TRUE(idSeen[n]) << "ids have a gap at " << IDM_NONE + n;
        HMENU submenu = GetSubMenu(tray.popupMenu, 0);
        EXPECT_EQ(GetMenuItemCount(submenu), entries);
        EXPECT_EQ(checked, 1) << "exactly one entry carries the mark";
        if (expectedChecked) {
            EXPECT_TRUE(expectedChecked->flags & SAVER_CHECKED) << configured;
            EXPECT_STREQ(tray.currentDescription, expectedChecked->description);
        } else {
            ASSERT_NE(tray.noneEntry, nullptr);
            EXPECT_TRUE(tray.noneEntry->flags & SAVER_CHECKED) << configured;
            EXPECT_STREQ(tray.currentDescription, "none");
        }
        std::string tip = std::string("Dormity - [") + tray.currentDescription + "]";
        EXPECT_EQ(std::string(tray.trayIcon.szTip), tip.substr(0, 63));

        lap(2);
        // Every item measured and drawn, as the open menu does.
        SendMessageA(tray.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(tray.popupMenu), 0);
        for (const MenuItemView& item : ownerDrawnItems(tray)) {
            MEASUREITEMSTRUCT measure;
            memset(&measure, 0, sizeof measure);
            measure.CtlType = ODT_MENU;
            measure.itemID = item.id;
            measure.itemData = item.data;
            EXPECT_EQ(SendMessageA(tray.window, WM_MEASUREITEM, 0,
                                   reinterpret_cast<LPARAM>(&measure)),
                      TRUE);
            EXPECT_EQ(canvas.draw(tray.window, item, random.chance(50)), TRUE) << item.id;
        }

        lap(3);
        // Every setting read.
        char buffer[SAVER_PATH_SIZE + 8];
        memset(buffer, 'X', sizeof buffer);
        readCurrentSaver(FAMILY_NT, buffer);
        EXPECT_EQ(std::string(buffer), ntSaver);
        EXPECT_EQ(memcmp(buffer + SAVER_PATH_SIZE, "XXXXXXXX", 8), 0) << "written past the buffer";
        memset(buffer, 'X', sizeof buffer);
        readCurrentSaver(FAMILY_95, buffer);
        EXPECT_EQ(std::string(buffer), iniSaver);
        EXPECT_EQ(memcmp(buffer + SAVER_PATH_SIZE, "XXXXXXXX", 8), 0) << "written past the buffer";

        PasswordValues old95 = readPasswordValues(FAMILY_95);
        EXPECT_EQ(old95.usePassword, expectedSmallNumber(readStored(kUsePassword)));
        EXPECT_EQ(old95.passwordData, expectedSmallNumber(readStored(kPasswordData)));
        ExpectedInteger secure = expectedIsSecure(readStored(kIsSecure));
        PasswordValues nt = readPasswordValues(FAMILY_NT);
        if (secure.exact)
            EXPECT_EQ(nt.isSecure, secure.value);
        else
            EXPECT_NE(nt.isSecure, 0) << "a number too large for 32 bits read as 0";

        const bool blink = expectedBlink(readStored(kBlink));
        EXPECT_EQ(readBlinkPreference(), blink);

        bool win4Storage = false;
        if (const bool* win4 = expectedWin4(iniSaver, &win4Storage))
            EXPECT_EQ(isWin4Saver(FAMILY_95), *win4) << iniSaver;
        else
            isWin4Saver(FAMILY_95);
        EXPECT_TRUE(isWin4Saver(FAMILY_NT));

        lap(4);
        if (index % 4 == 0)
            tray.playEventSound(static_cast<int>(random.below(6)));

        lap(5);
        // Now and then the two places that read at start-up or on opening:
        // a fresh start (the blink preference) and the About box (the
        // System Information path and the blink box).
        if (index % 50 == 0) {
            AboutReading about = openAbout(*app);
            EXPECT_TRUE(about.shown);
            EXPECT_EQ(about.sysInfoEnabled, expectedSysInfo(readStored(kSysInfo)));
            EXPECT_EQ(about.blinkChecked, blink);
            ++aboutChecks;
        }
        if (index % 200 == 199) {
            delete app;
            app = new Application(GetModuleHandleA(nullptr));
            ASSERT_NE(app->trayWindow, nullptr);
            EXPECT_EQ((app->flags & APP_BLINK) != 0, blink);
            ++restarts;
        }
        lap(6);
        pumpMessages();

        if (result->total_part_count() != partsBefore && ++failedCases >= 10) {
            ADD_FAILURE() << "stopping after 10 failing cases";
            break;
        }
    }
    lap(-1);
    currentCase = -1;
    DWORD elapsed = GetTickCount() - start;
    printf("[ fuzz     ]");
    for (int i = 0; i < 7; ++i)
        printf(" %s %lu ms;", kLaps[i], static_cast<unsigned long>(lapTotals[i]));
    printf("\n");
    printf("[ fuzz     ] %d cases in %lu ms; %d listings of damaged files, %d About boxes, "
           "%d restarts, %d files held open\n",
           cases, static_cast<unsigned long>(elapsed), listedDamaged, aboutChecks, restarts,
           heldFiles);

    delete app;
    app = nullptr;
    EXPECT_TRUE(resourcesStillAvailable());
}
