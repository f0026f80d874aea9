#include <windows.h>
#include <shellapi.h>
#include <string.h>

#include "../app/application.h"
#include "../base/handles.h"
#include "../app/tray_window.h"
#include "../res/resource.h"
#include "../saverconfig/native_system.h"
#include "icon_state.h"
#include "menu_metrics.h"
#include "menu_rules.h"

namespace {

const int kIconX = MENU_ICON_X;
const int kCaptionX = MENU_CAPTION_X;
const int kCheckFromRight = MENU_CHECK_FROM_RIGHT;

int iconTop(const RECT& rect)
{
    return rect.top + (rect.bottom - rect.top - 16) / 2;
}

void drawIcon(HDC dc, int x, int y, HICON icon)
{
    if (icon)
        DrawIconEx(dc, x, y, icon, 16, 16, 0, nullptr, DI_NORMAL);
}

void drawResourceIcon(HDC dc, HINSTANCE instance, int iconId, int x, int y)
{
    UniqueIcon icon(loadSmallIcon(instance, iconId));
    drawIcon(dc, x, y, icon.get());
}

void drawCaption(HDC dc, const RECT& rect, const char* caption, bool greyed, bool selected,
                 int greyOffset)
{
    int length = lstrlenA(caption);
    if (!greyed) {
        TextOutA(dc, kCaptionX, rect.top + 3, caption, length);
        return;
    }
    // Embossed: a light shadow one pixel down and right, unless the item is
    // highlighted, then the grey text.
    SetBkMode(dc, TRANSPARENT);
    if (!selected) {
        SetTextColor(dc, GetSysColor(COLOR_WINDOW));
        TextOutA(dc, kCaptionX + 1, rect.top + 4, caption, length);
    }
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    TextOutA(dc, kCaptionX, rect.top + 3 + greyOffset, caption, length);
}

// A bold font of the same face and cell height as the one selected in dc.
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

} // namespace

BOOL measureMenuItem(MEASUREITEMSTRUCT* item)
{
    if (item->itemID < IDM_NONE) {
        item->itemWidth = static_cast<UINT>(item->itemData);
    } else {
        const SaverEntry* entry = reinterpret_cast<const SaverEntry*>(item->itemData);
        item->itemWidth = entry ? entry->itemWidth : 0;
    }
    item->itemHeight = GetSystemMetrics(SM_CYMENUSIZE) + 2;
    return TRUE;
}

BOOL TrayWindow::drawMenuItem(const DRAWITEMSTRUCT* item)
{
    HDC dc = item->hDC;
    RECT rect = item->rcItem;
    bool selected = (item->itemState & ODS_SELECTED) != 0;

    MenuContext context;
    context.flags = owner->flags;
    context.noSaverSelected = !noneEntry || (noneEntry->flags & SAVER_CHECKED);
    context.passwords = readPasswordValues(family());
    // Only the password items depend on the header test, which maps a file.
    context.win4Saver = (item->itemID == IDM_PASSWORD || item->itemID == IDM_CHANGEPASSWORD)
        && needsWin4Test(context.noSaverSelected) && isWin4Saver(family());
    context.timedChoice = timedChoice;

    int savedState = SaveDC(dc);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
    SetBkColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
    FillRect(dc, &rect, selected ? highlightBrush : menuBrush);

    int y = iconTop(rect);
    if (item->itemID >= IDM_NONE) {
        const SaverEntry* entry = reinterpret_cast<const SaverEntry*>(item->itemData);
        if (entry) {
            TextOutA(dc, kCaptionX, rect.top + 3, entry->description,
                     lstrlenA(entry->description));
            // The file's own icon. One of the native System32 on 64-bit
            // Windows is reached through its alias: the shell may load DLLs,
            // which fail while redirection is off.
            HICON icon = nullptr;
            if (!nativeSystemFileIcon(entry->fileName, &icon)) {
                SHFILEINFOA info;
                memset(&info, 0, sizeof info);
                // Only a call that succeeded hands over an icon: a failed one
                // can leave a stale handle in the record (Wine does, for
                // "[none]").
                if (SHGetFileInfoA(entry->fileName, 0, &info, sizeof info,
                                   SHGFI_ICON | SHGFI_SMALLICON))
                    icon = info.hIcon;
            }
            UniqueIcon shellIcon(icon);
            drawIcon(dc, kIconX, y, shellIcon.get());
            if (entry->flags & SAVER_CHECKED)
                drawResourceIcon(dc, owner->instance, IDI_CHECK, rect.right - kCheckFromRight, y);
        }
        RestoreDC(dc, savedState);
        return TRUE;
    }

    ItemLook look = fixedItemLook(item->itemID, context);
    UniqueGdiObject boldFont;
    if (look.bold)
        boldFont.reset(createBoldFont(dc));
    {
        // Declared after the font so that it is deselected before deletion.
        SelectedObject selectedFont(dc, boldFont ? boldFont.get() : GetCurrentObject(dc, OBJ_FONT));
        if (look.iconId)
            drawResourceIcon(dc, owner->instance, look.iconId, kIconX, y);
        drawCaption(dc, rect, look.caption, look.greyed, selected, look.bold ? 1 : 0);
        if (look.check)
            drawResourceIcon(dc, owner->instance, IDI_CHECK, rect.right - kCheckFromRight, y);
    }
    RestoreDC(dc, savedState);
    return TRUE;
}
