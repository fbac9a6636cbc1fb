#include "mixer/MixerFaders.h"

#include "mixer/CMixer.h"
#include "platform/mixerapi/MemoryMixerLevelStore.h"
#include "tests/platform/mixerapi/TestMixerDevices.h"

#include <atomic>
#include <gtest/gtest.h>
#include <latch>
#include <thread>

namespace {

// Writer w sets both channels to volume × 655 with volumes of its own quarter of 1..96, so a
// level tells who wrote it, and a level whose channels differ was torn between two writers.
constexpr DWORD kShare = 24;
constexpr DWORD kRounds[] = {20000, 20000, 5000, 5000};
DWORD VolumeOf(int writer, DWORD round) {
    return 1 + static_cast<DWORD>(writer) * kShare + round % kShare;
}
int WriterOf(DWORD level) {
    return level % 655 == 0 && level >= 655 ? static_cast<int>((level / 655 - 1) / kShare) : -1;
}

// The interface thread moves the wave slider and the player's worker starts wave items, both
// through the one wave binding, which no caller locks; two other programs move the same fader
// through handles they open and close each round. The engine must hear only levels that were
// written whole, in the order the mixer took them.
TEST(MixerFadersThreadsTest, FourWritersOfOneFaderNeverTearItsChannels) {
    auto store = std::make_shared<MemoryMixerLevelStore>();
    auto soft = std::make_shared<SoftMixer>(store);
    RecordingListener listener;
    soft->SetListener(&listener);
    ScopedMixerDevices installed({soft});
    CMixer mixer;
    MixerFaders faders;
    ASSERT_EQ(faders.FindMixerControls(mixer), 0);
    faders.CalibrateVolumeSteps();

    std::atomic<int> failures{0};
    std::latch start(4); // all at once, not one after the other
    auto binding = [&](int writer) {
        start.arrive_and_wait();
        for (DWORD i = 0; i < kRounds[writer]; ++i) {
            const DWORD volume = VolumeOf(writer, i);
            faders.waveFader.ApplyVolume(volume);
            // Its own level, or one another writer put there since: never a stale own level.
            const DWORD read = faders.waveFader.ReadVolume();
            failures += read != volume && WriterOf(read * 655) == writer;
        }
    };
    auto program = [&](int writer) {
        start.arrive_and_wait();
        for (DWORD i = 0; i < kRounds[writer]; ++i) {
            HMIXER handle = nullptr;
            failures += mixerOpen(&handle, 0, 0, 0, 0) != MMSYSERR_NOERROR;
            const DWORD level = VolumeOf(writer, i) * 655;
            failures += WriteControl(SoftMixer::waveOutVolumeId, {level, level},
                                     MixerObjectFromHandle(handle)) != MMSYSERR_NOERROR;
            failures += mixerClose(handle) != MMSYSERR_NOERROR;
        }
    };
    std::thread threads[] = {std::thread(binding, 0), std::thread(binding, 1),
                             std::thread(program, 2), std::thread(program, 3)};
    for (std::thread& thread : threads) {
        thread.join();
    }
    soft->SetListener(nullptr);
    EXPECT_EQ(failures, 0);

    std::vector<BusFader> heard;
    for (const auto& [bus, level] : listener.reports) {
        if (bus == Bus::Wave) {
            heard.push_back(level);
        }
    }
    ASSERT_GT(heard.size(), std::size_t{kRounds[0]});
    for (std::size_t i = 1; i < heard.size(); ++i) { // the first is the level before
        ASSERT_TRUE(heard[i].left == heard[i].right && WriterOf(heard[i].left) >= 0)
            << "report " << i << ": " << heard[i].left << " " << heard[i].right;
    }
    // The fader ends at the last level of the writer that came last, and the engine and the
    // store were told that level last.
    const std::vector<DWORD> last = soft->GetValues(SoftMixer::waveOutVolumeId);
    const int writer = WriterOf(last[0]);
    ASSERT_GE(writer, 0);
    EXPECT_EQ(last, std::vector<DWORD>(2, VolumeOf(writer, kRounds[writer] - 1) * 655));
    EXPECT_EQ(heard.back(),
              (BusFader{static_cast<std::uint16_t>(last[0]), static_cast<std::uint16_t>(last[1])}));
    EXPECT_EQ(store->Levels().at("Wave Out Left"), last[0]);
    EXPECT_EQ(store->Levels().at("Wave Out Right"), last[1]);
}

} // namespace
