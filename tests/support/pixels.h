// What the program shows and holds: icons, menus, owner-drawn items, handles, memory.
#pragma once
#include <windows.h>
#include <psapi.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/tray_window.h"

// Whether icon shows the same 16x16 pixels as the program's icon resource.
bool iconShows(HICON icon, int resourceId);
// Whether a timer with this id runs on the window (checked by killing and restoring it).
bool timerRuns(HWND window, UINT_PTR id, UINT periodMs);
// Whether the process can still create GDI and user objects.
bool resourcesStillAvailable();

// One item of a menu as the menu API reports it.
struct MenuItemView {
    HMENU menu;
    UINT id;
    UINT type;
    UINT state;
    ULONG_PTR data;
    HMENU submenu;
};
MenuItemView menuItemAt(HMENU menu, UINT item, bool byPosition);
std::vector<MenuItemView> menuItems(HMENU menu);
// Every owner-drawn item of the popup and its submenus, in menu order.
std::vector<MenuItemView> ownerDrawnItems(const TrayWindow& tray);
HMENU saverSubmenu(TrayWindow& tray);
// What the system sends when a menu opens.
void openMenu(TrayWindow& tray, HMENU menu);
inline void openPopup(TrayWindow& tray) { openMenu(tray, tray.popupMenu); }
inline void openSaverSubmenu(TrayWindow& tray) { openMenu(tray, saverSubmenu(tray)); }
// The catalogue walked from the newest entry, as the program links it.
std::vector<const SaverEntry*> entriesNewestFirst(const TrayWindow& tray);

LOGFONTA menuLogFont();
// The menu font's size in points at the window's display, from the system's metrics.
int menuFontPointsHere(HWND window);

// A top-down 32-bit DIB in a memory DC with the menu font, as menus draw into.
class Canvas {
public:
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    RECT rect() const { return RECT{0, 0, width_, height_}; }
    bool valid() const { return dc_ && bitmap_ && font_; }
    COLORREF at(int x, int y) const;
    void fill(COLORREF colour);
    bool sameAs(const Canvas& other, int left, int top, int right, int bottom) const;
    // Pixels in [left, right) x [top, bottom) that are not (that are) the colour.
    int countOther(COLORREF colour, int left, int top, int right, int bottom) const
    {
        return count(colour, false, left, top, right, bottom);
    }
    int countExactly(COLORREF colour, int left, int top, int right, int bottom) const
    {
        return count(colour, true, left, top, right, bottom);
    }
    // First (last) column in [left, right) not all colour in the rows; right (left - 1): none.
    int firstColumnNot(COLORREF colour, int left, int right, int top, int bottom) const;
    int lastColumnNot(COLORREF colour, int left, int right, int top, int bottom) const;
    // Draws the item in the canvas's next row, as a menu lays them out.
    LRESULT draw(HWND window, const MenuItemView& item, bool selected);
    std::vector<unsigned char> pixels() const
    {
        GdiFlush();
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(bits_);
        return std::vector<unsigned char>(bytes, bytes + static_cast<size_t>(width_) * height_ * 4);
    }

private:
    int count(COLORREF colour, bool equal, int left, int top, int right, int bottom) const;
    HDC dc_;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    HFONT font_ = nullptr;
    HGDIOBJ previousFont_ = nullptr;
    uint32_t* bits_ = nullptr;
    int width_;
    int height_;
    int row_ = 0;
};

// WM_DRAWITEM for one item of the popup over the canvas's whole area.
BOOL drawItem(TrayWindow& tray, Canvas& canvas, UINT id, ULONG_PTR data, bool selected);
// Every item drawn plain and selected: the same pixels exactly when the drawing is unchanged.
std::vector<unsigned char> renderAllItems(HWND window, const std::vector<MenuItemView>& items);

// Live GDI objects, counted through Wine's handle table.
int liveGdiObjects();
// Highest slot a fresh object of each kind gets: Wine reuses freed slots, so a leak
// raises it (GetGuiResources and GetProcessHandleCount report nothing under Wine).
struct HandleLevels {
    long gdi;
    long user;
    long kernel;
};
HandleLevels probeHandleLevels();
PROCESS_MEMORY_COUNTERS memoryOf(HANDLE process);
inline SIZE_T privateBytes() { return memoryOf(GetCurrentProcess()).PagefileUsage; }
// Bytes of files mapped as images or data: Wine closes a mapped module's
// handles at once, so only this shows a module or view never released.
SIZE_T mappedBytes();

// Icon calls through this executable's imports (the program is linked in), from
// the first countIconCalls(); stray: icons left by a failed shell call.
struct IconCalls {
    long loaded;
    long shellIcons;
    long destroyed;
    long refused;
    long stray;
};
bool countIconCalls();
IconCalls iconCalls();

// Points this executable's import of dll!function at replacement; the original.
template <typename Function>
Function patchImport(const char* dll, const char* function, Function replacement)
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (const IMAGE_IMPORT_DESCRIPTOR* module =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports);
         imports && module->Name; ++module) {
        if (_stricmp(reinterpret_cast<const char*>(base + module->Name), dll) != 0
            || !module->OriginalFirstThunk)
            continue;
        const IMAGE_THUNK_DATA* names =
            reinterpret_cast<const IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slot) {
            if ((names->u1.Ordinal & IMAGE_ORDINAL_FLAG)
                || strcmp(reinterpret_cast<const char*>(
                              reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(
                                  base + names->u1.AddressOfData)->Name), function) != 0)
                continue;
            DWORD protection = 0;
            if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE,
                                &protection))
                return nullptr;
            Function original = reinterpret_cast<Function>(slot->u1.Function);
            slot->u1.Function = reinterpret_cast<DWORD_PTR>(replacement);
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
            return original;
        }
    }
    return nullptr;
}

// Whether the canvas shows the program's 16x16 icon resource at (left, top), drawn over the
// background colour as menus draw icons.
bool showsProgramIcon(const Canvas& canvas, int left, int top, int resourceId,
                      COLORREF background);

// While it lives, every stretch the program's native view turns WoW64 redirection off is
// watched: modules loaded inside one, and the calls this executable makes inside one of
// the functions that may load a module (shell, icon extraction, text, module loading,
// process starts).
class RedirectionWatch {
public:
    RedirectionWatch();
    ~RedirectionWatch();
    RedirectionWatch(const RedirectionWatch&) = delete;
    RedirectionWatch& operator=(const RedirectionWatch&) = delete;
    long stretches() const;
    long modulesLoaded() const;
    std::vector<std::string> callsInside() const;
};

// What the program draws through this executable's imports, from
// recordDrawing() to takeDrawing() (false: could not be patched): each text with where it ends in the font it was drawn in,
// each icon with its place and size, each icon resource asked for by size.
struct DrawnText {
    int x, y, right;
    std::string text;
};
struct DrawnIcon {
    int x, y, width, height;
};
struct LoadedIcon {
    int id, width, height;
};
struct DrawingRecord {
    std::vector<DrawnText> texts;
    std::vector<DrawnIcon> icons;
    std::vector<LoadedIcon> loads;
};
bool recordDrawing();
DrawingRecord takeDrawing();
// Whether the icon resource of this executable holds an image exactly size pixels square.
bool iconResourceHasSize(int resourceId, int size);
