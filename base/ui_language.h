// The languages Dormity speaks and which one it speaks to this user: the
// one Windows shows its own interface in, unless an administrator's policy
// or the user's own choice names another that Dormity has.
#pragma once
#include <windows.h>
#include <stddef.h>

struct UiLanguage {
    const char* name;  // as a language name: "de-DE"
    LANGID id;         // of its string tables in the resources
    UINT codePage;     // the ANSI code page that spells its texts
    BYTE charset;      // a font's character set for its script
    bool rightToLeft;
};

// English first: what every text falls back to.
extern const UiLanguage kUiLanguages[];
extern const size_t kUiLanguageCount;
const size_t kEnglish = 0;

// The language Dormity has for a language name ("de-AT" is German, "zh-HK"
// Traditional Chinese, "pt-AO" Portuguese of Portugal; letter case aside),
// or kUiLanguageCount when it has none.
size_t languageNamed(const char* name);
// The same for a language id (0x0C07 is German).
size_t languageWithId(LANGID id);

// Everything the choice depends on, as the system and the registry give it.
struct LanguageInputs {
    DWORD platformId;            // of the reported version
    DWORD majorVersion;
    const char* const* preferred;  // Windows Vista on: the loader's UI languages, in its order
    size_t preferredCount;
    LANGID uiLanguage;           // Windows 2000 and XP: the user's UI language
    LANGID userLanguage;         // Windows 95, 98, Me and NT 4.0: the user's default language
    const char* policy;          // the administrator's choice, "" when none
    const char* chosen;          // the user's own choice, "" when none
    UINT ansiCodePage;
};

// The index in kUiLanguages of the language to speak: the policy's, else
// the user's choice, else the system's for its family, else English. On
// the 95 family, which draws ANSI text only, a language the ANSI code page
// cannot spell gives English.
size_t chooseUiLanguage(const LanguageInputs& inputs);

// Whether windows, menus and message boxes open mirrored for the language:
// right-to-left languages, from Windows 2000 on.
bool mirrorsLayout(size_t language, DWORD platformId, DWORD majorVersion);
