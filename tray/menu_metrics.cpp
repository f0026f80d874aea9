#include "menu_metrics.h"

#include <string.h>

#include "../base/handles.h"
#include "../base/text.h"
#include "../base/ui_text.h"
#include "menu_rules.h"
#include "dpi.h"

int pointsFromFontHeight(LONG fontHeight, int pixelsPerInch)
{
    int points = -MulDiv(fontHeight, 72, pixelsPerInch);
    return points < 0 ? -points : points;
}

int menuFontPoints(const MenuFont& font)
{
    return pointsFromFontHeight(font.font.lfHeight, font.pixelsPerInch);
}

UINT commonItemWidth(int points)
{
    // 230/11 as the double whose bits are 0x4034E8BA2E8BA2E8: 11 points
    // give 229, not 230, as the product falls just short.
    const unsigned long long bits = 0x4034E8BA2E8BA2E8ULL;
    double factor;
    memcpy(&factor, &bits, sizeof factor);
    return static_cast<UINT>(static_cast<double>(static_cast<unsigned>(points)) * factor);
}

WORD saverItemWidth(size_t descriptionLength, int points, SaverFamily family)
{
    int perCharacter = family == FAMILY_95 ? points + 1 : points;
    return static_cast<WORD>(descriptionLength * static_cast<size_t>(perCharacter));
}

WORD noneItemWidth(int points)
{
    return static_cast<WORD>(6 * points);
}

int scaledLength(int length, int pixelsPerInch)
{
    return pixelsPerInch > 0 ? MulDiv(length, pixelsPerInch, 96) : length;
}

int menuIconSize(int reportedSmallIcon, int pixelsPerInch)
{
    return pixelsPerInch > 96 && reportedSmallIcon > 16 ? reportedSmallIcon : 16;
}

ItemGeometry itemGeometry(int pixelsPerInch, int reportedSmallIcon)
{
    ItemGeometry g;
    g.iconX = scaledLength(MENU_ICON_X, pixelsPerInch);
    g.iconSize = menuIconSize(reportedSmallIcon, pixelsPerInch);
    g.captionX = scaledLength(MENU_CAPTION_X, pixelsPerInch);
    g.captionDown = scaledLength(3, pixelsPerInch);
    g.shadow = scaledLength(1, pixelsPerInch);
    g.checkFromRight = scaledLength(MENU_CHECK_FROM_RIGHT, pixelsPerInch);
    g.checkGap = scaledLength(MENU_CHECK_GAP, pixelsPerInch);
    g.arrowFromRight = scaledLength(6, pixelsPerInch);
    g.arrowHalf = scaledLength(3, pixelsPerInch);
    return g;
}

MenuLayout menuLayoutAt(const DpiSource& source, POINT point)
{
    UINT dpi = source.dpiAt(point);
    MenuLayout layout;
    layout.font.font = source.menuFontAt(dpi);
    layout.font.pixelsPerInch = static_cast<int>(dpi);
    layout.points = menuFontPoints(layout.font);
    int menuSize = source.metricAt(SM_CYMENUSIZE, dpi);
    layout.itemHeight = menuSize + 2;
    // As high as the system's own separators between text items.
    layout.separatorHeight = menuSize / 2;
    layout.geometry = itemGeometry(layout.font.pixelsPerInch, source.metricAt(SM_CXSMICON, dpi));
    layout.ruleWidth = commonItemWidth(layout.points);
    return layout;
}

int trayIconSizeFrom(const DpiSource& source)
{
    UINT dpi = source.dpiAt(taskbarPoint());
    return menuIconSize(source.metricAt(SM_CXSMICON, dpi), static_cast<int>(dpi));
}

int iconTop(const ItemGeometry& geometry, int top, int bottom)
{
    return top + (bottom - top - geometry.iconSize) / 2;
}

UINT drawnItemWidth(int captionWidth, const ItemGeometry& geometry, bool check)
{
    UINT width = static_cast<UINT>(geometry.captionX + (captionWidth > 0 ? captionWidth : 0));
    return check ? width + static_cast<UINT>(geometry.checkGap + geometry.checkFromRight) : width;
}

WORD fittedItemWidth(WORD ruleWidth, int captionWidth, const ItemGeometry& geometry)
{
    UINT drawn = drawnItemWidth(captionWidth, geometry, true);
    if (drawn > 0xFFFF)
        drawn = 0xFFFF;
    return ruleWidth >= drawn ? ruleWidth : static_cast<WORD>(drawn);
}

HFONT createBoldFont(HDC dc)
{
    TEXTMETRICA metrics;
    memset(&metrics, 0, sizeof metrics);
    GetTextMetricsA(dc, &metrics);
    char face[100];
    face[0] = '\0';
    GetTextFaceA(dc, sizeof face, face);
    LOGFONTA font;
    memset(&font, 0, sizeof font);
    font.lfHeight = metrics.tmHeight;
    font.lfWeight = FW_BOLD;
    lstrcpynA(font.lfFaceName, face, LF_FACESIZE);
    return CreateFontIndirectA(&font);
}

CaptionMeasure::CaptionMeasure(HWND window, const MenuFont& font)
    : window_(window), font_(font.font), dc_(nullptr), menuFont_(nullptr), previousFont_(nullptr)
{
}

CaptionMeasure::~CaptionMeasure()
{
    if (previousFont_)
        SelectObject(dc_, previousFont_);
    if (menuFont_)
        DeleteObject(menuFont_);
    if (dc_)
        ReleaseDC(window_, dc_);
}

bool CaptionMeasure::ready()
{
    if (!dc_) {
        dc_ = GetDC(window_);
        if (!dc_)
            return false;
        menuFont_ = CreateFontIndirectA(&font_);
        if (menuFont_)
            previousFont_ = SelectObject(dc_, menuFont_);
    }
    return true;
}

int CaptionMeasure::width(const WCHAR* caption, bool bold)
{
    WCHAR shown[260];
    shownCaption(caption, shown, sizeof shown / sizeof shown[0]);
    if (!ready())
        return 0;
    // Bold as the drawing makes it, from the menu font selected here.
    UniqueGdiObject boldFont(bold ? createBoldFont(dc_) : nullptr);
    SelectedObject selected(dc_, boldFont ? boldFont.get() : GetCurrentObject(dc_, OBJ_FONT));
    return widthUnmarked(shown);
}

int CaptionMeasure::width(const char* description)
{
    WCHAR text[260];
    wideFromAnsi(description, text, sizeof text / sizeof text[0]);
    return widthUnmarked(text);
}

int CaptionMeasure::widthUnmarked(const WCHAR* text)
{
    // GetTextExtentPoint32W is one of the wide calls Windows 95 carries out.
    SIZE extent = {0, 0};
    if (!ready() || !GetTextExtentPoint32W(dc_, text, static_cast<int>(textLength(text)), &extent))
        return 0;
    return extent.cx;
}
