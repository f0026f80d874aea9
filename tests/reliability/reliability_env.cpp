#include "reliability_env.h"

#include <gtest/gtest.h>
#include <mmsystem.h>
#include <psapi.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "app/handles.h"
#include "app/tray_window.h"
#include "support/wine_env.h"

namespace {

const int kProbeCount = 64;

// Table slot of a handle value: GDI handles count one per slot in their low
// word, USER handles two, kernel handles four.
long gdiSlot(HGDIOBJ object)
{
    return static_cast<long>(LOWORD(reinterpret_cast<UINT_PTR>(object)));
}
long userSlot(HANDLE object)
{
    return static_cast<long>(LOWORD(reinterpret_cast<UINT_PTR>(object)) >> 1);
}
long kernelSlot(HANDLE object)
{
    return static_cast<long>(reinterpret_cast<UINT_PTR>(object) >> 2);
}

} // namespace

HandleLevels probeHandleLevels()
{
    HandleLevels levels = {0, 0, 0};
    HBRUSH brushes[kProbeCount];
    HMENU menus[kProbeCount];
    HANDLE events[kProbeCount];
    for (int i = 0; i < kProbeCount; ++i) {
        brushes[i] = CreateSolidBrush(RGB(i, 2 * i, 3 * i));
        menus[i] = CreatePopupMenu();
        events[i] = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        levels.gdi = std::max(levels.gdi, gdiSlot(brushes[i]));
        levels.user = std::max(levels.user, userSlot(menus[i]));
        levels.kernel = std::max(levels.kernel, kernelSlot(events[i]));
    }
    for (int i = 0; i < kProbeCount; ++i) {
        if (brushes[i])
            DeleteObject(brushes[i]);
        if (menus[i])
            DestroyMenu(menus[i]);
        if (events[i])
            CloseHandle(events[i]);
    }
    return levels;
}

SIZE_T privateBytes()
{
    PROCESS_MEMORY_COUNTERS counters;
    memset(&counters, 0, sizeof counters);
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return counters.PagefileUsage;
}

// --- Counting icon calls ---------------------------------------------------

namespace {

typedef HANDLE(WINAPI* LoadImageFunction)(HINSTANCE, LPCSTR, UINT, int, int, UINT);
typedef BOOL(WINAPI* DestroyIconFunction)(HICON);
typedef DWORD_PTR(WINAPI* FileInfoFunction)(LPCSTR, DWORD, SHFILEINFOA*, UINT, UINT);

LoadImageFunction realLoadImage = nullptr;
DestroyIconFunction realDestroyIcon = nullptr;
FileInfoFunction realFileInfo = nullptr;
volatile LONG loadedIcons = 0;
volatile LONG shellIcons = 0;
volatile LONG destroyedIcons = 0;
volatile LONG refusedIcons = 0;
volatile LONG strayShellIcons = 0;

HANDLE WINAPI countingLoadImage(HINSTANCE instance, LPCSTR name, UINT type, int width, int height,
                                UINT flags)
{
    HANDLE image = realLoadImage(instance, name, type, width, height, flags);
    if (image && type == IMAGE_ICON)
        InterlockedIncrement(&loadedIcons);
    return image;
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
        InterlockedIncrement(result ? &shellIcons : &strayShellIcons);
    return result;
}

// Points this executable's import of dll!function at replacement.
void* patchImport(const char* dll, const char* function, void* replacement)
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress)
        return nullptr;
    for (const IMAGE_IMPORT_DESCRIPTOR* module =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         module->Name; ++module) {
        if (_stricmp(reinterpret_cast<const char*>(base + module->Name), dll) != 0
            || !module->OriginalFirstThunk)
            continue;
        const IMAGE_THUNK_DATA* names =
            reinterpret_cast<const IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        IMAGE_THUNK_DATA* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++addresses) {
            if (names->u1.Ordinal & IMAGE_ORDINAL_FLAG)
                continue;
            const IMAGE_IMPORT_BY_NAME* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0)
                continue;
            DWORD protection = 0;
            if (!VirtualProtect(&addresses->u1.Function, sizeof addresses->u1.Function,
                                PAGE_READWRITE, &protection))
                return nullptr;
            void* original = reinterpret_cast<void*>(addresses->u1.Function);
            addresses->u1.Function = reinterpret_cast<DWORD_PTR>(replacement);
            VirtualProtect(&addresses->u1.Function, sizeof addresses->u1.Function, protection,
                           &protection);
            return original;
        }
    }
    return nullptr;
}

} // namespace

bool countIconCalls()
{
    if (!realLoadImage)
        realLoadImage = reinterpret_cast<LoadImageFunction>(
            patchImport("user32.dll", "LoadImageA", reinterpret_cast<void*>(countingLoadImage)));
    if (!realDestroyIcon)
        realDestroyIcon = reinterpret_cast<DestroyIconFunction>(
            patchImport("user32.dll", "DestroyIcon", reinterpret_cast<void*>(countingDestroyIcon)));
    if (!realFileInfo)
        realFileInfo = reinterpret_cast<FileInfoFunction>(
            patchImport("shell32.dll", "SHGetFileInfoA", reinterpret_cast<void*>(countingFileInfo)));
    return realLoadImage && realDestroyIcon && realFileInfo;
}

IconCalls iconCalls()
{
    IconCalls calls = {loadedIcons, shellIcons, destroyedIcons, refusedIcons, strayShellIcons};
    return calls;
}

SIZE_T mappedBytes()
{
    SIZE_T total = 0;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const BYTE* address = static_cast<const BYTE*>(system.lpMinimumApplicationAddress);
    const BYTE* end = static_cast<const BYTE*>(system.lpMaximumApplicationAddress);
    MEMORY_BASIC_INFORMATION region;
    while (address < end && VirtualQuery(address, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && (region.Type == MEM_MAPPED || region.Type == MEM_IMAGE))
            total += region.RegionSize;
        address = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
    }
    return total;
}

std::string fixtureSaverPath()
{
    return moduleDirectory() + "\\reliability_saver.scr";
}

std::string fixtureDescription()
{
    return "Reliability Fixture";
}

// --- InstalledFiles -------------------------------------------------------

InstalledFiles::InstalledFiles(const char* namePrefix) : prefix_(namePrefix)
{
    removeAll();
}

InstalledFiles::~InstalledFiles()
{
    removeAll();
}

std::string InstalledFiles::pathOf(int index) const
{
    char name[64];
    snprintf(name, sizeof name, "%s%02d.scr", prefix_.c_str(), index);
    return windowsDirectory() + "\\" + name;
}

std::string InstalledFiles::catalogueNameOf(int index) const
{
    std::string path = pathOf(index);
    std::string name = shortPath(path);
    name = name.substr(name.find_last_of('\\') + 1);
    return shortPath(windowsDirectory()) + "\\" + name;
}

std::string InstalledFiles::copy(const std::string& source, int index)
{
    std::string path = pathOf(index);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(CopyFileA(source.c_str(), path.c_str(), FALSE))
        << "cannot copy " << source << " to " << path;
    return path;
}

bool InstalledFiles::write(const std::vector<unsigned char>& bytes, int index)
{
    std::string path = pathOf(index);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    for (int attempt = 0; attempt < 5; ++attempt) {
        UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            DWORD written = 0;
            WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
            return written == bytes.size();
        }
        // A sound named after the file may still be playing it.
        PlaySoundA(nullptr, nullptr, 0);
        Sleep(20);
    }
    return false;
}

void InstalledFiles::removeAll()
{
    std::string directory = windowsDirectory();
    WIN32_FIND_DATAA found;
    std::vector<std::string> names;
    {
        UniqueFind search(FindFirstFileA((directory + "\\" + prefix_ + "*.scr").c_str(), &found));
        if (!search)
            return;
        do
            names.push_back(found.cFileName);
        while (FindNextFileA(search.get(), &found));
    }
    for (const std::string& name : names) {
        std::string path = directory + "\\" + name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
}

// --- SavedRegistryKey -----------------------------------------------------

namespace {

std::wstring wide(const char* text)
{
    std::wstring out;
    for (; *text; ++text)
        out.push_back(static_cast<unsigned char>(*text));
    return out;
}

bool sameName(const std::wstring& a, const std::wstring& b)
{
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

// One key's values, exactly as the registry stores them (UTF-16 for texts),
// and the full paths of its subkeys. False when the key cannot be read.
bool readNode(HKEY root, const std::wstring& path, SavedRegistryKey::Node* node,
              std::vector<std::wstring>* children)
{
    UniqueRegKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    node->path = path;
    node->values.clear();
    std::vector<WCHAR> name(32768);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = 0;
        LONG result = RegEnumValueW(key.get(), index, name.data(), &nameLength, nullptr, &type,
                                    nullptr, &size);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS)
            return false;
        SavedRegistryKey::Value value;
        value.name.assign(name.data(), nameLength);
        value.type = type;
        value.data.resize(size + 2);
        nameLength = static_cast<DWORD>(name.size());
        result = RegEnumValueW(key.get(), index, name.data(), &nameLength, nullptr, &type,
                               value.data.data(), &size);
        if (result != ERROR_SUCCESS)
            return false;
        value.data.resize(size);
        node->values.push_back(value);
    }
    for (DWORD index = 0;; ++index) {
        WCHAR child[256];
        DWORD childLength = 256;
        LONG result = RegEnumKeyExW(key.get(), index, child, &childLength, nullptr, nullptr,
                                    nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS)
            return false;
        children->push_back(path + L"\\" + std::wstring(child, childLength));
    }
    return true;
}

bool readTree(HKEY root, const std::wstring& path, std::vector<SavedRegistryKey::Node>* nodes)
{
    SavedRegistryKey::Node node;
    std::vector<std::wstring> children;
    if (!readNode(root, path, &node, &children))
        return false;
    nodes->push_back(node);
    for (const std::wstring& child : children)
        if (!readTree(root, child, nodes))
            return false;
    return true;
}

void deleteTreeW(HKEY root, const std::wstring& path)
{
    std::vector<SavedRegistryKey::Node> nodes;
    if (!readTree(root, path, &nodes))
        return;
    // Children come after their parents: delete from the end.
    for (size_t i = nodes.size(); i-- > 0;)
        RegDeleteKeyW(root, nodes[i].path.c_str());
}

const SavedRegistryKey::Value* findValue(const std::vector<SavedRegistryKey::Value>& values,
                                         const std::wstring& name)
{
    for (const SavedRegistryKey::Value& value : values)
        if (sameName(value.name, name))
            return &value;
    return nullptr;
}

const SavedRegistryKey::Node* findNode(const std::vector<SavedRegistryKey::Node>& nodes,
                                       const std::wstring& path)
{
    for (const SavedRegistryKey::Node& node : nodes)
        if (sameName(node.path, path))
            return &node;
    return nullptr;
}

} // namespace

SavedRegistryKey::SavedRegistryKey(HKEY root, const char* path)
    : root_(root), path_(wide(path)), existed_(false), readable_(false)
{
    UniqueRegKey key;
    LONG opened = RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ, key.put());
    existed_ = opened == ERROR_SUCCESS;
    readable_ = existed_ ? readTree(root_, path_, &nodes_) : opened == ERROR_FILE_NOT_FOUND;
    EXPECT_TRUE(readable_) << "cannot save the registry key";
}

SavedRegistryKey::~SavedRegistryKey()
{
    if (readable_ && !matchesRegistry()) {
        EXPECT_TRUE(restore()) << "the registry key " << std::string(path_.begin(), path_.end())
                               << " could not be put back";
    }
}

size_t SavedRegistryKey::valueCount() const
{
    size_t count = 0;
    for (const Node& node : nodes_)
        count += node.values.size();
    return count;
}

bool SavedRegistryKey::removeFromRegistry()
{
    if (!readable_)
        return false;
    deleteTreeW(root_, path_);
    UniqueRegKey key;
    return RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ, key.put()) == ERROR_FILE_NOT_FOUND;
}

bool SavedRegistryKey::restore()
{
    if (!readable_)
        return false;
    if (!existed_) {
        deleteTreeW(root_, path_);
        return matchesRegistry();
    }
    // Subkeys added since the copy go first, then each saved key gets back
    // exactly its saved values.
    std::vector<Node> now;
    readTree(root_, path_, &now);
    for (size_t i = now.size(); i-- > 0;)
        if (!findNode(nodes_, now[i].path))
            deleteTreeW(root_, now[i].path);
    for (const Node& node : nodes_) {
        UniqueRegKey key;
        if (RegCreateKeyExW(root_, node.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            key.put(), nullptr) != ERROR_SUCCESS)
            continue;
        if (const Node* current = findNode(now, node.path))
            for (const Value& value : current->values)
                if (!findValue(node.values, value.name))
                    RegDeleteValueW(key.get(), value.name.c_str());
        for (const Value& value : node.values)
            RegSetValueExW(key.get(), value.name.c_str(), 0, value.type,
                           value.data.empty() ? nullptr : value.data.data(),
                           static_cast<DWORD>(value.data.size()));
    }
    return matchesRegistry();
}

bool SavedRegistryKey::matchesRegistry() const
{
    std::vector<Node> now;
    if (!existed_) {
        UniqueRegKey key;
        return RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ, key.put()) == ERROR_FILE_NOT_FOUND;
    }
    if (!readTree(root_, path_, &now) || now.size() != nodes_.size())
        return false;
    for (const Node& node : nodes_) {
        const Node* other = findNode(now, node.path);
        if (!other || other->values.size() != node.values.size())
            return false;
        for (const Value& value : node.values) {
            const Value* current = findValue(other->values, value.name);
            if (!current || current->type != value.type || current->data != value.data)
                return false;
        }
    }
    return true;
}

// --- Random cases ---------------------------------------------------------

uint64_t SeededRandom::next()
{
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::vector<unsigned char> SeededRandom::bytes(size_t count)
{
    std::vector<unsigned char> out(count);
    for (unsigned char& byte : out)
        byte = static_cast<unsigned char>(next());
    return out;
}

bool commandLineHas(const char* flag)
{
    const char* line = GetCommandLineA();
    const char* found = strstr(line, flag);
    if (!found)
        return false;
    char after = found[strlen(flag)];
    return after == '\0' || after == ' ' || after == '"' || after == '=';
}

uint64_t chooseSeed(const char* environmentName)
{
    const char* text = getenv(environmentName);
    const char* line = GetCommandLineA();
    const char* argument = strstr(line, "--seed=");
    if (argument)
        text = argument + strlen("--seed=");
    uint64_t seed = 20000719;  // the suite's cases, unless another seed is asked for
    if (text && _strnicmp(text, "random", 6) == 0)
        seed = (static_cast<uint64_t>(GetTickCount()) << 20) ^ GetCurrentProcessId();
    else if (text && *text)
        seed = _strtoui64(text, nullptr, 10);
    printf("[ seed     ] %llu  (repeat with %s=%llu or --seed=%llu)\n",
           static_cast<unsigned long long>(seed), environmentName,
           static_cast<unsigned long long>(seed), static_cast<unsigned long long>(seed));
    fflush(stdout);
    return seed;
}

// --- Menu items -----------------------------------------------------------

namespace {

void collectItems(HMENU menu, std::vector<MenuItemRef>* items)
{
    int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        MENUITEMINFOA info;
        memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA | MIIM_SUBMENU;
        if (!GetMenuItemInfoA(menu, position, TRUE, &info))
            continue;
        if (info.fType & MFT_OWNERDRAW)
            items->push_back(MenuItemRef{menu, info.wID, info.dwItemData});
        if (info.hSubMenu)
            collectItems(info.hSubMenu, items);
    }
}

} // namespace

std::vector<MenuItemRef> ownerDrawnItems(const TrayWindow& tray)
{
    std::vector<MenuItemRef> items;
    if (tray.popupMenu)
        collectItems(tray.popupMenu, &items);
    return items;
}

ItemCanvas::ItemCanvas(int width, int height)
    : width_(width), height_(height), dc_(nullptr), bitmap_(nullptr), oldBitmap_(nullptr),
      font_(nullptr), oldFont_(nullptr), row_(0)
{
    HDC screen = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen);
    bitmap_ = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    NONCLIENTMETRICSA metrics;
    memset(&metrics, 0, sizeof metrics);
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    font_ = CreateFontIndirectA(&metrics.lfMenuFont);
    if (dc_ && bitmap_)
        oldBitmap_ = SelectObject(dc_, bitmap_);
    if (dc_ && font_)
        oldFont_ = SelectObject(dc_, font_);
}

ItemCanvas::~ItemCanvas()
{
    if (dc_) {
        if (oldFont_)
            SelectObject(dc_, oldFont_);
        if (oldBitmap_)
            SelectObject(dc_, oldBitmap_);
        DeleteDC(dc_);
    }
    if (font_)
        DeleteObject(font_);
    if (bitmap_)
        DeleteObject(bitmap_);
}

namespace {

int itemHeight()
{
    return GetSystemMetrics(SM_CYMENUSIZE) + 2;
}

const int kCanvasWidth = 320;

} // namespace

LRESULT ItemCanvas::draw(HWND window, const MenuItemRef& item, bool selected)
{
    // Items are drawn one below the other, as a menu lays them out.
    int height = itemHeight();
    int rows = height_ / height;
    if (rows <= 0)
        rows = 1;
    DRAWITEMSTRUCT draw;
    memset(&draw, 0, sizeof draw);
    draw.CtlType = ODT_MENU;
    draw.itemID = item.id;
    draw.itemAction = ODA_DRAWENTIRE;
    draw.itemState = selected ? ODS_SELECTED : 0;
    draw.hwndItem = reinterpret_cast<HWND>(item.menu);
    draw.hDC = dc_;
    draw.rcItem.left = 0;
    draw.rcItem.top = (row_ % rows) * height;
    draw.rcItem.right = width_;
    draw.rcItem.bottom = draw.rcItem.top + height;
    draw.itemData = item.data;
    ++row_;
    return SendMessageA(window, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
}

std::vector<unsigned char> ItemCanvas::pixels() const
{
    std::vector<unsigned char> out(static_cast<size_t>(width_) * height_ * 4);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    // The bitmap must not be selected while its bits are read.
    SelectObject(dc_, oldBitmap_);
    GetDIBits(dc_, bitmap_, 0, height_, out.data(), &info, DIB_RGB_COLORS);
    SelectObject(dc_, bitmap_);
    return out;
}

std::vector<unsigned char> renderAllItems(HWND window, const std::vector<MenuItemRef>& items)
{
    int height = itemHeight();
    ItemCanvas canvas(kCanvasWidth, height * static_cast<int>(items.size()) * 2);
    if (!canvas.valid())
        return {};
    for (const MenuItemRef& item : items) {
        canvas.draw(window, item, false);
        canvas.draw(window, item, true);
    }
    return canvas.pixels();
}
