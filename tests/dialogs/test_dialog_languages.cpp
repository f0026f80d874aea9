// Both dialogs and the menu in every language Dormity speaks, from a real Application at the
// display's pixels per inch (96 here; dialogs_dpi runs them again at 120 and 144): each text
// shown whole in its control or item, no control over another or past the dialog's edge,
// mirrored where the language reads right to left; the menu's access keys typed into it.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/tray_window.h"
#include "base/system_version.h"
#include "base/ui_language.h"
#include "base/ui_text.h"
#include "commands/dialogs.h"
#include "res/resource.h"
#include "res/string_ids.h"
#include "support/dialogs.h"
#include "support/processes.h"

namespace {

std::wstring windowText(HWND window)
{
    WCHAR text[1024] = L"";
    GetWindowTextW(window, text, 1024);
    return text;
}

RECT childRect(HWND dialog, HWND child)
{
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

struct DialogCase {
    UINT caption;
    std::vector<std::pair<int, UINT>> texts;  // control, its text (0: formatted by the dialog)
    INT_PTR (*show)(Application&);
};

// What each dialog must show, from the texts' source (res/lang/en-US.lang's keys).
const DialogCase kDialogs[] = {
    {IDS_TIMEOUT_CAPTION,
     {{IDC_PROMPT, IDS_TIMEOUT_PROMPT}, {IDC_LABEL, IDS_TIMEOUT_LABEL}, {IDC_OK, IDS_OK},
      {IDC_CANCEL, IDS_CANCEL}},
     showTimeoutDialog},
    {IDS_ABOUT_CAPTION,
     {{IDC_TITLE, IDS_ABOUT_TITLE}, {IDC_VERSION, 0}, {IDC_CREDIT, IDS_CREDIT},
      {IDC_SYSINFO, IDS_SYSINFO}, {IDC_BLINK, IDS_BLINK}, {IDC_OK, IDS_OK}},
     showAboutDialog},
};

} // namespace

TEST(EveryLanguage, BothDialogsShowEveryTextWholeInsideTheDialogMirroredWhereItReadsSo)
{
    std::unique_ptr<Application> app(new Application(GetModuleHandleA(nullptr)));
    ASSERT_NE(app->trayWindow, nullptr);
    OSVERSIONINFOA version = reportedVersion();
    HDC screen = GetDC(nullptr);
    std::cout << "at " << GetDeviceCaps(screen, LOGPIXELSY) << " pixels per inch\n";
    ReleaseDC(nullptr, screen);
    for (size_t language = 0; language < kUiLanguageCount; ++language) {
        SCOPED_TRACE(kUiLanguages[language].name);
        speakUiLanguage(language, version.dwPlatformId, version.dwMajorVersion);
        for (const DialogCase& dialogCase : kDialogs) {
            SCOPED_TRACE(dialogCase.caption);
            std::vector<std::string> faults;
            auto look = [&](HWND dialog) {
                if (windowText(dialog) != uiText(dialogCase.caption))
                    faults.push_back("the caption is not the language's");
                bool mirrored = (GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
                if (mirrored != kUiLanguages[language].rightToLeft)
                    faults.push_back(mirrored ? "mirrored" : "not mirrored");
                for (const std::string& clipped : clippedTexts(dialog))
                    faults.push_back("clipped: " + clipped);
                RECT client;
                GetClientRect(dialog, &client);
                for (const auto& text : dialogCase.texts) {
                    HWND control = GetDlgItem(dialog, text.first);
                    std::wstring shown = control ? windowText(control) : L"";
                    std::wstring wanted = text.second ? uiText(text.second) : shown;
                    if (!control || shown.empty() || shown != wanted) {
                        faults.push_back("control " + std::to_string(text.first) + " missing");
                        continue;
                    }
                    RECT rect = childRect(dialog, control), common;
                    if (rect.left < 0 || rect.top < 0 || rect.right > client.right
                        || rect.bottom > client.bottom)
                        faults.push_back("control " + std::to_string(text.first) + " past the edge");
                    for (HWND other = GetWindow(dialog, GW_CHILD); other;
                         other = GetWindow(other, GW_HWNDNEXT)) {
                        RECT otherRect = childRect(dialog, other);
                        if (other != control && IntersectRect(&common, &rect, &otherRect))
                            faults.push_back("control " + std::to_string(text.first) + " over "
                                             + std::to_string(GetDlgCtrlID(other)));
                    }
                }
            };
            DialogRun run = runModal(nullptr, [&] { return dialogCase.show(*app); },
                                     {act(look), act([](HWND dialog) {
                                          PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                                      })});
            EXPECT_TRUE(run.opened && run.closedByItself);
            for (const std::string& fault : faults)
                ADD_FAILURE() << fault;
        }
    }
    speakUiLanguage(kEnglish, version.dwPlatformId, version.dwMajorVersion);
}

namespace {

// Each fixed item's caption; the toggle and Configure read either way by the state.
const struct { UINT id, text, other; } kMenuItems[] = {
    {IDM_SAVERMENU, IDS_SET_SAVER, 0}, {IDM_LAUNCH, IDS_LAUNCH, 0},
    {IDM_CONFIGURE, IDS_CONFIGURE, IDS_CONFIGURE_GREYED}, {IDM_PROPERTIES, IDS_PROPERTIES, 0},
    {IDM_PASSWORDMENU, IDS_PASSWORD_MENU, 0}, {IDM_PASSWORD, IDS_PASSWORD_ENABLED, 0},
    {IDM_CHANGEPASSWORD, IDS_CHANGE_PASSWORD, 0}, {IDM_TIMEOUT, IDS_SET_TIMEOUT, 0},
    {IDM_TOGGLE, IDS_DISABLE, IDS_ENABLE}, {IDM_DISABLEMENU, IDS_DISABLE_FOR, 0},
    {IDM_DISABLE_15, IDS_15_MINUTES, 0}, {IDM_DISABLE_30, IDS_30_MINUTES, 0},
    {IDM_DISABLE_60, IDS_1_HOUR, 0}, {IDM_DISABLE_120, IDS_2_HOURS, 0},
    {IDM_DISABLE_240, IDS_4_HOURS, 0}, {IDM_LOCK, IDS_LOCK, 0}, {IDM_ABOUT, IDS_ABOUT, 0},
    {IDM_EXIT, IDS_EXIT, 0}};

// The width an item's caption takes as the system draws a menu item's text ("&" marks and
// all) in its menu font, after the icon column, and the check's room where it may show one.
int neededWidth(const WCHAR* caption, bool bold, bool check, const MenuLayout& layout)
{
    LOGFONTA font = layout.font.font;
    font.lfWeight = bold ? FW_BOLD : font.lfWeight;
    UniqueGdiObject made(CreateFontIndirectA(&font));
    WindowDC dc(nullptr);
    SelectedObject selected(dc.get(), made.get());
    RECT room = {0, 0, 0, 0};
    DrawTextW(dc.get(), caption, -1, &room, DT_CALCRECT | DT_SINGLELINE);
    const ItemGeometry& g = layout.geometry;
    return g.captionX + room.right + (check ? g.checkGap + g.checkFromRight : 0);
}

UINT measuredWidth(TrayWindow& tray, UINT id, ULONG_PTR data)
{
    MEASUREITEMSTRUCT item = {ODT_MENU, 0, id, 0, 0, data};
    SendMessageA(tray.window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&item));
    return item.itemWidth;
}

// The menu window shown last (the system keeps hidden ones for later).
HWND shownMenu()
{
    HWND menu = nullptr, shown = nullptr;
    while ((menu = FindWindowExA(nullptr, menu, "#32768", nullptr)) != nullptr)
        shown = IsWindowVisible(menu) ? menu : shown;
    return shown;
}

// Notes whether the menu opened mirrored, types characters into it, and closes what is left.
struct MenuDriver {
    std::vector<WCHAR> keys;
    bool mirrored = false;
    static DWORD WINAPI drive(void* self)
    {
        MenuDriver& d = *static_cast<MenuDriver*>(self);
        HWND menu = nullptr;
        for (DWORD begin = GetTickCount(); !menu && GetTickCount() - begin < 5000; Sleep(10))
            menu = shownMenu();
        d.mirrored = menu && (GetWindowLongA(menu, GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
        for (WCHAR key : d.keys) {
            Sleep(200);
            PostMessageW(shownMenu(), WM_CHAR, key, 0);
        }
        for (int i = 0; i < 3 && shownMenu(); ++i, Sleep(200))
            PostMessageA(shownMenu(), WM_KEYDOWN, VK_ESCAPE, 0);
        return 0;
    }
};

// The character a caption marks, read from the texts' source.
WCHAR markedKey(const WCHAR* caption)
{
    for (const WCHAR* c = caption; *c; ++c)
        if (*c == L'&' && c[1] && c[1] != L'&')
            return c[1];
    return 0;
}

} // namespace

TEST(EveryLanguage, EveryMenuItemShowsItsCaptionWholeMirroredWhereItReadsSoAndTakesItsAccessKeys)
{
    std::unique_ptr<Application> app(new Application(GetModuleHandleA(nullptr)));
    ASSERT_NE(app->trayWindow, nullptr);
    TrayWindow& tray = *app->trayWindow;
    OSVERSIONINFOA version = reportedVersion();
    for (size_t language = 0; language < kUiLanguageCount; ++language) {
        SCOPED_TRACE(kUiLanguages[language].name);
        speakUiLanguage(language, version.dwPlatformId, version.dwMajorVersion);
        tray.refreshPopupMenu();
        tray.saverMenuKey = 0;
        tray.rebuildSaverMenu();
        for (const auto& row : kMenuItems) {
            const FixedItemRecord* record = nullptr;
            for (const FixedItemRecord& candidate : tray.fixedItems)
                record = candidate.id == row.id ? &candidate : record;
            ASSERT_TRUE(record && hasItemName(record->name)) << row.id;
            std::wstring name = record->name.text;
            EXPECT_TRUE(name == uiText(row.text) || (row.other && name == uiText(row.other)))
                << "item " << row.id << " is not the language's";
            bool check = row.id == IDM_PASSWORD || (row.id >= IDM_DISABLE_15 && row.id <= IDM_DISABLE_240);
            EXPECT_GE(static_cast<int>(measuredWidth(tray, row.id, reinterpret_cast<ULONG_PTR>(record))),
                      neededWidth(record->name.text, row.id == IDM_LAUNCH, check, tray.menuLayout))
                << "item " << row.id << " cut";
        }
        ASSERT_TRUE(tray.noneEntry);
        EXPECT_TRUE(std::wstring(tray.noneEntry->name.text) == uiText(IDS_NONE_ENTRY));
        EXPECT_GE(static_cast<int>(measuredWidth(tray, IDM_NONE, reinterpret_cast<ULONG_PTR>(tray.noneEntry))),
                  neededWidth(uiText(IDS_NONE_ENTRY), false, true, tray.menuLayout));
        // Disable For, then 30 minutes, by their keys: a timed disable of 30 minutes runs.
        MenuDriver driver;
        WCHAR keys[] = {markedKey(uiText(IDS_DISABLE_FOR)), markedKey(uiText(IDS_30_MINUTES))};
        bool keyed = keys[0] && keys[1] && keys[0] < 0x80 && keys[1] < 0x80;
        if (keyed)
            driver.keys.assign(keys, keys + 2);
        tray.enableCommand();
        UniqueKernelObject thread(CreateThread(nullptr, 0, MenuDriver::drive, &driver, 0, nullptr));
        tray.showPopupMenu();
        WaitForSingleObject(thread.get(), 10000);
        pumpMessages();
        EXPECT_EQ(driver.mirrored, kUiLanguages[language].rightToLeft);
        EXPECT_EQ(tray.timedChoice, keyed ? UINT(IDM_DISABLE_30) : 0u) << "typed into the menu";
        tray.enableCommand();
    }
    speakUiLanguage(kEnglish, version.dwPlatformId, version.dwMajorVersion);
}
