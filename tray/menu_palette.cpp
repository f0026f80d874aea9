#include "menu_palette.h"

#include "../base/handles.h"

namespace {

const char kPersonalizeKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
const DWORD kFirstDarkBuild = 17763;  // Windows 10 1809

// Windows 11's own dark popup menus: a near-black surface, white text, a
// lighter grey behind the item under the pointer. Greyed text and the
// separator lines are the mid-greys those menus use, a shade lighter here so
// that both stay readable on the highlight as well.
const COLORREF kDarkBackground = RGB(43, 43, 43);
const COLORREF kDarkText = RGB(255, 255, 255);
const COLORREF kDarkGreyText = RGB(128, 128, 128);
const COLORREF kDarkHighlight = RGB(65, 65, 65);
const COLORREF kDarkSeparator = RGB(84, 84, 84);

} // namespace

AppsTheme appsThemeFromValue(LONG readResult, DWORD type, DWORD size, DWORD value)
{
    if (readResult != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(DWORD))
        return APPS_THEME_UNSET;
    return value == 0 ? APPS_THEME_DARK : APPS_THEME_LIGHT;
}

AppsTheme readAppsTheme()
{
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kPersonalizeKey, 0, KEY_QUERY_VALUE, key.put())
        != ERROR_SUCCESS)
        return APPS_THEME_UNSET;
    // Room for more than four bytes, so that a longer value is seen as
    // longer rather than refused unread.
    DWORD data[2] = {0, 0};
    DWORD type = REG_NONE;
    DWORD size = sizeof data;
    LONG result = RegQueryValueExA(key.get(), "AppsUseLightTheme", nullptr, &type,
                                   reinterpret_cast<BYTE*>(data), &size);
    return appsThemeFromValue(result, type, size, data[0]);
}

bool systemHasDarkMenus(DWORD platformId, DWORD majorVersion, DWORD buildNumber)
{
    return platformId == VER_PLATFORM_WIN32_NT
        && (majorVersion > 10 || (majorVersion == 10 && buildNumber >= kFirstDarkBuild));
}

bool highContrastOn()
{
    HIGHCONTRASTA contrast;
    contrast.cbSize = sizeof contrast;
    contrast.dwFlags = 0;
    contrast.lpszDefaultScheme = nullptr;
    return SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0)
        && (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

bool menusAreDark(AppsTheme theme, bool highContrast, bool darkMenusExist)
{
    return theme == APPS_THEME_DARK && !highContrast && darkMenusExist;
}

MenuPalette menuPalette(bool dark)
{
    MenuPalette palette;
    palette.dark = dark;
    if (dark) {
        palette.background = kDarkBackground;
        palette.text = kDarkText;
        palette.greyText = kDarkGreyText;
        palette.highlight = kDarkHighlight;
        palette.highlightText = kDarkText;
        palette.separator = kDarkSeparator;
    } else {
        palette.background = GetSysColor(COLOR_MENU);
        palette.text = GetSysColor(COLOR_MENUTEXT);
        palette.greyText = GetSysColor(COLOR_GRAYTEXT);
        palette.highlight = GetSysColor(COLOR_HIGHLIGHT);
        palette.highlightText = GetSysColor(COLOR_HIGHLIGHTTEXT);
        palette.separator = GetSysColor(COLOR_GRAYTEXT);
    }
    return palette;
}
