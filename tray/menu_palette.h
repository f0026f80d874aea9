// The colours the popup and its submenus are painted in: the system's own,
// or dark ones when the user asked Windows for dark apps and Windows paints
// its own menus dark. Decided once each time the popup opens.
#pragma once
#include <windows.h>

// What "AppsUseLightTheme" says. Only a REG_DWORD of exactly four bytes is
// read as a number (0: dark, anything else: light), as Windows writes it; a
// value of any other type or length counts as no value at all.
enum AppsTheme { APPS_THEME_UNSET, APPS_THEME_DARK, APPS_THEME_LIGHT };
AppsTheme appsThemeFromValue(LONG readResult, DWORD type, DWORD size, DWORD value);
// The current user's choice, from the registry.
AppsTheme readAppsTheme();

// Whether this Windows paints its own menus dark for dark apps: the NT
// family from Windows 10 1809 (build 17763), Windows 11 included. The
// version is the real one: the manifest names Windows 10 as supported.
bool systemHasDarkMenus(DWORD platformId, DWORD majorVersion, DWORD buildNumber);

// High contrast on (SPI_GETHIGHCONTRAST, HCF_HIGHCONTRASTON).
bool highContrastOn();

// Dark only when the user chose dark, the system has dark menus and high
// contrast is off: high contrast always keeps the system's colours.
bool menusAreDark(AppsTheme theme, bool highContrast, bool darkMenusExist);

struct MenuPalette {
    bool dark;
    COLORREF background;
    COLORREF text;
    COLORREF greyText;
    COLORREF highlight;
    COLORREF highlightText;
    COLORREF separator;
};
// The system's colours, or the dark ones.
MenuPalette menuPalette(bool dark);
