// The language decided again when the user's language settings change: the user's own
// choice in Dormity's key, stored as real values of odd types and lengths, and the policy that
// wins over it; the tooltip follows at once.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
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

namespace {

// The tip the system's own loader gives for a language: no screen saver is set.
std::wstring loaderTip(const char* language)
{
    LCID saved = GetThreadLocale();
    SetThreadLocale(MAKELCID(kUiLanguages[languageNamed(language)].id, SORT_DEFAULT));
    WCHAR format[256] = L"", none[64] = L"";
    LoadStringW(GetModuleHandleA(nullptr), IDS_TIP, format, 256);
    LoadStringW(GetModuleHandleA(nullptr), IDS_TIP_NONE, none, 64);
    SetThreadLocale(saved);
    std::wstring text = format;
    size_t at = text.find(L"%s");
    return at == std::wstring::npos ? text : text.replace(at, 2, none);
}

} // namespace

TEST(LanguageChange, TheUsersChoiceOfOddTypesAndThePolicyTakeEffectAtTheNextIntlChange)
{
    const std::string tooLong(90, 'd');
    const struct { DWORD type; std::string bytes; const char* policy; const char* speaks; } rows[] = {
        {REG_SZ, std::string("de-DE", 6), nullptr, "de-DE"},
        {REG_SZ, "ja-jp", nullptr, "ja-JP"},  // stored without its terminator
        {REG_SZ, std::string("ar\0de", 6), nullptr, "ar-SA"},
        {REG_EXPAND_SZ, std::string("de-DE", 6), nullptr, "en-US"},
        {REG_DWORD, std::string("\x07\x04\0\0", 4), nullptr, "en-US"},
        {REG_SZ, "de-" + tooLong, nullptr, "en-US"},
        {REG_SZ, std::string("xx-YY", 6), nullptr, "en-US"},
        {REG_SZ, std::string("de-DE", 6), "fr-FR", "fr-FR"},
    };
    deleteRegTree(HKEY_CURRENT_USER, PREFERENCE_POLICY_KEY);
    std::unique_ptr<Application> app(new Application(GetModuleHandleA(nullptr)));
    ASSERT_NE(app->trayWindow, nullptr);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes + (row.policy ? std::string(" policy ") + row.policy : ""));
        setRegValue(HKEY_CURRENT_USER, BLINK_KEY, LANGUAGE_VALUE, row.type, row.bytes.data(),
                    static_cast<DWORD>(row.bytes.size()));
        if (row.policy)
            setRegString(HKEY_CURRENT_USER, PREFERENCE_POLICY_KEY, POLICY_LANGUAGE, row.policy);
        SendMessageA(app->trayWindow->window, WM_SETTINGCHANGE, 0,
                     reinterpret_cast<LPARAM>("intl"));
        EXPECT_STREQ(kUiLanguages[uiLanguage()].name, row.speaks);
        EXPECT_TRUE(app->trayWindow->tipText == loaderTip(row.speaks)) << "the tip's language";
        deleteRegTree(HKEY_CURRENT_USER, PREFERENCE_POLICY_KEY);
    }
    // Another change leaves the language as it is until the next intl one.
    setRegString(HKEY_CURRENT_USER, BLINK_KEY, LANGUAGE_VALUE, "de-DE");
    SendMessageA(app->trayWindow->window, WM_SETTINGCHANGE, 0, 0);
    EXPECT_STREQ(kUiLanguages[uiLanguage()].name, "fr-FR");
    deleteRegValue(HKEY_CURRENT_USER, BLINK_KEY, LANGUAGE_VALUE);
    SendMessageA(app->trayWindow->window, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("intl"));
    EXPECT_STREQ(kUiLanguages[uiLanguage()].name, "en-US");
}
