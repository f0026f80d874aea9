// Which language Dormity speaks, and the table of those it has against the
// compiled resources and the system's own answers.
#include <windows.h>

#include <gtest/gtest.h>

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

BOOL CALLBACK addLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found)
{
    return reinterpret_cast<std::set<LANGID>*>(found)->insert(language), TRUE;
}

TEST(UiLanguage, TableIsTheCompiledTablesEachReadWholeInTheCodePageAndCharsetOfItsScript)
{
    // The languages the first block of texts is written in are the table's, English first.
    std::set<LANGID> compiled, table;
    EnumResourceLanguagesA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(6),
                           MAKEINTRESOURCEA(stringBlockOf(IDS_SET_SAVER)), addLanguage,
                           reinterpret_cast<LONG_PTR>(&compiled));
    for (size_t i = 0; i < kUiLanguageCount; ++i)
        table.insert(kUiLanguages[i].id);
    EXPECT_EQ(compiled, table);
    EXPECT_EQ(kUiLanguages[kEnglish].id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    OSVERSIONINFOA version = reportedVersion();
    LCID savedLocale = GetThreadLocale();
    for (size_t i = 0; i < kUiLanguageCount; ++i) {
        const UiLanguage& language = kUiLanguages[i];
        SCOPED_TRACE(language.name);
        EXPECT_TRUE(languageNamed(language.name) == i && languageWithId(language.id) == i);
        // The system's character set for the code page.
        CHARSETINFO charset = {};
        TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(language.codePage)),
                             &charset, TCI_SRCCODEPAGE);
        EXPECT_EQ(charset.ciCharset, language.charset);
        speakUiLanguage(i, version.dwPlatformId, version.dwMajorVersion);
        // The thread's locale picks a table's language for the system's loader.
        SetThreadLocale(MAKELCID(language.id, SORT_DEFAULT));
        for (UINT id = IDS_SET_SAVER; id <= IDS_SOUND_PASS_DISABLE; ++id) {
            WCHAR loaded[2048] = L"";
            char spelt[4096];
            BOOL defaulted = FALSE;
            if (LoadStringW(GetModuleHandleA(nullptr), id, loaded, 2048) == 0)
                continue;
            // Each text whole as the loader reads it, and spelt in its code page: a system of
            // the 95 family with that code page shows it.
            EXPECT_TRUE(std::wstring(uiText(id)) == loaded) << "text " << id;
            WideCharToMultiByte(language.codePage, WC_NO_BEST_FIT_CHARS, uiText(id), -1, spelt,
                                sizeof spelt, nullptr, &defaulted);
            EXPECT_FALSE(defaulted) << "text " << id << " not in code page " << language.codePage;
        }
    }
    SetThreadLocale(savedLocale);
    speakUiLanguage(kEnglish, version.dwPlatformId, version.dwMajorVersion);
}
