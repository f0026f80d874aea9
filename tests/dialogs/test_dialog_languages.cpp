// The dialogs and the menu in every language, from a real Application at the display's pixels
// per inch (96 here; catalogue_dpi runs them again at 120, 144 and 192): each text whole in its control
// or item, no control over another or past the dialog's edge, mirrored where the language reads
// right to left; the menu's access keys typed into it.
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
#include "support/dialogs.h"
#include "support/processes.h"

namespace {

RECT childRect(HWND dialog, HWND child)
{
    RECT rect;
    GetWindowRect(child, &rect);
    return MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2), rect;
}

struct EveryLanguage : testing::Test {
    std::unique_ptr<Application> app{new Application(GetModuleHandleA(nullptr))};
    OSVERSIONINFOA version = reportedVersion();
    void speak(size_t language) { speakUiLanguage(language, version.dwPlatformId, version.dwMajorVersion); }
    void TearDown() override { speak(kEnglish); }
};

// What each dialog shows, by the texts' keys (a control's 0: the text the dialog formats).
const struct { UINT caption; std::vector<std::pair<int, UINT>> texts; INT_PTR (*show)(Application&); }
    kDialogs[] = {
        {IDS_TIMEOUT_CAPTION, {{IDC_PROMPT, IDS_TIMEOUT_PROMPT}, {IDC_LABEL, IDS_TIMEOUT_LABEL},
                               {IDC_OK, IDS_OK}, {IDC_CANCEL, IDS_CANCEL}}, showTimeoutDialog},
        {IDS_ABOUT_CAPTION, {{IDC_TITLE, IDS_ABOUT_TITLE}, {IDC_VERSION, 0}, {IDC_CREDIT, IDS_CREDIT},
                             {IDC_SYSINFO, IDS_SYSINFO}, {IDC_BLINK, IDS_BLINK}, {IDC_OK, IDS_OK},
                             {IDC_KEEP_DISPLAY_ON, IDS_KEEP_DISPLAY_ON}}, showAboutDialog},
        {IDS_PICKER_CAPTION, {{IDC_PICKER_PROMPT, IDS_PICKER_PROMPT}, {IDOK, IDS_PICKER_ADD},
                              {IDCANCEL, IDS_CANCEL}}, showPickerDialog}};

} // namespace

TEST_F(EveryLanguage, EveryDialogShowsEveryTextWholeInsideItMirroredWhereItReadsSo)
{
    for (size_t language = 0; language < kUiLanguageCount; ++language) {
        speak(language);
        for (const auto& dialogCase : kDialogs) {
            std::vector<std::string> faults;
            auto look = [&](HWND dialog) {
                faults = clippedTexts(dialog);
                if (windowText(dialog) != uiText(dialogCase.caption)
                    || mirrored(dialog) != kUiLanguages[language].rightToLeft)
                    faults.push_back("the caption or the mirroring is not the language's");
                RECT client, rect, common;
                GetClientRect(dialog, &client);
                for (const auto& text : dialogCase.texts) {
                    HWND control = GetDlgItem(dialog, text.first);
                    std::wstring shown = control ? windowText(control) : L"";
                    rect = control ? childRect(dialog, control) : RECT{};
                    std::string id = "control " + std::to_string(text.first);
                    IntersectRect(&common, &rect, &client);
                    if (shown.empty() || (text.second && shown != uiText(text.second))
                        || !EqualRect(&common, &rect))
                        faults.push_back(id + " missing or past the edge");
                    for (HWND other = GetWindow(dialog, GW_CHILD); control && other;
                         other = GetWindow(other, GW_HWNDNEXT)) {
                        RECT otherRect = childRect(dialog, other);
                        if (other != control && IntersectRect(&common, &rect, &otherRect))
                            faults.push_back(id + " over " + std::to_string(GetDlgCtrlID(other)));
                    }
                }
            };
            DialogRun run = runModal(nullptr, [&] { return dialogCase.show(*app); },
                {act(look), act([](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); })});
            EXPECT_TRUE(run.opened && run.closedByItself);
            for (const std::string& fault : faults)
                ADD_FAILURE() << kUiLanguages[language].name << " " << dialogCase.caption << ": " << fault;
        }
    }
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
    {IDM_EXIT, IDS_EXIT, 0}, {IDM_KEEPOFFMENU, IDS_KEEP_OFF_WHILE, 0},
    {IDM_ADD_RUNNING, IDS_ADD_RUNNING, 0}};

// Whether an item is as wide as the system draws its text ("&" marks and all) in the menu
// font, after the icon column, with the check's room where it may show one; WM_MEASUREITEM
// as the system asks it.
bool wideEnough(TrayWindow& tray, UINT id, const void* data, const WCHAR* caption, bool bold,
                bool check)
{
    MEASUREITEMSTRUCT item = {ODT_MENU, 0, id, 0, 0, reinterpret_cast<ULONG_PTR>(data)};
    SendMessageA(tray.window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&item));
    LOGFONTA font = tray.menuLayout.font.font;
    font.lfWeight = bold ? FW_BOLD : font.lfWeight;
    UniqueGdiObject made(CreateFontIndirectA(&font));
    WindowDC dc(nullptr);
    SelectedObject selected(dc.get(), made.get());
    RECT room = {0, 0, 0, 0};
    DrawTextW(dc.get(), caption, -1, &room, DT_CALCRECT | DT_SINGLELINE);
    const ItemGeometry& g = tray.menuLayout.geometry;
    return static_cast<int>(item.itemWidth)
        >= g.captionX + room.right + (check ? g.checkGap + g.checkFromRight : 0);
}

// The menu window shown last (the system keeps hidden ones).
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
        for (DWORD begin = GetTickCount(); !shownMenu() && GetTickCount() - begin < 5000;)
            Sleep(10);
        d.mirrored = shownMenu() && ::mirrored(shownMenu());
        for (WCHAR key : d.keys)
            Sleep(200), PostMessageW(shownMenu(), WM_CHAR, key, 0);
        for (int i = 0; i < 3 && shownMenu(); ++i, Sleep(200))
            PostMessageA(shownMenu(), WM_KEYDOWN, VK_ESCAPE, 0);
        return 0;
    }
};

// The character a caption marks, read from the texts' source; 0 where the window, an ANSI
// one, could not be told it in this code page.
WCHAR markedKey(const WCHAR* caption)
{
    const WCHAR* mark = wcschr(caption, L'&');
    return mark && mark[1] < 0x80 && mark[1] != L'&' ? mark[1] : 0;
}

} // namespace

TEST_F(EveryLanguage, EveryMenuItemShowsItsCaptionWholeMirroredWhereItReadsSoAndTakesItsAccessKeys)
{
    TrayWindow& tray = *app->trayWindow;
    for (size_t language = 0; language < kUiLanguageCount; ++language) {
        SCOPED_TRACE(kUiLanguages[language].name);
        speak(language);
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
            EXPECT_TRUE(wideEnough(tray, row.id, record, record->name.text, row.id == IDM_LAUNCH, check))
                << "item " << row.id << " cut";
        }
        ASSERT_TRUE(tray.noneEntry);
        EXPECT_TRUE(std::wstring(tray.noneEntry->name.text) == uiText(IDS_NONE_ENTRY));
        EXPECT_TRUE(wideEnough(tray, IDM_NONE, tray.noneEntry, uiText(IDS_NONE_ENTRY), false, true));
        // Disable For, then 30 minutes, by their keys: a timed disable of 30 minutes runs.
        MenuDriver driver;
        WCHAR keys[] = {markedKey(uiText(IDS_DISABLE_FOR)), markedKey(uiText(IDS_30_MINUTES))};
        if (keys[0] && keys[1])
            driver.keys.assign(keys, keys + 2);
        tray.enableCommand();
        UniqueKernelObject thread(CreateThread(nullptr, 0, MenuDriver::drive, &driver, 0, nullptr));
        tray.showPopupMenu();
        WaitForSingleObject(thread.get(), 10000);
        pumpMessages();
        EXPECT_EQ(driver.mirrored, kUiLanguages[language].rightToLeft);
        EXPECT_EQ(tray.timedChoice, driver.keys.empty() ? 0u : UINT(IDM_DISABLE_30)) << "typed";
        tray.enableCommand();
    }
}
