// Long runs, in one process, of every operation that replaces the tray
// icon, its state or the menu's objects: settings changes that rebuild a
// catalogue of twenty screen savers, opening the menu and its submenu,
// drawing every item, blink ticks, re-adds, the Enable/Disable command,
// another program flipping the flag, and the About dialog's OK. Every GDI,
// USER and kernel object a path takes must be given back, each icon it
// loads destroyed, and the heap must not grow. A path never repeated here
// could leak one object per use unnoticed.
//
// The suite runs reduced counts; "--full" (or DORMITY_SOAK_FULL=1) runs the
// full ones, as the soak_full build target does.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/tray_window.h"
#include "commands/blink_preference.h"
#include "support/dialogs.h"
#include "res/resource.h"
#include "support/savers.h"
#include "support/pixels.h"
#include "support/processes.h"
#include "support/system.h"
#include "support/processes.h"
#include "support/pixels.h"

namespace {

const int kInstalledSavers = 20;
const int kConfiguredIndex = 7;
// 12 fixed items (408, 403, 404, 409, 412, 411, 413, 414, 415, 416, 406,
// 407) and the 21 catalogue entries.
const size_t kOwnerDrawnItems = 12 + kInstalledSavers + 1;
// Uses of each path before any probe: first use fills the system's own
// caches (the shell's icon list, fonts, the loader's and dialogs' tables).
const int kWarmUp = 5;

// One path of the program's repeated work: its counts and one use of it,
// which answers whether the use did its work.
struct SoakPath {
    const char* name;
    int fullCount;
    int suiteCount;
    std::function<bool()> use;
};

// DORMITY_SOAK_COUNTS=a,b,c,... sets the counts in the table's order (the
// rest keep theirs), for looking closer at one path.
bool countsFromEnvironment(std::vector<int>* counts)
{
    const char* text = getenv("DORMITY_SOAK_COUNTS");
    if (!text)
        return false;
    for (size_t i = 0; i < counts->size() && *text; ++i) {
        (*counts)[i] = atoi(text);
        text = strchr(text, ',');
        if (!text)
            break;
        ++text;
    }
    return true;
}

bool fullRun()
{
    const char* flag = getenv("DORMITY_SOAK_FULL");
    return commandLineHas("--full") || (flag && *flag && strcmp(flag, "0") != 0);
}

// How far a probe may rise over a phase of balanced work. Freed slots are
// reused, so balanced work moves the probes only by the few objects that
// the system itself keeps (caches filled on first use, which the warm-up
// round takes care of); one object kept per iteration moves them by at
// least the iteration count. Half the count, but never more than this
// fixed margin, separates the two for every phase.
const long kHandleMargin = 48;

long allowedGrowth(int iterations)
{
    long half = iterations / 2;
    return half < kHandleMargin ? half : kHandleMargin;
}

const SIZE_T kMemoryLimit = 1024 * 1024;
// Each phase on its own, for private and for mapped memory: balanced phases
// were measured at 0 to 40 KB.
const long long kPhaseMemoryLimit = 128 * 1024;

// Wine 8 itself keeps some 80 bytes of private memory for every icon that
// is loaded and destroyed again (a loop of bare LoadImageA and DestroyIcon
// calls shows it, with no program code involved), and the full counts
// load some 150,000 icons. What Wine keeps is measured here with the same
// calls, and the program's icons are counted, so that the bound applies to
// what is left: the program's own growth.
struct WineIconCost {
    double perLoadedIcon;
    double perShellIcon;
};

WineIconCost measureWineIconCost(int pairs, const std::string& shellFile)
{
    WineIconCost cost = {0, 0};
    HINSTANCE self = GetModuleHandleA(nullptr);
    SIZE_T before = privateBytes();
    for (int i = 0; i < pairs; ++i)
        DestroyIcon(static_cast<HICON>(LoadImageA(self, MAKEINTRESOURCEA(i & 1 ? IDI_SAVER_ON : IDI_SAVER_OFF),
                                                  IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
    SIZE_T after = privateBytes();
    cost.perLoadedIcon = after > before ? static_cast<double>(after - before) / pairs : 0.0;
    before = privateBytes();
    for (int i = 0; i < pairs / 4; ++i) {
        SHFILEINFOA info;
        memset(&info, 0, sizeof info);
        SHGetFileInfoA(shellFile.c_str(), 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON);
        if (info.hIcon)
            DestroyIcon(info.hIcon);
    }
    after = privateBytes();
    cost.perShellIcon = after > before ? static_cast<double>(after - before) / (pairs / 4) : 0.0;
    return cost;
}

struct PhaseResult {
    const char* name;
    int iterations;
    HandleLevels before;
    HandleLevels after;
    SIZE_T memoryBefore;
    SIZE_T memoryAfter;
    SIZE_T mappedBefore;
    SIZE_T mappedAfter;
    long loadedIcons;  // loaded by the program from resources
    long shellIcons;   // and handed to it by the shell
    long destroyedIcons;
    int failedUses;
    DWORD milliseconds;
};

void report(const PhaseResult& phase)
{
    printf("[ soak     ] %-22s %6d iterations %7lu ms  GDI %ld->%ld  USER %ld->%ld  "
           "kernel %ld->%ld  memory %+ld KB  mapped %+ld KB  icons %ld+%ld/%ld\n",
           phase.name, phase.iterations, static_cast<unsigned long>(phase.milliseconds),
           phase.before.gdi, phase.after.gdi, phase.before.user, phase.after.user,
           phase.before.kernel, phase.after.kernel,
           (static_cast<long>(phase.memoryAfter) - static_cast<long>(phase.memoryBefore)) / 1024,
           (static_cast<long>(phase.mappedAfter) - static_cast<long>(phase.mappedBefore)) / 1024,
           phase.loadedIcons, phase.shellIcons, phase.destroyedIcons);
    fflush(stdout);
}

bool shellHasIcon(TrayWindow& tray)
{
    return Shell_NotifyIconA(NIM_MODIFY, reinterpret_cast<NOTIFYICONDATAA*>(&tray.trayIcon));
}

int catalogueSize(const TrayWindow& tray)
{
    int count = 0;
    for (const SaverEntry* entry = tray.saverList; entry; entry = entry->next)
        ++count;
    return count;
}

const SaverEntry* checkedEntry(const TrayWindow& tray)
{
    for (const SaverEntry* entry = tray.saverList; entry; entry = entry->next)
        if (entry->flags & SAVER_CHECKED)
            return entry;
    return nullptr;
}

// Another program with a window (reliability_flag_setter), running for the
// life of the object, that changes the screen saver flag and announces it.
class OtherProgram {
public:
    OtherProgram()
    {
        const char kReady[] = "DormitySoakFlagSetterReady";
        UniqueKernelObject ready(CreateEventA(nullptr, TRUE, FALSE, kReady));
        std::string command =
            "\"" + moduleDirectory() + "\\reliability_flag_setter.exe\" " + kReady;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started = {};
        if (!ready
            || !CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &started))
            return;
        CloseHandle(started.hThread);
        process_.reset(started.hProcess);
        if (WaitForSingleObject(ready.get(), 20000) == WAIT_OBJECT_0)
            window_ = FindWindowA("DormityFlagSetter", nullptr);
    }
    ~OtherProgram()
    {
        if (window_)
            PostMessageA(window_, WM_CLOSE, 0, 0);
        if (process_ && WaitForSingleObject(process_.get(), 5000) != WAIT_OBJECT_0)
            TerminateProcess(process_.get(), 1);
    }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    bool running() const { return window_ != nullptr; }
    // Returns when every window, the program's among them, has had the
    // broadcast: this thread handles it while it waits.
    bool setFlag(bool active)
    {
        DWORD_PTR answer = 0;
        return SendMessageTimeoutA(window_, WM_APP, active ? 1 : 0, 0, SMTO_NORMAL, 10000, &answer)
            && answer == 1;
    }

private:
    UniqueKernelObject process_;
    HWND window_ = nullptr;
};

class Soak : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fileExists(fixtureSaverPath())) << fixtureSaverPath();
        resetScreenSaverSettings();
        deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);  // missing: the icon blinks
        wasActive_ = isSaverActive();
        setSaverActive(false);
        ASSERT_TRUE(fileExists(fixtureSaverPath())) << fixtureSaverPath();
        for (int i = 0; i < kInstalledSavers; ++i)
            savers_.copy(fixtureSaverPath(), i);
        writeCurrentSaver(familyFromFlags(reportedPlatformFlags()),
                          savers_.catalogueNameOf(kConfiguredIndex).c_str());
        app_ = new Application(GetModuleHandleA(nullptr));
        ASSERT_NE(app_->trayWindow, nullptr);
        tray_ = app_->trayWindow;
    }
    void TearDown() override
    {
        delete app_;
        app_ = nullptr;
        savers_.removeAll();
        resetScreenSaverSettings();
        setSaverActive(wasActive_);
        pumpMessages();
    }

    HWND window() const { return tray_->window; }

    // What Wine itself keeps for the icons counted, with a tenth more for
    // the error of its measurement. Both counts are of program icons; the
    // shell's cost per icon is measured apart from the resources'.
    long long wineShare(long loadedIcons, long shellIcons) const
    {
        return static_cast<long long>(1.1 * (loadedIcons * wineCost_.perLoadedIcon
                                             + shellIcons * wineCost_.perShellIcon));
    }

    std::vector<MenuItemView> refreshedItems()
    {
        SendMessageA(window(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(tray_->popupMenu), 0);
        return ownerDrawnItems(*tray_);
    }
    bool active() const { return (app_->flags & APP_SAVER_ACTIVE) != 0; }
    bool blinks() const { return (app_->flags & APP_BLINK) != 0; }

    // Runs one path between two probes and checks the probes' rise and that
    // every use did its work.
    void runPhase(const SoakPath& path, int iterations)
    {
        pumpMessages();
        PhaseResult result;
        result.name = path.name;
        result.iterations = iterations;
        result.failedUses = 0;
        result.before = probeHandleLevels();
        const IconCalls iconsBefore = iconCalls();
        result.memoryBefore = privateBytes();
        result.mappedBefore = mappedBytes();
        DWORD start = GetTickCount();
        for (int i = 0; i < iterations; ++i)
            result.failedUses += !path.use();
        result.milliseconds = GetTickCount() - start;
        pumpMessages();
        result.memoryAfter = privateBytes();
        result.mappedAfter = mappedBytes();
        const IconCalls iconsAfter = iconCalls();
        result.after = probeHandleLevels();
        result.loadedIcons = iconsAfter.loaded - iconsBefore.loaded;
        result.shellIcons = iconsAfter.shellIcons - iconsBefore.shellIcons;
        result.destroyedIcons = iconsAfter.destroyed - iconsBefore.destroyed;
        report(result);
        const char* name = path.name;
        EXPECT_EQ(result.failedUses, 0) << name << ": uses that did not do their work";
        long allowed = allowedGrowth(iterations);
        EXPECT_LE(result.after.gdi - result.before.gdi, allowed) << name << ": GDI objects kept";
        EXPECT_LE(result.after.user - result.before.user, allowed) << name << ": USER objects kept";
        EXPECT_LE(result.after.kernel - result.before.kernel, allowed)
            << name << ": kernel handles kept";
        EXPECT_EQ(result.loadedIcons + result.shellIcons, result.destroyedIcons)
            << name << ": icons were created and not destroyed";
        EXPECT_LE(static_cast<long long>(result.mappedAfter)
                      - static_cast<long long>(result.mappedBefore),
                  kPhaseMemoryLimit)
            << name << ": mapped files kept";
        results_.push_back(result);
    }

    InstalledFiles savers_{"zrsoak"};
    Application* app_ = nullptr;
    TrayWindow* tray_ = nullptr;
    bool wasActive_ = true;
    std::vector<PhaseResult> results_;
    WineIconCost wineCost_ = {0, 0};
};

} // namespace

TEST_F(Soak, RepeatedWorkKeepsHandlesAndMemoryFlat)
{
    ASSERT_TRUE(countIconCalls()) << "cannot count the program's icons";
    OtherProgram otherProgram;
    ASSERT_TRUE(otherProgram.running()) << "the other program did not start";

    // The catalogue as built at start-up: "[none]" and the twenty copies,
    // the configured one marked.
    ASSERT_EQ(catalogueSize(*tray_), kInstalledSavers + 1);
    ASSERT_NE(checkedEntry(*tray_), nullptr);
    EXPECT_EQ(_stricmp(checkedEntry(*tray_)->fileName,
                       savers_.catalogueNameOf(kConfiguredIndex).c_str()),
              0);
    // The saver disabled and the icon blinking, as every path leaves it.
    ASSERT_TRUE(otherProgram.setFlag(false));
    ASSERT_FALSE(active());
    ASSERT_TRUE(blinks());
    std::vector<MenuItemView> items = refreshedItems();
    ASSERT_EQ(items.size(), kOwnerDrawnItems);
    Canvas canvas(320, 64);
    ASSERT_TRUE(canvas.valid());

    auto send = [this](UINT message, WPARAM wParam) { SendMessageA(window(), message, wParam, 0); };
    auto catalogueWhole = [this] { return catalogueSize(*tray_) == kInstalledSavers + 1; };
    auto toggle = [&] {
        bool before = active();
        send(WM_COMMAND, IDM_TOGGLE);
        return active() != before && isSaverActive() != before;
    };
    auto otherProgramSets = [&](bool flag) { return otherProgram.setFlag(flag) && active() == flag; };
    auto aboutOk = [&](bool box) {
        DialogRun run = runModal(
            "About", [&] { return SendMessageA(window(), WM_COMMAND, IDM_ABOUT, 0); },
            {act([box](HWND dialog) {
                 CheckDlgButton(dialog, IDC_BLINK, box ? BST_CHECKED : BST_UNCHECKED);
             }),
             click(IDC_OK)});
        return run.closedByItself && blinks() == box;
    };
    // Every path ends in the state it began in.
    const SoakPath paths[] = {
        {"settings change", 20000, 150, [&] {
             send(WM_SETTINGCHANGE, 0);
             return catalogueWhole();
         }},
        {"menu and submenu open", 20000, 150, [&] {
             send(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(tray_->popupMenu));
             send(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(tray_->popupMenu, 0)));
             return catalogueWhole();
         }},
        {"draw every item", 5000, 50, [&] {
             // As the menu holds them now: rebuilds free the entries.
             std::vector<MenuItemView> now = ownerDrawnItems(*tray_);
             bool drawn = now.size() == kOwnerDrawnItems;
             for (const MenuItemView& item : now)
                 drawn &= canvas.draw(window(), item, false) == TRUE
                     && canvas.draw(window(), item, true) == TRUE;
             return drawn;
         }},
        {"blink tick", 20000, 1000, [&] {
             HICON before = tray_->trayIcon.hIcon;
             send(WM_TIMER, IDT_BLINK);
             return tray_->trayIcon.hIcon && tray_->trayIcon.hIcon != before;
         }},
        {"reinstall", 1000, 100, [&] {
             send(WM_REINSTALL, 0);
             return shellHasIcon(*tray_) && catalogueWhole();
         }},
        {"taskbar created", 1000, 100, [&] {
             send(taskbarCreatedMessage(), 0);
             return shellHasIcon(*tray_);
         }},
        {"enable, disable", 5000, 100, [&] { return toggle() && toggle(); }},
        {"other program flips", 2000, 50,
         [&] { return otherProgramSets(true) && otherProgramSets(false); }},
        {"About OK, box clear", 500, 30, [&] { return aboutOk(false); }},
        {"About OK, box set", 500, 30, [&] { return aboutOk(true); }},
    };
    std::vector<int> counts;
    for (const SoakPath& path : paths)
        counts.push_back(fullRun() ? path.fullCount : path.suiteCount);
    bool chosen = countsFromEnvironment(&counts);
    printf("[ soak     ] %s counts\n", chosen ? "chosen" : fullRun() ? "full" : "suite (reduced)");

    for (const SoakPath& path : paths)
        for (int i = 0; i < kWarmUp; ++i)
            path.use();
    pumpMessages();
    const std::vector<unsigned char> drawnBefore = renderAllItems(window(), items);
    ASSERT_FALSE(drawnBefore.empty());
    const IconCalls iconsBefore = iconCalls();
    const SIZE_T memoryBefore = privateBytes();
    ASSERT_GT(memoryBefore, 0u);

    DWORD start = GetTickCount();
    for (size_t i = 0; i < counts.size(); ++i)
        runPhase(paths[i], counts[i]);
    DWORD total = GetTickCount() - start;

    pumpMessages();
    const SIZE_T memoryAfter = privateBytes();
    const IconCalls iconsAfter = iconCalls();
    // Only the full counts load enough icons for Wine's share to matter. It
    // is measured after the phases, when what Wine keeps has used up the
    // free heap space that would hide it in a fresh process; the reduced
    // counts are held to the bounds as they are.
    if (fullRun()) {
        wineCost_ = measureWineIconCost(30000, savers_.pathOf(0));
        pumpMessages();
    }
    for (const PhaseResult& phase : results_) {
        long long phaseGrowth = static_cast<long long>(phase.memoryAfter)
            - static_cast<long long>(phase.memoryBefore);
        EXPECT_LE(phaseGrowth - wineShare(phase.loadedIcons, phase.shellIcons), kPhaseMemoryLimit)
            << phase.name << ": private memory grew";
    }
    const long loaded = iconsAfter.loaded - iconsBefore.loaded;
    const long shell = iconsAfter.shellIcons - iconsBefore.shellIcons;
    const long destroyed = iconsAfter.destroyed - iconsBefore.destroyed;
    const long refused = iconsAfter.refused - iconsBefore.refused;
    const long stray = iconsAfter.stray - iconsBefore.stray;
    long long growth = static_cast<long long>(memoryAfter) - static_cast<long long>(memoryBefore);
    const long long wineIcons = wineShare(loaded, shell);
    printf("[ soak     ] icons: %ld loaded, %ld from the shell, %ld destroyed, %ld refused, %ld "
           "stray handles from failed shell calls; Wine keeps %.1f bytes per loaded and %.1f "
           "per shell icon\n",
           loaded, shell, destroyed, refused, stray, wineCost_.perLoadedIcon,
           wineCost_.perShellIcon);
    printf("[ soak     ] private bytes %lu -> %lu (%+lld, allowed for Wine's icons %lld: the "
           "program's own %+lld), %lu ms in all\n",
           static_cast<unsigned long>(memoryBefore), static_cast<unsigned long>(memoryAfter),
           growth, wineIcons, growth - wineIcons, static_cast<unsigned long>(total));
    EXPECT_EQ(loaded + shell, destroyed) << "icons were created and not destroyed";
    EXPECT_LT(growth - wineIcons, static_cast<long long>(kMemoryLimit)) << "private memory grew";

    // Everything still works as before the soak.
    EXPECT_TRUE(resourcesStillAvailable());
    EXPECT_TRUE(shellHasIcon(*tray_)) << "the tray icon is gone";
    EXPECT_TRUE(iconShows(tray_->trayIcon.hIcon, IDI_SAVER_ON)
                || iconShows(tray_->trayIcon.hIcon, IDI_SAVER_OFF));
    EXPECT_EQ(catalogueSize(*tray_), kInstalledSavers + 1);
    ASSERT_NE(checkedEntry(*tray_), nullptr);
    EXPECT_STREQ(checkedEntry(*tray_)->description, fixtureDescription().c_str());
    items = refreshedItems();
    EXPECT_TRUE(renderAllItems(window(), items) == drawnBefore)
        << "the menu items are no longer drawn as they were";
}
