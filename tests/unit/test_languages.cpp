// Which language Dormity speaks, and the table of those it has against the
// compiled resources (the test links the program's resource object) and the system's own answers.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/system_version.h"
#include "base/ui_language.h"
#include "base/ui_text.h"
#include "res/string_ids.h"

namespace {

const DWORD k95 = VER_PLATFORM_WIN32_WINDOWS, kNt = VER_PLATFORM_WIN32_NT;
const LANGID kGermanAustria = 0x0C07, kChineseHongKong = 0x0C04, kChineseSingapore = 0x1004;
const LANGID kPortugal = 0x0816, kJapanese = 0x0411, kCzech = 0x0405, kArabic = 0x0401;

// The loader's list (Vista on), the UI language (2000/XP), the user's (95/98/Me, NT 4.0).
struct ChoiceRow { DWORD platform, major; std::vector<const char*> preferred; LANGID ui, user;
                   const char *policy, *chosen; UINT codePage; const char* speaks; bool mirrored; };

} // namespace

TEST(UiLanguage, ChosenFromEachFamilysSourceByNeutralMatchUnlessPolicyOrUserNameOneItHas)
{
    const ChoiceRow rows[] = {
        // Vista on: the first of the loader's list that Dormity has, by its neutral form.
        {kNt, 6, {"de-AT", "en-US"}, 0, 0, "", "", 1252, "de-DE", false},
        {kNt, 10, {"fi-FI", "sv-FI"}, 0, 0, "", "", 1252, "sv-SE", false},
        {kNt, 10, {"fi-FI"}, kJapanese, kJapanese, "", "", 1252, "en-US", false},
        {kNt, 6, {"zh-HK"}, 0, 0, "", "", 950, "zh-TW", false},
        {kNt, 4, {}, 0, kArabic, "", "zh-MO", 1256, "zh-TW", false},
        {kNt, 6, {"zh-SG"}, 0, 0, "", "", 936, "zh-CN", false},
        {kNt, 6, {"zh-Hans-HK"}, 0, 0, "", "", 936, "zh-CN", false},
        {kNt, 6, {"pt-AO"}, 0, 0, "", "", 1252, "pt-PT", false},
        {kNt, 6, {"PT-br"}, 0, 0, "", "", 1252, "pt-BR", false},
        {kNt, 6, {"ar-EG"}, 0, 0, "", "", 1256, "ar-SA", true},
        // 2000 and XP: the user's UI language; NT 4.0: the user's language.
        {kNt, 5, {"ja-JP"}, kGermanAustria, kJapanese, "", "", 1252, "de-DE", false},
        {kNt, 5, {}, kChineseHongKong, 0, "", "", 950, "zh-TW", false},
        {kNt, 5, {}, kChineseSingapore, 0, "", "", 936, "zh-CN", false},
        {kNt, 4, {}, kJapanese, kPortugal, "", "", 1252, "pt-PT", false},
        // The 95 family: English where the ANSI code page cannot spell the language.
        {k95, 4, {}, 0, kJapanese, "", "", 932, "ja-JP", false},
        {k95, 4, {}, 0, kCzech, "", "", 1252, "en-US", false},
        {k95, 4, {}, 0, kGermanAustria, "", "ja-JP", 1252, "en-US", false},
        // The user's choice wins over the system's, the policy over both; one naming no
        // language Dormity has is ignored.
        {kNt, 10, {"de-DE"}, 0, 0, "", "ja-JP", 1252, "ja-JP", false},
        {kNt, 10, {"de-DE"}, 0, 0, "", "he", 1252, "he-IL", true},
        {kNt, 10, {"de-DE"}, 0, 0, "", "xx-YY", 1252, "de-DE", false},
        {kNt, 10, {"de-DE"}, 0, 0, "fr-FR", "ja-JP", 1252, "fr-FR", false},
        {kNt, 10, {"de-DE"}, 0, 0, "zz", "ja-JP", 1252, "ja-JP", false},
    };
    for (const ChoiceRow& row : rows) {
        LanguageInputs in = {row.platform, row.major, row.preferred.data(), row.preferred.size(),
                             row.ui, row.user, row.policy, row.chosen, row.codePage};
        SCOPED_TRACE(std::to_string(row.major) + (row.preferred.empty() ? "" : row.preferred[0])
                     + " " + row.policy + " " + row.chosen);
        size_t chosen = chooseUiLanguage(in);
        ASSERT_LT(chosen, kUiLanguageCount);
        EXPECT_STREQ(kUiLanguages[chosen].name, row.speaks);
        EXPECT_EQ(mirrorsLayout(chosen, row.platform, row.major), row.mirrored);
    }
}

namespace {

// The items of one menu level that carry an access key. The popup twice: the
// toggle and Configure read differently as the saver is on or off, or none is set.
const std::vector<UINT> kMenuLevels[] = {
    {IDS_SET_SAVER, IDS_LAUNCH, IDS_CONFIGURE, IDS_PROPERTIES, IDS_PASSWORD_MENU, IDS_SET_TIMEOUT,
     IDS_DISABLE, IDS_DISABLE_FOR, IDS_KEEP_OFF_WHILE, IDS_LOCK, IDS_ABOUT, IDS_EXIT},
    {IDS_SET_SAVER, IDS_LAUNCH, IDS_CONFIGURE_GREYED, IDS_PROPERTIES, IDS_PASSWORD_MENU,
     IDS_SET_TIMEOUT, IDS_ENABLE, IDS_DISABLE_FOR, IDS_KEEP_OFF_WHILE, IDS_LOCK, IDS_ABOUT, IDS_EXIT},
    {IDS_PASSWORD_ENABLED, IDS_CHANGE_PASSWORD},
    {IDS_15_MINUTES, IDS_30_MINUTES, IDS_1_HOUR, IDS_2_HOURS, IDS_4_HOURS},
    {IDS_ADD_RUNNING},
};

// Each tooltip filled with a 20-character name and the longest short time.
const std::wstring kName(20, L'W');
const struct { UINT id; std::vector<std::wstring> arguments; } kTips[] = {
    {IDS_TIP, {kName}}, {IDS_TIP_TIMED, {kName, L"12:45 AM"}}, {IDS_TIP_OFF_WHILE, {kName}}};

const LPCWSTR kStringTable = MAKEINTRESOURCEW(6);  // RT_STRING, whatever UNICODE says

BOOL CALLBACK addLanguage(HMODULE, LPCWSTR, LPCWSTR name, WORD language, LONG_PTR blocks)
{
    (*reinterpret_cast<std::map<UINT, std::set<LANGID>>*>(blocks))[LOWORD(name)].insert(language);
    return TRUE;
}

BOOL CALLBACK addBlock(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR blocks)
{
    return EnumResourceLanguagesW(module, type, name, addLanguage, blocks);
}

// Every string table block of this module (the same resource object as the program's) and the
// languages it is written in.
std::map<UINT, std::set<LANGID>> stringBlocks()
{
    std::map<UINT, std::set<LANGID>> blocks;
    EnumResourceNamesW(GetModuleHandleW(nullptr), kStringTable, addBlock,
                       reinterpret_cast<LONG_PTR>(&blocks));
    return blocks;
}

// The texts of one language by id, as the block layout holds them (16 counted texts).
std::map<UINT, std::wstring> textsOf(LANGID language)
{
    std::map<UINT, std::wstring> texts;
    const HMODULE self = GetModuleHandleW(nullptr);
    for (const auto& block : stringBlocks()) {
        if (!block.second.count(language))
            continue;
        HRSRC info = FindResourceExW(self, kStringTable, MAKEINTRESOURCEW(block.first), language);
        HGLOBAL data = info ? LoadResource(self, info) : nullptr;
        const WCHAR* at = data ? static_cast<const WCHAR*>(LockResource(data)) : nullptr;
        const WCHAR* end = at ? at + SizeofResource(self, info) / sizeof(WCHAR) : nullptr;
        for (UINT index = 0; at && at < end && index < 16; ++index) {
            const size_t count = *at++;
            if (count > static_cast<size_t>(end - at)) {
                ADD_FAILURE() << "block " << block.first << " is cut short";
                break;
            }
            if (count)
                texts[(block.first - 1) * 16 + index] = std::wstring(at, count);
            at += count;
        }
    }
    return texts;
}

// The conversions of a format text in order, as the formatter reads them.
std::vector<std::wstring> conversions(const std::wstring& text)
{
    std::vector<std::wstring> found;
    for (size_t at = text.find(L'%'); at != std::wstring::npos; at = text.find(L'%', at)) {
        size_t end = text.find_first_not_of(L"0123456789.", at + 1);
        end = end == std::wstring::npos ? text.size() : end + 1;
        found.push_back(text.substr(at, end - at));
        at = end;
    }
    return found;
}

// The upper-cased character after a single "&"; 0 when there is none.
WCHAR accessKey(const std::wstring& caption)
{
    for (size_t at = caption.find(L'&'); at != std::wstring::npos && at + 1 < caption.size();
         at = caption.find(L'&', at + 2)) {
        if (caption[at + 1] == L'&')
            continue;
        WCHAR key = caption[at + 1];
        CharUpperBuffW(&key, 1);
        return key;
    }
    return 0;
}

} // namespace

// Every language's string tables as the program finds them in its own module, English the
// reference: each text there, with English's conversions, spelt in the code page the system
// gives the language (Windows 95, 98 and Me show it through it), read by uiText as the system's
// loader reads it; the menu's access keys (none in Arabic and Hebrew, as in Windows' own menus)
// unique in each level; each tooltip short enough.
TEST(UiLanguage, TableIsTheCompiledTablesEachReadWholeInTheCodePageAndCharsetOfItsScript)
{
    std::set<LANGID> compiled, table;
    for (const auto& block : stringBlocks())
        compiled.insert(block.second.begin(), block.second.end());
    for (size_t i = 0; i < kUiLanguageCount; ++i)
        table.insert(kUiLanguages[i].id);
    EXPECT_EQ(compiled, table) << "the languages of the string tables";
    EXPECT_EQ(kUiLanguages[kEnglish].id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    const std::map<UINT, std::wstring> english = textsOf(kUiLanguages[kEnglish].id);
    ASSERT_TRUE(english.count(IDS_TIP) && english.count(IDS_4_HOURS));
    OSVERSIONINFOA version = reportedVersion();
    LCID savedLocale = GetThreadLocale();
    for (size_t i = 0; i < kUiLanguageCount; ++i) {
        const UiLanguage& language = kUiLanguages[i];
        SCOPED_TRACE(language.name);
        EXPECT_TRUE(languageNamed(language.name) == i && languageWithId(language.id) == i);
        char codePage[8] = {};
        GetLocaleInfoA(MAKELCID(language.id, SORT_DEFAULT), LOCALE_IDEFAULTANSICODEPAGE, codePage,
                       sizeof codePage);
        EXPECT_EQ(language.codePage, UINT(atoi(codePage)));
        CHARSETINFO charset = {};
        TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(language.codePage)),
                             &charset, TCI_SRCCODEPAGE);
        EXPECT_EQ(charset.ciCharset, language.charset);
        speakUiLanguage(i, version.dwPlatformId, version.dwMajorVersion);
        // The thread's locale picks a table's language for the system's loader.
        SetThreadLocale(MAKELCID(language.id, SORT_DEFAULT));
        const std::map<UINT, std::wstring> texts = textsOf(language.id);
        const auto textOf = [&](UINT id) { return texts.count(id) ? texts.at(id) : std::wstring(); };
        for (const auto& source : english) {
            const std::wstring text = textOf(source.first);
            EXPECT_FALSE(text.empty()) << "no text " << source.first;
            EXPECT_EQ(conversions(text), conversions(source.second)) << source.first << ": " << text;
            char ansi[4096];
            BOOL lossy = FALSE;
            WideCharToMultiByte(language.codePage, WC_NO_BEST_FIT_CHARS, text.c_str(),
                                static_cast<int>(text.size()), ansi, sizeof ansi, nullptr, &lossy);
            EXPECT_FALSE(lossy) << source.first << " outside code page " << language.codePage
                                << ": " << text;
            WCHAR loaded[2048] = L"";
            LoadStringW(GetModuleHandleA(nullptr), source.first, loaded, 2048);
            EXPECT_TRUE(std::wstring(uiText(source.first)) == loaded) << "text " << source.first;
        }
        EXPECT_EQ(texts.size(), english.size()) << "ids that English does not have";
        for (const std::vector<UINT>& level : kMenuLevels) {
            std::set<WCHAR> keys;
            for (UINT id : level) {
                const WCHAR key = accessKey(textOf(id));
                EXPECT_EQ(key != 0, !language.rightToLeft) << id << ": " << textOf(id);
                EXPECT_TRUE(!key || keys.insert(key).second) << id << " repeats its level's key "
                                                             << std::wstring(1, key);
            }
        }
        for (const auto& tip : kTips) {
            std::wstring filled = textOf(tip.id);
            for (const std::wstring& argument : tip.arguments)
                if (filled.find(L"%s") != std::wstring::npos)
                    filled.replace(filled.find(L"%s"), 2, argument);
            EXPECT_LE(filled.size(), 63u) << filled;
        }
    }
    SetThreadLocale(savedLocale);
    speakUiLanguage(kEnglish, version.dwPlatformId, version.dwMajorVersion);
}
