#include "menu_metrics.h"

#include <string.h>

#include "../app/handles.h"

namespace {

// The size of NONCLIENTMETRICSA before Vista added a field; the larger form
// is refused by earlier systems, this one is accepted by all.
const UINT kClassicMetricsSize = 340;

} // namespace

int pointsFromFontHeight(LONG fontHeight, int pixelsPerInch)
{
    int points = -MulDiv(fontHeight, 72, pixelsPerInch);
    return points < 0 ? -points : points;
}

int menuFontPoints(HWND window)
{
    int pixelsPerInch;
    {
        WindowDC dc(window);
        pixelsPerInch = dc.get() ? GetDeviceCaps(dc.get(), LOGPIXELSY) : 96;
    }
    NONCLIENTMETRICSA metrics;
    memset(&metrics, 0, sizeof metrics);
    metrics.cbSize = kClassicMetricsSize;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, &metrics, 0);
    return pointsFromFontHeight(metrics.lfMenuFont.lfHeight, pixelsPerInch);
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
