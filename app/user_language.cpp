#include "user_language.h"

#include <string.h>

#include "../base/handles.h"
#include "../base/system_version.h"
#include "../base/ui_language.h"
#include "../base/ui_text.h"
#include "../commands/blink_preference.h"
#include "../saverconfig/mui.h"
#include "../saverconfig/preference_policy.h"

namespace {

typedef LANGID(WINAPI* UiLanguageFunction)(void);

} // namespace

void readChosenLanguage(char* out, size_t size)
{
    memset(out, 0, size);
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return;
    // One byte is kept back, so that a text stored without its terminator
    // still ends in one.
    DWORD type = 0;
    DWORD length = static_cast<DWORD>(size - 1);
    if (RegQueryValueExA(key.get(), LANGUAGE_VALUE, nullptr, &type, reinterpret_cast<BYTE*>(out),
                         &length) != ERROR_SUCCESS
        || type != REG_SZ)
        memset(out, 0, size);
}

void speakUserLanguage()
{
    OSVERSIONINFOA version = reportedVersion();
    LanguageInputs inputs;
    memset(&inputs, 0, sizeof inputs);
    inputs.platformId = version.dwPlatformId;
    inputs.majorVersion = version.dwMajorVersion;
    // Empty before Windows Vista.
    LanguageNames preferred = preferredUiLanguages();
    const char* names[kMaxUiLanguages];
    for (size_t i = 0; i < preferred.count; ++i)
        names[i] = preferred.names[i];
    inputs.preferred = names;
    inputs.preferredCount = preferred.count;
    // Windows 2000 and later; looked up, as the older systems lack it.
    UiLanguageFunction userUiLanguage
        = findLoadedFunction<UiLanguageFunction>("kernel32.dll", "GetUserDefaultUILanguage");
    inputs.uiLanguage = userUiLanguage ? userUiLanguage() : 0;
    inputs.userLanguage = GetUserDefaultLangID();
    // An organisation's choice, the computer's before the user's.
    TextPolicy policy;
    readTextPolicy(POLICY_LANGUAGE, &policy);
    inputs.policy = policy.set ? policy.text : "";
    char chosen[kLanguageNameSize];
    readChosenLanguage(chosen, sizeof chosen);
    inputs.chosen = chosen;
    inputs.ansiCodePage = GetACP();
    speakUiLanguage(chooseUiLanguage(inputs), version.dwPlatformId, version.dwMajorVersion);
}
