#include "sound_events.h"

#include <string.h>

#include "../base/handles.h"
#include "../base/system_version.h"
#include "../base/text.h"
#include "../base/ui_text.h"
#include "../res/string_ids.h"
#include "command_line.h"

namespace {

// In SoundEvent order.
const UINT kLabelIds[] = {IDS_SOUND_LAUNCH, IDS_SOUND_ENABLE, IDS_SOUND_DISABLE,
                          IDS_SOUND_SELECT, IDS_SOUND_PASS_ENABLE, IDS_SOUND_PASS_DISABLE};
const int kEventCount = sizeof kLabelIds / sizeof kLabelIds[0];

HKEY createUserKey(const char* path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

void setText(HKEY key, const char* name, const char* text)
{
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(textLength(text) + 1));
}

// The text, unless the value is there already, whatever it holds.
void setTextIfMissing(HKEY key, const char* name, const char* text)
{
    if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        setText(key, name, text);
}

// The text, unless the value holds exactly that text already: a start
// writes nothing once everything is in place.
void keepText(HKEY key, const char* name, const char* text)
{
    char stored[512];
    DWORD size = sizeof stored;
    DWORD type = REG_NONE;
    size_t length = textLength(text);
    bool same = length < sizeof stored
        && RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(stored), &size)
               == ERROR_SUCCESS
        && type == REG_SZ && size == length + 1 && memcmp(stored, text, length + 1) == 0;
    if (!same)
        setText(key, name, text);
}

} // namespace

bool labelsNameTheirResource(DWORD platformId, DWORD majorVersion)
{
    return platformId == VER_PLATFORM_WIN32_NT && majorVersion >= 6;
}

bool formatLabelSource(char* out, size_t size, const char* programPath, UINT textId)
{
    if (formatText(out, size, "@%s,-%u", programPath, textId))
        return true;
    if (size > 0)
        out[0] = '\0';
    return false;
}

void registerSoundEvents()
{
    {
        UniqueRegKey application(createUserKey(SOUND_APPLICATION_KEY));
        if (application)
            setTextIfMissing(application.get(), "", "Dormity");
    }
    OSVERSIONINFOA version = reportedVersion();
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    // A path cut to fit names another file: then no source is written.
    bool named = labelsNameTheirResource(version.dwPlatformId, version.dwMajorVersion)
        && length > 0 && length < sizeof program;
    for (int event = 0; event < kEventCount; ++event) {
        UniqueRegKey current(createUserKey(soundKeyForEvent(event)));
        if (current)
            setTextIfMissing(current.get(), "", "");
        char labelPath[64];
        formatText(labelPath, sizeof labelPath, SOUND_LABELS_KEY "\\%s", soundEventName(event));
        UniqueRegKey label(createUserKey(labelPath));
        if (!label)
            continue;
        // Older Windows show this English label; Vista and later the source's text.
        char english[128];
        englishText(kLabelIds[event], english, sizeof english);
        keepText(label.get(), "", english);
        char source[MAX_PATH + 16];
        if (named && formatLabelSource(source, sizeof source, program, kLabelIds[event]))
            keepText(label.get(), "DispFileName", source);
    }
}
