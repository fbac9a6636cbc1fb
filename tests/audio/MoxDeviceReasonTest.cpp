// Why an item did not play, as the shared players tell it over the real command layer and
// engine (SDL's "dummy" output): the file and the real reason, while LastError keeps its
// fixed texts.

#include "audio/MoxCDDevice.h"
#include "audio/MoxMidDevice.h"
#include "audio/MoxWavDevice.h"

#include "platform/engine/SoundEngine.h"
#include "platform/mci/MciLayer.h"
#include "platform/wintypes/NotifyWindow.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace testaudio;

namespace {
class NullWindow : public NotifyWindow {
public:
    void PostMessage(UINT, WPARAM, LPARAM) override {}
};

SoundEngine::Config DummyOutput() {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    return {};
}

class MoxDeviceReasonTest : public ::testing::Test {
protected:
    MoxDeviceReasonTest() {
        std::filesystem::create_directories(dir.file("Wave Files"));
        std::filesystem::create_directories(dir.file("Midi Files"));
    }
    MoxDeviceEnvironment environment(MciPort& mci) { return {&mci, &dataFolder, &notifyWindow}; }

    TempDir dir;
    std::string dataFolder = dir.path();
    NullWindow window;
    std::atomic<HWND> notifyWindow{&window};
    SoundEngine engine{DummyOutput()};
};
} // namespace

TEST_F(MoxDeviceReasonTest, AFailedItemNamesItsFileAndTheRealReason) {
    const std::string wave = dir.file("Wave Files/");
    WriteBytes(wave + "text.wav", std::vector<std::uint8_t>(200, 'a'));
    WriteToneWave(wave + "whole.wav", 440.0, 0.2);
    Bytes header = ReadFileBytes(wave + "whole.wav");
    header.resize(30);
    WriteFileBytes(wave + "damaged.wav", header);
    Bytes g726 = ReadFileBytes(wave + "whole.wav");
    g726[20] = 0x64; // format tag 0x0064, G.726 ADPCM
    WriteFileBytes(wave + "g726.wav", g726);
    WriteBytes(dir.file("Midi Files/bad.mid"), std::vector<std::uint8_t>(100, 0x5A));
    SmfWriter song;
    song.Note(0.0, 0.2, 60);
    WriteBytes(dir.file("Midi Files/good.mid"), song.Bytes());

    MciLayer layer(engine, {"/usr/share/sounds/sf2/default-GM.sf2", dir.file("none.cue")});
    MoxWavDevice waves(environment(layer));
    MoxMidDevice midi(environment(layer));
    struct Case {
        MoxDevice* device;
        const char* name;
        std::string reason; // all of it
        std::string lastError;
    };
    const std::string noWavePlayer = "Unable to find the Wave file player for this PC";
    const std::string noMidiPlayer = "Unable to find the Midi file player for this PC";
    const Case cases[] = {
        {&waves, "gone.wav", wave + "gone.wav: The file was not found", noWavePlayer},
        {&waves, "text.wav", wave + "text.wav: The file is not a sound file", noWavePlayer},
        {&waves, "damaged.wav",
         wave + "damaged.wav: The sound file is damaged (Error in WAV file. No 'data' chunk "
                "marker)",
         noWavePlayer},
        {&waves, "g726.wav",
         wave + "g726.wav: The wave file's sound is in an encoding that cannot be played "
                "(format tag 0x0064)",
         noWavePlayer},
        {&midi, "bad.mid", dir.file("Midi Files/bad.mid") + ": The file is not a MIDI file",
         noMidiPlayer + "The file is damaged or not in a format that can be played."},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.device->Play(c.name)) << c.name;
        EXPECT_EQ(c.device->LastReason(), c.reason);
        EXPECT_EQ(c.device->LastError(), c.lastError);
        c.device->Stop();
    }

    // Without the SoundFont, the sequencer says so (and the CD has no image).
    MciLayer noFont(engine, {dir.file("gone.sf2"), dir.file("none.cue")});
    MoxMidDevice fontless(environment(noFont));
    EXPECT_FALSE(fontless.IsReady());
    EXPECT_EQ(fontless.LastReason(), "The SoundFont " + dir.file("gone.sf2") + " was not found");
    EXPECT_FALSE(fontless.Play("good.mid"));
    EXPECT_EQ(fontless.LastReason(), dir.file("Midi Files/good.mid") + ": The SoundFont " +
                                         dir.file("gone.sf2") + " was not found");
    MoxCDDevice cd(environment(noFont));
    EXPECT_EQ(cd.LastReason(), dir.file("none.cue") + ": The CD image (CUE and BIN) was not found");
}
