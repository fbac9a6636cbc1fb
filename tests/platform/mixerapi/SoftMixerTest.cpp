#include "platform/mixerapi/SoftMixer.h"

#include "platform/mixerapi/MemoryMixerLevelStore.h"
#include "tests/platform/mixerapi/TestMixerDevices.h"

#include <gtest/gtest.h>

namespace {

using Report = RecordingListener::Report;
using enum SoftMixer::ControlId;

TEST(SoftMixerTest, MovingAFaderReachesTheListenerWithTheCombinedLevel) {
    auto store = std::make_shared<MemoryMixerLevelStore>();
    auto mixer = std::make_shared<SoftMixer>(store);
    ScopedMixerDevices devices({mixer});
    RecordingListener listener;
    mixer->SetListener(&listener);
    const BusFader three{49151, 49151};
    EXPECT_EQ(
        listener.reports,
        (std::vector<Report>{
            {Bus::Synth, three}, {Bus::Wave, three}, {Bus::Cd, three}, {Bus::Microphone, three}}))
        << "a new listener hears every bus at once: sources at three quarters, destinations full";
    EXPECT_EQ(store->SaveCount(), 0) << "starting writes nothing";

    const BusFader half{24576, 49151}; // three quarters under speakers at half, full
    const BusFader waveHalf{16375, 65535};
    struct Step {
        DWORD controlId;
        std::vector<DWORD> words;
        std::vector<Report> reports;
        const char* why = "";
    };
    const Step steps[] = {
        {speakersVolumeId,
         {49151, 49151},
         {{Bus::Synth, {36863, 36863}}, {Bus::Wave, {36863, 36863}}, {Bus::Cd, {36863, 36863}}},
         "the speakers fader moves its three sources, not the microphone: 49151² / 65535"},
        {speakersVolumeId,
         {65535, 65535},
         {{Bus::Synth, three}, {Bus::Wave, three}, {Bus::Cd, three}}},
        {waveOutVolumeId, {32750, 65535}, {{Bus::Wave, {32750, 65535}}}},
        {waveOutVolumeId, {32750, 65535}, {}, "no change, no report"},
        {speakersVolumeId,
         {32768, 65535},
         {{Bus::Synth, half}, {Bus::Wave, waveHalf}, {Bus::Cd, half}},
         "each channel meets its own channel of the speakers"},
        {waveOutMuteId, {1}, {{Bus::Wave, {0, 0}}}},
        {speakersMuteId, {1}, {{Bus::Synth, {0, 0}}, {Bus::Cd, {0, 0}}}},
        {waveOutMuteId, {0}, {}, "the speakers' mute silences the sources too"},
        {speakersMuteId, {0}, {{Bus::Synth, half}, {Bus::Wave, waveHalf}, {Bus::Cd, half}}},
        {waveInVolumeId, {0, 65535}, {{Bus::Microphone, {0, 49151}}}},
    };
    for (const Step& step : steps) {
        listener.reports.clear();
        ASSERT_EQ(WriteControl(step.controlId, step.words), MMSYSERR_NOERROR);
        EXPECT_EQ(listener.reports, step.reports)
            << "control " << step.controlId << ": " << step.why;
    }

    mixer->SetListener(nullptr);
    listener.reports.clear();
    ASSERT_EQ(WriteControl(microphoneVolumeId, {65535, 65535}), MMSYSERR_NOERROR);
    EXPECT_TRUE(listener.reports.empty());
    EXPECT_EQ(mixer->GetBusFader(Bus::Microphone), (BusFader{0, 65535}));
}

TEST(SoftMixerTest, LevelsAndMutesPersistThroughTheStore) {
    auto store = std::make_shared<MemoryMixerLevelStore>();
    {
        auto mixer = std::make_shared<SoftMixer>(store);
        ScopedMixerDevices devices({mixer});
        ASSERT_EQ(WriteControl(synthesizerVolumeId, {1000, 49151}), MMSYSERR_NOERROR);
        ASSERT_EQ(WriteControl(compactDiscMuteId, {1}), MMSYSERR_NOERROR);
        ASSERT_EQ(WriteControl(waveInVolumeId, {0, 0}), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(store->Levels(), (std::map<std::string, DWORD>{{"Synthesizer Left", 1000},
                                                             {"CD Audio Mute", 1},
                                                             {"Wave In Left", 0},
                                                             {"Wave In Right", 0}}))
        << "only what changed is written, one value at a time";
    // Values out of range fall back to the first run's, each on its own.
    store->SaveLevel("Wave Out Left", 65536);
    store->SaveLevel("Wave Out Right", 65535);
    store->SaveLevel("Microphone Mute", 2);

    SoftMixer again(store);
    EXPECT_EQ(again.GetValues(synthesizerVolumeId), (std::vector<DWORD>{1000, 49151}));
    EXPECT_EQ(again.GetBusFader(Bus::Cd), (BusFader{0, 0}));
    EXPECT_EQ(again.GetBusFader(Bus::Microphone), (BusFader{0, 0}));
    EXPECT_EQ(again.GetValues(waveOutVolumeId), (std::vector<DWORD>{49151, 65535}));
    EXPECT_EQ(again.GetValues(microphoneMuteId), (std::vector<DWORD>{0}));
}

} // namespace
