// Off while a listed program runs: Dormity.exe and a real program, both started as processes.
#include <gtest/gtest.h>

#include <string>

#include "app/application.h"
#include "app/start_command.h"
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

// The program the marker names; "-" without one.
std::string marker()
{
    std::string value;
    return readRegValue(HKEY_CURRENT_USER, BLINK_KEY, KEPT_OFF_FOR_VALUE, &value) ? value.c_str()
                                                                                 : "-";
}

bool becomes(bool active, DWORD timeoutMs)
{
    return pumpUntil([active] { return isSaverActive() == active; }, timeoutMs);
}

// No preference stored, the screen saver on. With a window of its own the test reads, under
// Wine, the X server's flag: Dormity's.
class KeepOffProcess : public testing::Test {
protected:
    void SetUp() override { preferences_.removeFromRegistry(), setSaverActive(true); }
    // Starts Dormity and waits for its window.
    HWND start(ChildProcess& dormity, const std::string& arguments = "")
    {
        EXPECT_TRUE(dormity.start(dormityExe(), arguments, directory_));
        return waitForWindow(dormity.id);
    }
    BroadcastCounter window_;
    SavedRegistryKey preferences_{HKEY_CURRENT_USER, BLINK_KEY};
    const std::string notepad_ = systemDirectory() + "\\notepad.exe";
    const std::string directory_ = freshTempDirectory("keepoff");
};

}  // namespace

// The list changed while Dormity runs, a start and an end seen, Dormity ended by force while it
// holds and started again, and Exit while it holds.
TEST_F(KeepOffProcess, AListedProgramKeepsItOffUntilItEndsAlsoAcrossAnEndedDormity)
{
    ChildProcess dormity;
    ASSERT_TRUE(start(dormity));
    {
        // Listed while it runs: the change of the list is seen, with no other news.
        ChildProcess player;
        ASSERT_TRUE(player.start(notepad_));
        ASSERT_TRUE(pumpUntil([&] { return !windowsOfClass(nullptr, player.id, true).empty(); },
                              10000));
        Sleep(1000);
        listPrograms(std::string("NOTEPAD.EXE\0", 12));
        EXPECT_TRUE(becomes(false, 10000)) << "not off while a listed program runs";
        EXPECT_EQ(marker(), "notepad.exe");

        // Ended by force while it holds: nobody brings it back until the next start, which
        // holds on while the program still runs.
        TerminateProcess(dormity.handle.get(), 9);
        ASSERT_EQ(dormity.waitExit(10000), 9u);
        ASSERT_TRUE(start(dormity));
        EXPECT_FALSE(becomes(true, 1500)) << "the restart let go while the program runs";
        EXPECT_NE(marker(), "-");
        TerminateProcess(player.handle.get(), 0);
        EXPECT_TRUE(becomes(true, 10000)) << "not back when the program ended";
        EXPECT_EQ(marker(), "-");

        // Ended by force again, the program ends meanwhile: back at the next start.
        ASSERT_TRUE(player.start(notepad_));
        ASSERT_TRUE(becomes(false, 10000));
        TerminateProcess(dormity.handle.get(), 9);
        ASSERT_EQ(dormity.waitExit(10000), 9u);
    }
    EXPECT_FALSE(isSaverActive());
    HWND tray = start(dormity);
    ASSERT_TRUE(tray);
    EXPECT_TRUE(becomes(true, 10000)) << "not back at the start after a forced end";
    EXPECT_EQ(marker(), "-");

    // Held by its full path in another letter case; Exit brings it back at once.
    std::string upper = notepad_;
    CharUpperA(&upper[0]);
    listPrograms(upper + std::string(1, '\0'));
    ChildProcess player;
    ASSERT_TRUE(player.start(notepad_));
    ASSERT_TRUE(becomes(false, 10000)) << "a full path not matched";
    PostMessageA(tray, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    EXPECT_EQ(dormity.waitExit(10000), 0u);
    EXPECT_TRUE(isSaverActive()) << "Exit left it off";
    EXPECT_EQ(marker(), "-");
}

// "/disable-while": starting Dormity or handed to the running one, by process id or by name;
// a program that does not run, and values that name none.
TEST_F(KeepOffProcess, TheSwitchHoldsItOffOnceUntilItsProgramEnds)
{
    // Exit code of a later start; a usage box it shows is closed.
    auto run = [&](const std::string& arguments) {
        ChildProcess start;
        EXPECT_TRUE(start.start(dormityExe(), arguments, directory_));
        HWND box = nullptr;
        pumpUntil([&] { return (box = ownDialog("Dormity", false, start.id)) || !start.running(); },
                  9000);
        if (box)
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
        return start.waitExit(15000);
    };

    ChildProcess player, dormity;
    ASSERT_TRUE(player.start(notepad_));
    HWND tray = start(dormity, "/disable-while " + std::to_string(player.id));
    ASSERT_TRUE(tray);
    EXPECT_TRUE(becomes(false, 10000)) << "the start's switch by process id";
    TerminateProcess(player.handle.get(), 0);
    EXPECT_TRUE(becomes(true, 10000)) << "not back when its process ended";

    ASSERT_TRUE(player.start(notepad_));
    EXPECT_EQ(run("-Disable-While NOTEPAD.EXE"), static_cast<DWORD>(EXIT_DONE));
    EXPECT_TRUE(becomes(false, 10000)) << "handed over by name";
    EXPECT_NE(marker(), "-");
    TerminateProcess(player.handle.get(), 0);
    EXPECT_TRUE(becomes(true, 10000));
    EXPECT_EQ(marker(), "-");

    // Nothing runs by that name: refused, nothing changed; no such process: the usage.
    const DWORD ended = player.id;
    for (const std::string& program : {std::string("notepad.exe"), std::string("\"C:\\x y\\z.exe\"")})
        EXPECT_EQ(run("/disable-while " + program), static_cast<DWORD>(EXIT_REFUSED)) << program;
    for (const std::string& id : {std::string("0"), std::string("4294967296"), std::to_string(ended)})
        EXPECT_EQ(run("/disable-while " + id), static_cast<DWORD>(EXIT_USAGE)) << id;
    EXPECT_TRUE(isSaverActive());
    EXPECT_EQ(marker(), "-");
    PostMessageA(tray, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    EXPECT_EQ(dormity.waitExit(10000), 0u);
}
