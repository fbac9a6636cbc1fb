#include "mixer/MixerFaders.h"

#include "mixer/CMixer.h"
#include "platform/mixerapi/MemoryMixerLevelStore.h"
#include "tests/platform/mixerapi/TestMixerDevices.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

namespace {

// The bindings' race is the narrower one; the programs' opens and closes race on the handles.
constexpr DWORD kBindingRounds = 20000;
constexpr DWORD kProgramRounds = 5000;
// Each writer sets both channels to volume × 655 with volumes of its own quarter of 1..96, so
// a level tells who wrote it; a level whose channels differ was torn between two writers.
constexpr DWORD kShare = 24;
DWORD LevelOf(int writer, DWORD round) {
    return (1 + static_cast<DWORD>(writer) * kShare + round % kShare) * 655;
}
bool Whole(DWORD left, DWORD right) {
    return left == right && left % 655 == 0 && left >= 655 && left <= 4 * kShare * 655;
}

// The interface thread moves the wave slider and the player's worker starts wave items, both
// through the one wave binding, which no caller locks; two other programs move the same fader
// through handles they open and close each round. The engine must hear only whole levels, in
// the order the mixer took them.
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
    ASSERT_EQ(faders.waveStep, 655u);

    std::atomic<int> failures{0};
    std::latch start(4); // all at once, not one after the other
    auto binding = [&](int writer) {
        start.arrive_and_wait();
        for (DWORD i = 0; i < kBindingRounds; ++i) {
            faders.waveFader.ApplyVolume(LevelOf(writer, i) / 655);
            const DWORD volume = faders.waveFader.ReadVolume();
            failures += !Whole(volume * 655, volume * 655);
        }
    };
    auto program = [&](int writer) {
        start.arrive_and_wait();
        for (DWORD i = 0; i < kProgramRounds; ++i) {
            HMIXER handle = nullptr;
            failures += mixerOpen(&handle, 0, 0, 0, 0) != MMSYSERR_NOERROR;
            const HMIXEROBJ object = MixerObjectFromHandle(handle);
            const DWORD level = LevelOf(writer, i);
            failures += WriteControl(SoftMixer::waveOutVolumeId, {level, level}, object) != 0;
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
    ASSERT_GT(heard.size(), std::size_t{kBindingRounds});
    for (std::size_t i = 1; i < heard.size(); ++i) { // the first is the level before
        ASSERT_TRUE(Whole(heard[i].left, heard[i].right))
            << "report " << i << ": " << heard[i].left << " " << heard[i].right;
    }
    // The fader ends at the last level of the writer that came last, and the engine and the
    // store were told that level last.
    const std::vector<DWORD> last = soft->GetValues(SoftMixer::waveOutVolumeId);
    const int writer = static_cast<int>((last[0] / 655 - 1) / kShare);
    const DWORD rounds = writer < 2 ? kBindingRounds : kProgramRounds;
    EXPECT_EQ(last, (std::vector<DWORD>(2, LevelOf(writer, rounds - 1)))) << "writer " << writer;
    EXPECT_EQ(heard.back(),
              (BusFader{static_cast<std::uint16_t>(last[0]), static_cast<std::uint16_t>(last[1])}));
    EXPECT_EQ(store->Levels().at("Wave Out Left"), last[0]);
    EXPECT_EQ(store->Levels().at("Wave Out Right"), last[1]);
}

} // namespace
