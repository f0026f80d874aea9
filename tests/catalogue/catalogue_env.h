// Shared ground of the catalogue, popup and drawing tests: fixture screen
// saver files installed into the prefix's Windows and System directories,
// the program's own menus read back with the menu API, and a memory canvas
// that owner-drawn items are rendered into.
#pragma once
#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

struct Application;
struct SaverEntry;
struct TrayWindow;

enum SaverDirectory { WINDOWS_DIRECTORY, SYSTEM_DIRECTORY };

// The directory as the system names it, and in the short form that the
// catalogue writes into every entry's file name.
std::string saverDirectory(SaverDirectory where);
std::string shortSaverDirectory(SaverDirectory where);

// A fixture file built next to the test executable ("starfield.scr" ...).
std::string fixturePath(const char* fixture);

// What the directory search returns for "*.scr", in its own order.
struct FoundFile {
    std::string longName;
    std::string shortName;  // empty when the long name is already 8.3
};
std::vector<FoundFile> searchOrder(SaverDirectory where);
// "short directory\short name (or long name)", the form the catalogue keeps.
std::string catalogueFileName(SaverDirectory where, const FoundFile& found);
// The same for an installed file found by its long name ("" if absent).
std::string catalogueFileNameOf(SaverDirectory where, const std::string& longName);

// Screen saver files installed for one test and removed again afterwards.
// Construction removes what an interrupted run of these tests left behind
// and fails the test when files of unknown origin are present, since every
// expectation counts the files in both directories.
class InstalledSavers {
public:
    InstalledSavers();
    ~InstalledSavers();
    InstalledSavers(const InstalledSavers&) = delete;
    InstalledSavers& operator=(const InstalledSavers&) = delete;

    // Copies a fixture into the directory under the given name; returns the
    // full long path.
    std::string install(const char* fixture, SaverDirectory where, const char* name);
    // Puts another fixture's bytes into an installed file, keeping its
    // directory entry (and so its place in the search order).
    void replaceContent(const std::string& path, const char* fixture);
    // Gives an installed file another name in its directory; returns the
    // new full path.
    std::string rename(const std::string& path, const char* name);
    void removeAll();

private:
    std::vector<std::string> installed_;
};

// The configured screen saver in the store of the running family.
void configureSaver(const std::string& fileName);
void clearConfiguredSaver();

// Whether this run stands for the 95 family (or Windows 2000 and later),
// judged from what the system reports, not from the program.
bool runningAsWin9x();
bool runningAsWin2kOrLater();

// One item of a menu as the menu API reports it.
struct MenuItemView {
    UINT id;
    UINT type;
    UINT state;
    ULONG_PTR data;
    HMENU submenu;
};
MenuItemView menuItemAt(HMENU menu, UINT item, bool byPosition);
std::vector<MenuItemView> menuItems(HMENU menu);

HMENU saverSubmenu(TrayWindow& tray);
// What the system sends when the menus open.
void openPopup(TrayWindow& tray);
void openSaverSubmenu(TrayWindow& tray);

// The list walked from the newest entry, as the program links it.
std::vector<const SaverEntry*> entriesNewestFirst(const TrayWindow& tray);

// The menu font's size in points at the hidden window's display, computed
// here from the system's metrics.
int menuFontPointsHere(HWND window);
LOGFONTA menuLogFont();

// A top-down 32-bit DIB selected into a memory DC with the menu font.
class Canvas {
public:
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    RECT rect() const;
    // The pixel as a COLORREF.
    COLORREF at(int x, int y) const;
    void fill(COLORREF colour);
    bool sameAs(const Canvas& other, int left, int top, int right, int bottom) const;
    // Pixels in [left, right) x [top, bottom) that are (not) the colour.
    int countOther(COLORREF colour, int left, int top, int right, int bottom) const;
    int countExactly(COLORREF colour, int left, int top, int right, int bottom) const;
    // First (last) column in [left, right) holding a pixel other than
    // colour within the rows; right (left - 1) when there is none.
    int firstColumnNot(COLORREF colour, int left, int right, int top, int bottom) const;
    int lastColumnNot(COLORREF colour, int left, int right, int top, int bottom) const;

private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ previousBitmap_;
    HFONT font_;
    HGDIOBJ previousFont_;
    uint32_t* bits_;
    int width_;
    int height_;
};

// Sends WM_DRAWITEM for one menu item drawn into the canvas's whole area.
BOOL drawItem(TrayWindow& tray, Canvas& canvas, UINT id, ULONG_PTR data, bool selected);

// Live GDI objects of this process, counted through Wine's handle table.
int liveGdiObjects();
