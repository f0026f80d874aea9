// The Timeout dialog, run modally from a real Application under Wine and
// driven through its own controls: the system's idle timeout is set and read
// with the real system parameters.
#include <gtest/gtest.h>
#include <windows.h>
#include <limits.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/handles.h"
#include "commands/dialogs.h"
#include "res/resource.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"
#include "support/dialogs.h"

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
        return runModal("Timeout", [&app] { return showTimeoutDialog(app); }, std::move(steps));
    }
    // Opens the dialog on a system timeout, puts the two texts in and
    // presses OK; returns the timeout stored.
    UINT storeFields(UINT before, const char* minutes, const char* seconds)
    {
        setSystemTimeout(before);
        DialogRun run = open({setText(IDC_MINUTES, minutes), setText(IDC_SECONDS, seconds),
                              click(IDC_OK)});
        EXPECT_TRUE(run.closedByItself) << minutes << ":" << seconds;
        EXPECT_EQ(run.result, 1);
        return systemTimeout();
    }
    // The texts the dialog opens with for a system timeout; leaves by Cancel.
    std::pair<std::string, std::string> shownFor(UINT seconds)
    {
        setSystemTimeout(seconds);
        std::pair<std::string, std::string> shown;
        DialogRun run = open({act([&shown](HWND dialog) {
                                  shown.first = itemText(dialog, IDC_MINUTES);
                                  shown.second = itemText(dialog, IDC_SECONDS);
                              }),
                              click(IDC_CANCEL)});
        EXPECT_TRUE(run.closedByItself);
        EXPECT_EQ(systemTimeout(), seconds) << "Cancel stored something";
        return shown;
    }

    std::unique_ptr<Application> app_;
    UINT saved_ = 0;
};

// A top-level window that counts the settings changes announced to it.
class BroadcastProbe {
public:
    BroadcastProbe()
    {
        WNDCLASSA windowClass;
        memset(&windowClass, 0, sizeof windowClass);
        windowClass.lpfnWndProc = probeProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "DormityBroadcastProbe";
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(0, "DormityBroadcastProbe", "probe", WS_OVERLAPPED, 0, 0, 10, 10,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        count_ = 0;
    }
    ~BroadcastProbe()
    {
        if (window_)
            DestroyWindow(window_);
        UnregisterClassA("DormityBroadcastProbe", GetModuleHandleA(nullptr));
    }
    bool created() const { return window_ != nullptr; }
    int count() const { return count_; }
    void reset() { count_ = 0; }

private:
    static LRESULT CALLBACK probeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_SETTINGCHANGE)
            ++count_;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    HWND window_;
    static int count_;
};
int BroadcastProbe::count_ = 0;

} // namespace

TEST(TimeoutArithmetic, SplitsSecondsIntoMinutesAndRemainder)
{
    struct Case {
        UINT seconds, minutes, remainder;
    } cases[] = {{600, 10, 0}, {65, 1, 5}, {0, 0, 0}, {59, 0, 59}, {3599, 59, 59}, {6000, 100, 0},
                 {6001, 100, 1}};
    for (const Case& c : cases) {
        UINT minutes = 999;
        UINT remainder = 999;
        splitTimeout(c.seconds, &minutes, &remainder);
        EXPECT_EQ(minutes, c.minutes) << c.seconds;
        EXPECT_EQ(remainder, c.remainder) << c.seconds;
    }
}

TEST(TimeoutArithmetic, ClipsEachFieldTo59AndNeverStoresZero)
{
    EXPECT_EQ(timeoutFromFields(10, 0), 600u);
    EXPECT_EQ(timeoutFromFields(1, 5), 65u);
    EXPECT_EQ(timeoutFromFields(59, 59), 3599u);
    EXPECT_EQ(timeoutFromFields(60, 0), 3540u);
    EXPECT_EQ(timeoutFromFields(100, 0), 3540u);
    EXPECT_EQ(timeoutFromFields(75, 80), 3599u);
    EXPECT_EQ(timeoutFromFields(0, 60), 59u);
    // Negative parts are taken as large unsigned numbers, so they clip too.
    EXPECT_EQ(timeoutFromFields(-5, 3), 59u * 60 + 3);
    EXPECT_EQ(timeoutFromFields(3, -1), 3u * 60 + 59);
    EXPECT_EQ(timeoutFromFields(INT_MIN, INT_MIN), 3599u);
    EXPECT_EQ(timeoutFromFields(0, 0), 1u);
    EXPECT_EQ(timeoutFromFields(0, 1), 1u);
    EXPECT_EQ(timeoutFromFields(0, 2), 2u);
}

TEST_F(FamilyTimeoutDialog, OpensWithTheSystemTimeoutAsTwoDigitMinutesAndSeconds)
{
    EXPECT_EQ(shownFor(600), std::make_pair(std::string("10"), std::string("00")));
    EXPECT_EQ(shownFor(65), std::make_pair(std::string("01"), std::string("05")));
    EXPECT_EQ(shownFor(3599), std::make_pair(std::string("59"), std::string("59")));
    EXPECT_EQ(shownFor(1), std::make_pair(std::string("00"), std::string("01")));
}

TEST_F(FamilyTimeoutDialog, ALongTimeoutShowsEveryMinuteDigitAndOkClipsItTo59Minutes)
{
    EXPECT_EQ(shownFor(6000), std::make_pair(std::string("100"), std::string("00")));
    setSystemTimeout(6007);
    std::string minutes;
    DialogRun run = open({act([&minutes](HWND dialog) { minutes = itemText(dialog, IDC_MINUTES); }),
                          click(IDC_OK)});
    EXPECT_TRUE(run.closedByItself);
    EXPECT_EQ(minutes, "100");
    EXPECT_EQ(systemTimeout(), 59u * 60 + 7);
}

TEST_F(FamilyTimeoutDialog, TypingStopsAtTwoDigitsAndTakesDigitsOnly)
{
    setSystemTimeout(600);
    std::string afterThirdDigit, typedMinutes, afterMinus, afterLetter, typedSeconds;
    LRESULT minutesLimit = 0, secondsLimit = 0;
    DialogRun run = open({act([&](HWND dialog) {
                              HWND minutes = GetDlgItem(dialog, IDC_MINUTES);
                              HWND seconds = GetDlgItem(dialog, IDC_SECONDS);
                              minutesLimit = SendMessageA(minutes, EM_GETLIMITTEXT, 0, 0);
                              secondsLimit = SendMessageA(seconds, EM_GETLIMITTEXT, 0, 0);
                              // "10" with the caret after it: a third digit is refused.
                              SendMessageA(minutes, EM_SETSEL, 2, 2);
                              typeInto(minutes, "7");
                              afterThirdDigit = itemText(dialog, IDC_MINUTES);
                              // Replacing everything, only two of three digits fit.
                              SendMessageA(minutes, EM_SETSEL, 0, -1);
                              typeInto(minutes, "456");
                              typedMinutes = itemText(dialog, IDC_MINUTES);
                              SendMessageA(seconds, EM_SETSEL, 0, -1);
                              typeInto(seconds, "-");
                              afterMinus = itemText(dialog, IDC_SECONDS);
                              SendMessageA(seconds, EM_SETSEL, 0, -1);
                              typeInto(seconds, "x");
                              afterLetter = itemText(dialog, IDC_SECONDS);
                              SendMessageA(seconds, EM_SETSEL, 0, -1);
                              typeInto(seconds, "3");
                              typedSeconds = itemText(dialog, IDC_SECONDS);
                          }),
                          click(IDC_OK)});
    EXPECT_TRUE(run.closedByItself);
    EXPECT_EQ(minutesLimit, 2);
    EXPECT_EQ(secondsLimit, 2);
    EXPECT_EQ(afterThirdDigit, "10");
    EXPECT_EQ(typedMinutes, "45");
    EXPECT_EQ(afterMinus, "00") << "a minus sign was typed into a digits-only field";
    EXPECT_EQ(afterLetter, "00") << "a letter was typed into a digits-only field";
    EXPECT_EQ(typedSeconds, "3");
    EXPECT_EQ(systemTimeout(), 45u * 60 + 3);
}

TEST_F(FamilyTimeoutDialog, OutOfRangeFieldsStore59Each)
{
    EXPECT_EQ(storeFields(600, "75", "80"), 3599u);
    EXPECT_EQ(storeFields(600, "60", "07"), 59u * 60 + 7);
    EXPECT_EQ(storeFields(600, "05", "60"), 5u * 60 + 59);
    // Text that did not come from typing (a paste, another program) can hold a
    // sign; read as a signed number it is negative, and that clips too.
    EXPECT_EQ(storeFields(600, "-5", "3"), 59u * 60 + 3);
    EXPECT_EQ(storeFields(600, "12", "34"), 12u * 60 + 34);
}

TEST_F(FamilyTimeoutDialog, EmptyZeroOrUnreadableFieldsStoreAtLeastOneSecond)
{
    EXPECT_EQ(storeFields(600, "", ""), 1u);
    EXPECT_EQ(storeFields(600, "00", "00"), 1u);
    EXPECT_EQ(storeFields(600, "0", ""), 1u);
    EXPECT_EQ(storeFields(600, "", "30"), 30u);
    EXPECT_EQ(storeFields(600, "ab", "30"), 30u);
    EXPECT_EQ(storeFields(600, "02", ""), 120u);
}

TEST_F(FamilyTimeoutDialog, EnterPressesTheDefaultOkButton)
{
    setSystemTimeout(600);
    DialogRun run = open({setText(IDC_MINUTES, "03"), setText(IDC_SECONDS, "21"),
                          pressKey(VK_RETURN)});
    EXPECT_TRUE(run.closedByItself);
    EXPECT_EQ(systemTimeout(), 3u * 60 + 21);
}

TEST_F(FamilyTimeoutDialog, CancelEscapeAndTheCloseBoxCloseWithoutStoring)
{
    const char* ways[] = {"Cancel", "Escape", "close box", "cancel command"};
    std::vector<DialogStep> closers[] = {
        {click(IDC_CANCEL)},
        {pressKey(VK_ESCAPE)},
        {closeBox()},
        {act([](HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0); })},
    };
    for (size_t i = 0; i < sizeof ways / sizeof ways[0]; ++i) {
        setSystemTimeout(754);
        std::vector<DialogStep> steps = {setText(IDC_MINUTES, "07"), setText(IDC_SECONDS, "07")};
        steps.insert(steps.end(), closers[i].begin(), closers[i].end());
        DialogRun run = open(steps);
        EXPECT_TRUE(run.opened) << ways[i];
        EXPECT_TRUE(run.closedByItself) << ways[i] << " did not close the dialog";
        EXPECT_EQ(run.result, 1) << ways[i];
        EXPECT_EQ(systemTimeout(), 754u) << ways[i] << " stored the fields";
    }
}

TEST_F(FamilyTimeoutDialog, OkStoresWithoutAnnouncingAChange)
{
    BroadcastProbe probe;
    ASSERT_TRUE(probe.created());
    // The probe hears an announced change of this very setting...
    SystemParametersInfoA(SPI_SETSCREENSAVETIMEOUT, 500, nullptr,
                          SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
    pumpMessages();
    ASSERT_GT(probe.count(), 0) << "the probe cannot hear announcements";
    probe.reset();
    // ...and none from the dialog's OK.
    DialogRun run = open({setText(IDC_MINUTES, "02"), setText(IDC_SECONDS, "30"), click(IDC_OK)});
    pumpMessages();
    EXPECT_TRUE(run.closedByItself);
    EXPECT_EQ(systemTimeout(), 150u);
    EXPECT_EQ(probe.count(), 0);
}

TEST_F(FamilyTimeoutDialog, TheBoxAndTheColonArePaintedWhiteAndNoOtherStatic)
{
    struct Colour {
        int id;
        HWND control;
        HBRUSH brush;
        COLORREF background;
    };
    std::vector<Colour> statics;
    COLORREF boxPixel = CLR_INVALID;
    COLORREF dialogPixel = CLR_INVALID;
    DialogRun run = open({act([&](HWND dialog) {
                              for (HWND child = GetWindow(dialog, GW_CHILD); child;
                                   child = GetWindow(child, GW_HWNDNEXT)) {
                                  char className[32];
                                  GetClassNameA(child, className, sizeof className);
                                  if (_stricmp(className, "Static") != 0)
                                      continue;
                                  WindowDC dc(child);
                                  SetBkColor(dc.get(), RGB(1, 2, 3));
                                  HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageA(
                                      dialog, WM_CTLCOLORSTATIC,
                                      reinterpret_cast<WPARAM>(dc.get()),
                                      reinterpret_cast<LPARAM>(child)));
                                  statics.push_back(
                                      {GetDlgCtrlID(child), child, brush, GetBkColor(dc.get())});
                              }
                              // What the screen shows: inside the sunken box, to the
                              // right of the seconds field, and the dialog's face.
                              RedrawWindow(dialog, nullptr, nullptr,
                                           RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN |
                                               RDW_UPDATENOW);
                              RECT inBox = {101, 49, 101, 49};
                              MapDialogRect(dialog, &inBox);
                              RECT face = {170, 40, 170, 40};
                              MapDialogRect(dialog, &face);
                              WindowDC dc(dialog);
                              boxPixel = GetPixel(dc.get(), inBox.left, inBox.top);
                              dialogPixel = GetPixel(dc.get(), face.left, face.top);
                          }),
                          click(IDC_CANCEL)});
    EXPECT_TRUE(run.closedByItself);
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    int whiteOnes = 0;
    ASSERT_EQ(statics.size(), 6u) << "the template's statics";
    for (const Colour& s : statics) {
        if (s.id == IDC_TIMEBOX || s.id == IDC_COLON) {
            ++whiteOnes;
            EXPECT_EQ(s.brush, white) << "control " << s.id;
            EXPECT_EQ(s.background, RGB(255, 255, 255)) << "control " << s.id;
        } else {
            EXPECT_NE(s.brush, white) << "control " << s.id;
            EXPECT_NE(s.brush, nullptr) << "control " << s.id << " got no brush at all";
        }
    }
    EXPECT_EQ(whiteOnes, 2);
    EXPECT_EQ(boxPixel, RGB(255, 255, 255));
    EXPECT_NE(dialogPixel, RGB(255, 255, 255));
    EXPECT_EQ(dialogPixel, GetSysColor(COLOR_BTNFACE));
}

TEST_F(FamilyTimeoutDialog, EveryTextFitsItsControlInTheDialogsOwnFont)
{
    std::string face;
    std::vector<std::string> clipped;
    DialogRun run = open({act([&](HWND dialog) {
                              face = dialogFontFace(dialog);
                              clipped = clippedTexts(dialog);
                          }),
                          click(IDC_CANCEL)});
    EXPECT_TRUE(run.closedByItself);
    ASSERT_EQ(face, "MS Sans Serif") << "laid out in a substitute face";
    for (const std::string& text : clipped)
        ADD_FAILURE() << text;
}
