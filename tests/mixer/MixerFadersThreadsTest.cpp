#include "mixer/MixerFaders.h"

#include "mixer/CMixer.h"
#include "platform/mixerapi/MemoryMixerLevelStore.h"
#include "tests/platform/mixerapi/TestMixerDevices.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

namespace {

constexpr DWORD kRounds = 20000;
// Each writer sets both channels to volume × 655 with volumes of its own third of 1..99, so a
// level tells who wrote it; a level whose channels differ was torn between two writers.
constexpr DWORD kThird = 33;
DWORD VolumeOf(int writer, DWORD round) {
    return 1 + static_cast<DWORD>(writer) * kThird + round % kThird;
}
bool Whole(const BusFader& level) {
    return level.left == level.right && level.left % 655 == 0 && level.left / 655 >= 1 &&
           level.left / 655 <= 3 * kThird;
}

// The interface thread moves the wave slider and the player's worker starts wave items, both
// through the one wave binding, which no caller locks; another program moves the same fader
// through handles of its own and reads it back. The engine must hear only whole levels, in the
// order the mixer took them.
TEST(MixerFadersThreadsTest, ThreeWritersOfOneFaderNeverTearItsChannels) {
    auto store = std::make_shared<MemoryMixerLevelStore>();
    auto soft = std::make_shared<SoftMixer>(store);
    RecordingListener listener;
    soft->SetListener(&listener);
    ScopedMixerDevices installed({soft});
    CMixer mixer;
    MixerFaders faders;
    ASSERT_EQ(faders.FindMixerControls(mixer), 0);
    faders.CalibrateVolumeSteps();
    ASSERT_EQ(faders.waveStep, 655u);

    std::atomic<int> failures{0};
    std::latch start(3); // all three at once, not one after the other
    auto binding = [&](int writer) {
        start.arrive_and_wait();
        for (DWORD i = 0; i < kRounds; ++i) {
            faders.waveFader.ApplyVolume(VolumeOf(writer, i));
            const DWORD volume = faders.waveFader.ReadVolume();
            failures += volume < 1 || volume > 3 * kThird;
        }
    };
    std::thread interface(binding, 0);
    std::thread worker(binding, 1);
    std::thread other([&] {
        start.arrive_and_wait();
        for (DWORD i = 0; i < kRounds; ++i) {
            HMIXER handle = nullptr;
            failures += mixerOpen(&handle, 0, 0, 0, 0) != MMSYSERR_NOERROR;
            const HMIXEROBJ object = MixerObjectFromHandle(handle);
            const DWORD level = VolumeOf(2, i) * 655;
            failures += WriteControl(SoftMixer::waveOutVolumeId, {level, level}, object) != 0;
            DWORD words[2] = {};
            MIXERCONTROLDETAILS read = DetailsRequest(SoftMixer::waveOutVolumeId, 2, 0, words);
            failures += mixerGetControlDetails(object, &read, 0) != MMSYSERR_NOERROR;
            failures += !Whole(
                {static_cast<std::uint16_t>(words[0]), static_cast<std::uint16_t>(words[1])});
            failures += mixerClose(handle) != MMSYSERR_NOERROR;
        }
    });
    interface.join();
    worker.join();
    other.join();
    soft->SetListener(nullptr);

    EXPECT_EQ(failures, 0);
    const std::vector<BusFader> heard = listener.Of(Bus::Wave);
    ASSERT_GT(heard.size(), std::size_t{kRounds});
    for (std::size_t i = 1; i < heard.size(); ++i) {
        ASSERT_TRUE(Whole(heard[i]))
            << "report " << i << ": " << heard[i].left << " " << heard[i].right;
    }
    // The fader ends at the last level of the writer that came last, and the engine and the
    // store were told that level last.
    const std::vector<DWORD> last = soft->GetValues(SoftMixer::waveOutVolumeId);
    const int writer = static_cast<int>((last[0] / 655 - 1) / kThird);
    EXPECT_EQ(last, (std::vector<DWORD>(2, VolumeOf(writer, kRounds - 1) * 655)))
        << "writer " << writer;
    EXPECT_EQ(heard.back(),
              (BusFader{static_cast<std::uint16_t>(last[0]), static_cast<std::uint16_t>(last[1])}));
    EXPECT_EQ(store->Levels().at("Wave Out Left"), last[0]);
    EXPECT_EQ(store->Levels().at("Wave Out Right"), last[1]);
}

} // namespace
