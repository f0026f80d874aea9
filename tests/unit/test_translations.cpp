// Every language's string tables as the program finds them in its own module
// (the test links the same resource object): the table below is what must be
// there, the resources are the truth, English the reference.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "res/string_ids.h"

namespace {

struct Language { const char* name; LANGID id; bool accessKeys; };

// Arabic and Hebrew menus carry no access keys, as Windows' own in those languages.
const Language kLanguages[] = {
    {"en-US", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), true},
    {"ar-SA", MAKELANGID(LANG_ARABIC, SUBLANG_ARABIC_SAUDI_ARABIA), false},
    {"cs-CZ", MAKELANGID(LANG_CZECH, SUBLANG_CZECH_CZECH_REPUBLIC), true},
    {"de-DE", MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), true},
    {"el-GR", MAKELANGID(LANG_GREEK, SUBLANG_GREEK_GREECE), true},
    {"es-ES", MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN), true},
    {"fr-FR", MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), true},
    {"he-IL", MAKELANGID(LANG_HEBREW, SUBLANG_HEBREW_ISRAEL), false},
    {"hu-HU", MAKELANGID(LANG_HUNGARIAN, SUBLANG_HUNGARIAN_HUNGARY), true},
    {"it-IT", MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN), true},
    {"ja-JP", MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), true},
    {"ko-KR", MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN), true},
    {"nl-NL", MAKELANGID(LANG_DUTCH, SUBLANG_DUTCH), true},
    {"pl-PL", MAKELANGID(LANG_POLISH, SUBLANG_POLISH_POLAND), true},
    {"pt-BR", MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN), true},
    {"pt-PT", MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE), true},
    {"ru-RU", MAKELANGID(LANG_RUSSIAN, SUBLANG_RUSSIAN_RUSSIA), true},
    {"sv-SE", MAKELANGID(LANG_SWEDISH, SUBLANG_SWEDISH), true},
    {"tr-TR", MAKELANGID(LANG_TURKISH, SUBLANG_TURKISH_TURKEY), true},
    {"uk-UA", MAKELANGID(LANG_UKRAINIAN, SUBLANG_UKRAINIAN_UKRAINE), true},
    {"zh-CN", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), true},
    {"zh-TW", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), true},
};

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

std::string utf8(const std::wstring& text) {
    char out[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out, sizeof out - 1, nullptr, nullptr);
    return out;
}

BOOL CALLBACK addLanguage(HMODULE, LPCWSTR, LPCWSTR name, WORD language, LONG_PTR blocks) {
    (*reinterpret_cast<std::map<UINT, std::set<LANGID>>*>(blocks))[LOWORD(name)].insert(language);
    return TRUE;
}

BOOL CALLBACK addBlock(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR blocks) {
    return EnumResourceLanguagesW(module, type, name, addLanguage, blocks);
}

// Every string table block of this module and the languages it is written in.
std::map<UINT, std::set<LANGID>> stringBlocks() {
    std::map<UINT, std::set<LANGID>> blocks;
    EnumResourceNamesW(GetModuleHandleW(nullptr), kStringTable, addBlock,
                       reinterpret_cast<LONG_PTR>(&blocks));
    return blocks;
}

// The texts of one language by id, as the block layout holds them (16 counted texts).
std::map<UINT, std::wstring> textsOf(LANGID language) {
    std::map<UINT, std::wstring> texts;
    const HMODULE self = GetModuleHandleW(nullptr);
    for (const auto& block : stringBlocks()) {
        if (!block.second.count(language)) continue;
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
            if (count) texts[(block.first - 1) * 16 + index] = std::wstring(at, count);
            at += count;
        }
    }
    return texts;
}

// The conversions of a format text in order, as the formatter reads them.
std::vector<std::wstring> conversions(const std::wstring& text) {
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
WCHAR accessKey(const std::wstring& caption) {
    for (size_t at = caption.find(L'&'); at != std::wstring::npos && at + 1 < caption.size();
         at = caption.find(L'&', at + 2)) {
        if (caption[at + 1] == L'&') continue;
        WCHAR key = caption[at + 1];
        CharUpperBuffW(&key, 1);
        return key;
    }
    return 0;
}

TEST(Translations, EveryLanguageWholeWithEnglishConversionsUniqueAccessKeysShortTipsAndItsCodePage) {
    std::set<LANGID> want, got;
    for (const Language& language : kLanguages) want.insert(language.id);
    for (const auto& block : stringBlocks()) got.insert(block.second.begin(), block.second.end());
    EXPECT_EQ(got, want) << "the languages of the string tables";

    const std::map<UINT, std::wstring> english = textsOf(kLanguages[0].id);
    ASSERT_TRUE(english.count(IDS_TIP) && english.count(IDS_4_HOURS));
    for (const Language& language : kLanguages) {
        SCOPED_TRACE(language.name);
        const std::map<UINT, std::wstring> texts = textsOf(language.id);
        const auto textOf = [&](UINT id) { return texts.count(id) ? texts.at(id) : std::wstring(); };
        char codePage[8] = {};
        GetLocaleInfoA(MAKELCID(language.id, SORT_DEFAULT), LOCALE_IDEFAULTANSICODEPAGE, codePage,
                       sizeof codePage);
        for (const auto& source : english) {
            const std::wstring text = textOf(source.first);
            EXPECT_FALSE(text.empty()) << "no text " << source.first;
            EXPECT_EQ(conversions(text), conversions(source.second)) << source.first << ": " << utf8(text);
            // Windows 95, 98 and Me in that language show it through their ANSI code page.
            char ansi[4096];
            BOOL lossy = FALSE;
            WideCharToMultiByte(atoi(codePage), WC_NO_BEST_FIT_CHARS, text.c_str(),
                                static_cast<int>(text.size()), ansi, sizeof ansi, nullptr, &lossy);
            EXPECT_FALSE(lossy) << source.first << " outside code page " << codePage << ": "
                                << utf8(text);
        }
        EXPECT_EQ(texts.size(), english.size()) << "ids that English does not have";
        for (const std::vector<UINT>& level : kMenuLevels) {
            std::set<WCHAR> keys;
            for (UINT id : level) {
                const WCHAR key = accessKey(textOf(id));
                EXPECT_EQ(key != 0, language.accessKeys) << id << ": " << utf8(textOf(id));
                EXPECT_TRUE(!key || keys.insert(key).second) << id << " repeats its level's key "
                                                             << utf8(std::wstring(1, key));
            }
        }
        for (const auto& tip : kTips) {
            std::wstring filled = textOf(tip.id);
            for (const std::wstring& argument : tip.arguments)
                if (filled.find(L"%s") != std::wstring::npos)
                    filled.replace(filled.find(L"%s"), 2, argument);
            EXPECT_LE(filled.size(), 63u) << utf8(filled);
        }
    }
}

}  // namespace
