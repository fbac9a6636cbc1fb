#include "mixer/MixerFaders.h"

#include "mixer/CMixer.h"
#include "model/MoxMid.h"
#include "model/MoxWav.h"
#include "tests/platform/mixerapi/TestMixerDevices.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// The interface thread moves the wave slider and reads the level back, while the player's
// worker thread starts wave and MIDI items on the same faders; no caller takes a lock.
TEST(MixerFadersThreadsTest, FadersWrittenFromTwoThreadsAtOnce) {
    auto soft = NewSoftMixer();
    LastReportListener listener;
    soft->SetListener(&listener);
    ScopedMixerDevices installed({soft});
    CMixer mixer;
    MixerFaders faders;
    ASSERT_EQ(faders.FindMixerControls(mixer), 0);
    faders.CalibrateVolumeSteps();

    constexpr int rounds = 1500;
    std::atomic<int> badReads{0};
    std::thread interface([&] {
        for (int i = 0; i < rounds; ++i) {
            faders.waveFader.ApplyVolume(static_cast<std::uint32_t>(i % 101));
            const DWORD volume = faders.waveFader.ReadVolume();
            badReads += volume > 100;
            faders.micFader.ApplyVolume(static_cast<std::uint32_t>(i % 50));
            faders.waveVolume.SetLeftValue(static_cast<DWORD>(i * 40));
        }
    });
    std::thread worker([&] {
        MoxWav wav({nullptr, &faders.waveFader}, "a.wav");
        MoxMid mid({nullptr, &faders.synthFader}, "b.mid");
        for (int i = 0; i < rounds; ++i) {
            wav.SetVolume(static_cast<DWORD>(100 - i % 101));
            wav.Play();
            wav.Stop();
            mid.SetVolume(static_cast<DWORD>(i % 101));
            mid.Play();
            mid.Stop();
            badReads += faders.synthVolume.GetValue() % faders.synthStep != 0;
        }
    });
    interface.join();
    worker.join();

    EXPECT_EQ(badReads, 0);
    const std::vector<DWORD> wave = soft->GetValues(SoftMixer::waveOutVolumeId);
    EXPECT_TRUE(wave[0] % 655 == 0 || wave[0] == DWORD{(rounds - 1) * 40});
    EXPECT_EQ(wave[1] % 655, 0u) << "the right channel holds a whole number of steps";
    EXPECT_EQ(soft->GetValues(SoftMixer::synthesizerVolumeId),
              (std::vector<DWORD>{(rounds - 1) % 101 * 655, (rounds - 1) % 101 * 655}));
    for (int bus = 0; bus < kBusCount; ++bus) {
        EXPECT_EQ(listener.last[bus], soft->GetBusFader(static_cast<Bus>(bus)))
            << "the engine ends at the mixer's level on bus " << bus;
    }
    soft->SetListener(nullptr);
}

} // namespace
