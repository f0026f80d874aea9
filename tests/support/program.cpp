#include "support/program.h"

#include <string.h>

#include "commands/blink_preference.h"
#include "res/resource.h"

namespace {

const DWORD kToneRate = 22050;

std::vector<std::string>& toneNames()
{
    static std::vector<std::string> names;
    return names;
}

// A square wave, a different period for each name.
std::string samplesOfTone(size_t index)
{
    std::string samples;
    DWORD half = static_cast<DWORD>(4 + 3 * index);
    for (DWORD i = 0; i < kToneRate * 3 / 10; ++i) {
        short value = (i / half) % 2 ? 6000 : -6000;
        samples += static_cast<char>(value & 0xFF);
        samples += static_cast<char>((value >> 8) & 0xFF);
    }
    return samples;
}

std::string waveOf(const std::string& samples)
{
    std::string wave;
    auto word = [&wave](DWORD value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            wave += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    wave += "RIFF";
    word(static_cast<DWORD>(36 + samples.size()), 4);
    wave += "WAVEfmt ";
    // PCM, mono, the rate, bytes per second, block align, bits per sample.
    const DWORD fields[][2] = {{16, 4}, {WAVE_FORMAT_PCM, 2}, {1, 2}, {kToneRate, 4},
                               {kToneRate * 2, 4}, {2, 2}, {16, 2}};
    for (const auto& field : fields)
        word(field[0], static_cast<int>(field[1]));
    wave += "data";
    word(static_cast<DWORD>(samples.size()), 4);
    return wave + samples;
}

std::string capturePath()
{
    char unixPath[MAX_PATH] = "";
    if (!GetEnvironmentVariableA("DORMITY_SOUND_CAPTURE", unixPath, sizeof unixPath))
        return "";
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    return path;
}

// A request that must not stop another is refused while one plays; its
// name names no file, so it plays nothing and opens no device.
bool somethingPlays()
{
    std::string none = SoundRecorder::directory() + "\\no such sound.wav";
    return !systemWinmm().playSound(none.c_str(), nullptr,
                                    SND_FILENAME | SND_ASYNC | SND_NOSTOP | SND_NODEFAULT);
}

} // namespace

SoundRecorder::SoundRecorder() : captured_(capturePath())
{
    EXPECT_FALSE(captured_.empty())
        << "DORMITY_SOUND_CAPTURE is not set (CTest sets it with ALSA_CONFIG_PATH)";
    DeleteFileA(captured_.c_str());
}

SoundRecorder::~SoundRecorder()
{
    if (systemWinmm().playSound)
        systemWinmm().playSound(nullptr, nullptr, 0);  // stops and waits for every sound
    DeleteFileA(captured_.c_str());
}

std::vector<std::string> SoundRecorder::settle()
{
    if (!systemWinmm().playSound) {
        ADD_FAILURE() << "no PlaySoundA";
        return {};
    }
    bool playing = somethingPlays();
    EXPECT_TRUE(pumpUntil([] { return !somethingPlays(); }, 5000)) << "a sound never ended";
    std::string samples = readFileBytes(captured_);
    DeleteFileA(captured_.c_str());
    if (samples.empty())
        return {};
    synchronous_ |= !playing;
    const std::vector<std::string>& names = toneNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (samples.find(samplesOfTone(i)) != std::string::npos)
            return {names[i]};
    // A loaded machine can make ALSA pad a gap into the middle of a tone: then a
    // quarter of it, intact, still names it (no two tones share such a run).
    for (size_t i = 0; i < names.size(); ++i) {
        std::string tone = samplesOfTone(i);
        for (size_t at = 0; at + tone.size() / 4 <= tone.size(); at += tone.size() / 4)
            if (samples.find(tone.substr(at, tone.size() / 4)) != std::string::npos)
                return {names[i]};
    }
    return {"<" + std::to_string(samples.size()) + " bytes of no tone of the test>"};
}

std::string SoundRecorder::tone(const char* name)
{
    std::vector<std::string>& names = toneNames();
    size_t index = 0;
    while (index < names.size() && names[index] != name)
        ++index;
    std::string path = directory() + "\\" + name + ".wav";
    if (index == names.size()) {
        names.push_back(name);
        CreateDirectoryA(directory().c_str(), nullptr);
        std::string wave = waveOf(samplesOfTone(index));
        writeFileBytes(path, wave.data(), wave.size());
    }
    return path;
}

std::string SoundRecorder::directory()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    return std::string(temp) + "dormity-sounds";
}

void assignEventSound(const char* event, const char* fileName, DWORD type)
{
    std::string key = std::string(SOUND_SCHEME_KEY "\\Dormity-") + event + "\\.Current";
    setRegValue(HKEY_CURRENT_USER, key.c_str(), "", type, fileName,
                static_cast<DWORD>(strlen(fileName) + 1));
}

void CommandTest::SetUp()
{
    restartProcessCount();  // also joins the job before anything is started
    wasActive_ = isSaverActive();
    resetScreenSaverSettings();
    deleteRegTree(HKEY_CURRENT_USER, SOUND_SCHEME_KEY);
    setRegDword(HKEY_CURRENT_USER, BLINK_KEY, BLINK_VALUE, 1);
}

void CommandTest::TearDown()
{
    stop();
    EXPECT_TRUE(waitForStartedProcesses(10000)) << "a started program did not end";
    resetScreenSaverSettings();
    deleteRegTree(HKEY_CURRENT_USER, SOUND_SCHEME_KEY);
    deleteRegTree(HKEY_CURRENT_USER, BLINK_KEY);
    setSaverActive(wasActive_);
    pumpMessages();
}

TrayWindow& CommandTest::start(bool active)
{
    stop();
    setSaverActive(active);
    app_ = new Application(GetModuleHandleA(nullptr));
    EXPECT_NE(app_->trayWindow, nullptr);
    pumpMessages();
    return *app_->trayWindow;
}

void CommandTest::stop()
{
    delete app_;
    app_ = nullptr;
    pumpMessages();
}

bool CommandTest::blinking() const
{
    return timerRuns(app_->trayWindow->window, IDT_BLINK, BLINK_PERIOD_MS);
}

const SaverEntry* CommandTest::entryNamed(const char* description) const
{
    for (const SaverEntry* entry = app_->trayWindow->saverList; entry; entry = entry->next)
        if (strcmp(entry->description, description) == 0)
            return entry;
    return nullptr;
}
