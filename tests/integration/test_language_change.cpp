// The language decided again at an intl settings change: the user's own choice in Dormity's
// key as real values of odd types and lengths, the policy over it; the tooltip follows at once.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/application.h"
#include "app/tray_window.h"
#include "app/user_language.h"
#include "base/ui_language.h"
#include "base/ui_text.h"
#include "commands/blink_preference.h"
#include "res/string_ids.h"
#include "saverconfig/preference_policy.h"
#include "support/system.h"

TEST(LanguageChange, TheUsersChoiceOfOddTypesAndThePolicyTakeEffectAtTheNextIntlChange)
{
    const struct { DWORD type; std::string bytes; const char *policy, *speaks; } rows[] = {
        {REG_SZ, std::string("de-DE", 6), "", "de-DE"}, {REG_SZ, "ja-jp", "", "ja-JP"},
        {REG_SZ, std::string("ar\0de", 6), "", "ar-SA"},  // unterminated; two strings
        {REG_EXPAND_SZ, std::string("de-DE", 6), "", "en-US"},
        {REG_DWORD, std::string("\x07\x04\0\0", 4), "", "en-US"},
        {REG_SZ, "de-" + std::string(90, 'd'), "", "en-US"},
        {REG_SZ, std::string("de-DE", 6), "fr-FR", "fr-FR"}};
    deleteRegTree(HKEY_CURRENT_USER, PREFERENCE_POLICY_KEY);
    Application app(GetModuleHandleA(nullptr));
    ASSERT_NE(app.trayWindow, nullptr);
    auto intl = [&](LPARAM section) { SendMessageA(app.trayWindow->window, WM_SETTINGCHANGE, 0, section); };
    for (const auto& row : rows) {
        setRegValue(HKEY_CURRENT_USER, BLINK_KEY, LANGUAGE_VALUE, row.type, row.bytes.data(),
                    static_cast<DWORD>(row.bytes.size()));
        if (*row.policy)
            setRegString(HKEY_CURRENT_USER, PREFERENCE_POLICY_KEY, POLICY_LANGUAGE, row.policy);
        intl(reinterpret_cast<LPARAM>("intl"));
        EXPECT_STREQ(kUiLanguages[uiLanguage()].name, row.speaks) << row.bytes;
        // The tip, no screen saver set, as the system's loader reads that language's tables.
        LCID saved = GetThreadLocale();
        SetThreadLocale(MAKELCID(kUiLanguages[languageNamed(row.speaks)].id, SORT_DEFAULT));
        WCHAR format[256] = L"", none[64] = L"";
        LoadStringW(GetModuleHandleA(nullptr), IDS_TIP, format, 256);
        LoadStringW(GetModuleHandleA(nullptr), IDS_TIP_NONE, none, 64);
        SetThreadLocale(saved);
        std::wstring wanted = format;
        wanted.replace(wanted.find(L"%s"), 2, none);
        EXPECT_TRUE(app.trayWindow->tipText == wanted) << "the tip in " << row.speaks;
        deleteRegTree(HKEY_CURRENT_USER, PREFERENCE_POLICY_KEY);
    }
    // Another change leaves the language as it is until the next intl one.
    deleteRegValue(HKEY_CURRENT_USER, BLINK_KEY, LANGUAGE_VALUE);
    intl(0);
    EXPECT_STREQ(kUiLanguages[uiLanguage()].name, "fr-FR");
    intl(reinterpret_cast<LPARAM>("intl"));
    EXPECT_STREQ(kUiLanguages[uiLanguage()].name, "en-US");
}
