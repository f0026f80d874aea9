// Widths of the menu items, derived from the menu font's size in points.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "../saverconfig/saver_settings.h"

// Points of a font height at a display's pixels per inch. A positive height
// (a cell height rather than a character height) is taken by its size too.
int pointsFromFontHeight(LONG fontHeight, int pixelsPerInch);

// The menu font's size in points on the display of window.
int menuFontPoints(HWND window);

// Width shared by every fixed item of the popup.
UINT commonItemWidth(int points);

// Width of a screen saver entry: its description's length times the
// per-character width (one pixel more per character on the 95 family).
WORD saverItemWidth(size_t descriptionLength, int points, SaverFamily family);

// Width of the "[none]" entry, the same on both families.
WORD noneItemWidth(int points);
