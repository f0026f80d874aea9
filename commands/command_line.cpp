#include "command_line.h"

#include <string.h>

#include "../app/text.h"

bool buildSaverCommand(const char* fileName, const char* switchText, char* out, size_t size)
{
    bool quote = strchr(fileName, ' ') != nullptr && fileName[0] != '"';
    if (quote)
        return formatText(out, size, "\"%s\"%s", fileName, switchText);
    return formatText(out, size, "%s%s", fileName, switchText);
}

const char* soundKeyForEvent(int event)
{
    static const char* const keys[] = {
        "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Launch\\.Current",
        "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Enable\\.Current",
        "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Disable\\.Current",
        "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Select\\.Current",
        "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Pass_Enable\\.Current",
        "AppEvents\\Schemes\\Apps\\Dormity\\Dormity-Pass_Disable\\.Current",
    };
    if (event < 0 || event > 5)
        return nullptr;
    return keys[event];
}
