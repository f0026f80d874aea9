// Checks the compiled resources (res/dormity.rc) as the program sees them:
// the test executable links the same resource object, so everything is
// looked up in the module of the running process.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "res/resource.h"

namespace {

HINSTANCE self() { return GetModuleHandleA(nullptr); }

// Raw bytes of one resource of this module, or an empty range.
struct ResourceBytes {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

ResourceBytes findResource(LPCSTR name, LPCSTR type) {
    ResourceBytes out;
    HRSRC info = FindResourceA(self(), name, type);
    if (!info) return out;
    HGLOBAL handle = LoadResource(self(), info);
    if (!handle) return out;
    out.data = static_cast<const BYTE*>(LockResource(handle));
    out.size = SizeofResource(self(), info);
    return out;
}

// ---------------------------------------------------------------------------
// Menu

struct ExpectedItem {
    const char* caption;  // nullptr for a separator
    UINT id;              // command id; ignored for submenus and separators
    bool submenu;
};

struct MenuItem {
    UINT type = 0;
    UINT state = 0;
    UINT id = 0;
    HMENU submenu = nullptr;
    std::string caption;
};

MenuItem readItem(HMENU menu, UINT position) {
    char text[256] = {};
    MENUITEMINFOA info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof text;
    MenuItem item;
    if (!GetMenuItemInfoA(menu, position, TRUE, &info)) {
        ADD_FAILURE() << "GetMenuItemInfoA failed at position " << position;
        return item;
    }
    item.type = info.fType;
    item.state = info.fState;
    item.id = info.wID;
    item.submenu = info.hSubMenu;
    item.caption = text;
    return item;
}

void expectMenu(HMENU menu, const std::vector<ExpectedItem>& expected,
                const char* where) {
    SCOPED_TRACE(where);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(expected.size()));
    for (UINT pos = 0; pos < expected.size(); ++pos) {
        SCOPED_TRACE("position " + std::to_string(pos));
        const ExpectedItem& want = expected[pos];
        MenuItem got = readItem(menu, pos);
        if (!want.caption) {
            EXPECT_TRUE(got.type & MFT_SEPARATOR);
            EXPECT_EQ(got.submenu, nullptr);
            continue;
        }
        EXPECT_FALSE(got.type & MFT_SEPARATOR);
        EXPECT_EQ(got.type & MFT_OWNERDRAW, 0u);
        // Nothing greyed, checked or default: the popup refresh sets every
        // state itself.
        EXPECT_EQ(got.state, 0u);
        EXPECT_EQ(got.caption, want.caption);
        char text[256] = {};
        GetMenuStringA(menu, pos, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, want.caption);
        if (want.submenu) {
            EXPECT_NE(got.submenu, nullptr);
            EXPECT_EQ(GetSubMenu(menu, pos), got.submenu);
            EXPECT_EQ(GetMenuItemID(menu, pos), static_cast<UINT>(-1));
        } else {
            EXPECT_EQ(got.submenu, nullptr);
            EXPECT_EQ(GetMenuItemID(menu, pos), want.id);
            EXPECT_EQ(got.id, want.id);
        }
    }
}

class TrayMenu : public ::testing::Test {
protected:
    void SetUp() override {
        menu_ = LoadMenuA(self(), MAKEINTRESOURCEA(IDR_TRAYMENU));
        ASSERT_NE(menu_, nullptr);
    }
    void TearDown() override {
        if (menu_) DestroyMenu(menu_);
    }
    HMENU menu_ = nullptr;
};

TEST_F(TrayMenu, HasOneTopLevelItemHoldingThePopup) {
    expectMenu(menu_, {{"Dormity", 0, true}}, "menu bar");
}

TEST_F(TrayMenu, PopupItemsInOrder) {
    HMENU popup = GetSubMenu(menu_, 0);
    expectMenu(popup,
               {
                   {"Set Screen Saver", 0, true},
                   {nullptr, 0, false},
                   {"&Launch Screen Saver", IDM_LAUNCH, false},
                   {"&Configure Screen Saver", IDM_CONFIGURE, false},
                   {"Screen Saver &Properties", IDM_PROPERTIES, false},
                   {nullptr, 0, false},
                   {"Password", 0, true},
                   {"Set Timeout", IDM_TIMEOUT, false},
                   {"Dissable Screen Saver", IDM_TOGGLE, false},
                   {nullptr, 0, false},
                   {"Lock Computer", IDM_LOCK, false},
                   {nullptr, 0, false},
                   {"&About", IDM_ABOUT, false},
                   {nullptr, 0, false},
                   {"&Exit", IDM_EXIT, false},
               },
               "popup");
}

TEST_F(TrayMenu, ScreenSaverSubmenuHoldsThePlaceholder) {
    HMENU popup = GetSubMenu(menu_, 0);
    ASSERT_NE(popup, nullptr);
    expectMenu(GetSubMenu(popup, 0), {{"temp", IDM_SETSAVER, false}},
               "Set Screen Saver");
}

TEST_F(TrayMenu, PasswordSubmenu) {
    HMENU popup = GetSubMenu(menu_, 0);
    ASSERT_NE(popup, nullptr);
    expectMenu(GetSubMenu(popup, 6),
               {{"Password Enabled", IDM_PASSWORD, false},
                {"Change Password", IDM_CHANGEPASSWORD, false}},
               "Password");
}

TEST_F(TrayMenu, CommandsAreFoundByIdInsideSubmenus) {
    // The refresh addresses items by command, the Password ones included.
    HMENU popup = GetSubMenu(menu_, 0);
    ASSERT_NE(popup, nullptr);
    for (UINT id : {IDM_LAUNCH, IDM_CONFIGURE, IDM_PROPERTIES, IDM_TIMEOUT,
                    IDM_TOGGLE, IDM_PASSWORD, IDM_CHANGEPASSWORD, IDM_ABOUT,
                    IDM_EXIT, IDM_LOCK}) {
        MENUITEMINFOA info;
        std::memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID;
        EXPECT_TRUE(GetMenuItemInfoA(popup, id, FALSE, &info)) << id;
        EXPECT_EQ(info.wID, id);
    }
}

// ---------------------------------------------------------------------------
// Icons

#pragma pack(push, 1)
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14, "GRPICONDIRENTRY is 14 bytes");

struct ExpectedIcon {
    int id;
    std::vector<int> sizes;
};

const std::vector<ExpectedIcon>& expectedIcons() {
    static const std::vector<ExpectedIcon> icons = {
        {IDI_SAVER_ON, {16, 32}},
        {IDI_PROPERTIES, {16, 32, 48}},
        {IDI_LAUNCH, {16, 32}},
        {IDI_CONFIGURE, {16, 32, 48}},
        {IDI_CHECK, {16, 32, 48}},
        {IDI_SETSAVER, {16}},
        {IDI_PASSWORD, {16, 32, 48}},
        {IDI_TIMEOUT, {16, 32, 48}},
        {IDI_SAVER_OFF, {16}},
        {IDI_LOCK, {16, 24, 32, 48}},
    };
    return icons;
}

std::vector<GroupIconEntry> groupEntries(int id) {
    std::vector<GroupIconEntry> out;
    ResourceBytes group = findResource(MAKEINTRESOURCEA(id), RT_GROUP_ICON);
    if (!group.data || group.size < sizeof(GroupIconHeader)) {
        ADD_FAILURE() << "no icon group " << id;
        return out;
    }
    GroupIconHeader head;
    std::memcpy(&head, group.data, sizeof head);
    EXPECT_EQ(head.reserved, 0);
    EXPECT_EQ(head.type, 1) << "group " << id << " is not an icon group";
    if (group.size < sizeof head + head.count * sizeof(GroupIconEntry)) {
        ADD_FAILURE() << "icon group " << id << " is cut short";
        return out;
    }
    for (WORD k = 0; k < head.count; ++k) {
        GroupIconEntry entry;
        std::memcpy(&entry, group.data + sizeof head + k * sizeof entry,
                    sizeof entry);
        out.push_back(entry);
    }
    return out;
}

// One image of an icon, decoded from its RT_ICON resource.
struct IconImage {
    int size = 0;
    int bpp = 0;
    std::vector<RGBQUAD> palette;
    std::vector<uint32_t> colour;  // palette index, or 0xAARRGGBB at 32 bpp
    std::vector<bool> masked;      // AND mask bit, top row first
};

bool decodeImage(const GroupIconEntry& entry, IconImage& image) {
    ResourceBytes res = findResource(MAKEINTRESOURCEA(entry.id), RT_ICON);
    if (!res.data) {
        ADD_FAILURE() << "RT_ICON " << entry.id << " missing";
        return false;
    }
    EXPECT_EQ(res.size, entry.bytesInRes) << "RT_ICON " << entry.id;
    if (res.size < sizeof(BITMAPINFOHEADER)) return false;
    BITMAPINFOHEADER hdr;
    std::memcpy(&hdr, res.data, sizeof hdr);
    const int size = entry.width ? entry.width : 256;
    EXPECT_EQ(hdr.biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(hdr.biWidth, size);
    EXPECT_EQ(hdr.biHeight, 2 * size) << "XOR image and AND mask";
    EXPECT_EQ(hdr.biPlanes, 1);
    EXPECT_EQ(hdr.biBitCount, entry.bitCount);
    EXPECT_EQ(hdr.biCompression, static_cast<DWORD>(BI_RGB));
    if (hdr.biWidth != size || hdr.biHeight != 2 * size ||
        hdr.biBitCount != entry.bitCount)
        return false;

    const int bpp = hdr.biBitCount;
    const size_t paletteSize = bpp <= 8 ? (1u << bpp) : 0;
    const size_t stride = ((size * bpp + 31) / 32) * 4;
    const size_t maskStride = ((size + 31) / 32) * 4;
    const size_t need = hdr.biSize + paletteSize * sizeof(RGBQUAD) +
                        stride * size + maskStride * size;
    EXPECT_EQ(res.size, need) << "RT_ICON " << entry.id << " length";
    if (res.size < need) return false;

    image.size = size;
    image.bpp = bpp;
    const BYTE* p = res.data + hdr.biSize;
    image.palette.resize(paletteSize);
    if (paletteSize) std::memcpy(image.palette.data(), p, paletteSize * 4);
    p += paletteSize * 4;
    const BYTE* mask = p + stride * size;
    for (int y = 0; y < size; ++y) {
        const BYTE* row = p + (size - 1 - y) * stride;  // bottom-up
        const BYTE* mrow = mask + (size - 1 - y) * maskStride;
        for (int x = 0; x < size; ++x) {
            uint32_t v = 0;
            if (bpp == 32) {
                v = row[4 * x] | (row[4 * x + 1] << 8) | (row[4 * x + 2] << 16) |
                    (static_cast<uint32_t>(row[4 * x + 3]) << 24);
            } else if (bpp == 8) {
                v = row[x];
            } else if (bpp == 4) {
                v = (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
            }
            image.colour.push_back(v);
            image.masked.push_back((mrow[x / 8] & (0x80 >> (x % 8))) != 0);
        }
    }
    return true;
}

IconImage loadImageOf(int id, int size, int bpp) {
    IconImage image;
    for (const GroupIconEntry& e : groupEntries(id))
        if (e.width == size && e.bitCount == bpp) decodeImage(e, image);
    return image;
}

TEST(Icons, EveryGroupHasTheListedSizesEachAtFourEightAnd32Bits) {
    for (const ExpectedIcon& icon : expectedIcons()) {
        SCOPED_TRACE("icon " + std::to_string(icon.id));
        std::set<std::pair<int, int>> want, got;
        for (int size : icon.sizes)
            for (int bpp : {4, 8, 32}) want.insert({size, bpp});
        std::vector<GroupIconEntry> entries = groupEntries(icon.id);
        for (const GroupIconEntry& e : entries) {
            EXPECT_EQ(e.width, e.height) << "every image is square";
            EXPECT_EQ(e.planes, 1);
            EXPECT_EQ(e.colourCount, e.bitCount == 4 ? 16 : 0);
            got.insert({e.width, e.bitCount});
        }
        EXPECT_EQ(entries.size(), want.size()) << "no duplicate images";
        EXPECT_EQ(got, want);
    }
}

TEST(Icons, ImagesAreWellFormedWithMatchingMasks) {
    static const BYTE vga[16][3] = {
        {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
        {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
        {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
        {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
    };
    for (const ExpectedIcon& icon : expectedIcons()) {
        for (const GroupIconEntry& e : groupEntries(icon.id)) {
            SCOPED_TRACE("icon " + std::to_string(icon.id) + ", " +
                         std::to_string(e.width) + " px, " +
                         std::to_string(e.bitCount) + " bpp");
            IconImage img;
            if (!decodeImage(e, img)) continue;
            int clear = 0, solid = 0;
            for (size_t k = 0; k < img.colour.size(); ++k) {
                if (img.masked[k]) {
                    ++clear;
                    // Where the mask lets the background through, the XOR
                    // image must be black or it would tint the background.
                    EXPECT_EQ(img.colour[k], 0u) << "pixel " << k;
                } else {
                    ++solid;
                }
                if (img.bpp == 32) {
                    const uint32_t alpha = img.colour[k] >> 24;
                    EXPECT_EQ(img.masked[k], alpha == 0) << "pixel " << k;
                }
            }
            // A picture on a transparent background: some of each.
            EXPECT_GT(clear, 0);
            EXPECT_GT(solid, img.size * img.size / 4);
            if (img.bpp == 4) {
                for (int k = 0; k < 16; ++k) {
                    EXPECT_EQ(img.palette[k].rgbRed, vga[k][0]) << k;
                    EXPECT_EQ(img.palette[k].rgbGreen, vga[k][1]) << k;
                    EXPECT_EQ(img.palette[k].rgbBlue, vga[k][2]) << k;
                }
            }
        }
    }
}

// Width and height of a bitmap, {0, 0} when it cannot be read.
std::pair<int, int> bitmapSize(HBITMAP bitmap) {
    BITMAP bm = {};
    if (!bitmap || !GetObjectA(bitmap, sizeof bm, &bm)) return {0, 0};
    return {bm.bmWidth, bm.bmHeight};
}

TEST(Icons, EachLoadsAtSixteenPixels) {
    for (const ExpectedIcon& icon : expectedIcons()) {
        SCOPED_TRACE("icon " + std::to_string(icon.id));
        HICON handle = static_cast<HICON>(LoadImageA(
            self(), MAKEINTRESOURCEA(icon.id), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
        ASSERT_NE(handle, nullptr);
        ICONINFO info = {};
        EXPECT_TRUE(GetIconInfo(handle, &info));
        EXPECT_TRUE(info.fIcon);
        EXPECT_NE(info.hbmColor, nullptr) << "a colour icon";
        EXPECT_EQ(bitmapSize(info.hbmColor), std::make_pair(16, 16));
        EXPECT_EQ(bitmapSize(info.hbmMask), std::make_pair(16, 16));
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        EXPECT_TRUE(DestroyIcon(handle));
    }
}

BOOL CALLBACK collectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
    auto* names = reinterpret_cast<std::vector<int>*>(param);
    names->push_back(IS_INTRESOURCE(name)
                         ? static_cast<int>(reinterpret_cast<UINT_PTR>(name))
                         : -1);
    return TRUE;
}

TEST(Icons, TheProgramIconIsTheFirstGroup) {
    std::vector<int> names;
    EnumResourceNamesA(self(), RT_GROUP_ICON, collectName,
                       reinterpret_cast<LONG_PTR>(&names));
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), IDI_SAVER_ON);
    std::vector<int> want;
    for (const ExpectedIcon& icon : expectedIcons()) want.push_back(icon.id);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, want) << "exactly the ten icon groups";
}

TEST(Icons, TrayStatesDifferAtSixteenPixels) {
    // The blinking tray icon alternates these two: they must not look alike.
    IconImage on = loadImageOf(IDI_SAVER_ON, 16, 32);
    IconImage off = loadImageOf(IDI_SAVER_OFF, 16, 32);
    ASSERT_EQ(on.colour.size(), 256u);
    ASSERT_EQ(off.colour.size(), 256u);
    int differing = 0;
    for (size_t k = 0; k < 256; ++k) {
        const uint32_t a = on.colour[k], b = off.colour[k];
        int delta = 0;
        for (int shift : {0, 8, 16, 24})
            delta = std::max(delta, std::abs(static_cast<int>((a >> shift) & 255) -
                                             static_cast<int>((b >> shift) & 255)));
        if (delta > 64) ++differing;
    }
    EXPECT_GE(differing, 40);
}

// ---------------------------------------------------------------------------
// Dialog templates (DIALOGEX layout)

struct ItemTemplate {
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::string cls;   // "Button", "Edit", "Static", ... whether stored by
                       // name or by the predefined ordinal
    std::string text;  // "#<n>" for an ordinal (an icon id)
};

struct DialogTemplate {
    bool extended = false;
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, cls, caption;
    WORD pointSize = 0;
    std::string face;
    std::vector<ItemTemplate> items;
};

class TemplateReader {
public:
    TemplateReader(const BYTE* base, DWORD size) : base_(base), size_(size) {}

    bool ok() const { return ok_; }

    WORD word() { return read<WORD>(); }
    DWORD dword() { return read<DWORD>(); }
    short sword() { return read<short>(); }

    std::string wideString() {
        std::string out;
        for (;;) {
            WORD ch = word();
            if (!ok_ || ch == 0) break;
            out += ch < 128 ? static_cast<char>(ch) : '?';
        }
        return out;
    }

    // sz_Or_Ord: empty, an ordinal (0xFFFF then the value) or a string.
    std::string nameOrOrdinal(bool* isOrdinal = nullptr, WORD* ordinal = nullptr) {
        if (isOrdinal) *isOrdinal = false;
        WORD first = peekWord();
        if (first == 0) {
            word();
            return std::string();
        }
        if (first == 0xFFFF) {
            word();
            WORD value = word();
            if (isOrdinal) *isOrdinal = true;
            if (ordinal) *ordinal = value;
            return "#" + std::to_string(value);
        }
        return wideString();
    }

    void alignDword() { pos_ = (pos_ + 3) & ~static_cast<size_t>(3); }
    void skip(size_t n) { pos_ += n; }

private:
    template <typename T>
    T read() {
        T value{};
        if (pos_ + sizeof(T) > size_) {
            ok_ = false;
            return value;
        }
        std::memcpy(&value, base_ + pos_, sizeof(T));
        pos_ += sizeof(T);
        return value;
    }
    WORD peekWord() {
        WORD value = 0;
        if (pos_ + 2 <= size_) std::memcpy(&value, base_ + pos_, 2);
        return value;
    }

    const BYTE* base_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

std::string className(const std::string& raw, bool isOrdinal, WORD ordinal) {
    if (isOrdinal) {
        switch (ordinal) {
            case 0x80: return "button";
            case 0x81: return "edit";
            case 0x82: return "static";
            case 0x83: return "listbox";
            case 0x84: return "scrollbar";
            case 0x85: return "combobox";
        }
        return raw;
    }
    std::string lower = raw;
    for (char& ch : lower) ch = static_cast<char>(tolower(ch));
    return lower;
}

bool parseDialog(int id, DialogTemplate& dlg) {
    ResourceBytes res = findResource(MAKEINTRESOURCEA(id), RT_DIALOG);
    if (!res.data) {
        ADD_FAILURE() << "no dialog " << id;
        return false;
    }
    TemplateReader r(res.data, res.size);
    WORD version = r.word();
    WORD signature = r.word();
    dlg.extended = version == 1 && signature == 0xFFFF;
    if (!dlg.extended) {
        ADD_FAILURE() << "dialog " << id << " is not an extended template";
        return false;
    }
    r.dword();  // help id
    dlg.exStyle = r.dword();
    dlg.style = r.dword();
    WORD count = r.word();
    dlg.x = r.sword();
    dlg.y = r.sword();
    dlg.cx = r.sword();
    dlg.cy = r.sword();
    dlg.menu = r.nameOrOrdinal();
    dlg.cls = r.nameOrOrdinal();
    dlg.caption = r.wideString();
    if (dlg.style & (DS_SETFONT | DS_FIXEDSYS)) {
        dlg.pointSize = r.word();
        r.word();   // weight
        r.skip(2);  // italic, charset
        dlg.face = r.wideString();
    }
    for (WORD k = 0; k < count && r.ok(); ++k) {
        r.alignDword();
        ItemTemplate item;
        r.dword();  // help id
        item.exStyle = r.dword();
        item.style = r.dword();
        item.x = r.sword();
        item.y = r.sword();
        item.cx = r.sword();
        item.cy = r.sword();
        item.id = r.dword();
        bool isOrdinal = false;
        WORD ordinal = 0;
        std::string cls = r.nameOrOrdinal(&isOrdinal, &ordinal);
        item.cls = className(cls, isOrdinal, ordinal);
        item.text = r.nameOrOrdinal();
        WORD extra = r.word();
        r.skip(extra);
        dlg.items.push_back(item);
    }
    EXPECT_TRUE(r.ok()) << "dialog " << id << " template is cut short";
    return r.ok();
}

const DWORD kNoId = static_cast<DWORD>(-1);
const DWORD kChild = WS_CHILD | WS_VISIBLE;

void expectItems(const DialogTemplate& dlg, const std::vector<ItemTemplate>& want) {
    ASSERT_EQ(dlg.items.size(), want.size());
    for (size_t k = 0; k < want.size(); ++k) {
        SCOPED_TRACE("control " + std::to_string(k) + " \"" + want[k].text + "\"");
        const ItemTemplate& got = dlg.items[k];
        EXPECT_EQ(got.id, want[k].id);
        EXPECT_EQ(got.cls, want[k].cls);
        EXPECT_EQ(got.text, want[k].text);
        EXPECT_EQ(got.x, want[k].x);
        EXPECT_EQ(got.y, want[k].y);
        EXPECT_EQ(got.cx, want[k].cx);
        EXPECT_EQ(got.cy, want[k].cy);
        EXPECT_EQ(got.style, want[k].style) << std::hex << got.style;
        EXPECT_EQ(got.exStyle, want[k].exStyle) << std::hex << got.exStyle;
    }
}

ItemTemplate control(DWORD id, const char* cls, const char* text, short x,
                     short y, short cx, short cy, DWORD style, DWORD exStyle = 0) {
    ItemTemplate t;
    t.id = id;
    t.cls = cls;
    t.text = text;
    t.x = x;
    t.y = y;
    t.cx = cx;
    t.cy = cy;
    t.style = style;
    t.exStyle = exStyle;
    return t;
}

TEST(TimeoutDialog, TemplateHeader) {
    DialogTemplate dlg;
    ASSERT_TRUE(parseDialog(IDD_TIMEOUT, dlg));
    EXPECT_EQ(dlg.caption, "Timeout");
    EXPECT_EQ(dlg.cx, 177);
    EXPECT_EQ(dlg.cy, 93);
    EXPECT_EQ(dlg.style, static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME | DS_CENTER |
                                            WS_POPUP | WS_CAPTION | WS_SYSMENU))
        << std::hex << dlg.style;
    EXPECT_EQ(dlg.exStyle, 0u);
    EXPECT_EQ(dlg.menu, "");
    EXPECT_EQ(dlg.cls, "");
    EXPECT_EQ(dlg.pointSize, 8);
    EXPECT_EQ(dlg.face, "MS Sans Serif");
}

TEST(TimeoutDialog, Controls) {
    DialogTemplate dlg;
    ASSERT_TRUE(parseDialog(IDD_TIMEOUT, dlg));
    const std::string icon = "#" + std::to_string(IDI_TIMEOUT);
    expectItems(
        dlg,
        {
            control(IDC_OK, "button", "OK", 59, 75, 50, 14,
                    kChild | WS_TABSTOP | BS_DEFPUSHBUTTON),
            control(IDC_CANCEL, "button", "Cancel", 115, 75, 50, 14,
                    kChild | WS_TABSTOP | BS_PUSHBUTTON),
            control(kNoId, "static", icon.c_str(), 13, 12, 20, 20,
                    kChild | SS_ICON, WS_EX_TRANSPARENT),
            control(kNoId, "static", "", 15, 70, 150, 1, kChild | SS_SUNKEN),
            control(kNoId, "static",
                    "Select the time the system must idle before launching "
                    "the Screensaver.",
                    43, 14, 120, 21, kChild | WS_GROUP | SS_LEFT,
                    WS_EX_TRANSPARENT),
            control(kNoId, "static", "Timeout (mm:ss):", 15, 45, 54, 11,
                    kChild | WS_GROUP | SS_LEFT, WS_EX_TRANSPARENT),
            control(IDC_TIMEBOX, "static", "", 75, 43, 28, 12,
                    kChild | WS_GROUP | SS_LEFT, WS_EX_CLIENTEDGE),
            control(IDC_MINUTES, "edit", "", 77, 45, 8, 9,
                    kChild | WS_TABSTOP | ES_RIGHT | ES_NUMBER),
            control(IDC_SECONDS, "edit", "", 91, 45, 8, 9,
                    kChild | WS_TABSTOP | ES_RIGHT | ES_NUMBER),
            control(IDC_COLON, "static", ":", 87, 45, 2, 8,
                    kChild | WS_GROUP | SS_CENTER | SS_CENTERIMAGE,
                    WS_EX_TRANSPARENT),
        });
}

TEST(TimeoutDialog, FieldsLieInsideTheSunkenBox) {
    // The two edits and the colon are drawn as one field by sitting inside
    // IDC_TIMEBOX; one poking out would break the illusion.
    DialogTemplate dlg;
    ASSERT_TRUE(parseDialog(IDD_TIMEOUT, dlg));
    const ItemTemplate* box = nullptr;
    for (const ItemTemplate& item : dlg.items)
        if (item.id == IDC_TIMEBOX) box = &item;
    ASSERT_NE(box, nullptr);
    int inside = 0;
    for (const ItemTemplate& item : dlg.items) {
        if (item.id != IDC_MINUTES && item.id != IDC_SECONDS && item.id != IDC_COLON)
            continue;
        ++inside;
        EXPECT_GE(item.x, box->x) << item.id;
        EXPECT_GE(item.y, box->y) << item.id;
        EXPECT_LE(item.x + item.cx, box->x + box->cx) << item.id;
        EXPECT_LE(item.y + item.cy, box->y + box->cy) << item.id;
    }
    EXPECT_EQ(inside, 3);
}

TEST(AboutDialog, TemplateHeader) {
    DialogTemplate dlg;
    ASSERT_TRUE(parseDialog(IDD_ABOUT, dlg));
    EXPECT_EQ(dlg.caption, "About");
    EXPECT_EQ(dlg.cx, 213);
    EXPECT_EQ(dlg.cy, 151);
    EXPECT_EQ(dlg.style,
              static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME | DS_3DLOOK | DS_CENTER |
                                 WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU))
        << std::hex << dlg.style;
    EXPECT_EQ(dlg.exStyle, 0u);
    EXPECT_EQ(dlg.menu, "");
    EXPECT_EQ(dlg.cls, "");
    EXPECT_EQ(dlg.pointSize, 8);
    EXPECT_EQ(dlg.face, "MS Sans Serif");
}

TEST(AboutDialog, Controls) {
    DialogTemplate dlg;
    ASSERT_TRUE(parseDialog(IDD_ABOUT, dlg));
    const std::string icon = "#" + std::to_string(IDI_SAVER_ON);
    expectItems(
        dlg,
        {
            control(IDC_OK, "button", "OK", 156, 129, 50, 15,
                    kChild | WS_TABSTOP | BS_PUSHBUTTON),
            control(kNoId, "static", icon.c_str(), 10, 10, 21, 20,
                    kChild | SS_ICON, WS_EX_TRANSPARENT),
            control(IDC_SYSINFO, "button", "System Info...", 100, 130, 49, 14,
                    kChild | WS_DISABLED | WS_TABSTOP | BS_PUSHBUTTON),
            control(kNoId, "static", "", 10, 122, 196, 1, kChild | SS_SUNKEN),
            control(kNoId, "static", "Dormity - Screen Saver Applet", 45, 10, 155,
                    10, kChild | WS_GROUP | SS_LEFT, WS_EX_TRANSPARENT),
            control(IDC_VERSION, "static", "Version: " DORMITY_VERSION_TEXT, 45, 20,
                    55, 8, kChild | WS_GROUP | SS_LEFT),
            control(kNoId, "static", "(C) 2000-2026 The Dormity developers",
                    45, 35, 136, 8, kChild | WS_GROUP | SS_LEFT, WS_EX_TRANSPARENT),
            control(IDC_BLINK, "button", "Blink when disabled.", 9, 133, 85, 10,
                    kChild | WS_TABSTOP | BS_AUTOCHECKBOX, WS_EX_TRANSPARENT),
            control(IDC_CHANGELOG, "edit", "", 45, 50, 160, 65,
                    kChild | WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_LEFT |
                        ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL),
        });
}

// ---------------------------------------------------------------------------
// Dialogs created from the templates: every class and icon resolves.

INT_PTR CALLBACK idleDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// Windows can only be made where there is a display (under Wine: an X
// server, e.g. Xvfb).  Without one these tests are skipped, loudly.
bool canCreateWindows() {
    HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr,
                                 nullptr, self(), nullptr);
    if (!probe) return false;
    DestroyWindow(probe);
    return true;
}

#define REQUIRE_DISPLAY()                                                      \
    do {                                                                       \
        if (!canCreateWindows())                                               \
            GTEST_SKIP() << "no display to create windows on (run under Xvfb)"; \
    } while (0)

class LiveDialog {
public:
    explicit LiveDialog(int id)
        : window_(CreateDialogParamA(self(), MAKEINTRESOURCEA(id), nullptr,
                                     idleDialogProc, 0)) {}
    ~LiveDialog() {
        if (window_) DestroyWindow(window_);
    }
    LiveDialog(const LiveDialog&) = delete;
    LiveDialog& operator=(const LiveDialog&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_;
};

std::string windowText(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string windowClass(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    std::string lower = name;
    for (char& ch : lower) ch = static_cast<char>(tolower(ch));
    return lower;
}

bool isIconStatic(HWND window) {
    return windowClass(window) == "static" &&
           (GetWindowLongA(window, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

// The icon statics have no id of their own: find them by style.
std::vector<HWND> iconStatics(HWND dialog) {
    std::vector<HWND> out;
    for (HWND child = GetWindow(dialog, GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT))
        if (isIconStatic(child)) out.push_back(child);
    return out;
}

void expectControls(HWND dialog,
                    const std::map<int, std::pair<const char*, const char*>>& want) {
    for (const auto& entry : want) {
        HWND item = GetDlgItem(dialog, entry.first);
        ASSERT_NE(item, nullptr) << entry.first;
        EXPECT_EQ(windowClass(item), entry.second.first) << entry.first;
        EXPECT_EQ(windowText(item), entry.second.second) << entry.first;
    }
}

TEST(TimeoutDialog, CreatesWithEveryControl) {
    REQUIRE_DISPLAY();
    LiveDialog dlg(IDD_TIMEOUT);
    ASSERT_NE(dlg.get(), nullptr) << GetLastError();
    EXPECT_EQ(windowText(dlg.get()), "Timeout");
    EXPECT_FALSE(IsWindowVisible(dlg.get()));
    expectControls(dlg.get(), {
                                  {IDC_OK, {"button", "OK"}},
                                  {IDC_CANCEL, {"button", "Cancel"}},
                                  {IDC_TIMEBOX, {"static", ""}},
                                  {IDC_MINUTES, {"edit", ""}},
                                  {IDC_SECONDS, {"edit", ""}},
                                  {IDC_COLON, {"static", ":"}},
                              });
    std::vector<HWND> icons = iconStatics(dlg.get());
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_NE(SendMessageA(icons[0], STM_GETICON, 0, 0), 0) << "icon 120 resolves";
    EXPECT_EQ(SendMessageA(dlg.get(), DM_GETDEFID, 0, 0),
              MAKELRESULT(IDC_OK, DC_HASDEFID));
}

// Width in pixels of a control's text in the control's own font.
int textWidth(HWND control, const std::string& text) {
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(
                                       SendMessageA(control, WM_GETFONT, 0, 0)));
    SIZE extent = {};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return extent.cx;
}

TEST(AboutDialog, CreatesWithEveryControlAndNoTextClips) {
    REQUIRE_DISPLAY();
    LiveDialog dlg(IDD_ABOUT);
    ASSERT_NE(dlg.get(), nullptr) << GetLastError();
    EXPECT_EQ(windowText(dlg.get()), "About");
    EXPECT_TRUE(IsWindowVisible(dlg.get()));
    expectControls(dlg.get(), {
                                  {IDC_OK, {"button", "OK"}},
                                  {IDC_SYSINFO, {"button", "System Info..."}},
                                  {IDC_VERSION, {"static", "Version: " DORMITY_VERSION_TEXT}},
                                  {IDC_BLINK, {"button", "Blink when disabled."}},
                                  {IDC_CHANGELOG, {"edit", ""}},
                              });
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dlg.get(), IDC_SYSINFO)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dlg.get(), IDC_OK)));
    std::vector<HWND> icons = iconStatics(dlg.get());
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_NE(SendMessageA(icons[0], STM_GETICON, 0, 0), 0) << "icon 104 resolves";

    // The one-line texts (title, version, credit line) fit their statics in
    // the dialog's font.
    int checked = 0;
    for (HWND child = GetWindow(dlg.get(), GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (windowClass(child) != "static" || isIconStatic(child)) continue;
        const std::string text = windowText(child);
        if (text.empty()) continue;
        RECT client = {};
        GetClientRect(child, &client);
        EXPECT_LE(textWidth(child, text), client.right) << "\"" << text << "\" clips";
        ++checked;
    }
    EXPECT_EQ(checked, 3);
}

// ---------------------------------------------------------------------------
// Version block

// version.dll is bound at run time, so linking the test needs no import
// library beyond the program's own.
class VersionInfo : public ::testing::Test {
protected:
    typedef DWORD(WINAPI* SizeFn)(LPCSTR, LPDWORD);
    typedef BOOL(WINAPI* InfoFn)(LPCSTR, DWORD, DWORD, LPVOID);
    typedef BOOL(WINAPI* QueryFn)(LPCVOID, LPCSTR, LPVOID*, PUINT);

    template <typename Fn>
    Fn entry(const char* name) {
        return reinterpret_cast<Fn>(
            reinterpret_cast<void*>(GetProcAddress(library_, name)));
    }

    void SetUp() override {
        library_ = LoadLibraryA("version.dll");
        ASSERT_NE(library_, nullptr);
        auto getSize = entry<SizeFn>("GetFileVersionInfoSizeA");
        auto getInfo = entry<InfoFn>("GetFileVersionInfoA");
        query_ = entry<QueryFn>("VerQueryValueA");
        ASSERT_TRUE(getSize && getInfo && query_);
        char path[MAX_PATH] = {};
        ASSERT_NE(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
        DWORD ignored = 0;
        DWORD size = getSize(path, &ignored);
        ASSERT_NE(size, 0u) << "no version resource";
        block_.resize(size);
        ASSERT_TRUE(getInfo(path, 0, size, block_.data()));
    }

    void TearDown() override {
        if (library_) FreeLibrary(library_);
    }

    template <typename T>
    bool query(const char* path, T** out, UINT* length) {
        *out = nullptr;
        return query_(block_.data(), path, reinterpret_cast<void**>(out), length) &&
               *out;
    }

    std::string value(const char* name) {
        std::string path = std::string("\\StringFileInfo\\040904b0\\") + name;
        char* text = nullptr;
        UINT length = 0;
        if (!query(path.c_str(), &text, &length)) return "<missing>";
        return std::string(text, strnlen(text, length));
    }

    HMODULE library_ = nullptr;
    QueryFn query_ = nullptr;
    std::vector<BYTE> block_;
};

TEST_F(VersionInfo, FixedPartIs2060) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query("\\", &fixed, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(0, 2)));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(0, 6)));
    EXPECT_EQ(fixed->dwProductVersionMS, static_cast<DWORD>(MAKELONG(0, 2)));
    EXPECT_EQ(fixed->dwProductVersionLS, static_cast<DWORD>(MAKELONG(0, 6)));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u)
        << "no debug, pre-release or patched flags";
}

TEST_F(VersionInfo, Strings) {
    EXPECT_EQ(value("FileVersion"), "2.06.00");
    EXPECT_EQ(value("ProductVersion"), "2.06.00");
    EXPECT_EQ(value("FileVersion"), DORMITY_VERSION_TEXT);
    EXPECT_EQ(value("ProductName"), "Dormity");
    EXPECT_EQ(value("FileDescription"), "Dormity - Screen Saver Applet");
    EXPECT_EQ(value("OriginalFilename"), "Dormity.exe");
    EXPECT_EQ(value("InternalName"), "Dormity");
    EXPECT_NE(value("CompanyName"), "<missing>");
    EXPECT_NE(value("LegalCopyright"), "<missing>");
}

TEST_F(VersionInfo, TranslationIsUsEnglishUnicode) {
    WORD* pair = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query("\\VarFileInfo\\Translation", &pair, &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(pair[0], 0x409);
    EXPECT_EQ(pair[1], 1200);
}

// ---------------------------------------------------------------------------
// Manifest

TEST(Manifest, IsTheProcessManifestAndAsksForCommonControls6) {
    ResourceBytes res = findResource(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(res.data, nullptr) << "RT_MANIFEST 1";
    const std::string text(reinterpret_cast<const char*>(res.data), res.size);
    EXPECT_EQ(text.compare(0, 5, "<?xml"), 0);
    EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\""), std::string::npos);
    EXPECT_NE(text.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(text.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos);
    EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(text.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_NE(text.find("version=\"2.0.6.0\""), std::string::npos);
    EXPECT_NE(text.find("</assembly>"), std::string::npos);

    std::vector<int> names;
    EnumResourceNamesA(self(), MAKEINTRESOURCEA(24), collectName,
                       reinterpret_cast<LONG_PTR>(&names));
    EXPECT_EQ(names, std::vector<int>{1}) << "one manifest only";
}

TEST(Manifest, LoaderBindsCommonControls6) {
    // The loader reads the manifest when the process starts; when it accepts
    // it, comctl32 comes from the version 6 side-by-side assembly.  Windows
    // reports 6 from DllGetVersion; Wine's copy still says 5.81, so its
    // place in the side-by-side store counts too.
    HMODULE comctl = LoadLibraryA("comctl32.dll");
    ASSERT_NE(comctl, nullptr);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(comctl, path, MAX_PATH);
    std::string lower = path;
    for (char& ch : lower) ch = static_cast<char>(tolower(ch));
    struct DllVersion {
        DWORD cbSize, major, minor, build, platform;
    } version = {sizeof(DllVersion), 0, 0, 0, 0};
    typedef HRESULT(CALLBACK * GetVersionFn)(DllVersion*);
    auto getVersion = reinterpret_cast<GetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(comctl, "DllGetVersion")));
    ASSERT_NE(getVersion, nullptr);
    ASSERT_EQ(getVersion(&version), S_OK);
    const bool sideBySide =
        lower.find("microsoft.windows.common-controls") != std::string::npos &&
        lower.find("_6.0.") != std::string::npos;
    EXPECT_TRUE(version.major >= 6 || sideBySide)
        << path << " reports " << version.major << "." << version.minor;
    FreeLibrary(comctl);
}

}  // namespace
