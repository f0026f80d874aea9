// Both dialogs in every language Dormity speaks, opened from a real Application at the
// display's pixels per inch (96 here; dialogs_dpi runs it again at 144): each text shown whole
// in its control, no control over another or past the dialog's edge, mirrored where the
// language reads right to left.
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
