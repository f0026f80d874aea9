// Widths of the menu items, derived from the menu font's size in points.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "../saverconfig/saver_settings.h"

// Points of a font height at a display's pixels per inch. A positive height
// (a cell height rather than a character height) is taken by its size too.
int pointsFromFontHeight(LONG fontHeight, int pixelsPerInch);

// Where an owner-drawn item puts its parts: the icon, the caption after the
// icon column, and the check mark this far from the item's right edge.
#define MENU_ICON_X 6
#define MENU_CAPTION_X 34
#define MENU_CHECK_FROM_RIGHT 30
// Free pixels kept between a caption's end and the check mark.
#define MENU_CHECK_GAP 4

// The menu font as the system gives it, and the pixels per inch it is for.
struct MenuFont {
    LOGFONTA font;
    int pixelsPerInch;
};
int menuFontPoints(const MenuFont& font);

// Width shared by every fixed item of the popup.
UINT commonItemWidth(int points);

// Width of a screen saver entry: its description's length times the
// per-character width (one pixel more per character on the 95 family).
WORD saverItemWidth(size_t descriptionLength, int points, SaverFamily family);

// Width of the "[none]" entry, the same on both families.
WORD noneItemWidth(int points);

// A length of the layout at 96 pixels per inch, at the display's pixels per
// inch (to the nearest pixel); unchanged at 96 or when the display is unknown.
int scaledLength(int length, int pixelsPerInch);

// The size the menu's icons are drawn at: the system's small-icon size where
// it follows the display (Vista and later when aware of it, Wine), else 16
// (Windows XP and earlier keep 16-pixel small icons at 120).
int menuIconSize(int reportedSmallIcon, int pixelsPerInch);

// Where an owner-drawn item puts its parts at a display.
struct ItemGeometry {
    int iconX;           // the icon column's left edge
    int iconSize;
    int captionX;
    int captionDown;     // the caption's top below the item's top
    int shadow;          // the greyed caption's light shadow, right and down
    int checkFromRight;  // the check mark's left edge from the item's right
    int checkGap;        // free pixels between a caption's end and the check
    int arrowFromRight;  // the tip of a submenu's arrow from the item's right
    int arrowHalf;       // the arrow's half height, and its width less one
};
ItemGeometry itemGeometry(int pixelsPerInch, int reportedSmallIcon);
// The icons' top in an item from top to bottom: centred, the odd pixel below.
int iconTop(const ItemGeometry& geometry, int top, int bottom);

// The width an item needs to draw a caption of captionWidth pixels after the
// icon column, and with a gap before the check mark when it may show one.
UINT drawnItemWidth(int captionWidth, const ItemGeometry& geometry, bool check);

// An entry's width: the rule's, unless its drawing needs more.
WORD fittedItemWidth(WORD ruleWidth, int captionWidth, const ItemGeometry& geometry);

// Everything a menu's size depends on, for the monitor it opens on: its
// font and the system's measures at that monitor's pixels per inch.
struct MenuLayout {
    MenuFont font;
    int points;            // the font's size
    int itemHeight;        // of every item: the system's menu item height + 2
    int separatorHeight;   // of a separator the program draws itself
    ItemGeometry geometry;
    UINT ruleWidth;        // the fixed items' width before their captions are fitted
};
struct DpiSource;
// The layout of a menu opened at point, from what source says of the
// monitor there.
MenuLayout menuLayoutAt(const DpiSource& source, POINT point);
// The size of the tray icon's image: the small-icon size at the pixels per
// inch of the monitor that holds the taskbar (taskbarPoint).
int trayIconSizeFrom(const DpiSource& source);

// One width for all fixed items: the rule's, or what the widest caption
// needs in its own font (bold Launch, "Password Enabled" with room for its
// check), at the layout's monitor.
struct ItemLook;
class CaptionMeasure;
UINT fixedItemsWidth(const MenuLayout& layout, CaptionMeasure& measure, const ItemLook* looks,
                     int count);

// A bold font of the same face and cell height as the one selected in dc.
HFONT createBoldFont(HDC dc);

// Measures captions in the menu font on the display of a window; the device
// context and font are made at the first measurement and released with it.
class CaptionMeasure {
public:
    CaptionMeasure(HWND window, const MenuFont& font);
    ~CaptionMeasure();
    CaptionMeasure(const CaptionMeasure&) = delete;
    CaptionMeasure& operator=(const CaptionMeasure&) = delete;
    // A caption with its "&" marks, as drawn (bold where it is).
    int width(const WCHAR* caption, bool bold = false);
    // A screen saver's description, drawn as it stands.
    int width(const char* description);
    int widthUnmarked(const WCHAR* text);

private:
    // The device context and font, made at the first measurement.
    bool ready();
    HWND window_;
    LOGFONTA font_;
    HDC dc_;
    HFONT menuFont_;
    HGDIOBJ previousFont_;
};
