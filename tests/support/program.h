// The whole program built in the test process, and the sounds it plays.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/application.h"
#include "app/tray_window.h"
#include "saverconfig/saver_settings.h"
#include "support/dialogs.h"
#include "support/pixels.h"
#include "support/processes.h"
#include "support/savers.h"
#include "support/system.h"

// Hears what the system plays: CTest's ALSA device writes every sample to
// DORMITY_SOUND_CAPTURE (truncated as a sound starts); each test sound is its own tone.
class SoundRecorder {
public:
    SoundRecorder();
    ~SoundRecorder();
    SoundRecorder(const SoundRecorder&) = delete;
    SoundRecorder& operator=(const SoundRecorder&) = delete;
    // Waits until nothing plays, then names the tone written since the last call (none: silence).
    std::vector<std::string> settle();
    // Whether a sound heard had already ended when settle() came.
    bool playedSynchronously() const { return synchronous_; }
    // A wave file of a tone of its own for this name (0.3 s, 22,050 Hz, mono, 16-bit).
    static std::string tone(const char* name);
    static std::string directory();

private:
    std::string captured_;
    bool synchronous_ = false;
};

void assignEventSound(const char* event, const char* fileName, DWORD type = REG_SZ);

// The program built in process; settings reset around it, started processes awaited.
class CommandTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Sets the system flag as given, then builds the whole program.
    TrayWindow& start(bool active);
    void stop();
    void command(WORD id) { SendMessageA(tray().window, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    bool recordActive() const { return (app_->flags & APP_SAVER_ACTIVE) != 0; }
    bool blinking() const;
    Application& app() { return *app_; }
    TrayWindow& tray() { return *app_->trayWindow; }
    // The catalogue entry with this description in the current list.
    const SaverEntry* entryNamed(const char* description) const;

    FixtureLog log_;
    Application* app_ = nullptr;
    bool wasActive_ = true;
};
