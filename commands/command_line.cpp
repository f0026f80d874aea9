#include "command_line.h"

#include "../base/text.h"

bool buildSaverCommand(const char* fileName, const char* switchText, char* out, size_t size)
{
    bool quote = textContains(fileName, ' ') && fileName[0] != '"';
    if (quote)
        return formatText(out, size, "\"%s\"%s", fileName, switchText);
    return formatText(out, size, "%s%s", fileName, switchText);
}

bool buildSystemFilePath(const char* directory, const char* fileName, char* out, size_t size)
{
    size_t length = textLength(directory);
    const char* separator = length > 0 && directory[length - 1] == '\\' ? "" : "\\";
    if (length == 0 || !formatText(out, size, "%s%s%s", directory, separator, fileName)) {
        if (size > 0)
            out[0] = '\0';
        return false;
    }
    return true;
}

bool buildDisplayPropertiesCommand(SaverFamily family, const char* windowsDirectory,
                                   const char* systemDirectory, char* out, size_t size,
                                   DWORD majorVersion, char* program)
{
    const char* directory = family == FAMILY_95 ? windowsDirectory : systemDirectory;
    bool byName = family == FAMILY_NT && majorVersion >= 6;
    char ownProgram[SAVER_PATH_SIZE];
    if (!program)
        program = ownProgram;
    if (!buildSystemFilePath(directory, byName ? "control.exe" : "rundll32.exe", program,
                             SAVER_PATH_SIZE)
        || !buildSaverCommand(program,
                              byName ? " " SCREEN_SAVER_PAGE_ARGUMENTS
                                     : " " DISPLAY_PROPERTIES_ARGUMENTS,
                              out, size)) {
        if (size > 0)
            out[0] = '\0';
        return false;
    }
    return true;
}

// The six events' key names, in SoundEvent order: the scheme's keys and
// the labels' keys are both named after them.
#define DORMITY_SOUND_EVENTS(X) \
    X("Dormity-Launch") X("Dormity-Enable") X("Dormity-Disable") X("Dormity-Select") \
    X("Dormity-Pass_Enable") X("Dormity-Pass_Disable")
#define AS_EVENT_NAME(name) name,
#define AS_EVENT_KEY(name) SOUND_APPLICATION_KEY "\\" name "\\.Current",

const char* soundEventName(int event)
{
    static const char* const names[] = {DORMITY_SOUND_EVENTS(AS_EVENT_NAME)};
    if (event < 0 || event > 5)
        return nullptr;
    return names[event];
}

const char* soundKeyForEvent(int event)
{
    static const char* const keys[] = {DORMITY_SOUND_EVENTS(AS_EVENT_KEY)};
    if (event < 0 || event > 5)
        return nullptr;
    return keys[event];
}
