#include "platform/mixerapi/SoftMixer.h"

#include "platform/mixerapi/MemoryMixerLevelStore.h"
#include "tests/platform/mixerapi/TestMixerDevices.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

MMRESULT Write(HMIXER handle, DWORD controlId, DWORD left, DWORD right) {
    return WriteControl(controlId, {left, right}, MixerObjectFromHandle(handle));
}

TEST(SoftMixerThreadsTest, FadersMovedFromTwoThreadsAtOnceEndConsistent) {
    auto store = std::make_shared<MemoryMixerLevelStore>();
    auto mixer = std::make_shared<SoftMixer>(store);
    ScopedMixerDevices devices({mixer});
    LastReportListener listener;
    mixer->SetListener(&listener);

    constexpr DWORD rounds = 2000;
    std::atomic<int> failures{0};
    // The interface thread moves the speakers and wave faders; the worker moves the wave fader
    // too (an item starting) and the synthesizer. Each reads back what it can.
    std::thread interface([&] {
        HMIXER handle = nullptr;
        if (mixerOpen(&handle, 0, 0, 0, 0) != MMSYSERR_NOERROR) {
            ++failures;
            return;
        }
        for (DWORD i = 0; i < rounds; ++i) {
            failures += Write(handle, SoftMixer::speakersVolumeId, 65535 - i, 65535 - i) != 0;
            failures += Write(handle, SoftMixer::waveOutVolumeId, i, i) != 0;
            DWORD words[2] = {};
            MIXERCONTROLDETAILS read = DetailsRequest(SoftMixer::waveOutVolumeId, 2, 0, words);
            failures += mixerGetControlDetails(MixerObjectFromHandle(handle), &read, 0) != 0;
            failures += words[0] != words[1]; // a write is never seen half done
        }
        mixerClose(handle);
    });
    std::thread worker([&] {
        HMIXER handle = nullptr;
        if (mixerOpen(&handle, 0, 0, 0, 0) != MMSYSERR_NOERROR) {
            ++failures;
            return;
        }
        for (DWORD i = 0; i < rounds; ++i) {
            failures += Write(handle, SoftMixer::waveOutVolumeId, 40000 + i, 40000 + i) != 0;
            failures += Write(handle, SoftMixer::synthesizerVolumeId, i * 30, i * 30) != 0;
        }
        mixerClose(handle);
    });
    interface.join();
    worker.join();

    EXPECT_EQ(failures, 0);
    EXPECT_GT(listener.count, 4);
    for (int bus = 0; bus < kBusCount; ++bus) {
        EXPECT_EQ(listener.last[bus], mixer->GetBusFader(static_cast<Bus>(bus)))
            << "the last report of bus " << bus << " is its final level";
    }
    const std::vector<DWORD> wave = mixer->GetValues(SoftMixer::waveOutVolumeId);
    EXPECT_TRUE(wave[0] == rounds - 1 || wave[0] == 40000 + rounds - 1) << wave[0];
    EXPECT_EQ(mixer->GetValues(SoftMixer::speakersVolumeId)[0], 65535 - rounds + 1);
    EXPECT_EQ(store->Levels().at("Wave Out Left"), wave[0]) << "the store holds the final level";
    EXPECT_EQ(store->Levels().at("Synthesizer Right"), (rounds - 1) * 30);
}

} // namespace
