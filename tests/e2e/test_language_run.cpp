// Dormity.exe started as a process in the user's language as Wine sets it from LC_ALL (the
// e2e_de, e2e_ja and e2e_ar runs; English in the plain one): its usage box and About box read as
// the system's own loader reads Dormity's tables for this user, mirrored for Arabic; its menu,
// which only its own process can read, built here as Dormity starts.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdlib.h>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/tray_window.h"
#include "app/user_language.h"
#include "base/handles.h"
#include "base/ui_language.h"
#include "base/ui_text.h"
#include "commands/blink_preference.h"
#include "res/resource.h"
#include "res/string_ids.h"
#include "support/processes.h"
#include "support/system.h"

namespace {

// The system's answer: the text its loader finds in Dormity.exe for this user.
std::wstring loaded(UINT id)
{
    static UniqueModule file(LoadLibraryExA(dormityExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    WCHAR text[2048] = L"";
    return LoadStringW(file.get(), id, text, 2048), text;
}

// Whether the user's language reads right to left.
bool rightToLeft()
{
    WORD primary = PRIMARYLANGID(GetUserDefaultUILanguage());
    return primary == LANG_ARABIC || primary == LANG_HEBREW;
}

} // namespace

TEST(Language_, TheUsageBoxAndAboutBoxReadInTheUsersLanguageMirroredWhereItReadsRightToLeft)
{
    ASSERT_TRUE(dormityWindows().empty()) << "an earlier Dormity is still running";
    // A run for another language must really be one: its texts are not English.
    ASSERT_TRUE(!getenv("DORMITY_EXPECT_TRANSLATED") || loaded(IDS_ABOUT_CAPTION) != L"About")
        << "LC_ALL set no other language";
    std::string directory = freshTempDirectory("language");
    ChildProcess usage;
    ASSERT_TRUE(usage.start(dormityExe(), "/no-such-switch", directory));
    HWND box = nullptr;
    ASSERT_TRUE(pumpUntil([&] { return box = ownDialog("Dormity", true, usage.id); }, 20000));
    bool shown = false;
    for (HWND item = GetWindow(box, GW_CHILD); item; item = GetWindow(item, GW_HWNDNEXT))
        shown |= windowText(item) == loaded(IDS_USAGE);
    EXPECT_TRUE(shown && windowText(box) == L"Dormity") << "the usage is not the language's";
    // Wine mirrors boxes in a right-to-left language of its own (e2e_rtl_box: the call's flags).
    EXPECT_EQ(mirrored(box), rightToLeft());
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(usage.waitExit(15000), 2u);

    // The About box of a Dormity started plainly, opened as its menu opens it.
    ChildProcess about;
    ASSERT_TRUE(about.start(dormityExe(), "", directory));
    HWND window = waitForWindow(about.id);
    ASSERT_TRUE(window);
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 0), 0);
    ASSERT_TRUE(pumpUntil([&] { return box = ownDialog(nullptr, true, about.id); }, 20000));
    EXPECT_EQ(windowText(box), loaded(IDS_ABOUT_CAPTION));
    for (UINT text : {IDS_ABOUT_TITLE, IDS_CREDIT, IDS_BLINK, IDS_OK}) {
        bool found = false;
        for (HWND item = GetWindow(box, GW_CHILD); item; item = GetWindow(item, GW_HWNDNEXT))
            found |= windowText(item) == loaded(text);
        EXPECT_TRUE(found) << "About box lacks text " << text;
    }
    EXPECT_EQ(mirrored(box), rightToLeft());
    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    pumpUntil([&] { return !ownDialog(nullptr, true, about.id); }, 10000);
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    EXPECT_EQ(about.waitExit(15000), 0u);
}

TEST(Language_, TheMenuBuiltAsDormityStartsReadsInTheUsersLanguage)
{
    speakUserLanguage();
    Application app(GetModuleHandleA(nullptr));
    ASSERT_NE(app.trayWindow, nullptr);
    app.trayWindow->refreshPopupMenu();
    const UINT items[][2] = {{IDM_SAVERMENU, IDS_SET_SAVER}, {IDM_LAUNCH, IDS_LAUNCH},
        {IDM_DISABLE_15, IDS_15_MINUTES}, {IDM_ABOUT, IDS_ABOUT}, {IDM_EXIT, IDS_EXIT}};
    for (const auto& item : items)
        for (const FixedItemRecord& record : app.trayWindow->fixedItems)
            EXPECT_TRUE(record.id != item[0] || loaded(item[1]) == record.name.text) << item[0];
    ASSERT_TRUE(app.trayWindow->noneEntry);
    EXPECT_EQ(loaded(IDS_NONE_ENTRY), app.trayWindow->noneEntry->name.text);
    // The user's choice, a real value, taken at the next intl change only when it is a text
    // (also one stored without its terminator); the tooltip follows.
    const std::wstring systemsTip = app.trayWindow->tipText;
    const struct { DWORD type; std::string bytes; bool english; } choices[] = {
        {REG_EXPAND_SZ, std::string("en-US", 6), false}, {REG_SZ, "en-US", true}};
    for (const auto& choice : choices) {
        setRegValue(HKEY_CURRENT_USER, BLINK_KEY, LANGUAGE_VALUE, choice.type, choice.bytes.data(), 5);
        SendMessageA(app.trayWindow->window, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("intl"));
        bool translated = getenv("DORMITY_EXPECT_TRANSLATED") != nullptr;
        EXPECT_EQ(app.trayWindow->tipText == systemsTip, !(choice.english && translated));
        EXPECT_EQ(uiLanguage() == kEnglish, choice.english || !translated) << choice.type;
    }
    deleteRegValue(HKEY_CURRENT_USER, BLINK_KEY, LANGUAGE_VALUE);
    SendMessageA(app.trayWindow->window, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("intl"));
    EXPECT_EQ(std::wstring(app.trayWindow->tipText), systemsTip);
}
