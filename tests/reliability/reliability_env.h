// Measuring and staging helpers shared by the soak, bad-input and fault
// tests: handle-table probes, private memory, screen saver files installed
// in the Windows directory, a registry key saved and put back, a seeded
// random source, and drawing a menu item the way the system does.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <string>
#include <vector>

struct TrayWindow;

// Highest slot that a fresh object of each kind gets. Wine hands out GDI,
// USER and kernel handles from tables that reuse freed slots, so over
// balanced work these stay flat, and every object that is never released
// pushes them up by one. GetGuiResources and GetProcessHandleCount report
// nothing under Wine, which is why the tables are probed instead.
struct HandleLevels {
    long gdi;
    long user;
    long kernel;
};
HandleLevels probeHandleLevels();

// The process's private committed bytes.
SIZE_T privateBytes();

// Bytes of files mapped into the process, as images or data: a module or a
// view that is never released stays here (Wine closes the file and section
// handles of a mapped module at once, so the kernel probe cannot see it).
SIZE_T mappedBytes();

// Icons created through this executable's imports (the program's own code
// is linked into it): LoadImageA with IMAGE_ICON, the shell's icons from
// SHGetFileInfoA, and DestroyIcon (refused: the system said no, as it does
// for an icon it shares). Counting starts with the first call.
struct IconCalls {
    long loaded;
    long shellIcons;
    long destroyed;
    long refused;
    long stray;  // handles left in the record by a shell call that failed
};
bool countIconCalls();
IconCalls iconCalls();

// The reliability fixture screen saver (string 1 "Reliability Fixture").
std::string fixtureSaverPath();
std::string fixtureDescription();

// Files copied into the Windows directory under a common name prefix and
// removed again when the object goes (and before, in case an earlier run
// was killed half way).
class InstalledFiles {
public:
    explicit InstalledFiles(const char* namePrefix);
    ~InstalledFiles();
    InstalledFiles(const InstalledFiles&) = delete;
    InstalledFiles& operator=(const InstalledFiles&) = delete;

    // Copies source as "<prefix><index>.scr"; returns the long path.
    std::string copy(const std::string& source, int index);
    // Writes bytes as "<prefix><index>.scr"; false when the file is held
    // open by someone who denies writing (a sound still playing it, say).
    bool write(const std::vector<unsigned char>& bytes, int index);
    std::string pathOf(int index) const;
    // The path in the form the catalogue stores: short directory, short name.
    std::string catalogueNameOf(int index) const;
    void removeAll();

private:
    std::string prefix_;
};

// A whole registry key, its values and subkeys, kept in memory so that a
// test can delete or change the key and put back every byte of it.
class SavedRegistryKey {
public:
    SavedRegistryKey(HKEY root, const char* path);
    ~SavedRegistryKey();  // restores, if restore() was not called since a change
    SavedRegistryKey(const SavedRegistryKey&) = delete;
    SavedRegistryKey& operator=(const SavedRegistryKey&) = delete;

    // False when the key did not exist: then restoring removes it again.
    bool existed() const { return existed_; }
    size_t valueCount() const;
    // Deletes the key with all its subkeys; true when it is gone.
    bool removeFromRegistry();
    // Puts everything back, removing values and subkeys that were added;
    // true when the registry matches the copy again.
    bool restore();
    // Whether the registry holds exactly what was saved.
    bool matchesRegistry() const;

    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<unsigned char> data;
    };
    struct Node {
        std::wstring path;
        std::vector<Value> values;
    };

private:
    HKEY root_;
    std::wstring path_;
    std::vector<Node> nodes_;  // parents before children
    bool existed_;
    bool readable_;
};

// splitmix64: the same seed gives the same cases on every run and build.
class SeededRandom {
public:
    explicit SeededRandom(uint64_t seed) : state_(seed) {}
    uint64_t next();
    // Uniform in [0, bound) (bound > 0).
    uint32_t below(uint32_t bound) { return static_cast<uint32_t>(next() % bound); }
    bool chance(uint32_t percent) { return below(100) < percent; }
    std::vector<unsigned char> bytes(size_t count);

private:
    uint64_t state_;
};

// A seed from the environment variable or from "--seed=N" on the command
// line; otherwise one from the clock. Always printed, so that a failing run
// can be repeated with the same cases.
uint64_t chooseSeed(const char* environmentName);

// Whether "--name" was given on the command line (gtest leaves it alone).
bool commandLineHas(const char* flag);

// One owner-drawn menu item as the system presents it to WM_DRAWITEM.
struct MenuItemRef {
    HMENU menu;
    UINT id;
    ULONG_PTR data;
};
// Every owner-drawn item of the popup and of its two submenus, in menu
// order (separators and items that are not owner-drawn are left out).
std::vector<MenuItemRef> ownerDrawnItems(const TrayWindow& tray);

// A memory device context with a bitmap and the menu font selected, as the
// menu code gets from the system. Owned for the life of the object.
class ItemCanvas {
public:
    ItemCanvas(int width, int height);
    ~ItemCanvas();
    ItemCanvas(const ItemCanvas&) = delete;
    ItemCanvas& operator=(const ItemCanvas&) = delete;

    // Draws one item through the window procedure; the procedure's result.
    LRESULT draw(HWND window, const MenuItemRef& item, bool selected);
    // The pixels of the whole canvas.
    std::vector<unsigned char> pixels() const;
    bool valid() const { return dc_ && bitmap_ && font_; }

private:
    int width_;
    int height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ oldBitmap_;
    HFONT font_;
    HGDIOBJ oldFont_;
    int row_;
};

// Everything that every item of the menu looks like, selected and not,
// drawn one below the other: two calls give the same pixels exactly when
// the drawing is unchanged.
std::vector<unsigned char> renderAllItems(HWND window, const std::vector<MenuItemRef>& items);
