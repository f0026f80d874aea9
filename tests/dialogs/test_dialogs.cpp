// The Timeout and About dialogs run modally from a real Application, driven through their own
// controls, against the real timeout, flag, blink preference, blink timer and tray icon.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "base/handles.h"
#include "app/tray_window.h"
#include "commands/blink_preference.h"
#include "commands/dialogs.h"
#include "commands/display_request.h"
#include "commands/keep_off.h"
#include "res/resource.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"
#include "support/dialogs.h"

namespace {

// Started by the About box as its System Information tool, this program notes the command line
// it was given in the file named after "--probe-into" (whole, by a rename) and ends at once.
const bool kStartedAsTool = [] {
    std::string line = GetCommandLineA();
    size_t at = line.find(" --probe-into ");
    if (at == std::string::npos)
        return false;
    std::string marker = line.substr(at + 14);
    writeFileBytes(marker + ".part", line.data(), line.size());
    ExitProcess(MoveFileA((marker + ".part").c_str(), marker.c_str()) ? 0 : 1);
}();

UINT systemTimeout()
{
    UINT seconds = 0;
    SystemParametersInfoA(SPI_GETSCREENSAVETIMEOUT, 0, &seconds, 0);
    return seconds;
}

void setSystemTimeout(UINT seconds, UINT flags = SPIF_UPDATEINIFILE)
{
    SystemParametersInfoA(SPI_SETSCREENSAVETIMEOUT, seconds, nullptr, flags);
}

// Counts the settings changes announced to this thread's windows while it lives.
struct AnnouncementCounter {
    static int count;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, heard, nullptr, GetCurrentThreadId());
    ~AnnouncementCounter() { UnhookWindowsHookEx(hook); }
    static LRESULT CALLBACK heard(int code, WPARAM wParam, LPARAM lParam)
    {
        auto sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        count += code == HC_ACTION && sent->message == WM_SETTINGCHANGE;
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
};
int AnnouncementCounter::count = 0;

// The stored preference as a 4-byte REG_DWORD, or ~0 when it is anything else.
DWORD storedBlinkDword()
{
    std::string bytes;
    DWORD type = 0;
    bool dword = readRegValue(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, &bytes, &type)
              && type == REG_DWORD && bytes.size() == 4;
    return dword ? *reinterpret_cast<const DWORD*>(bytes.data()) : ~0u;
}

DialogStep cancelCommand()
{
    return act([](HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0); });
}

bool boxTicked(HWND dialog) { return IsDlgButtonChecked(dialog, IDC_BLINK) == BST_CHECKED; }

struct Tick { DWORD at; bool showsOn; };

// Handles this thread's messages for a while, noting each blink tick and the image it left.
std::vector<Tick> watchBlinkTicks(TrayWindow& tray, DWORD forMs)
{
    std::vector<Tick> ticks;
    for (DWORD begin = GetTickCount(); GetTickCount() - begin < forMs;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
            if (message.message == WM_TIMER && message.hwnd == tray.window
                && message.wParam == IDT_BLINK)
                ticks.push_back({GetTickCount(), iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON)});
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return ticks;
}

// Checked inside the open dialog: laid out in its own font, no text clipped.
void expectEveryTextFits(HWND dialog)
{
    std::string face = dialogFontFace(dialog);
    if (face != "MS Sans Serif")
        ADD_FAILURE() << "laid out in the substitute face " << face;
    else
        for (const std::string& text : clippedTexts(dialog))
            ADD_FAILURE() << text;
}

// One Application at a time; timeout, flag, preference and System Information key put back.
class DialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        timeout_ = systemTimeout();
        wasActive_ = isSaverActive();
        hadMsInfo_ = readRegValue(HKEY_LOCAL_MACHINE, MSINFO_KEY, MSINFO_VALUE, &msInfo_);
        deleteRegTree(HKEY_LOCAL_MACHINE, MSINFO_KEY);
        deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
    }
    void TearDown() override
    {
        app_.reset();
        deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
        deleteRegTree(HKEY_LOCAL_MACHINE, MSINFO_KEY);
        if (hadMsInfo_)
            setRegString(HKEY_LOCAL_MACHINE, MSINFO_KEY, MSINFO_VALUE, msInfo_.c_str());
        setSaverActive(wasActive_);
        setSystemTimeout(timeout_);
        pumpMessages();
    }
    // Starts the program with the system flag given and the preference as stored now.
    TrayWindow& start(bool active = true)
    {
        app_.reset();
        setSaverActive(active);
        pumpMessages();
        app_.reset(new Application(GetModuleHandleA(nullptr)));
        EXPECT_NE(app_->trayWindow, nullptr);
        return *app_->trayWindow;
    }
    // Runs the dialog on the steps, which must end it.
    void open(std::vector<DialogStep> steps, DWORD patienceMs = 4000)
    {
        Application& app = *app_;
        bool about = caption_ == std::string("About");
        DialogRun run = runModal(
            caption_, [&] { return about ? showAboutDialog(app) : showTimeoutDialog(app); },
            std::move(steps), patienceMs);
        EXPECT_TRUE(run.opened && run.closedByItself);
        EXPECT_EQ(run.result, 1);
    }
    void lookAndLeave(std::function<void(HWND)> look, int button = IDC_OK)
    {
        open({act(std::move(look)), click(button)});
    }
    bool blinking() { return timerRuns(app_->trayWindow->window, IDT_BLINK, BLINK_PERIOD_MS); }
    bool blinkFlag() const { return (app_->flags & APP_BLINK) != 0; }

    const char* caption_ = "About";
    std::unique_ptr<Application> app_;
    UINT timeout_ = 0;
    bool wasActive_ = true, hadMsInfo_ = false;
    std::string msInfo_;
};

class FamilyAboutDialog : public DialogTest {};
struct FamilyTimeoutDialog : DialogTest { FamilyTimeoutDialog() { caption_ = "Timeout"; } };

} // namespace

TEST_F(FamilyTimeoutDialog, ShowsTwoDigitFieldsOkAndEnterStoreThemClippedWithoutAnnouncing)
{
    start();
    AnnouncementCounter counter;
    // The counter hears an announced change of this very setting...
    setSystemTimeout(500, SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
    pumpMessages();
    ASSERT_GT(AnnouncementCounter::count, 0) << "announcements cannot be heard";
    // Every minute digit is shown and OK clips each field to 59 and 0 to 1; a pasted sign
    // reads as negative, a large unsigned number, and clips too. Typed null: left as shown.
    // Only OK and Enter store.
    DialogStep ok = click(IDC_OK);
    struct { UINT before; const char *shown, *typed; UINT stored; DialogStep way; } rows[] = {
        {600, "10:00", nullptr, 600, ok}, {65, "01:05", nullptr, 65, ok},
        {1, "00:01", nullptr, 1, ok}, {59, "00:59", nullptr, 59, ok},
        {3599, "59:59", nullptr, 3599, ok}, {6000, "100:00", nullptr, 3540, ok},
        {6007, "100:07", nullptr, 3547, ok},
        {600, "10:00", "75:80", 3599, ok}, {600, "10:00", "60:07", 3547, ok},
        {600, "10:00", "05:60", 359, ok}, {600, "10:00", "12:34", 754, ok},
        {600, "10:00", "-5:3", 3543, ok}, {600, "10:00", ":", 1, ok},
        {600, "10:00", "00:00", 1, ok}, {600, "10:00", "0:", 1, ok}, {600, "10:00", ":30", 30, ok},
        {600, "10:00", "ab:30", 30, ok}, {600, "10:00", "02:", 120, ok},
        {600, "10:00", "00:60", 59, ok}, {600, "10:00", "03:-1", 239, ok},
        {600, "10:00", "-2147483648:-2147483648", 3599, ok},
        {754, "12:34", "03:21", 201, pressKey(VK_RETURN)},
        {754, "12:34", "03:21", 754, click(IDC_CANCEL)},
        {754, "12:34", "03:21", 754, pressKey(VK_ESCAPE)},
        {754, "12:34", "03:21", 754, closeBox()}, {754, "12:34", "03:21", 754, cancelCommand()}};
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        const auto& row = rows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << row.before << ", "
                                        << (row.typed ? row.typed : "-"));
        setSystemTimeout(row.before);
        AnnouncementCounter::count = 0;
        std::string shown, typed = row.typed ? row.typed : "";
        size_t colon = typed.find(':');
        std::vector<DialogStep> steps = {act([&](HWND dialog) {
            shown = itemText(dialog, IDC_MINUTES) + ":" + itemText(dialog, IDC_SECONDS);
        })};
        if (row.typed)
            steps.insert(steps.end(), {setText(IDC_MINUTES, typed.substr(0, colon).c_str()),
                                       setText(IDC_SECONDS, typed.substr(colon + 1).c_str())});
        steps.push_back(row.way);
        open(steps);
        pumpMessages();
        EXPECT_EQ(shown, row.shown);
        EXPECT_EQ(systemTimeout(), row.stored);
        EXPECT_EQ(AnnouncementCounter::count, 0) << "...and none from the dialog";
    }
}

TEST_F(FamilyTimeoutDialog, TypingStopsAtTwoDigitsAndTakesDigitsOnly)
{
    start();
    setSystemTimeout(600);
    // Typed over the whole field, or after the two digits shown.
    struct { int id; bool replaceAll; const char *typed, *expected; } typings[] = {
        {IDC_MINUTES, false, "7", "10"}, {IDC_MINUTES, true, "456", "45"},
        {IDC_SECONDS, true, "123", "12"}, {IDC_SECONDS, true, "-", "12"},
        {IDC_SECONDS, true, "x", "12"}, {IDC_SECONDS, true, "3", "3"}};
    std::vector<std::string> results;
    LRESULT minutesLimit = 0, secondsLimit = 0;  // a narrow field may hide a wrong limit
    lookAndLeave([&](HWND dialog) {
        minutesLimit = SendDlgItemMessageA(dialog, IDC_MINUTES, EM_GETLIMITTEXT, 0, 0);
        secondsLimit = SendDlgItemMessageA(dialog, IDC_SECONDS, EM_GETLIMITTEXT, 0, 0);
        for (const auto& t : typings) {
            HWND field = GetDlgItem(dialog, t.id);
            SendMessageA(field, EM_SETSEL, t.replaceAll ? 0 : 2, t.replaceAll ? -1 : 2);
            typeInto(field, t.typed);
            results.push_back(itemText(dialog, t.id));
        }
    });
    EXPECT_EQ(minutesLimit, 2);
    EXPECT_EQ(secondsLimit, 2);
    ASSERT_EQ(results.size(), sizeof typings / sizeof typings[0]);
    for (size_t i = 0; i < results.size(); ++i)
        EXPECT_EQ(results[i], typings[i].expected) << "typing \"" << typings[i].typed << "\"";
    EXPECT_EQ(systemTimeout(), 45u * 60 + 3);
}

TEST_F(FamilyTimeoutDialog, TheBoxAndTheColonAloneArePaintedWhiteAndEveryTextFits)
{
    start();
    int whiteOnes = 0;
    COLORREF boxPixel = CLR_INVALID, facePixel = CLR_INVALID;
    lookAndLeave([&](HWND dialog) {
        expectEveryTextFits(dialog);
        HBRUSH whiteBrush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        for (HWND child = GetWindow(dialog, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            char className[32];
            GetClassNameA(child, className, sizeof className);
            if (lstrcmpiA(className, "Static") != 0)
                continue;
            WindowDC dc(child);
            SetBkColor(dc.get(), RGB(1, 2, 3));
            HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageA(dialog, WM_CTLCOLORSTATIC,
                reinterpret_cast<WPARAM>(dc.get()), reinterpret_cast<LPARAM>(child)));
            int id = GetDlgCtrlID(child);
            bool white = id == IDC_TIMEBOX || id == IDC_COLON;
            whiteOnes += white;
            EXPECT_NE(brush, nullptr) << "control " << id << " got no brush at all";
            EXPECT_EQ(brush == whiteBrush, white) << "control " << id;
            EXPECT_EQ(GetBkColor(dc.get()) == RGB(255, 255, 255), white) << "control " << id;
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
    }, IDC_CANCEL);
    EXPECT_EQ(whiteOnes, 2);
    EXPECT_EQ(boxPixel, RGB(255, 255, 255));
    EXPECT_EQ(facePixel, GetSysColor(COLOR_BTNFACE));
}

TEST_F(FamilyAboutDialog, ShowsTheVersionAndTheChangeLogAndEveryTextFits)
{
    start();
    // The family runs are worth something only if the program sees that family.
    std::string version = requestedVersion();
    DWORD family = version == "win98" ? DWORD(APP_WIN9X) : version == "nt40" ? 0u
                 : version == "win2k" ? DWORD(APP_WIN2K) : reportedPlatformFlags();
    EXPECT_EQ(app_->flags & (APP_WIN9X | APP_WIN2K), family);
    // The newest release first, the first release last, every line ended by CR LF.
    std::string changeLog = kChangeLog;
    EXPECT_EQ(changeLog.find("What's New -- 12/26/01\r\n" + std::string(39, '-') + "\r\n"), 0u);
    EXPECT_EQ(changeLog.rfind("\r\n- First public release.\r\n"), changeLog.size() - 27);
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = changeLog.find('\n', at)) != std::string::npos; at = end + 1) {
        EXPECT_EQ(changeLog[end - 1], '\r') << "a bare LF at " << end;
        lines.push_back(changeLog.substr(at, end - 1 - at));
    }
    EXPECT_EQ(std::count(changeLog.begin(), changeLog.end(), '\r'), 34) << "a bare CR";
    EXPECT_EQ(lines.size(), 34u);
    EXPECT_EQ(changeLog.size(), 959u);
    lookAndLeave([&](HWND dialog) {
        EXPECT_EQ(itemText(dialog, IDC_VERSION), "Version: 2.06.00");
        EXPECT_EQ(itemText(dialog, IDC_CHANGELOG), changeLog);
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_OK));
        expectEveryTextFits(dialog);
        // The change log opens at its top, and its lines fit without scrolling sideways.
        HWND log = GetDlgItem(dialog, IDC_CHANGELOG);
        EXPECT_EQ(SendMessageA(log, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
        RECT room;
        SendMessageA(log, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&room));
        WindowDC dc(log);
        HGDIOBJ logFont = reinterpret_cast<HGDIOBJ>(SendMessageA(log, WM_GETFONT, 0, 0));
        SelectedObject font(dc.get(), logFont);
        for (const std::string& line : lines) {
            SIZE extent;
            GetTextExtentPoint32A(dc.get(), line.c_str(), static_cast<int>(line.size()), &extent);
            EXPECT_LE(extent.cx, room.right - room.left) << "the change log scrolls for " << line;
        }
    });
}

TEST_F(FamilyAboutDialog, SystemInfoIsEnabledOnlyWhenTheToolIsRegisteredAndStartsItStayingOpen)
{
    start();
    // The path is read with room for 255 bytes, its terminator included.
    struct { const char* name; std::string path; bool enabled; } rows[] = {
        {nullptr, "", false}, {"Other", "x", false}, {MSINFO_VALUE, "C:\\msinfo32.exe", true},
        {MSINFO_VALUE, "C:\\" + std::string(251, 'a'), true},
        {MSINFO_VALUE, "C:\\" + std::string(252, 'a'), false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << (row.name ? row.name : "no key") << " of length "
                                        << row.path.size());
        deleteRegTree(HKEY_LOCAL_MACHINE, MSINFO_KEY);
        if (row.name)
            setRegString(HKEY_LOCAL_MACHINE, MSINFO_KEY, row.name, row.path.c_str());
        bool enabled = !row.enabled;
        lookAndLeave([&](HWND box) { enabled = IsWindowEnabled(GetDlgItem(box, IDC_SYSINFO)); });
        EXPECT_EQ(enabled, row.enabled);
    }
    std::string marker = freshTempDirectory("sysinfo") + "\\ran.txt";
    std::string commandLine = "\"" + moduleFileName() + "\" --from-about --probe-into " + marker;
    setRegString(HKEY_LOCAL_MACHINE, MSINFO_KEY, MSINFO_VALUE, commandLine.c_str());
    bool openAfterPress = false, openAfterRun = false;
    open({click(IDC_SYSINFO), act([&](HWND dialog) { openAfterPress = IsWindowVisible(dialog); }),
          waitFor([&marker](HWND) { return fileExists(marker); }),
          act([&](HWND dialog) { openAfterRun = IsWindowVisible(dialog); }), click(IDC_OK)},
         15000);
    EXPECT_TRUE(openAfterPress && openAfterRun) << "the dialog closed";
    ASSERT_TRUE(fileExists(marker)) << "the tool was not started";
    EXPECT_EQ(readFileBytes(marker), commandLine);
}

TEST_F(FamilyAboutDialog, OkStoresAndAppliesTheBoxOtherWaysOutChangeNothingARestartKeepsIt)
{
    DialogStep ok = click(IDC_OK);
    struct { int stored; bool active, tick; DialogStep way; bool stores; } rows[] = {
        {-1, true, true, ok, true}, {1, false, false, ok, true}, {0, false, true, ok, true},
        {1, false, true, ok, true}, {0, false, false, ok, true}, {1, true, false, ok, true},
        {0, true, true, ok, true}, {-1, false, false, pressKey(VK_ESCAPE), false},
        {-1, false, false, closeBox(), false}, {-1, false, false, cancelCommand(), false}};
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        const auto& row = rows[i];
        // Stored -1: a clean profile, which blinks.
        SCOPED_TRACE(testing::Message() << "row " << i << ": stored " << row.stored << ", active "
                                        << row.active << ", box set to " << row.tick);
        if (row.stored < 0)
            deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
        else
            setRegDword(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, row.stored);
        TrayWindow& tray = start(row.active);
        // Disabled, the icon shows the on image first: a blink phase, or put there by hand.
        if (!row.active && row.stored != 0 && row.stores)
            ASSERT_TRUE(pumpUntil([&] { return iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON); },
                                  2000));
        else if (!row.active && row.stored == 0)
            tray.setTrayIcon(IDI_SAVER_ON);
        HICON shown = tray.trayIcon.hIcon;
        bool wasTicked = false;
        DWORD pressed = 0;
        open({act([&](HWND dialog) {
                  wasTicked = boxTicked(dialog);
                  if (wasTicked != row.tick)
                      SendMessageA(GetDlgItem(dialog, IDC_BLINK), BM_CLICK, 0, 0);
                  EXPECT_EQ(boxTicked(dialog), row.tick);
                  pressed = GetTickCount();
              }),
              row.way});
        bool blink = row.stores ? row.tick : row.stored != 0;
        EXPECT_EQ(wasTicked, row.stored != 0) << "the box does not show the stored choice";
        EXPECT_EQ(storedBlinkDword(), row.stores ? row.tick : DWORD(row.stored));
        EXPECT_EQ(blinkFlag(), blink);
        if (row.active) {
            EXPECT_EQ(tray.trayIcon.hIcon, shown) << "the icon was replaced";
            EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_ON));
            EXPECT_TRUE(app_->flags & APP_SAVER_ACTIVE);
        } else if (!blink) {
            EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_OFF));
            EXPECT_TRUE(row.stored == 0 || watchBlinkTicks(tray, 700).empty()) << "ticks after";
            EXPECT_TRUE(iconShows(tray.trayIcon.hIcon, IDI_SAVER_OFF)) << "it left the off image";
        } else if (row.stores) {
            // Every half second, at once after OK, with room for a busy machine.
            std::vector<Tick> ticks = watchBlinkTicks(tray, 1300);
            ASSERT_GE(ticks.size(), 2u) << "the icon does not blink";
            EXPECT_LE(ticks.size(), 3u) << "it blinks faster than every half second";
            EXPECT_GE(ticks[0].at - pressed, 400u);
            EXPECT_LE(ticks[0].at - pressed, 1000u);
            EXPECT_GE(ticks[1].at - ticks[0].at, 400u);
            EXPECT_LE(ticks[1].at - ticks[0].at, 900u);
            EXPECT_NE(ticks[0].showsOn, ticks[1].showsOn) << "consecutive ticks show one image";
        }
        EXPECT_EQ(blinking(), blink && !row.active);
        TrayWindow& again = start(row.active);
        EXPECT_EQ(blinkFlag(), blink) << "after a restart";
        EXPECT_EQ(blinking(), blink && !row.active) << "after a restart";
        EXPECT_TRUE(iconShows(again.trayIcon.hIcon, row.active ? IDI_SAVER_ON : IDI_SAVER_OFF));
    }
}

// "Add Running Program...": a program with a window is offered under its title and file name,
// and the one chosen is added to the list.
TEST_F(FamilyAboutDialog, ThePickerOffersProgramsWithAWindowAndAddsTheOneChosen)
{
    ChildProcess player;
    ASSERT_TRUE(player.start(systemDirectory() + "\\notepad.exe"));
    ASSERT_TRUE(pumpUntil([&] { return !windowsOfClass(nullptr, player.id, true).empty(); }, 10000));
    char title[256] = {};
    GetWindowTextA(windowsOfClass(nullptr, player.id, true).front(), title, sizeof title);
    start();
    Application& app = *app_;
    DialogRun run = runModal(
        "Add Running Program", [&] { return showPickerDialog(app); },
        {act([&](HWND dialog) {
             HWND list = GetDlgItem(dialog, IDC_PICKER_LIST);
             EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDOK))) << "Add before a choice";
             LRESULT at = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>((std::string(title) + " (notepad.exe)").c_str()));
             SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
             SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_PICKER_LIST, LBN_SELCHANGE),
                          reinterpret_cast<LPARAM>(list));
         }),
         click(IDOK)});
    EXPECT_TRUE(run.opened && run.closedByItself);
    EXPECT_EQ(run.result, 1) << "not offered as \"" << title << " (notepad.exe)\"";
    std::string list;
    EXPECT_TRUE(readRegValue(HKEY_CURRENT_USER, BLINK_KEY, KEEP_OFF_VALUE, &list));
    EXPECT_EQ(list, std::string("notepad.exe\0\0", 13));
}

namespace {

// A value as an organisation's tools (or a careless script) leave it, "|" standing for a zero
// byte; type ~0: none.
struct Stored { DWORD type; std::string bytes; };
const Stored kAbsent = {~0u, ""};
Stored raw(DWORD type, std::string bytes)
{
    std::replace(bytes.begin(), bytes.end(), '|', '\0');
    return {type, bytes};
}
Stored dword(DWORD value) { return {REG_DWORD, std::string(reinterpret_cast<char*>(&value), 4)}; }
Stored text(const std::string& value, DWORD type = REG_SZ) { return raw(type, value + "|"); }

// What the program reads of a number or a text: "-" not set, else the value.
std::string policyRead(const char* name)
{
    TextPolicy language;
    if (!strcmp(name, POLICY_LANGUAGE))
        return readTextPolicy(name, &language), language.set ? language.text : "-";
    DwordPolicy number = readDwordPolicy(name);
    return number.set ? std::to_string(number.value) : "-";
}

struct PreferencePolicy : DialogTest {
    void SetUp() override { DialogTest::SetUp(), clear(); }
    void TearDown() override { clear(), DialogTest::TearDown(); }
    static void clear()
    {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            deleteRegTree(root, PREFERENCE_POLICY_KEY);
    }
};

} // namespace

// Each preference's policy: the computer's over the user's over the user's own choice; a value of
// the wrong type or size sets nothing (a list's holds it empty). What a policy sets greys its
// control, which then changes nothing, and the menu's managed line says so.
TEST_F(PreferencePolicy, TheComputersOverTheUsersOverTheOwnChoiceGreyingTheControl)
{
    const std::string name259(259, 'x');
    const char *blink = POLICY_BLINK, *display = POLICY_KEEP_DISPLAY_ON,
               *list = POLICY_KEEP_OFF_WHILE, *language = POLICY_LANGUAGE;
    const Stored& none = kAbsent;
    const DWORD multi = REG_MULTI_SZ;
    struct { const char* name; Stored machine, user; int own; const char* read; } rows[] = {
        {blink, none, none, 0, "-"}, {blink, none, dword(1), 1, "1"},
        {blink, dword(0), dword(1), 0, "0"}, {blink, dword(1), none, 0, "1"},
        {blink, text("1"), dword(0), 1, "0"}, {blink, dword(7), none, 0, "7"},
        {blink, raw(REG_DWORD, "||"), none, 0, "-"},
        {blink, none, raw(REG_DWORD, "||||||||"), 1, "-"},
        {blink, none, raw(REG_BINARY, "||||"), 1, "-"}, {display, none, none, -1, "-"},
        {display, dword(1), dword(0), -1, "1"}, {display, text("1"), dword(0), -1, "0"},
        {list, none, none, -1, "-"},
        {list, none, raw(multi, "vlc.exe|C:\\T\\s.exe||"), -1, "vlc.exe|C:\\T\\s.exe"},
        {list, raw(multi, "a.exe||"), raw(multi, "b.exe||"), -1, "a.exe"},
        {list, text(""), raw(multi, "b.exe||"), -1, "?"},
        {list, none, raw(multi, "x.exe|y.exe"), -1, "x.exe|y.exe"},
        {list, none, raw(multi, "a||b||"), -1, "a"}, {list, none, raw(multi, ""), -1, ""},
        {list, none, raw(multi, std::string(POLICY_LIST_LIMIT + 1, 'a')), -1, "?"},
        {language, none, none, -1, "-"}, {language, none, text("de-DE"), -1, "de-DE"},
        {language, text("fr-FR"), text("de-DE"), -1, "fr-FR"},
        {language, text("fr-FR", REG_EXPAND_SZ), text("de-DE"), -1, "de-DE"},
        {language, none, text(""), -1, "-"}, {language, none, raw(REG_SZ, "ja-JP"), -1, "ja-JP"},
        {language, none, text(name259), -1, name259.c_str()},
        {language, none, text(name259 + "x"), -1, "-"},
        {language, none, raw(multi, "de-DE||"), -1, "-"}};
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        const auto& row = rows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << row.name);
        clear();
        for (auto place : {std::make_pair(HKEY_LOCAL_MACHINE, &row.machine),
                           std::make_pair(HKEY_CURRENT_USER, &row.user)})
            if (place.second->type != kAbsent.type)
                setRegValue(place.first, PREFERENCE_POLICY_KEY, row.name, place.second->type,
                            place.second->bytes.data(), DWORD(place.second->bytes.size()));
        deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
        if (row.own >= 0)
            setRegDword(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, row.own);
        if (row.name == list)
            setRegValue(HKEY_CURRENT_USER, BLINK_KEY, KEEP_OFF_VALUE, multi, "own.exe\0", 9);
        const bool held = strcmp(row.read, "-") != 0;
        if (row.name != list)
            EXPECT_EQ(policyRead(row.name), row.read);
        TrayWindow& tray = start(false);
        SendMessageA(tray.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(tray.popupMenu), 0);
        const UINT line = GetMenuState(tray.popupMenu, IDM_MANAGED, MF_BYCOMMAND);
        EXPECT_EQ(line != ~0u && (line & MF_GRAYED), held) << "the managed line";
        if (row.name == list) {
            // The policy's programs ("|" between them) replace the user's own; one held but
            // unreadable ("?") lists none.
            std::string rules;
            for (UINT r = 0; r < tray.keepOff.rules.count; ++r)
                rules += (r ? "|" : "") + std::string(tray.keepOff.rules.at(r)->text);
            EXPECT_EQ(rules, !held ? "own.exe" : strcmp(row.read, "?") ? row.read : "");
        }
        if (row.name == display) {
            // The display box shows the policy's choice, greyed, and OK stores nothing.
            bool ticked = false, enabled = false;
            lookAndLeave([&](HWND dialog) {
                ticked = IsDlgButtonChecked(dialog, IDC_KEEP_DISPLAY_ON) == BST_CHECKED;
                enabled = IsWindowEnabled(GetDlgItem(dialog, IDC_KEEP_DISPLAY_ON)) != FALSE;
            });
            EXPECT_TRUE(ticked == (held && strcmp(row.read, "0") != 0) && enabled == !held);
            EXPECT_EQ(readRegValue(HKEY_CURRENT_USER, BLINK_KEY, KEEP_DISPLAY_ON_VALUE, nullptr),
                      !held);
        }
        if (row.name != blink)
            continue;
        // The blink in force from the start; the About box shows it, greyed while held, and
        // its OK (the box set otherwise, as no click could) keeps the held value and the user's.
        const bool blinks = held ? strcmp(row.read, "0") != 0 : row.own != 0;
        EXPECT_EQ(blinkFlag(), blinks) << "at start";
        bool ticked = !blinks, enabled = held;
        open({act([&](HWND dialog) {
                  ticked = boxTicked(dialog);
                  enabled = IsWindowEnabled(GetDlgItem(dialog, IDC_BLINK));
                  CheckDlgButton(dialog, IDC_BLINK, blinks ? BST_UNCHECKED : BST_CHECKED);
              }),
              click(IDC_OK)});
        EXPECT_TRUE(ticked == blinks && enabled == !held);
        EXPECT_TRUE(blinkFlag() == (held ? blinks : !blinks) && blinking() == blinkFlag())
            << "after OK";
        EXPECT_EQ(storedBlinkDword(), DWORD(held ? row.own : !blinks)) << "the user's own choice";
    }
}
