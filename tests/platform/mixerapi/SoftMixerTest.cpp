#include "platform/mixerapi/SoftMixer.h"

#include "platform/mixerapi/MemoryMixerLevelStore.h"
#include "tests/platform/mixerapi/TestMixerDevices.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using Report = std::tuple<Bus, int, int>;

/// Keeps every report. Reports arrive under the mixer's lock, one at a time.
class RecordingListener final : public SoftMixerListener {
public:
    void OnFaderChanged(Bus bus, std::uint16_t left, std::uint16_t right) override {
        reports.emplace_back(bus, left, right);
    }
    std::vector<Report> reports;
};

TEST(SoftMixerTest, MovingAFaderReachesTheListenerWithTheCombinedLevel) {
    auto store = std::make_shared<MemoryMixerLevelStore>();
    auto mixer = std::make_shared<SoftMixer>(store);
    ScopedMixerDevices devices({mixer});
    RecordingListener listener;
    mixer->SetListener(&listener);
    EXPECT_EQ(listener.reports, (std::vector<Report>{{Bus::Synth, 49151, 49151},
                                                     {Bus::Wave, 49151, 49151},
                                                     {Bus::Cd, 49151, 49151},
                                                     {Bus::Microphone, 49151, 49151}}))
        << "a new listener hears every bus at once: sources at three quarters, destinations full";
    EXPECT_EQ(store->SaveCount(), 0) << "starting writes nothing";
    listener.reports.clear();

    ASSERT_EQ(WriteControl(SoftMixer::speakersVolumeId, {49151, 49151}), MMSYSERR_NOERROR);
    EXPECT_EQ(listener.reports,
              (std::vector<Report>{
                  {Bus::Synth, 36863, 36863}, {Bus::Wave, 36863, 36863}, {Bus::Cd, 36863, 36863}}))
        << "the speakers fader moves its three sources, not the microphone: 49151² / 65535";
    ASSERT_EQ(WriteControl(SoftMixer::speakersVolumeId, {65535, 65535}), MMSYSERR_NOERROR);
    listener.reports.clear();

    ASSERT_EQ(WriteControl(SoftMixer::waveOutVolumeId, {32750, 65535}), MMSYSERR_NOERROR);
    EXPECT_EQ(listener.reports, (std::vector<Report>{{Bus::Wave, 32750, 65535}}));
    listener.reports.clear();
    ASSERT_EQ(WriteControl(SoftMixer::waveOutVolumeId, {32750, 65535}), MMSYSERR_NOERROR);
    EXPECT_TRUE(listener.reports.empty()) << "no change, no report";
    ASSERT_EQ(WriteControl(SoftMixer::speakersVolumeId, {32768, 65535}), MMSYSERR_NOERROR);
    EXPECT_EQ(mixer->GetBusFader(Bus::Wave), (BusFader{16375, 65535}))
        << "each channel meets its own channel of the speakers";
    listener.reports.clear();

    ASSERT_EQ(WriteControl(SoftMixer::waveOutMuteId, {1}), MMSYSERR_NOERROR);
    EXPECT_EQ(listener.reports, (std::vector<Report>{{Bus::Wave, 0, 0}}));
    ASSERT_EQ(WriteControl(SoftMixer::speakersMuteId, {1}), MMSYSERR_NOERROR);
    ASSERT_EQ(WriteControl(SoftMixer::waveOutMuteId, {0}), MMSYSERR_NOERROR);
    EXPECT_EQ(mixer->GetBusFader(Bus::Wave), (BusFader{0, 0}))
        << "the speakers' mute silences the sources too";
    ASSERT_EQ(WriteControl(SoftMixer::speakersMuteId, {0}), MMSYSERR_NOERROR);
    EXPECT_EQ(listener.reports.back(), Report(Bus::Cd, 24576, 49151));
    listener.reports.clear();

    ASSERT_EQ(WriteControl(SoftMixer::waveInVolumeId, {0, 65535}), MMSYSERR_NOERROR);
    EXPECT_EQ(listener.reports, (std::vector<Report>{{Bus::Microphone, 0, 49151}}));

    mixer->SetListener(nullptr);
    listener.reports.clear();
    ASSERT_EQ(WriteControl(SoftMixer::microphoneVolumeId, {65535, 65535}), MMSYSERR_NOERROR);
    EXPECT_TRUE(listener.reports.empty());
    EXPECT_EQ(mixer->GetBusFader(Bus::Microphone), (BusFader{0, 65535}));
}

TEST(SoftMixerTest, LevelsAndMutesPersistThroughTheStore) {
    auto store = std::make_shared<MemoryMixerLevelStore>();
    {
        auto mixer = std::make_shared<SoftMixer>(store);
        ScopedMixerDevices devices({mixer});
        ASSERT_EQ(WriteControl(SoftMixer::synthesizerVolumeId, {1000, 49151}), MMSYSERR_NOERROR);
        ASSERT_EQ(WriteControl(SoftMixer::compactDiscMuteId, {1}), MMSYSERR_NOERROR);
        ASSERT_EQ(WriteControl(SoftMixer::waveInVolumeId, {0, 0}), MMSYSERR_NOERROR);
        ASSERT_EQ(WriteControl(SoftMixer::waveOutVolumeId, {70000, 0}), MIXERR_INVALVALUE);
    }
    EXPECT_EQ(store->Levels(), (std::map<std::string, DWORD>{{"Synthesizer Left", 1000},
                                                             {"CD Audio Mute", 1},
                                                             {"Wave In Left", 0},
                                                             {"Wave In Right", 0}}))
        << "only what changed is written, one value at a time";

    SoftMixer again(store);
    EXPECT_EQ(again.GetValues(SoftMixer::synthesizerVolumeId), (std::vector<DWORD>{1000, 49151}));
    EXPECT_EQ(again.GetBusFader(Bus::Cd), (BusFader{0, 0}));
    EXPECT_EQ(again.GetBusFader(Bus::Microphone), (BusFader{0, 0}));
}

TEST(SoftMixerTest, StoredValuesOutOfRangeFallBackToTheFirstRun) {
    auto store = std::make_shared<MemoryMixerLevelStore>();
    store->SaveLevel("Wave Out Left", 65536);
    store->SaveLevel("Wave Out Right", 65535);
    store->SaveLevel("Microphone Mute", 2);
    store->SaveLevel("Speakers Mute", 1);
    SoftMixer mixer(store);
    EXPECT_EQ(mixer.GetValues(SoftMixer::waveOutVolumeId), (std::vector<DWORD>{49151, 65535}));
    EXPECT_EQ(mixer.GetValues(SoftMixer::microphoneMuteId), (std::vector<DWORD>{0}));
    EXPECT_EQ(mixer.GetValues(SoftMixer::speakersMuteId), (std::vector<DWORD>{1}));
}

TEST(SoftMixerTest, WorksWithoutAStore) {
    auto mixer = std::make_shared<SoftMixer>(nullptr);
    ScopedMixerDevices devices({mixer});
    EXPECT_EQ(WriteControl(SoftMixer::synthesizerVolumeId, {1, 2}), MMSYSERR_NOERROR);
    EXPECT_EQ(mixer->GetBusFader(Bus::Synth), (BusFader{1, 2}));
}

} // namespace
