// The name an owner-drawn menu item gives screen readers. Such an item has
// no text of its own; its item data points at a record whose first member is
// this header, the convention accessibility clients read for these menus.
#pragma once
#include <windows.h>
#include <oleacc.h>

// The header and the wide text it points at, kept together so that the
// record is all an item needs. The header points into its own record: a
// copied record is named again before a menu shows it.
struct ItemName {
    MSAAMENUINFO msaa;
    WCHAR text[260];
};

// Names the item with caption (ANSI, cut to 259 characters).
void setItemName(ItemName& name, const char* caption);
// The same with a UTF-16 caption, "&" marks and all, as screen readers read
// a menu item's text.
void setItemName(ItemName& name, const wchar_t* caption);

// Whether the record carries a name by the convention.
inline bool hasItemName(const ItemName& name)
{
    return name.msaa.dwMSAASignature == static_cast<DWORD>(MSAA_MENU_SIG)
        && name.msaa.pszWText == name.text;
}
