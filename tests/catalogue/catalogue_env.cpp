#include "catalogue_env.h"

#include <gtest/gtest.h>
#include <string.h>

#include "app/application.h"
#include "app/handles.h"
#include "app/tray_window.h"
#include "saverconfig/saver_settings.h"
#include "support/wine_env.h"

namespace {

// Every name these tests and the benchmark install; leftovers of an
// interrupted run are recognised by them.
const char* const kOwnNames[] = {
    "starfield.scr", "x.scr", "emptystr.scr", "long300.scr", "tenchars.scr", "marker.scr",
    "Long Name Saver.scr", "first.scr", "second.scr", "third.scr", "sysone.scr", "systwo.scr",
    "badheader.scr", "notes.scr", "truncated.scr", "badstr.scr", "renamed.scr", "twolang.scr",
    "otherlang.scr",
};

bool ownName(const std::string& name)
{
    for (const char* own : kOwnNames) {
        if (_stricmp(own, name.c_str()) == 0)
            return true;
    }
    return _strnicmp(name.c_str(), "dmcatbench", 10) == 0;
}

} // namespace

std::string saverDirectory(SaverDirectory where)
{
    return where == WINDOWS_DIRECTORY ? windowsDirectory() : systemDirectory();
}

std::string shortSaverDirectory(SaverDirectory where)
{
    return shortPath(saverDirectory(where));
}

std::string fixturePath(const char* fixture)
{
    return moduleDirectory() + "\\catalogue_fixtures\\" + fixture;
}

std::vector<FoundFile> searchOrder(SaverDirectory where)
{
    std::vector<FoundFile> order;
    WIN32_FIND_DATAA found;
    UniqueFind search(FindFirstFileA((saverDirectory(where) + "\\*.scr").c_str(), &found));
    if (!search)
        return order;
    do {
        order.push_back({found.cFileName, found.cAlternateFileName});
    } while (FindNextFileA(search.get(), &found));
    return order;
}

std::string catalogueFileName(SaverDirectory where, const FoundFile& found)
{
    return shortSaverDirectory(where) + "\\"
        + (found.shortName.empty() ? found.longName : found.shortName);
}

std::string catalogueFileNameOf(SaverDirectory where, const std::string& longName)
{
    for (const FoundFile& found : searchOrder(where)) {
        if (_stricmp(found.longName.c_str(), longName.c_str()) == 0)
            return catalogueFileName(where, found);
    }
    ADD_FAILURE() << longName << " is not installed";
    return "";
}

InstalledSavers::InstalledSavers()
{
    std::string foreign;
    for (SaverDirectory where : {WINDOWS_DIRECTORY, SYSTEM_DIRECTORY}) {
        for (const FoundFile& found : searchOrder(where)) {
            std::string path = saverDirectory(where) + "\\" + found.longName;
            if (ownName(found.longName))
                DeleteFileA(path.c_str());
            else
                foreign += " " + path;
        }
    }
    if (!foreign.empty())
        ADD_FAILURE() << "screen saver files of unknown origin in the prefix:" << foreign;
}

InstalledSavers::~InstalledSavers()
{
    removeAll();
}

std::string InstalledSavers::install(const char* fixture, SaverDirectory where, const char* name)
{
    std::string target = saverDirectory(where) + "\\" + name;
    EXPECT_TRUE(CopyFileA(fixturePath(fixture).c_str(), target.c_str(), FALSE))
        << "cannot install " << fixturePath(fixture) << " as " << target;
    installed_.push_back(target);
    return target;
}

void InstalledSavers::replaceContent(const std::string& path, const char* fixture)
{
    std::string bytes = readFileBytes(fixturePath(fixture));
    ASSERT_FALSE(bytes.empty()) << fixture;
    writeFileBytes(path, bytes.data(), bytes.size());
}

std::string InstalledSavers::rename(const std::string& path, const char* name)
{
    std::string target = path.substr(0, path.find_last_of('\\') + 1) + name;
    EXPECT_TRUE(MoveFileA(path.c_str(), target.c_str())) << path << " to " << target;
    for (std::string& installed : installed_) {
        if (installed == path)
            installed = target;
    }
    return target;
}

void InstalledSavers::removeAll()
{
    for (const std::string& path : installed_)
        DeleteFileA(path.c_str());
    installed_.clear();
}

namespace {

OSVERSIONINFOA reportedVersion()
{
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    return version;
}

} // namespace

bool runningAsWin9x()
{
    return reportedVersion().dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

bool runningAsWin2kOrLater()
{
    OSVERSIONINFOA version = reportedVersion();
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5;
}

void configureSaver(const std::string& fileName)
{
    if (runningAsWin9x())
        setIniSaver(fileName.c_str());
    else
        setRegString(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE", fileName.c_str());
}

void clearConfiguredSaver()
{
    setIniSaver(nullptr);
    deleteRegValue(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE");
}

MenuItemView menuItemAt(HMENU menu, UINT item, bool byPosition)
{
    MENUITEMINFOA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_DATA | MIIM_SUBMENU;
    MenuItemView view = {0, 0, 0, 0, nullptr};
    if (!GetMenuItemInfoA(menu, item, byPosition ? TRUE : FALSE, &info)) {
        ADD_FAILURE() << "no menu item " << item << (byPosition ? " by position" : " by command");
        return view;
    }
    view.id = info.wID;
    view.type = info.fType;
    view.state = info.fState;
    view.data = info.dwItemData;
    view.submenu = info.hSubMenu;
    return view;
}

std::vector<MenuItemView> menuItems(HMENU menu)
{
    std::vector<MenuItemView> items;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i)
        items.push_back(menuItemAt(menu, static_cast<UINT>(i), true));
    return items;
}

HMENU saverSubmenu(TrayWindow& tray)
{
    return GetSubMenu(tray.popupMenu, 0);
}

void openPopup(TrayWindow& tray)
{
    SendMessageA(tray.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(tray.popupMenu),
                 MAKELPARAM(0, FALSE));
}

void openSaverSubmenu(TrayWindow& tray)
{
    SendMessageA(tray.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(saverSubmenu(tray)),
                 MAKELPARAM(0, FALSE));
}

std::vector<const SaverEntry*> entriesNewestFirst(const TrayWindow& tray)
{
    std::vector<const SaverEntry*> entries;
    for (const SaverEntry* entry = tray.saverList; entry && entries.size() < 10000;
         entry = entry->next)
        entries.push_back(entry);
    return entries;
}

LOGFONTA menuLogFont()
{
    NONCLIENTMETRICSA metrics;
    memset(&metrics, 0, sizeof metrics);
    metrics.cbSize = 340;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, &metrics, 0);
    return metrics.lfMenuFont;
}

int menuFontPointsHere(HWND window)
{
    HDC dc = GetDC(window);
    int pixelsPerInch = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(window, dc);
    return -MulDiv(menuLogFont().lfHeight, 72, pixelsPerInch);
}

Canvas::Canvas(int width, int height)
    : dc_(CreateCompatibleDC(nullptr)), bitmap_(nullptr), previousBitmap_(nullptr),
      font_(nullptr), previousFont_(nullptr), bits_(nullptr), width_(width), height_(height)
{
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint32_t*>(bits);
    previousBitmap_ = SelectObject(dc_, bitmap_);
    // The menu's own DC holds the menu font when the system asks for a draw.
    LOGFONTA font = menuLogFont();
    font_ = CreateFontIndirectA(&font);
    previousFont_ = SelectObject(dc_, font_);
}

Canvas::~Canvas()
{
    SelectObject(dc_, previousFont_);
    SelectObject(dc_, previousBitmap_);
    DeleteObject(font_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

RECT Canvas::rect() const
{
    RECT rect = {0, 0, width_, height_};
    return rect;
}

COLORREF Canvas::at(int x, int y) const
{
    uint32_t pixel = bits_[y * width_ + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

void Canvas::fill(COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    RECT all = rect();
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
}

bool Canvas::sameAs(const Canvas& other, int left, int top, int right, int bottom) const
{
    GdiFlush();
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            if (at(x, y) != other.at(x, y))
                return false;
        }
    }
    return true;
}

int Canvas::countOther(COLORREF colour, int left, int top, int right, int bottom) const
{
    GdiFlush();
    int count = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x)
            count += at(x, y) != colour;
    }
    return count;
}

int Canvas::countExactly(COLORREF colour, int left, int top, int right, int bottom) const
{
    GdiFlush();
    int count = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x)
            count += at(x, y) == colour;
    }
    return count;
}

int Canvas::firstColumnNot(COLORREF colour, int left, int right, int top, int bottom) const
{
    GdiFlush();
    for (int x = left; x < right; ++x) {
        for (int y = top; y < bottom; ++y) {
            if (at(x, y) != colour)
                return x;
        }
    }
    return right;
}

int Canvas::lastColumnNot(COLORREF colour, int left, int right, int top, int bottom) const
{
    GdiFlush();
    for (int x = right - 1; x >= left; --x) {
        for (int y = top; y < bottom; ++y) {
            if (at(x, y) != colour)
                return x;
        }
    }
    return left - 1;
}

BOOL drawItem(TrayWindow& tray, Canvas& canvas, UINT id, ULONG_PTR data, bool selected)
{
    DRAWITEMSTRUCT item;
    memset(&item, 0, sizeof item);
    item.CtlType = ODT_MENU;
    item.itemID = id;
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = selected ? ODS_SELECTED : 0;
    item.hwndItem = reinterpret_cast<HWND>(tray.popupMenu);
    item.hDC = canvas.dc();
    item.rcItem = canvas.rect();
    item.itemData = data;
    BOOL result = static_cast<BOOL>(
        SendMessageA(tray.window, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item)));
    GdiFlush();
    return result;
}

int liveGdiObjects()
{
    // Wine lets a handle whose upper word is zero name its table slot
    // whatever the slot's generation, so every slot can be asked for the
    // type of the object it holds.
    int count = 0;
    for (unsigned slot = 0; slot < 0x10000; ++slot)
        count += GetObjectType(reinterpret_cast<HGDIOBJ>(static_cast<ULONG_PTR>(slot))) != 0;
    return count;
}
