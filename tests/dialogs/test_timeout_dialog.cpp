// The Timeout dialog run modally from a real Application and driven through its
// own controls; the idle timeout is the system's real one.
#include <gtest/gtest.h>
#include <windows.h>
#include <limits.h>

#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/handles.h"
#include "commands/dialogs.h"
#include "res/resource.h"
#include "support/wine_env.h"
#include "dialog_driver.h"

namespace {

UINT systemTimeout()
{
    UINT seconds = 0;
    SystemParametersInfoA(SPI_GETSCREENSAVETIMEOUT, 0, &seconds, 0);
    return seconds;
}

void setSystemTimeout(UINT seconds)
{
    SystemParametersInfoA(SPI_SETSCREENSAVETIMEOUT, seconds, nullptr, SPIF_UPDATEINIFILE);
}

// Counts the settings changes announced to this thread's windows while it lives.
struct AnnouncementCounter {
    static int count;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, heard, nullptr, GetCurrentThreadId());
    ~AnnouncementCounter() { UnhookWindowsHookEx(hook); }
    static LRESULT CALLBACK heard(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HC_ACTION && reinterpret_cast<CWPSTRUCT*>(lParam)->message == WM_SETTINGCHANGE)
            ++count;
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
};
int AnnouncementCounter::count = 0;

class FamilyTimeoutDialog : public testing::Test {
protected:
    void SetUp() override
    {
        saved_ = systemTimeout();
        app_.reset(new Application(GetModuleHandleA(nullptr)));
        ASSERT_NE(app_->trayWindow, nullptr);
    }
    void TearDown() override
    {
        app_.reset();
        setSystemTimeout(saved_);
        pumpMessages();
    }
    DialogRun open(std::vector<DialogStep> steps)
    {
        Application& app = *app_;
        DialogRun run =
            runModal("Timeout", [&app] { return showTimeoutDialog(app); }, std::move(steps));
        EXPECT_TRUE(run.opened);
        EXPECT_TRUE(run.closedByItself);
        EXPECT_EQ(run.result, 1);
        return run;
    }

    std::unique_ptr<Application> app_;
    UINT saved_ = 0;
};

} // namespace

TEST(TimeoutArithmetic, SplitsIntoMinutesAndSecondsAndClipsEachFieldTo59NeverStoringZero)
{
    struct Split {
        UINT seconds, minutes, remainder;
    } splits[] = {{600, 10, 0}, {65, 1, 5},       {0, 0, 0},     {59, 0, 59},
                  {3599, 59, 59}, {6000, 100, 0}, {6001, 100, 1}};
    for (const Split& c : splits) {
        UINT minutes = 999, remainder = 999;
        splitTimeout(c.seconds, &minutes, &remainder);
        EXPECT_EQ(minutes, c.minutes) << c.seconds;
        EXPECT_EQ(remainder, c.remainder) << c.seconds;
    }
    // Negative parts are taken as large unsigned numbers, so they clip too.
    struct Fields {
        int minutes, seconds;
        UINT stored;
    } fields[] = {{10, 0, 600},  {1, 5, 65},        {59, 59, 3599},     {60, 0, 3540},
                  {100, 0, 3540}, {75, 80, 3599},   {0, 60, 59},        {-5, 3, 3543},
                  {3, -1, 239},   {INT_MIN, INT_MIN, 3599}, {0, 0, 1}, {0, 1, 1}, {0, 2, 2}};
    for (const Fields& c : fields)
        EXPECT_EQ(timeoutFromFields(c.minutes, c.seconds), c.stored) << c.minutes << ":" << c.seconds;
}

TEST_F(FamilyTimeoutDialog, ShowsTheTimeoutAsTwoDigitFieldsAndOkStoresThemClipped)
{
    struct Row {
        UINT before;
        const char *shownMinutes, *shownSeconds;
        const char *minutes, *seconds;  // null: left as shown
        UINT stored;
    } rows[] = {
        {600, "10", "00", nullptr, nullptr, 600},
        {65, "01", "05", nullptr, nullptr, 65},
        {3599, "59", "59", nullptr, nullptr, 3599},
        {1, "00", "01", nullptr, nullptr, 1},
        {6000, "100", "00", nullptr, nullptr, 3540},  // every minute digit shown, OK clips
        {6007, "100", "07", nullptr, nullptr, 3547},
        {600, "10", "00", "75", "80", 3599},
        {600, "10", "00", "60", "07", 3547},
        {600, "10", "00", "05", "60", 359},
        // A pasted sign reads as a negative number, which clips too.
        {600, "10", "00", "-5", "3", 3543},
        {600, "10", "00", "12", "34", 754},
        {600, "10", "00", "", "", 1},
        {600, "10", "00", "00", "00", 1},
        {600, "10", "00", "0", "", 1},
        {600, "10", "00", "", "30", 30},
        {600, "10", "00", "ab", "30", 30},
        {600, "10", "00", "02", "", 120},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.before << " then " << (row.minutes ? row.minutes : "-")
                                        << ":" << (row.seconds ? row.seconds : "-"));
        setSystemTimeout(row.before);
        std::string minutes, seconds;
        std::vector<DialogStep> steps = {act([&](HWND dialog) {
            minutes = itemText(dialog, IDC_MINUTES);
            seconds = itemText(dialog, IDC_SECONDS);
        })};
        if (row.minutes)
            steps.insert(steps.end(), {setText(IDC_MINUTES, row.minutes),
                                       setText(IDC_SECONDS, row.seconds)});
        steps.push_back(click(IDC_OK));
        open(steps);
        EXPECT_EQ(minutes, row.shownMinutes);
        EXPECT_EQ(seconds, row.shownSeconds);
        EXPECT_EQ(systemTimeout(), row.stored);
    }
}

TEST_F(FamilyTimeoutDialog, TypingStopsAtTwoDigitsAndTakesDigitsOnly)
{
    setSystemTimeout(600);
    struct Typing {
        int id;
        bool replaceAll;  // else typed after the two digits shown
        const char *typed, *expected;
    } typings[] = {{IDC_MINUTES, false, "7", "10"}, {IDC_MINUTES, true, "456", "45"},
                   {IDC_SECONDS, true, "123", "12"}, {IDC_SECONDS, true, "-", "12"},
                   {IDC_SECONDS, true, "x", "12"},   {IDC_SECONDS, true, "3", "3"}};
    std::vector<std::string> results;
    open({act([&](HWND dialog) {
              for (const Typing& t : typings) {
                  HWND field = GetDlgItem(dialog, t.id);
                  SendMessageA(field, EM_SETSEL, t.replaceAll ? 0 : 2, t.replaceAll ? -1 : 2);
                  typeInto(field, t.typed);
                  results.push_back(itemText(dialog, t.id));
              }
          }),
          click(IDC_OK)});
    ASSERT_EQ(results.size(), sizeof typings / sizeof typings[0]);
    for (size_t i = 0; i < results.size(); ++i)
        EXPECT_EQ(results[i], typings[i].expected) << "typing \"" << typings[i].typed << "\"";
    EXPECT_EQ(systemTimeout(), 45u * 60 + 3);
}

TEST_F(FamilyTimeoutDialog, OkAndEnterStoreWithoutAnnouncingAndTheOtherWaysOutStoreNothing)
{
    AnnouncementCounter counter;
    AnnouncementCounter::count = 0;
    // The counter hears an announced change of this very setting...
    SystemParametersInfoA(SPI_SETSCREENSAVETIMEOUT, 500, nullptr,
                          SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
    pumpMessages();
    ASSERT_GT(AnnouncementCounter::count, 0) << "announcements cannot be heard";
    struct Way {
        const char* name;
        DialogStep closer;
        bool stores;
    } ways[] = {
        {"OK", click(IDC_OK), true},
        {"Enter", pressKey(VK_RETURN), true},
        {"Cancel", click(IDC_CANCEL), false},
        {"Escape", pressKey(VK_ESCAPE), false},
        {"close box", closeBox(), false},
        {"cancel command",
         act([](HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0); }), false},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        setSystemTimeout(754);
        AnnouncementCounter::count = 0;
        open({setText(IDC_MINUTES, "03"), setText(IDC_SECONDS, "21"), way.closer});
        pumpMessages();
        EXPECT_EQ(systemTimeout(), way.stores ? 201u : 754u);
        EXPECT_EQ(AnnouncementCounter::count, 0) << "...and none from the dialog";
    }
}

TEST_F(FamilyTimeoutDialog, TheBoxAndTheColonAloneArePaintedWhiteAndEveryTextFits)
{
    struct Colour {
        int id;
        HBRUSH brush;
        COLORREF background;
    };
    std::vector<Colour> statics;
    COLORREF boxPixel = CLR_INVALID, facePixel = CLR_INVALID;
    std::string face;
    std::vector<std::string> clipped;
    open({act([&](HWND dialog) {
              face = dialogFontFace(dialog);
              clipped = clippedTexts(dialog);
              for (HWND child = GetWindow(dialog, GW_CHILD); child;
                   child = GetWindow(child, GW_HWNDNEXT)) {
                  char className[32];
                  GetClassNameA(child, className, sizeof className);
                  if (lstrcmpiA(className, "Static") != 0)
                      continue;
                  WindowDC dc(child);
                  SetBkColor(dc.get(), RGB(1, 2, 3));
                  HBRUSH brush = reinterpret_cast<HBRUSH>(
                      SendMessageA(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()),
                                   reinterpret_cast<LPARAM>(child)));
                  statics.push_back({GetDlgCtrlID(child), brush, GetBkColor(dc.get())});
              }
              // What the screen shows inside the sunken box and on the dialog's face beside it.
              RedrawWindow(dialog, nullptr, nullptr,
                           RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
              RECT inBox = {101, 49, 101, 49}, onFace = {170, 40, 170, 40};
              MapDialogRect(dialog, &inBox);
              MapDialogRect(dialog, &onFace);
              WindowDC dc(dialog);
              boxPixel = GetPixel(dc.get(), inBox.left, inBox.top);
              facePixel = GetPixel(dc.get(), onFace.left, onFace.top);
          }),
          click(IDC_CANCEL)});
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    ASSERT_EQ(statics.size(), 6u) << "the template's statics";
    int whiteOnes = 0;
    for (const Colour& s : statics) {
        SCOPED_TRACE(testing::Message() << "control " << s.id);
        if (s.id == IDC_TIMEBOX || s.id == IDC_COLON) {
            ++whiteOnes;
            EXPECT_EQ(s.brush, white);
            EXPECT_EQ(s.background, RGB(255, 255, 255));
        } else {
            EXPECT_NE(s.brush, white);
            EXPECT_NE(s.brush, nullptr) << "no brush at all";
        }
    }
    EXPECT_EQ(whiteOnes, 2);
    EXPECT_EQ(boxPixel, RGB(255, 255, 255));
    EXPECT_EQ(facePixel, GetSysColor(COLOR_BTNFACE));
    ASSERT_EQ(face, "MS Sans Serif") << "laid out in a substitute face";
    for (const std::string& text : clipped)
        ADD_FAILURE() << text;
}
