// The compiled resources as the program sees them: the test links the same
// resource object, so everything is looked up in this process's own module.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "base/handles.h"
#include "res/resource.h"

namespace {

HINSTANCE self() { return GetModuleHandleA(nullptr); }

// The raw bytes of one resource of this module; empty when there is none.
std::string resourceBytes(LPCSTR name, LPCSTR type) {
    HRSRC info = FindResourceA(self(), name, type);
    HGLOBAL handle = info ? LoadResource(self(), info) : nullptr;
    const char* data = handle ? static_cast<const char*>(LockResource(handle)) : nullptr;
    return data ? std::string(data, SizeofResource(self(), info)) : std::string();
}

// A value at an offset of a resource; zero past its end.
template <typename T>
T at(const std::string& bytes, size_t offset) {
    T value{};
    if (offset + sizeof value <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

BOOL CALLBACK collectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR names) {
    reinterpret_cast<std::vector<int>*>(names)->push_back(
        IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<UINT_PTR>(name)) : -1);
    return TRUE;
}

std::vector<int> resourceNames(LPCSTR type) {
    std::vector<int> names;
    EnumResourceNamesA(self(), type, collectName, reinterpret_cast<LONG_PTR>(&names));
    return names;
}

// One line per item, indented by depth: "caption=id", "caption>" for a submenu, "-" for a
// separator, "[type/state]" after an item that is not plain (the refresh sets every state).
void describeMenu(HMENU menu, const std::string& indent, std::vector<std::string>& out) {
    for (int pos = 0; pos < GetMenuItemCount(menu); ++pos) {
        char text[256] = {};
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        EXPECT_TRUE(GetMenuItemInfoA(menu, pos, TRUE, &info)) << indent << pos;
        const bool separator = info.fType & MFT_SEPARATOR;
        std::string line = indent + (separator ? "-" : text);
        if (info.hSubMenu) line += ">";
        else if (!separator) line += "=" + std::to_string(info.wID);
        if ((info.fType & ~MFT_SEPARATOR) || (!separator && info.fState))
            line += " [" + std::to_string(info.fType) + "/" + std::to_string(info.fState) + "]";
        out.push_back(line);
        if (info.hSubMenu) describeMenu(info.hSubMenu, indent + "  ", out);
    }
}

TEST(TrayMenu, ItemsInOrderWithTheirIds) {
    HMENU menu = LoadMenuA(self(), MAKEINTRESOURCEA(IDR_TRAYMENU));
    ASSERT_NE(menu, nullptr);
    std::vector<std::string> got;
    describeMenu(menu, "", got);
    DestroyMenu(menu);
    // The ids are written out: other programs send some of them.
    const std::vector<std::string> want = {
        "Dormity>",
        "  Set Screen Saver>",
        "    temp=410",
        "  -",
        "  Launch Screen Saver=408",
        "  Configure Screen Saver=403",
        "  Screen Saver Properties=404",
        "  -",
        "  Password>",
        "    Password Enabled=413",
        "    Change Password=414",
        "  Set Timeout=412",
        "  Dissable Screen Saver=411",
        "  Disable For>",
        "    15 Minutes=420",
        "    30 Minutes=421",
        "    1 Hour=422",
        "    2 Hours=423",
        "    4 Hours=424",
        "  Keep Off While>",
        "    Add Running Program...=425",
        "  -",
        "  Lock Computer=416",
        "  -",
        "  About=406",
        "  -",
        "  Exit=407",
    };
    EXPECT_EQ(got, want);
}

#pragma pack(push, 1)
struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bits;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

struct IconRow { int id; std::vector<int> sizes; };

// Every menu icon at each small-icon size a display may ask for.
const IconRow kIcons[] = {
    {IDI_SAVER_ON, {16, 20, 24, 32}},      {IDI_PROPERTIES, {16, 20, 24, 32, 48}},
    {IDI_LAUNCH, {16, 20, 24, 32}},        {IDI_CONFIGURE, {16, 20, 24, 32, 48}},
    {IDI_CHECK, {16, 20, 24, 32, 48}},     {IDI_SETSAVER, {16, 20, 24, 32}},
    {IDI_PASSWORD, {16, 20, 24, 32, 48}},  {IDI_TIMEOUT, {16, 20, 24, 32, 48}},
    {IDI_SAVER_OFF, {16, 20, 24, 32}},     {IDI_LOCK, {16, 20, 24, 32, 48}},
};

// The standard VGA colours, 0xRRGGBB, that every 4-bit image uses.
const DWORD kVga[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                           0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                           0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

// One image of a group: palette, colour values (palette index, or ARGB at
// 32 bits) and mask bits, top row first; no pixels when it is malformed.
struct Image { std::vector<DWORD> palette, colour; std::vector<bool> masked; };

Image decode(const GroupEntry& entry) {
    const std::string res = resourceBytes(MAKEINTRESOURCEA(entry.id), RT_ICON);
    const BITMAPINFOHEADER header = at<BITMAPINFOHEADER>(res, 0);
    const int size = entry.width, bits = entry.bits;
    const size_t stride = (size * bits + 31) / 32 * 4, maskStride = (size + 31) / 32 * 4;
    const size_t colourAt = sizeof header + (bits <= 8 ? 4u << bits : 0);
    const size_t maskAt = colourAt + stride * size, end = maskAt + maskStride * size;
    // Size, width, height (colour image and mask), planes, depth, compression.
    EXPECT_EQ(std::make_tuple(header.biSize, header.biWidth, header.biHeight, header.biPlanes,
                              header.biBitCount, header.biCompression),
              std::make_tuple(DWORD(sizeof header), LONG(size), LONG(2 * size), WORD(1), WORD(bits),
                              DWORD(BI_RGB)));
    EXPECT_EQ(res.size(), entry.bytes);
    EXPECT_EQ(res.size(), end);
    if (header.biWidth != size || header.biBitCount != bits || res.size() < end) return {};
    Image image;
    for (size_t p = sizeof header; p < colourAt; p += 4) image.palette.push_back(at<DWORD>(res, p));
    for (int y = size - 1; y >= 0; --y) {  // rows are stored bottom-up
        const size_t row = colourAt + y * stride;
        for (int x = 0; x < size; ++x) {
            const BYTE byte = res[bits == 4 ? row + x / 2 : row + x];
            image.colour.push_back(bits == 32 ? at<DWORD>(res, row + 4 * x)
                                   : bits == 8 ? byte
                                               : (byte >> (x % 2 ? 0 : 4)) & 15);
            image.masked.push_back(res[maskAt + y * maskStride + x / 8] & (0x80 >> (x % 8)));
        }
    }
    return image;
}

TEST(Icons, EveryGroupInOrderWithItsSizesAtThreeDepthsOverABlackMaskedBackground) {
    std::vector<int> names = resourceNames(RT_GROUP_ICON), ids;
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), IDI_SAVER_ON) << "the shell shows the first group as the program's";
    std::map<int, Image> sixteen;  // the 32-bit images at 16 pixels
    for (const IconRow& icon : kIcons) {
        SCOPED_TRACE("icon " + std::to_string(icon.id));
        ids.push_back(icon.id);
        std::set<std::pair<int, int>> want, got;
        for (int size : icon.sizes)
            for (int bits : {4, 8, 32}) want.insert({size, bits});
        const std::string group = resourceBytes(MAKEINTRESOURCEA(icon.id), RT_GROUP_ICON);
        const WORD count = at<WORD>(group, 4);
        EXPECT_TRUE(at<WORD>(group, 0) == 0 && at<WORD>(group, 2) == 1) << "not an icon group";
        EXPECT_EQ(group.size(), 6 + count * sizeof(GroupEntry));
        EXPECT_EQ(count, want.size()) << "no duplicate images";
        for (WORD n = 0; n < count; ++n) {
            const GroupEntry entry = at<GroupEntry>(group, 6 + n * sizeof(GroupEntry));
            SCOPED_TRACE(std::to_string(entry.width) + " px, " + std::to_string(entry.bits)
                         + " bits");
            got.insert({entry.width, entry.bits});
            EXPECT_EQ(entry.width, entry.height);
            EXPECT_EQ(entry.planes, 1);
            EXPECT_EQ(entry.colours, entry.bits == 4 ? 16 : 0);
            const Image image = decode(entry);
            size_t clear = 0;
            for (size_t k = 0; k < image.colour.size(); ++k) {
                clear += image.masked[k];
                // Where the background shows through, any colour would tint it.
                EXPECT_EQ(image.masked[k] ? image.colour[k] : 0u, 0u) << "pixel " << k;
                if (entry.bits == 32) {
                    EXPECT_EQ(image.masked[k], image.colour[k] >> 24 == 0) << "pixel " << k;
                }
            }
            // A picture on a transparent background: some of each.
            EXPECT_GT(clear, 0u);
            EXPECT_GT(image.colour.size() - clear, image.colour.size() / 4);
            for (size_t k = 0; k < image.palette.size() && entry.bits == 4; ++k)
                EXPECT_EQ(image.palette[k] & 0xFFFFFF, kVga[k]) << "palette " << k;
            if (entry.width == 16 && entry.bits == 32) sixteen[icon.id] = image;
        }
        EXPECT_EQ(got, want);
        HICON handle = static_cast<HICON>(
            LoadImageA(self(), MAKEINTRESOURCEA(icon.id), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
        ICONINFO info = {};
        BITMAP colour = {};
        ASSERT_TRUE(handle && GetIconInfo(handle, &info));
        EXPECT_TRUE(info.fIcon && GetObjectA(info.hbmColor, sizeof colour, &colour))
            << "a colour icon";
        EXPECT_EQ(std::make_pair(colour.bmWidth, colour.bmHeight), std::make_pair(16L, 16L));
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        EXPECT_TRUE(DestroyIcon(handle));
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, ids);
    // The blinking tray icon alternates these two: they must not look alike.
    const Image &on = sixteen[IDI_SAVER_ON], &off = sixteen[IDI_SAVER_OFF];
    ASSERT_EQ(on.colour.size(), 256u);
    ASSERT_EQ(off.colour.size(), 256u);
    int differing = 0;
    for (size_t k = 0; k < 256; ++k) {
        int delta = 0;
        for (int shift : {0, 8, 16, 24}) {
            const int a = (on.colour[k] >> shift) & 255, b = (off.colour[k] >> shift) & 255;
            delta = std::max({delta, a - b, b - a});
        }
        differing += delta > 64;
    }
    EXPECT_GE(differing, 40);
}

// A dialog template's header or one of its controls; text "#<n>" is an ordinal
// (an icon id). The header's id is its font's point size, its class "menu|class|face".
struct Control { int id; std::string cls, text; short x, y, cx, cy; DWORD style, exStyle; };

std::string describe(const Control& c) {
    char line[512];
    snprintf(line, sizeof line, "%d %s \"%s\" (%d,%d %dx%d) style %08lx ex %lx", c.id,
             c.cls.c_str(), c.text.c_str(), c.x, c.y, c.cx, c.cy,
             static_cast<unsigned long>(c.style), static_cast<unsigned long>(c.exStyle));
    return line;
}

#pragma pack(push, 1)
struct DialogHead {
    WORD version, signature;
    DWORD help, exStyle, style;
    WORD count;
    short x, y, cx, cy;
};
struct ItemHead { DWORD help, exStyle, style; short x, y, cx, cy; DWORD id; };
#pragma pack(pop)

// Predefined classes may be stored by ordinal or by name, in any case.
std::string className(std::string raw) {
    static const char* const ordinals[]
        = {"button", "edit", "static", "listbox", "scrollbar", "combobox"};
    for (int k = 0; k < 6; ++k)
        if (raw == "#" + std::to_string(0x80 + k)) return ordinals[k];
    CharLowerA(&raw[0]);
    return raw;
}

// Past the end of the resource every read gives zeros.
std::vector<Control> parseDialog(int id) {
    const std::string bytes = resourceBytes(MAKEINTRESOURCEA(id), RT_DIALOG);
    size_t pos = 0;
    const auto take = [&](auto type) {
        pos += sizeof type;
        return at<decltype(type)>(bytes, pos - sizeof type);
    };
    const auto name = [&]() -> std::string {  // empty, an ordinal ("#<n>") or a string
        WORD ch = take(WORD());
        if (ch == 0xFFFF) return "#" + std::to_string(take(WORD()));
        std::string out;
        for (; ch; ch = take(WORD())) out += ch < 128 ? static_cast<char>(ch) : '?';
        return out;
    };
    const DialogHead head = take(DialogHead());
    EXPECT_TRUE(head.version == 1 && head.signature == 0xFFFF)
        << "dialog " << id << ": not an extended one";
    const std::string menu = name(), cls = name(), caption = name();
    const WORD points = take(WORD());  // both dialogs name a font (DS_SETFONT)
    take(DWORD());  // weight, italic, character set
    std::vector<Control> out = {{points, menu + "|" + cls + "|" + name(), caption, head.x, head.y,
                                 head.cx, head.cy, head.style, head.exStyle}};
    for (WORD k = 0; k < head.count && pos <= bytes.size(); ++k) {
        pos = (pos + 3) & ~static_cast<size_t>(3);
        const ItemHead item = take(ItemHead());
        // Braced initialisers run in order: the class comes before the text.
        out.push_back({static_cast<int>(item.id), className(name()), name(), item.x, item.y,
                       item.cx, item.cy, item.style, item.exStyle});
        pos += take(WORD());  // creation data
    }
    EXPECT_LE(pos, bytes.size()) << "dialog " << id << " is cut short";
    return out;
}

const DWORD kChild = WS_CHILD | WS_VISIBLE, kTab = kChild | WS_TABSTOP;
const DWORD kText = kChild | WS_GROUP | SS_LEFT, kClear = WS_EX_TRANSPARENT;
const DWORD kFrame = DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;

// The header first; then how many one-line statics must show their text whole.
struct DialogRow { int id; std::vector<Control> controls; size_t fittedTexts; };

INT_PTR CALLBACK idleDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

TEST(DialogTemplates, EveryControlAsDesignedAndCreatedWithItsIconAndWholeTexts) {
    const DialogRow dialogs[] = {
        {IDD_TIMEOUT,
         {
             {8, "||MS Sans Serif", "Timeout", 0, 0, 177, 93, kFrame, 0},
             {IDC_OK, "button", "OK", 59, 75, 50, 14, kTab | BS_DEFPUSHBUTTON, 0},
             {IDC_CANCEL, "button", "Cancel", 115, 75, 50, 14, kTab | BS_PUSHBUTTON, 0},
             {-1, "static", "#" + std::to_string(IDI_TIMEOUT), 13, 12, 20, 20, kChild | SS_ICON,
              kClear},
             {-1, "static", "", 15, 70, 150, 1, kChild | SS_SUNKEN, 0},
             {IDC_PROMPT, "static",
              "Select the time the system must idle before launching the Screensaver.", 43, 14, 120,
              21, kText, kClear},
             {IDC_LABEL, "static", "Timeout (mm:ss):", 15, 45, 54, 11, kText, kClear},
             // The edits and the colon sit inside this sunken box and read as one field.
             {IDC_TIMEBOX, "static", "", 75, 43, 28, 12, kText, WS_EX_CLIENTEDGE},
             {IDC_MINUTES, "edit", "", 77, 45, 8, 9, kTab | ES_RIGHT | ES_NUMBER, 0},
             {IDC_SECONDS, "edit", "", 91, 45, 8, 9, kTab | ES_RIGHT | ES_NUMBER, 0},
             {IDC_COLON, "static", ":", 87, 45, 2, 8,
              kChild | WS_GROUP | SS_CENTER | SS_CENTERIMAGE, kClear},
         },
         0},
        {IDD_ABOUT,
         {
             {8, "||MS Sans Serif", "About", 0, 0, 213, 164, kFrame | DS_3DLOOK | WS_VISIBLE, 0},
             {IDC_OK, "button", "OK", 156, 142, 50, 15, kTab | BS_PUSHBUTTON, 0},
             {-1, "static", "#" + std::to_string(IDI_SAVER_ON), 10, 10, 21, 20, kChild | SS_ICON,
              kClear},
             {IDC_SYSINFO, "button", "System Info...", 100, 143, 49, 14,
              kTab | WS_DISABLED | BS_PUSHBUTTON, 0},
             {-1, "static", "", 10, 135, 196, 1, kChild | SS_SUNKEN, 0},
             {IDC_TITLE, "static", "Dormity - Screen Saver Applet", 45, 10, 155, 10, kText, kClear},
             {IDC_VERSION, "static", "Version: " DORMITY_VERSION_TEXT, 45, 20, 55, 8, kText, 0},
             {IDC_CREDIT, "static", "(C) 2000-2026 The Dormity developers", 45, 35, 136, 8, kText, kClear},
             {IDC_BLINK, "button", "Blink when disabled.", 9, 146, 85, 10, kTab | BS_AUTOCHECKBOX,
              kClear},
             {IDC_KEEP_DISPLAY_ON, "button", "Keep the display on while the screen saver is off",
              9, 120, 196, 10, kTab | BS_AUTOCHECKBOX, kClear},
             {IDC_CHANGELOG, "edit", "", 45, 50, 160, 65,
              kTab | WS_BORDER | WS_VSCROLL | ES_LEFT | ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL,
              0},
         },
         3},
    };
    for (const DialogRow& row : dialogs) {
        SCOPED_TRACE("dialog " + std::to_string(row.id));
        const std::vector<Control> got = parseDialog(row.id);
        ASSERT_EQ(got.size(), row.controls.size());
        for (size_t k = 0; k < got.size(); ++k)
            EXPECT_EQ(describe(got[k]), describe(row.controls[k])) << "control " << k;

        HWND dialog
            = CreateDialogParamA(self(), MAKEINTRESOURCEA(row.id), nullptr, idleDialogProc, 0);
        ASSERT_NE(dialog, nullptr) << "error " << GetLastError() << " (is there a display?)";
        size_t controls = 0, icons = 0, fitted = 0;
        for (HWND child = GetWindow(dialog, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            ++controls;
            char cls[64] = {}, text[512] = {};
            GetClassNameA(child, cls, sizeof cls);
            GetWindowTextA(child, text, sizeof text);
            if (lstrcmpiA(cls, "static") != 0) continue;
            if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                ++icons;
                EXPECT_NE(SendMessageA(child, STM_GETICON, 0, 0), 0) << "the icon resolves";
            } else if (row.fittedTexts && text[0]) {
                ++fitted;
                HDC dc = GetDC(child);
                const LRESULT font = SendMessageA(child, WM_GETFONT, 0, 0);
                HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(font));
                SIZE extent = {};
                GetTextExtentPoint32A(dc, text, lstrlenA(text), &extent);
                SelectObject(dc, old);
                ReleaseDC(child, dc);
                RECT client = {};
                GetClientRect(child, &client);
                EXPECT_LE(extent.cx, client.right) << "\"" << text << "\" clips";
            }
        }
        EXPECT_EQ(controls, row.controls.size() - 1);
        EXPECT_EQ(icons, 1u);
        EXPECT_EQ(fitted, row.fittedTexts);
        if (row.id == IDD_TIMEOUT) {
            EXPECT_EQ(SendMessageA(dialog, DM_GETDEFID, 0, 0), MAKELRESULT(IDC_OK, DC_HASDEFID));
        }
        DestroyWindow(dialog);
    }
}

// version.dll is bound at run time, so the test needs no import library of it.
TEST(VersionInfo, FixedPartStringsAndTranslation) {
    UniqueModule library(LoadLibraryA("version.dll"));
    ASSERT_TRUE(library);
    auto getSize
        = findFunction<DWORD(WINAPI*)(LPCSTR, LPDWORD)>(library.get(), "GetFileVersionInfoSizeA");
    auto getInfo = findFunction<BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID)>(library.get(),
                                                                             "GetFileVersionInfoA");
    auto query = findFunction<BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT)>(library.get(),
                                                                              "VerQueryValueA");
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    std::vector<BYTE> block(getSize && getInfo && query ? getSize(path, &ignored) : 0);
    ASSERT_FALSE(block.empty()) << "no version resource";
    ASSERT_TRUE(getInfo(path, 0, static_cast<DWORD>(block.size()), block.data()));
    void* found = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query(block.data(), "\\", &found, &length) && length >= sizeof(VS_FIXEDFILEINFO));
    const VS_FIXEDFILEINFO* fixed = static_cast<VS_FIXEDFILEINFO*>(found);
    // Signature, file and product version 2.0.6.0, a program, no debug, pre-release or patched
    // flags.
    EXPECT_EQ(std::make_tuple(fixed->dwSignature, fixed->dwFileVersionMS, fixed->dwFileVersionLS,
                              fixed->dwProductVersionMS, fixed->dwProductVersionLS,
                              fixed->dwFileType, fixed->dwFileFlags & fixed->dwFileFlagsMask),
              std::make_tuple(0xFEEF04BDul, 0x20000ul, 0x60000ul, 0x20000ul, 0x60000ul,
                              DWORD(VFT_APP), 0ul));
    const std::pair<const char*, const char*> strings[] = {
        {"FileVersion", "2.06.00"}, {"ProductVersion", "2.06.00"}, {"ProductName", "Dormity"},
        {"FileDescription", "Dormity - Screen Saver Applet"}, {"OriginalFilename", "Dormity.exe"},
        {"InternalName", "Dormity"}, {"CompanyName", "The Dormity developers"},
        {"LegalCopyright", "Copyright (C) 2000-2026 The Dormity developers"},
    };
    for (const auto& value : strings) {
        const std::string name = std::string("\\StringFileInfo\\040904b0\\") + value.first;
        found = nullptr;
        query(block.data(), name.c_str(), &found, &length);
        EXPECT_STREQ(found ? static_cast<char*>(found) : "<missing>", value.second) << value.first;
    }
    ASSERT_TRUE(query(block.data(), "\\VarFileInfo\\Translation", &found, &length) && length == 4);
    EXPECT_EQ(*static_cast<DWORD*>(found), static_cast<DWORD>(MAKELONG(0x409, 1200)))
        << "US English, Unicode";
}

TEST(Manifest, AsksForCommonControls6AndTheLoaderBindsThem) {
    const std::string text = resourceBytes(MAKEINTRESOURCEA(1), RT_MANIFEST);
    EXPECT_EQ(text.compare(0, 5, "<?xml"), 0);
    for (const char* needle : {"name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
                               "publicKeyToken=\"6595b64144ccf1df\"", "level=\"asInvoker\"",
                               "uiAccess=\"false\"", "version=\"2.0.6.0\"", "</assembly>",
                               // Per-monitor where Windows has it, else the session's DPI.
                               ">PerMonitorV2, system</dpiAwareness>", ">true</dpiAware>"})
        EXPECT_NE(text.find(needle), std::string::npos) << needle;
    EXPECT_EQ(resourceNames(RT_MANIFEST), std::vector<int>{1}) << "the process manifest only";
    // Accepted by the loader: comctl32 comes from the version 6 side-by-side
    // assembly (Wine's copy there still calls itself 5.81).
    UniqueModule comctl(LoadLibraryA("comctl32.dll"));
    char path[MAX_PATH] = {};
    ASSERT_TRUE(comctl && GetModuleFileNameA(comctl.get(), path, MAX_PATH));
    CharLowerA(path);
    EXPECT_TRUE(strstr(path, "microsoft.windows.common-controls") && strstr(path, "_6.0.")) << path;
}

}  // namespace
