#include "support/pixels.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <string.h>

#include <algorithm>

#include "base/handles.h"
#include "app/tray_window.h"
#include "saverconfig/native_system.h"

namespace {

std::vector<unsigned char> iconPixels(HICON icon)
{
    std::vector<unsigned char> pixels;
    ICONINFO info;
    if (!icon || !GetIconInfo(icon, &info))
        return pixels;
    UniqueGdiObject color(info.hbmColor), mask(info.hbmMask);
    BITMAPINFO bitmap{};
    bitmap.bmiHeader = {sizeof bitmap.bmiHeader, 16, 16, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    pixels.resize(16 * 16 * 4 * 2);
    WindowDC screen(nullptr);
    if (color)
        GetDIBits(screen.get(), static_cast<HBITMAP>(color.get()), 0, 16, pixels.data(), &bitmap,
                  DIB_RGB_COLORS);
    GetDIBits(screen.get(), static_cast<HBITMAP>(mask.get()), 0, 16, pixels.data() + 16 * 16 * 4,
              &bitmap, DIB_RGB_COLORS);
    return pixels;
}

HICON programIcon(int resourceId)
{
    return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resourceId),
                                         IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
}

} // namespace

bool iconShows(HICON icon, int resourceId)
{
    UniqueIcon expected(programIcon(resourceId));
    std::vector<unsigned char> actual = iconPixels(icon);
    return !actual.empty() && actual == iconPixels(expected.get());
}

bool timerRuns(HWND window, UINT_PTR id, UINT periodMs)
{
    // SetTimer with a known id replaces the running one.
    return KillTimer(window, id) && SetTimer(window, id, periodMs, nullptr);
}

bool resourcesStillAvailable()
{
    UniqueIcon icon(programIcon(104));
    UniqueGdiObject created(CreateFontA(-11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Tahoma"));
    HMENU menu = CreatePopupMenu();
    bool appended = menu && AppendMenuA(menu, MF_STRING, 1, "x");
    if (menu)
        DestroyMenu(menu);
    return icon && created && appended;
}

MenuItemView menuItemAt(HMENU menu, UINT item, bool byPosition)
{
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_DATA | MIIM_SUBMENU;
    if (!GetMenuItemInfoA(menu, item, byPosition, &info)) {
        ADD_FAILURE() << "no menu item " << item << (byPosition ? " by position" : " by command");
        return MenuItemView{menu, 0, 0, 0, 0, nullptr};
    }
    return MenuItemView{menu, info.wID, info.fType, info.fState, info.dwItemData, info.hSubMenu};
}

std::vector<MenuItemView> menuItems(HMENU menu)
{
    std::vector<MenuItemView> items;
    for (int i = 0, count = GetMenuItemCount(menu); i < count; ++i)
        items.push_back(menuItemAt(menu, static_cast<UINT>(i), true));
    return items;
}

namespace {

void collectOwnerDrawn(HMENU menu, std::vector<MenuItemView>* items)
{
    for (const MenuItemView& item : menuItems(menu)) {
        if (item.type & MFT_OWNERDRAW)
            items->push_back(item);
        if (item.submenu)
            collectOwnerDrawn(item.submenu, items);
    }
}

} // namespace

std::vector<MenuItemView> ownerDrawnItems(const TrayWindow& tray)
{
    std::vector<MenuItemView> items;
    if (tray.popupMenu)
        collectOwnerDrawn(tray.popupMenu, &items);
    return items;
}

HMENU saverSubmenu(TrayWindow& tray) { return GetSubMenu(tray.popupMenu, 0); }

void openMenu(TrayWindow& tray, HMENU menu)
{
    SendMessageA(tray.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu),
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
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    return metrics.lfMenuFont;
}

int menuFontPointsHere(HWND window)
{
    WindowDC dc(window);
    return -MulDiv(menuLogFont().lfHeight, 72, GetDeviceCaps(dc.get(), LOGPIXELSY));
}

Canvas::Canvas(int width, int height)
    : dc_(CreateCompatibleDC(nullptr)), width_(width), height_(height)
{
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint32_t*>(bits);
    previousBitmap_ = SelectObject(dc_, bitmap_);
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

COLORREF Canvas::at(int x, int y) const
{
    uint32_t pixel = bits_[y * width_ + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

void Canvas::fill(COLORREF colour)
{
    UniqueGdiObject brush(CreateSolidBrush(colour));
    RECT all = rect();
    FillRect(dc_, &all, static_cast<HBRUSH>(brush.get()));
}

bool Canvas::sameAs(const Canvas& other, int left, int top, int right, int bottom) const
{
    GdiFlush();
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            if (at(x, y) != other.at(x, y))
                return false;
    return true;
}

int Canvas::count(COLORREF colour, bool equal, int left, int top, int right, int bottom) const
{
    GdiFlush();
    int count = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            count += (at(x, y) == colour) == equal;
    return count;
}

int Canvas::firstColumnNot(COLORREF colour, int left, int right, int top, int bottom) const
{
    while (left < right && !count(colour, false, left, top, left + 1, bottom))
        ++left;
    return left;
}

int Canvas::lastColumnNot(COLORREF colour, int left, int right, int top, int bottom) const
{
    int x = right - 1;
    while (x >= left && !count(colour, false, x, top, x + 1, bottom))
        --x;
    return x;
}

namespace {

LRESULT sendDrawItem(HWND window, HMENU menu, HDC dc, RECT rect, UINT id, ULONG_PTR data,
                     UINT state)
{
    DRAWITEMSTRUCT item = {ODT_MENU, 0, id, ODA_DRAWENTIRE, state,
                           reinterpret_cast<HWND>(menu), dc, rect, data};
    LRESULT result = SendMessageA(window, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item));
    GdiFlush();
    return result;
}

int itemHeight() { return GetSystemMetrics(SM_CYMENUSIZE) + 2; }

} // namespace

LRESULT Canvas::draw(HWND window, const MenuItemView& item, bool selected)
{
    int rows = std::max(1, height_ / itemHeight());
    int top = (row_++ % rows) * itemHeight();
    // With the checked state, and the keyboard's cues hidden, as the system passes them to a
    // menu the mouse opened.
    UINT state = (selected ? ODS_SELECTED : 0u) | (item.state & MFS_CHECKED ? ODS_CHECKED : 0u)
        | ODS_NOACCEL;
    return sendDrawItem(window, item.menu, dc_, RECT{0, top, width_, top + itemHeight()}, item.id,
                        item.data, state);
}

BOOL drawItem(TrayWindow& tray, Canvas& canvas, UINT id, ULONG_PTR data, bool selected)
{
    return static_cast<BOOL>(sendDrawItem(tray.window, tray.popupMenu, canvas.dc(), canvas.rect(),
                                          id, data, (selected ? ODS_SELECTED : 0u) | ODS_NOACCEL));
}

std::vector<unsigned char> renderAllItems(HWND window, const std::vector<MenuItemView>& items)
{
    Canvas canvas(320, itemHeight() * static_cast<int>(items.size()) * 2);
    if (!canvas.valid())
        return {};
    for (const MenuItemView& item : items) {
        canvas.draw(window, item, false);
        canvas.draw(window, item, true);
    }
    return canvas.pixels();
}

int liveGdiObjects()
{
    // Wine lets a handle whose upper word is zero name its table slot
    // whatever the slot's generation.
    int count = 0;
    for (unsigned slot = 0; slot < 0x10000; ++slot)
        count += GetObjectType(reinterpret_cast<HGDIOBJ>(static_cast<ULONG_PTR>(slot))) != 0;
    return count;
}

HandleLevels probeHandleLevels()
{
    // Slot of a handle: GDI handles count one per slot in their low word, USER two, kernel four.
    const int kProbes = 64;
    HandleLevels levels = {0, 0, 0};
    HBRUSH brushes[kProbes];
    HMENU menus[kProbes];
    HANDLE events[kProbes];
    for (int i = 0; i < kProbes; ++i) {
        brushes[i] = CreateSolidBrush(RGB(i, 2 * i, 3 * i));
        menus[i] = CreatePopupMenu();
        events[i] = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        levels.gdi = std::max(levels.gdi,
                              static_cast<long>(LOWORD(reinterpret_cast<UINT_PTR>(brushes[i]))));
        levels.user = std::max(
            levels.user, static_cast<long>(LOWORD(reinterpret_cast<UINT_PTR>(menus[i])) >> 1));
        levels.kernel = std::max(levels.kernel,
                                 static_cast<long>(reinterpret_cast<UINT_PTR>(events[i]) >> 2));
    }
    for (int i = 0; i < kProbes; ++i) {
        DeleteObject(brushes[i]);
        DestroyMenu(menus[i]);
        CloseHandle(events[i]);
    }
    return levels;
}

PROCESS_MEMORY_COUNTERS memoryOf(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, &counters, sizeof counters);
    return counters;
}

SIZE_T mappedBytes()
{
    SIZE_T total = 0;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const BYTE* address = static_cast<const BYTE*>(system.lpMinimumApplicationAddress);
    MEMORY_BASIC_INFORMATION region;
    while (address < system.lpMaximumApplicationAddress
           && VirtualQuery(address, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && (region.Type == MEM_MAPPED || region.Type == MEM_IMAGE))
            total += region.RegionSize;
        address = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
    }
    return total;
}

// --- Counting icon calls by patching this executable's imports.

namespace {

decltype(&LoadImageA) realLoadImage = nullptr;
decltype(&DestroyIcon) realDestroyIcon = nullptr;
decltype(&SHGetFileInfoA) realFileInfo = nullptr;
volatile LONG loadedIcons = 0, shellIcons = 0, destroyedIcons = 0, refusedIcons = 0, strayIcons = 0;

decltype(&ExtTextOutW) realTextOut = nullptr;
decltype(&DrawIconEx) realDrawIconEx = nullptr;
bool recording = false;
DrawingRecord recorded;

HANDLE WINAPI countingLoadImage(HINSTANCE instance, LPCSTR name, UINT type, int width, int height,
                                UINT flags)
{
    HANDLE image = realLoadImage(instance, name, type, width, height, flags);
    if (image && type == IMAGE_ICON)
        InterlockedIncrement(&loadedIcons);
    // The program's own icons; a screen saver's are its file's.
    if (recording && type == IMAGE_ICON && IS_INTRESOURCE(name)
        && instance == GetModuleHandleA(nullptr))
        recorded.loads.push_back({static_cast<int>(reinterpret_cast<ULONG_PTR>(name)), width,
                                  height});
    return image;
}

BOOL WINAPI recordingTextOut(HDC dc, int x, int y, UINT options, const RECT* clip, LPCWSTR text,
                             UINT length, const INT* widths)
{
    SIZE extent = {0, 0};
    char ansi[1024] = "";
    if (recording && GetTextExtentPoint32W(dc, text, static_cast<int>(length), &extent)
        && WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), ansi, sizeof ansi - 1,
                               nullptr, nullptr) >= 0)
        recorded.texts.push_back({x, y, x + extent.cx, ansi});
    return realTextOut(dc, x, y, options, clip, text, length, widths);
}

BOOL WINAPI recordingDrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height,
                                UINT step, HBRUSH brush, UINT flags)
{
    if (recording)
        recorded.icons.push_back({x, y, width, height});
    return realDrawIconEx(dc, x, y, icon, width, height, step, brush, flags);
}

BOOL WINAPI countingDestroyIcon(HICON icon)
{
    BOOL destroyed = realDestroyIcon(icon);
    InterlockedIncrement(destroyed ? &destroyedIcons : &refusedIcons);
    return destroyed;
}

DWORD_PTR WINAPI countingFileInfo(LPCSTR path, DWORD attributes, SHFILEINFOA* info, UINT size,
                                  UINT flags)
{
    DWORD_PTR result = realFileInfo(path, attributes, info, size, flags);
    if ((flags & SHGFI_ICON) && info && info->hIcon)
        InterlockedIncrement(result ? &shellIcons : &strayIcons);
    return result;
}

} // namespace

bool countIconCalls()
{
    if (!realLoadImage)
        realLoadImage = patchImport("user32.dll", "LoadImageA", &countingLoadImage);
    if (!realDestroyIcon)
        realDestroyIcon = patchImport("user32.dll", "DestroyIcon", &countingDestroyIcon);
    if (!realFileInfo)
        realFileInfo = patchImport("shell32.dll", "SHGetFileInfoA", &countingFileInfo);
    return realLoadImage && realDestroyIcon && realFileInfo;
}

bool recordDrawing()
{
    if (!realTextOut)
        realTextOut = patchImport("gdi32.dll", "ExtTextOutW", &recordingTextOut);
    if (!realDrawIconEx)
        realDrawIconEx = patchImport("user32.dll", "DrawIconEx", &recordingDrawIconEx);
    recording = countIconCalls() && realTextOut && realDrawIconEx;
    recorded = DrawingRecord();
    return recording;
}

DrawingRecord takeDrawing()
{
    recording = false;
    DrawingRecord taken = recorded;
    recorded = DrawingRecord();
    return taken;
}

bool iconResourceHasSize(int resourceId, int size)
{
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC group = FindResourceA(self, MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(14));
    BYTE* directory = group ? static_cast<BYTE*>(LockResource(LoadResource(self, group))) : nullptr;
    int image = directory ? LookupIconIdFromDirectoryEx(directory, TRUE, size, size,
                                                        LR_DEFAULTCOLOR) : 0;
    HRSRC found = image ? FindResourceA(self, MAKEINTRESOURCEA(image), MAKEINTRESOURCEA(3)) : nullptr;
    const BITMAPINFOHEADER* header = found
        ? static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(self, found))) : nullptr;
    return header && header->biWidth == size && header->biHeight == 2 * size;
}

IconCalls iconCalls()
{
    return IconCalls{loadedIcons, shellIcons, destroyedIcons, refusedIcons, strayIcons};
}

bool showsProgramIcon(const Canvas& canvas, int left, int top, int resourceId,
                      COLORREF background)
{
    Canvas expected(canvas.width(), canvas.height());
    expected.fill(background);
    UniqueIcon icon(programIcon(resourceId));
    return icon && DrawIconEx(expected.dc(), left, top, icon.get(), 16, 16, 0, nullptr, DI_NORMAL)
        && canvas.sameAs(expected, left, top, left + 16, top + 16);
}

// --- The native view watched.

namespace {

volatile LONG viewStretches = 0, viewModulesLoaded = 0;
int viewDepth = 0;
DWORD modulesAtStart = 0;
std::vector<std::string> callsInView;

DWORD loadedModules()
{
    HMODULE modules[1024];
    DWORD needed = 0;
    EnumProcessModules(GetCurrentProcess(), modules, sizeof modules, &needed);
    return needed / sizeof(HMODULE);
}

// Views nest: redirection is back on only as the outermost one ends.
void watchView(bool off)
{
    if (off) {
        if (viewDepth++ == 0)
            modulesAtStart = loadedModules();
        InterlockedIncrement(&viewStretches);
    } else if (--viewDepth == 0 && loadedModules() != modulesAtStart) {
        InterlockedIncrement(&viewModulesLoaded);
    }
}

void noteCall(const char* name)
{
    if (viewDepth > 0)
        callsInView.push_back(name);
}

decltype(&SHGetFileInfoA) viewFileInfo = nullptr;
decltype(&ExtTextOutW) viewTextOut = nullptr;
decltype(&GetTextExtentPoint32W) viewTextExtent = nullptr;
decltype(&LoadLibraryA) viewLoadLibrary = nullptr;
decltype(&LoadLibraryExA) viewLoadLibraryEx = nullptr;

DWORD_PTR WINAPI watchedFileInfo(LPCSTR path, DWORD attributes, SHFILEINFOA* info, UINT size,
                                 UINT flags)
{
    noteCall("SHGetFileInfoA");
    return viewFileInfo(path, attributes, info, size, flags);
}
BOOL WINAPI watchedTextOut(HDC dc, int x, int y, UINT options, const RECT* clip, LPCWSTR text,
                           UINT length, const INT* widths)
{
    noteCall("ExtTextOutW");
    return viewTextOut(dc, x, y, options, clip, text, length, widths);
}
BOOL WINAPI watchedTextExtent(HDC dc, LPCWSTR text, int length, LPSIZE size)
{
    noteCall("GetTextExtentPoint32W");
    return viewTextExtent(dc, text, length, size);
}
HMODULE WINAPI watchedLoadLibrary(LPCSTR name)
{
    noteCall("LoadLibraryA");
    return viewLoadLibrary(name);
}
HMODULE WINAPI watchedLoadLibraryEx(LPCSTR name, HANDLE file, DWORD flags)
{
    noteCall("LoadLibraryExA");
    return viewLoadLibraryEx(name, file, flags);
}

decltype(&WinExec) viewWinExec = nullptr;
decltype(&CreateProcessA) viewCreateProcess = nullptr;

UINT WINAPI watchedWinExec(LPCSTR line, UINT show)
{
    noteCall("WinExec");
    return viewWinExec(line, show);
}
BOOL WINAPI watchedCreateProcess(LPCSTR name, LPSTR line, LPSECURITY_ATTRIBUTES process,
                                 LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags,
                                 LPVOID environment, LPCSTR directory, LPSTARTUPINFOA startup,
                                 LPPROCESS_INFORMATION started)
{
    noteCall("CreateProcessA");
    return viewCreateProcess(name, line, process, thread, inherit, flags, environment, directory,
                             startup, started);
}

using ExtractIconExFunction = UINT(WINAPI*)(LPCSTR, int, HICON*, HICON*, UINT);
ExtractIconExFunction viewExtractIcon = nullptr;
decltype(&GetProcAddress) viewProcAddress = nullptr;

UINT WINAPI watchedExtractIcon(LPCSTR file, int index, HICON* large, HICON* small, UINT count)
{
    noteCall("ExtractIconExA");
    return viewExtractIcon(file, index, large, small, count);
}
// The shell's icon extraction is looked up at run time: it is handed out watched.
FARPROC WINAPI watchedProcAddress(HMODULE module, LPCSTR name)
{
    FARPROC found = viewProcAddress(module, name);
    if (!found || IS_INTRESOURCE(name) || strcmp(name, "ExtractIconExA") != 0)
        return found;
    viewExtractIcon = reinterpret_cast<ExtractIconExFunction>(reinterpret_cast<void (*)()>(found));
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&watchedExtractIcon));
}

template <typename Function>
void watchImport(const char* dll, const char* function, Function watched, Function* real)
{
    if (!*real)
        *real = patchImport(dll, function, watched);
}

} // namespace

RedirectionWatch::RedirectionWatch()
{
    watchImport("shell32.dll", "SHGetFileInfoA", &watchedFileInfo, &viewFileInfo);
    watchImport("gdi32.dll", "ExtTextOutW", &watchedTextOut, &viewTextOut);
    watchImport("gdi32.dll", "GetTextExtentPoint32W", &watchedTextExtent, &viewTextExtent);
    watchImport("kernel32.dll", "LoadLibraryA", &watchedLoadLibrary, &viewLoadLibrary);
    watchImport("kernel32.dll", "LoadLibraryExA", &watchedLoadLibraryEx, &viewLoadLibraryEx);
    watchImport("kernel32.dll", "GetProcAddress", &watchedProcAddress, &viewProcAddress);
    watchImport("kernel32.dll", "WinExec", &watchedWinExec, &viewWinExec);
    watchImport("kernel32.dll", "CreateProcessA", &watchedCreateProcess, &viewCreateProcess);
    // The shell and text calls must be watched, or nothing could be seen.
    EXPECT_TRUE(viewFileInfo && viewTextOut && viewTextExtent && viewProcAddress)
        << "imports not found";
    viewStretches = 0;
    viewModulesLoaded = 0;
    callsInView.clear();
    viewDepth = 0;
    nativeViewWatch = &watchView;
}

RedirectionWatch::~RedirectionWatch()
{
    nativeViewWatch = nullptr;
}

long RedirectionWatch::stretches() const { return viewStretches; }
long RedirectionWatch::modulesLoaded() const { return viewModulesLoaded; }
std::vector<std::string> RedirectionWatch::callsInside() const { return callsInView; }
