// Every operation that replaces the tray icon, its state or the menu's objects, repeated
// between its own probes. "--full" (or DORMITY_SOAK_FULL=1) runs the full counts.
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

namespace {

const int kInstalledSavers = 20;
const int kConfiguredIndex = 7;
const size_t kOwnerDrawnItems = 20 + kInstalledSavers + 1;  // fixed items, "[none]", copies
const int kWarmUp = 5;  // first uses fill the system's own caches
// Freed slots are reused: one object kept per use moves a probe by the use
// count, balanced work by a few. Half the count, capped, tells them apart.
const long kHandleMargin = 48;
const long long kMemoryLimit = 1024 * 1024;
const long long kPhaseMemoryLimit = 128 * 1024;  // balanced phases measured 0 to 40 KB

bool fullRun()
{
    const char* flag = getenv("DORMITY_SOAK_FULL");
    return commandLineHas("--full") || (flag && *flag && strcmp(flag, "0") != 0);
}

struct Probe {
    long long memory;
    long long mapped;
    IconCalls icons;
    HandleLevels handles;
    DWORD time;
};

Probe probe()
{
    pumpMessages();
    return {static_cast<long long>(privateBytes()), static_cast<long long>(mappedBytes()),
            iconCalls(), probeHandleLevels(), GetTickCount()};
}

// What happened between two probes.
struct Span {
    const char* name;
    int iterations;
    Probe before;
    Probe after;
    long loaded() const { return after.icons.loaded - before.icons.loaded; }
    long shell() const { return after.icons.shellIcons - before.icons.shellIcons; }
    long destroyed() const { return after.icons.destroyed - before.icons.destroyed; }
    long long memory() const { return after.memory - before.memory; }
};

// Wine 8 itself keeps some 80 bytes for every icon loaded and destroyed, and
// the full counts load 150,000: measured, a tenth added, and taken off.
struct WineIconCost {
    double perLoaded = 0;
    double perShell = 0;
    long long of(const Span& span) const
    {
        return static_cast<long long>(1.1 * (span.loaded() * perLoaded + span.shell() * perShell));
    }
};

// Private bytes kept per icon that make gives and this destroys.
template <typename Make> double keptPerIcon(int uses, Make make)
{
    const SIZE_T before = privateBytes();
    for (int i = 0; i < uses; ++i)
        DestroyIcon(make(i));
    const SIZE_T after = privateBytes();
    return after > before ? static_cast<double>(after - before) / uses : 0.0;
}

// The catalogue's length, and its marked entry.
int catalogueSize(const TrayWindow& tray, const SaverEntry** checked = nullptr)
{
    int count = 0;
    for (const SaverEntry* entry = tray.saverList; entry; entry = entry->next, ++count)
        if (checked && (entry->flags & SAVER_CHECKED))
            *checked = entry;
    return count;
}

// One path of repeated work: its counts, and one use that says whether it did its work.
struct SoakPath {
    const char* name;
    int fullCount;
    int suiteCount;
    std::function<bool()> use;
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
        savers_.removeAll();
        resetScreenSaverSettings();
        setSaverActive(wasActive_);
        pumpMessages();
    }

    HWND window() const { return tray_->window; }
    bool active() const { return (app_->flags & APP_SAVER_ACTIVE) != 0; }
    bool blinks() const { return (app_->flags & APP_BLINK) != 0; }
    std::vector<MenuItemView> refreshedItems()
    {
        SendMessageA(window(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(tray_->popupMenu), 0);
        return ownerDrawnItems(*tray_);
    }

    // One path between two probes: every use did its work, no probe rose.
    Span runPhase(const SoakPath& path, int iterations)
    {
        Span span = {path.name, iterations, probe(), {}};
        int failedUses = 0;
        for (int i = 0; i < iterations; ++i)
            failedUses += !path.use();
        span.after = probe();
        const HandleLevels grew = {span.after.handles.gdi - span.before.handles.gdi,
                                   span.after.handles.user - span.before.handles.user,
                                   span.after.handles.kernel - span.before.handles.kernel};
        const long long mapped = span.after.mapped - span.before.mapped;
        printf(
            "[ soak     ] %-22s %5d uses %6lu ms  GDI %+ld USER %+ld kernel %+ld  memory %+lld KB"
            "  mapped %+lld KB  icons %ld+%ld/%ld\n",
            path.name, iterations, static_cast<unsigned long>(span.after.time - span.before.time),
            grew.gdi, grew.user, grew.kernel, span.memory() / 1024, mapped / 1024, span.loaded(),
            span.shell(), span.destroyed());
        fflush(stdout);
        const long allowed = iterations / 2 < kHandleMargin ? iterations / 2 : kHandleMargin;
        EXPECT_EQ(failedUses, 0) << path.name << ": uses that did not do their work";
        EXPECT_LE(grew.gdi, allowed) << path.name << ": GDI objects kept";
        EXPECT_LE(grew.user, allowed) << path.name << ": USER objects kept";
        EXPECT_LE(grew.kernel, allowed) << path.name << ": kernel handles kept";
        EXPECT_EQ(span.loaded() + span.shell(), span.destroyed())
            << path.name << ": icons were created and not destroyed";
        EXPECT_LE(mapped, kPhaseMemoryLimit) << path.name << ": mapped files kept";
        return span;
    }

    InstalledFiles savers_{"zrsoak"};
    Application* app_ = nullptr;
    TrayWindow* tray_ = nullptr;
    bool wasActive_ = true;
};

}  // namespace

TEST_F(Soak, RepeatedWorkKeepsHandlesAndMemoryFlat)
{
    ASSERT_TRUE(countIconCalls()) << "cannot count the program's icons";
    // Another program with a window sets the flag and announces it itself:
    // Wine keeps the flag of every process with a window in the X server.
    auto otherSets = [&](bool flag) { return announceFromAnotherProgram(flag) && active() == flag; };

    // The start-up catalogue, the configured copy marked; the saver disabled
    // and the icon blinking, as every path leaves it.
    const SaverEntry* checked = nullptr;
    ASSERT_EQ(catalogueSize(*tray_, &checked), kInstalledSavers + 1);
    ASSERT_NE(checked, nullptr);
    EXPECT_STRCASEEQ(checked->fileName, savers_.catalogueNameOf(kConfiguredIndex).c_str());
    ASSERT_TRUE(otherSets(false));
    ASSERT_FALSE(active());
    ASSERT_TRUE(blinks());
    std::vector<MenuItemView> items = refreshedItems();
    ASSERT_EQ(items.size(), kOwnerDrawnItems);
    Canvas canvas(320, 64);
    ASSERT_TRUE(canvas.valid());

    auto send = [this](UINT message, WPARAM wParam) { SendMessageA(window(), message, wParam, 0); };
    auto catalogueWhole = [this] { return catalogueSize(*tray_) == kInstalledSavers + 1; };
    auto shellHasIcon = [this] {
        return Shell_NotifyIconA(NIM_MODIFY, reinterpret_cast<NOTIFYICONDATAA*>(&tray_->trayIcon))
               != FALSE;
    };
    auto toggle = [&] {
        bool before = active();
        send(WM_COMMAND, IDM_TOGGLE);
        return active() != before && isSaverActive() != before;
    };
    auto aboutOk = [&](bool box) {
        DialogRun run
            = runModal("About", [&] { return SendMessageA(window(), WM_COMMAND, IDM_ABOUT, 0); },
                       {act([box](HWND dialog) {
                            CheckDlgButton(dialog, IDC_BLINK, box ? BST_CHECKED : BST_UNCHECKED);
                        }),
                        click(IDC_OK)});
        return run.closedByItself && blinks() == box;
    };
    UINT timedChoices = 0;
    FILETIME stamp = {0, 0x01D00000};
    // Every path ends in the state it began in.
    const SoakPath paths[] = {
        {"settings change", 20000, 150,
         [&] {
             // One file changed each time, so that the catalogue reads it again.
             UniqueFile file(CreateFileA(
                 savers_.pathOf(++stamp.dwLowDateTime % kInstalledSavers).c_str(),
                 FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
             SetFileTime(file.get(), nullptr, nullptr, &stamp);
             send(WM_SETTINGCHANGE, 0);
             return catalogueWhole();
         }},
        {"menu and submenu open", 20000, 150,
         [&] {
             send(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(tray_->popupMenu));
             send(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(tray_->popupMenu, 0)));
             return catalogueWhole();
         }},
        {"draw every item", 5000, 50,
         [&] {
             // As the menu holds them now: rebuilds free the entries.
             std::vector<MenuItemView> now = ownerDrawnItems(*tray_);
             bool drawn = now.size() == kOwnerDrawnItems;
             for (const MenuItemView& item : now)
                 drawn &= canvas.draw(window(), item, false) == TRUE
                          && canvas.draw(window(), item, true) == TRUE;
             return drawn;
         }},
        {"blink tick", 20000, 1000,
         [&] {
             HICON before = tray_->trayIcon.hIcon;
             send(WM_TIMER, IDT_BLINK);
             return tray_->trayIcon.hIcon && tray_->trayIcon.hIcon != before;
         }},
        {"reinstall", 1000, 100,
         [&] {
             send(WM_REINSTALL, 0);
             return shellHasIcon() && catalogueWhole();
         }},
        {"taskbar created", 1000, 100,
         [&] {
             send(taskbarCreatedMessage(), 0);
             return shellHasIcon();
         }},
        {"enable, disable", 5000, 100, [&] { return toggle() && toggle(); }},
        {"timed disable, cancel", 2000, 50,
         [&] {
             // Each choice in turn, ended by the Enable command, then disabled as before.
             send(WM_COMMAND, IDM_DISABLE_15 + timedChoices++ % 5);
             bool pending = !active() && storedEnableAt();
             return pending && toggle() && !storedEnableAt() && toggle();
         }},
        {"other program flips", 500, 10, [&] { return otherSets(true) && otherSets(false); }},
        {"About OK, box clear", 500, 30, [&] { return aboutOk(false); }},
        {"About OK, box set", 500, 30, [&] { return aboutOk(true); }},
    };
    std::vector<int> counts;
    for (const SoakPath& path : paths)
        counts.push_back(fullRun() ? path.fullCount : path.suiteCount);
    printf("[ soak     ] %s counts\n", fullRun() ? "full" : "suite (reduced)");

    for (const SoakPath& path : paths)
        for (int i = 0; i < kWarmUp; ++i)
            path.use();
    pumpMessages();
    const std::vector<unsigned char> drawnBefore = renderAllItems(window(), items);
    ASSERT_FALSE(drawnBefore.empty());

    std::vector<Span> phases;
    for (size_t i = 0; i < counts.size(); ++i)
        phases.push_back(runPhase(paths[i], counts[i]));
    const Span whole = {"whole run", 0, phases.front().before, phases.back().after};
    ASSERT_GT(whole.before.memory, 0);

    // Only the full counts load enough icons for Wine's share to matter; it
    // shows only once the phases have used up the fresh heap's free space.
    WineIconCost wine;
    if (fullRun()) {
        wine.perLoaded = keptPerIcon(30000, [](int i) {
            return static_cast<HICON>(LoadImageA(
                GetModuleHandleA(nullptr), MAKEINTRESOURCEA(i & 1 ? IDI_SAVER_ON : IDI_SAVER_OFF),
                IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
        });
        wine.perShell = keptPerIcon(7500, [this](int) {
            SHFILEINFOA info = {};
            SHGetFileInfoA(savers_.pathOf(0).c_str(), 0, &info, sizeof info,
                           SHGFI_ICON | SHGFI_SMALLICON);
            return info.hIcon;
        });
    }
    for (const Span& phase : phases)
        EXPECT_LE(phase.memory() - wine.of(phase), kPhaseMemoryLimit)
            << phase.name << ": memory grew";
    printf("[ soak     ] icons %ld+%ld/%ld, refused %ld; Wine keeps %.1f/%.1f bytes per icon; "
           "memory %+lld (Wine's %lld)\n",
           whole.loaded(), whole.shell(), whole.destroyed(),
           whole.after.icons.refused - whole.before.icons.refused, wine.perLoaded, wine.perShell,
           whole.memory(), wine.of(whole));
    EXPECT_EQ(whole.loaded() + whole.shell(), whole.destroyed()) << "icons not destroyed";
    EXPECT_LT(whole.memory() - wine.of(whole), kMemoryLimit) << "private memory grew";

    // Everything still works as before the soak.
    EXPECT_TRUE(resourcesStillAvailable());
    EXPECT_TRUE(shellHasIcon()) << "the tray icon is gone";
    EXPECT_TRUE(iconShows(tray_->trayIcon.hIcon, IDI_SAVER_ON)
                || iconShows(tray_->trayIcon.hIcon, IDI_SAVER_OFF));
    checked = nullptr;
    EXPECT_EQ(catalogueSize(*tray_, &checked), kInstalledSavers + 1);
    ASSERT_NE(checked, nullptr);
    EXPECT_STREQ(checked->description, fixtureDescription().c_str());
    EXPECT_TRUE(renderAllItems(window(), refreshedItems()) == drawnBefore)
        << "the menu items are no longer drawn as they were";
}
