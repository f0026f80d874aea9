// The popup's colours and its layout, decided apart from the menu calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/system.h"
#include "tray/dpi.h"
#include "tray/menu_metrics.h"
#include "tray/menu_palette.h"
#include "tray/menu_rules.h"

// Every value "AppsUseLightTheme" may hold, real registry values of odd types and lengths
// among them, with high contrast on and off, on each family: dark only for a four-byte zero
// without high contrast where Windows has dark menus; the dark colours stay readable.
TEST(MenuPalette, DarkForAFourByteZeroWithoutHighContrastWhereWindowsHasDarkMenus) {
    const char kPersonalize[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
    SavedRegistryKey saved(HKEY_CURRENT_USER, kPersonalize);
    const std::string zero(8, '\0');
    const struct { DWORD type; std::string bytes; AppsTheme theme; } values[] = {
        {REG_DWORD, zero.substr(0, 4), APPS_THEME_DARK},
        {REG_DWORD, std::string("\1\0\0\0", 4), APPS_THEME_LIGHT},
        {REG_NONE, "", APPS_THEME_UNSET},                  {REG_SZ, "0", APPS_THEME_UNSET},
        {REG_BINARY, zero.substr(0, 4), APPS_THEME_UNSET}, {REG_QWORD, zero, APPS_THEME_UNSET},
        {REG_DWORD, zero.substr(0, 2), APPS_THEME_UNSET},  {REG_DWORD, zero, APPS_THEME_UNSET}};
    const DWORD nt = VER_PLATFORM_WIN32_NT;
    const struct { DWORD platform, major, build; bool darkMenus; } systems[] = {  // 98 to 11
        {VER_PLATFORM_WIN32_WINDOWS, 4, 0x040A08AE, false}, {nt, 4, 1381, false},
        {nt, 5, 2195, false}, {nt, 10, 17134, false}, {nt, 10, 17763, true}, {nt, 10, 22631, true}};
    for (const auto& value : values) {
        if (value.type == REG_NONE)
            deleteRegValue(HKEY_CURRENT_USER, kPersonalize, "AppsUseLightTheme");
        else
            setRegValue(HKEY_CURRENT_USER, kPersonalize, "AppsUseLightTheme", value.type,
                        value.bytes.data(), static_cast<DWORD>(value.bytes.size()));
        const AppsTheme theme = readAppsTheme();
        EXPECT_EQ(theme, value.theme) << value.type << ", " << value.bytes.size() << " bytes";
        for (bool highContrast : {false, true}) {
            for (const auto& system : systems) {
                const bool darkMenus =
                    systemHasDarkMenus(system.platform, system.major, system.build);
                EXPECT_EQ(darkMenus, system.darkMenus) << system.build;
                EXPECT_EQ(menusAreDark(theme, highContrast, darkMenus),
                          value.theme == APPS_THEME_DARK && !highContrast && system.darkMenus)
                    << value.type << ", " << value.bytes.size() << " bytes, " << highContrast;
            }
        }
    }
    const MenuPalette dark = menuPalette(true), light = menuPalette(false);
    EXPECT_TRUE(dark.dark && !light.dark && light.background == GetSysColor(COLOR_MENU));
    auto lighter = [](COLORREF a, COLORREF b) { return GetGValue(a) - GetGValue(b); };  // greys
    for (COLORREF surface : {dark.background, dark.highlight}) {
        EXPECT_GE(lighter(dark.text, surface), 150);
        EXPECT_GE(lighter(dark.greyText, surface), 50) << "greyed text";
    }
    EXPECT_GE(lighter(dark.separator, dark.background), 30) << "separators";
    EXPECT_GE(lighter(dark.highlight, dark.background), 15) << "the highlight";
}

// The popup opened on a second monitor is laid out for that monitor's pixels per inch: the
// menu font, icon size, item geometry, heights and the fixed items' width there; the primary
// monitor stays at 96, the taskbar's icon follows its monitor (Wine shows none: ours stands in).
TEST(MenuLayout, AMenuOpenedOnASecondMonitorTakesItsFontIconsGeometryAndWidths) {
    // A primary monitor at 96 pixels per inch left of a second one at secondaryDpi, and the
    // system's menu font and sizes on each as Windows 10 scales them from 96.
    static UINT secondaryDpi;
    const DpiSource source = {
        [](POINT point) { return point.x >= 1920 ? secondaryDpi : 96u; },
        [](UINT dpi) {
            LOGFONTA font = {};
            font.lfHeight = -MulDiv(12, dpi, 96);
            lstrcpyA(font.lfFaceName, "Tahoma");
            return font;
        },
        [](int index, UINT dpi) { return MulDiv(index == SM_CXSMICON ? 16 : 19, dpi, 96); }};
    const struct {
        int dpi, itemHeight, separator, icon, iconX, captionX, captionDown, shadow, checkFromRight;
    } rows[] = {{96, 21, 9, 16, 6, 34, 3, 1, 30},    {120, 26, 12, 20, 8, 43, 4, 1, 38},
                {144, 31, 14, 24, 9, 51, 5, 2, 45},  {192, 40, 19, 32, 12, 68, 6, 2, 60},
                {240, 50, 24, 40, 15, 85, 8, 3, 75}};
    MenuContext context = {0, false, {1, 1, 1}, true, 0, 0, true, false};
    ItemLook looks[POPUP_ITEM_COUNT];
    for (int i = 0; i < POPUP_ITEM_COUNT; ++i)
        looks[i] = fixedItemLook(kPopupItems[i].id, context);
    WNDCLASSA taskbar = {0, DefWindowProcA, 0, 0, 0, 0, 0, 0, 0, "Shell_TrayWnd"};
    RegisterClassA(&taskbar);
    HWND shell = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "Shell_TrayWnd", "",
                                 WS_POPUP | WS_VISIBLE, 1920, 1040, 1920, 40, 0, 0, 0, 0);
    double width96 = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.dpi) + " pixels per inch");
        secondaryDpi = static_cast<UINT>(row.dpi);
        const MenuLayout layout = menuLayoutAt(source, POINT{2000, 300});
        const ItemGeometry& g = layout.geometry;
        EXPECT_EQ(std::vector<int>({layout.font.pixelsPerInch, layout.font.font.lfHeight,
                                    layout.points, layout.itemHeight, layout.separatorHeight,
                                    g.iconSize, g.iconX, g.captionX, g.captionDown, g.shadow,
                                    g.checkFromRight}),
                  std::vector<int>({row.dpi, -MulDiv(12, row.dpi, 96), 9, row.itemHeight,
                                    row.separator, row.icon, row.iconX, row.captionX,
                                    row.captionDown, row.shadow, row.checkFromRight}));
        // What the captions need, measured in that monitor's font, grows with its DPI.
        CaptionMeasure measure(nullptr, layout.font);
        MenuLayout noRule = layout;
        noRule.ruleWidth = 0;
        const double width = fixedItemsWidth(noRule, measure, looks, POPUP_ITEM_COUNT);
        width96 = row.dpi == 96 ? width : width96;
        EXPECT_NEAR(width, width96 * row.dpi / 96, width96 * row.dpi / 96 * 0.08);
        EXPECT_EQ(fixedItemsWidth(layout, measure, looks, POPUP_ITEM_COUNT),
                  std::max<UINT>(188, static_cast<UINT>(width))) << "the rule's for 9 points";
        EXPECT_EQ(menuLayoutAt(source, POINT{100, 300}).itemHeight, 21) << "the primary monitor";
        EXPECT_EQ(trayIconSizeFrom(source), row.icon) << "the taskbar's icon";
    }
    DestroyWindow(shell);
}

