// Off while a listed program runs: Dormity.exe and a real program, both started as processes.
#include <gtest/gtest.h>

#include <string>

#include "app/application.h"
#include "commands/blink_preference.h"
#include "commands/keep_off.h"
#include "res/resource.h"
#include "support/processes.h"
#include "support/system.h"

namespace {

void listPrograms(const std::string& programs)
{
    setRegValue(HKEY_CURRENT_USER, BLINK_KEY, KEEP_OFF_VALUE, REG_MULTI_SZ, programs.data(),
                static_cast<DWORD>(programs.size()));
}

bool marker(std::string* program = nullptr)
{
    std::string value;
    bool present = readRegValue(HKEY_CURRENT_USER, BLINK_KEY, KEPT_OFF_FOR_VALUE, &value);
    if (program)
        *program = value.c_str();
    return present;
}

bool becomes(bool active, DWORD timeoutMs)
{
    return pumpUntil([active] { return isSaverActive() == active; }, timeoutMs);
}

}  // namespace

// The list changed while Dormity runs, a start and an end seen, Dormity ended by force while it
// holds and started again, and Exit while it holds.
TEST(KeepOffProcess, AListedProgramKeepsItOffUntilItEndsAlsoAcrossAnEndedDormity)
{
    // With a window of its own the test reads, under Wine, the X server's flag: Dormity's.
    BroadcastCounter window;
    SavedRegistryKey preferences(HKEY_CURRENT_USER, BLINK_KEY);
    preferences.removeFromRegistry();
    setSaverActive(true);
    const std::string notepad = systemDirectory() + "\\notepad.exe";
    const std::string directory = freshTempDirectory("keepoff");

    ChildProcess dormity;
    ASSERT_TRUE(dormity.start(dormityExe(), "", directory));
    ASSERT_TRUE(waitForWindow(dormity.id));
    {
        // Listed while it runs: the change of the list is seen, with no other news.
        ChildProcess player;
        ASSERT_TRUE(player.start(notepad));
        ASSERT_TRUE(pumpUntil([&] { return !windowsOfClass(nullptr, player.id, true).empty(); },
                              10000));
        Sleep(1000);
        listPrograms(std::string("NOTEPAD.EXE\0", 12));
        EXPECT_TRUE(becomes(false, 10000)) << "not off while a listed program runs";
        std::string held;
        EXPECT_TRUE(marker(&held) && held == "notepad.exe") << held;

        // Ended by force while it holds: nobody brings it back until the next start, which
        // holds on while the program still runs.
        TerminateProcess(dormity.handle.get(), 9);
        ASSERT_EQ(dormity.waitExit(10000), 9u);
        ASSERT_TRUE(dormity.start(dormityExe(), "", directory));
        ASSERT_TRUE(waitForWindow(dormity.id));
        EXPECT_FALSE(becomes(true, 1500)) << "the restart let go while the program runs";
        EXPECT_TRUE(marker());
        TerminateProcess(player.handle.get(), 0);
        EXPECT_TRUE(becomes(true, 10000)) << "not back when the program ended";
        EXPECT_FALSE(marker());

        // Ended by force again, the program ends meanwhile: back at the next start.
        ASSERT_TRUE(player.start(notepad));
        ASSERT_TRUE(becomes(false, 10000));
        TerminateProcess(dormity.handle.get(), 9);
        ASSERT_EQ(dormity.waitExit(10000), 9u);
    }
    EXPECT_FALSE(isSaverActive());
    ASSERT_TRUE(dormity.start(dormityExe(), "", directory));
    HWND tray = waitForWindow(dormity.id);
    ASSERT_TRUE(tray);
    EXPECT_TRUE(becomes(true, 10000)) << "not back at the start after a forced end";
    EXPECT_FALSE(marker());

    // Held by its full path in another letter case; Exit brings it back at once.
    std::string upper = notepad;
    CharUpperA(&upper[0]);
    listPrograms(upper + std::string(1, '\0'));
    ChildProcess player;
    ASSERT_TRUE(player.start(notepad));
    ASSERT_TRUE(becomes(false, 10000)) << "a full path not matched";
    PostMessageA(tray, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    EXPECT_EQ(dormity.waitExit(10000), 0u);
    EXPECT_TRUE(isSaverActive()) << "Exit left it off";
    EXPECT_FALSE(marker());
}
