#include "ui_language.h"

#define LANGUAGE(name, primary, sub, codePage, charset, rtl) \
    {name, MAKELANGID(primary, sub), codePage, charset, rtl}

// The LANGUAGE statements of res/lang/*.lang, the code page each
// language's script is spelt in and the fonts' character set for it.
const UiLanguage kUiLanguages[] = {
    LANGUAGE("en-US", LANG_ENGLISH, SUBLANG_ENGLISH_US, 1252, ANSI_CHARSET, false),
    LANGUAGE("ar-SA", LANG_ARABIC, SUBLANG_ARABIC_SAUDI_ARABIA, 1256, ARABIC_CHARSET, true),
    LANGUAGE("cs-CZ", LANG_CZECH, SUBLANG_CZECH_CZECH_REPUBLIC, 1250, EASTEUROPE_CHARSET, false),
    LANGUAGE("de-DE", LANG_GERMAN, SUBLANG_GERMAN, 1252, ANSI_CHARSET, false),
    LANGUAGE("el-GR", LANG_GREEK, SUBLANG_GREEK_GREECE, 1253, GREEK_CHARSET, false),
    LANGUAGE("es-ES", LANG_SPANISH, SUBLANG_SPANISH_MODERN, 1252, ANSI_CHARSET, false),
    LANGUAGE("fr-FR", LANG_FRENCH, SUBLANG_FRENCH, 1252, ANSI_CHARSET, false),
    LANGUAGE("he-IL", LANG_HEBREW, SUBLANG_HEBREW_ISRAEL, 1255, HEBREW_CHARSET, true),
    LANGUAGE("hu-HU", LANG_HUNGARIAN, SUBLANG_HUNGARIAN_HUNGARY, 1250, EASTEUROPE_CHARSET, false),
    LANGUAGE("it-IT", LANG_ITALIAN, SUBLANG_ITALIAN, 1252, ANSI_CHARSET, false),
    LANGUAGE("ja-JP", LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN, 932, SHIFTJIS_CHARSET, false),
    LANGUAGE("ko-KR", LANG_KOREAN, SUBLANG_KOREAN, 949, HANGUL_CHARSET, false),
    LANGUAGE("nl-NL", LANG_DUTCH, SUBLANG_DUTCH, 1252, ANSI_CHARSET, false),
    LANGUAGE("pl-PL", LANG_POLISH, SUBLANG_POLISH_POLAND, 1250, EASTEUROPE_CHARSET, false),
    LANGUAGE("pt-BR", LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN, 1252, ANSI_CHARSET, false),
    LANGUAGE("pt-PT", LANG_PORTUGUESE, SUBLANG_PORTUGUESE, 1252, ANSI_CHARSET, false),
    LANGUAGE("ru-RU", LANG_RUSSIAN, SUBLANG_RUSSIAN_RUSSIA, 1251, RUSSIAN_CHARSET, false),
    LANGUAGE("sv-SE", LANG_SWEDISH, SUBLANG_SWEDISH, 1252, ANSI_CHARSET, false),
    LANGUAGE("tr-TR", LANG_TURKISH, SUBLANG_TURKISH_TURKEY, 1254, TURKISH_CHARSET, false),
    LANGUAGE("uk-UA", LANG_UKRAINIAN, SUBLANG_UKRAINIAN_UKRAINE, 1251, RUSSIAN_CHARSET, false),
    LANGUAGE("zh-CN", LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED, 936, GB2312_CHARSET, false),
    LANGUAGE("zh-TW", LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL, 950, CHINESEBIG5_CHARSET, false),
};

#undef LANGUAGE

const size_t kUiLanguageCount = sizeof kUiLanguages / sizeof kUiLanguages[0];

namespace {

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool separator(char c)
{
    return c == '-' || c == '_';
}

// Whether the subtag that starts at text (up to a separator or the end)
// is tag, letter case aside.
bool subtagIs(const char* text, const char* tag)
{
    for (; *tag; ++text, ++tag) {
        if (lower(*text) != lower(*tag))
            return false;
    }
    return *text == '\0' || separator(*text);
}

// Whether any subtag after the first is tag.
bool hasSubtag(const char* name, const char* tag)
{
    for (const char* p = name; *p; ++p) {
        if (separator(*p) && subtagIs(p + 1, tag))
            return true;
    }
    return false;
}


// The table's entry of a primary language; for the two with two entries,
// the one whose region the caller decided on.
size_t entryOf(WORD primary, bool otherRegion)
{
    size_t found = kUiLanguageCount;
    for (size_t i = 0; i < kUiLanguageCount; ++i) {
        if (PRIMARYLANGID(kUiLanguages[i].id) != primary)
            continue;
        if (found == kUiLanguageCount)
            found = i;
        else if (otherRegion)
            found = i;  // the second entry: Traditional Chinese, Portugal
    }
    return found;
}

} // namespace

size_t languageNamed(const char* name)
{
    if (!name)
        return kUiLanguageCount;
    for (size_t i = 0; i < kUiLanguageCount; ++i) {
        // Chinese and Portuguese are told apart by script and region, as the
        // system's own fallbacks do: Hong Kong and Macao read Traditional,
        // Singapore Simplified; every Portuguese but Brazil's reads
        // Portugal's.
        const char* table = kUiLanguages[i].name;
        char language[3] = {table[0], table[1], '\0'};
        if (!subtagIs(name, language))
            continue;
        WORD primary = PRIMARYLANGID(kUiLanguages[i].id);
        if (primary == LANG_CHINESE) {
            bool traditional = hasSubtag(name, "Hant")
                || (!hasSubtag(name, "Hans")
                    && (hasSubtag(name, "TW") || hasSubtag(name, "HK") || hasSubtag(name, "MO")));
            return entryOf(primary, traditional);
        }
        if (primary == LANG_PORTUGUESE)
            return entryOf(primary, name[2] != '\0' && !hasSubtag(name, "BR"));
        return i;
    }
    return kUiLanguageCount;
}

size_t languageWithId(LANGID id)
{
    WORD primary = PRIMARYLANGID(id);
    WORD sub = SUBLANGID(id);
    if (primary == LANG_NEUTRAL)
        return kUiLanguageCount;
    if (primary == LANG_CHINESE) {
        // zh-Hant's id (0x7C04) has the sublanguage 0x1F.
        bool traditional = sub == SUBLANG_CHINESE_TRADITIONAL || sub == SUBLANG_CHINESE_HONGKONG
            || sub == SUBLANG_CHINESE_MACAU || sub == 0x1F;
        return entryOf(primary, traditional);
    }
    if (primary == LANG_PORTUGUESE)
        return entryOf(primary, sub != SUBLANG_PORTUGUESE_BRAZILIAN && sub != SUBLANG_NEUTRAL);
    return entryOf(primary, false);
}

size_t chooseUiLanguage(const LanguageInputs& in)
{
    size_t chosen = languageNamed(in.policy);
    if (chosen == kUiLanguageCount)
        chosen = languageNamed(in.chosen);
    if (chosen == kUiLanguageCount) {
        if (in.platformId == VER_PLATFORM_WIN32_NT && in.majorVersion >= 6) {
            // The first the loader would try that Dormity has.
            for (size_t i = 0; i < in.preferredCount && chosen == kUiLanguageCount; ++i)
                chosen = languageNamed(in.preferred[i]);
        } else if (in.platformId == VER_PLATFORM_WIN32_NT && in.majorVersion == 5) {
            chosen = languageWithId(in.uiLanguage);
        } else {
            chosen = languageWithId(in.userLanguage);
        }
    }
    if (chosen == kUiLanguageCount)
        return kEnglish;
    // English spells itself in any code page; others only in their own
    // where the system draws ANSI text alone.
    if (in.platformId == VER_PLATFORM_WIN32_WINDOWS && chosen != kEnglish
        && kUiLanguages[chosen].codePage != in.ansiCodePage)
        return kEnglish;
    return chosen;
}

bool mirrorsLayout(size_t language, DWORD platformId, DWORD majorVersion)
{
    return language < kUiLanguageCount && kUiLanguages[language].rightToLeft
        && platformId == VER_PLATFORM_WIN32_NT && majorVersion >= 5;
}
