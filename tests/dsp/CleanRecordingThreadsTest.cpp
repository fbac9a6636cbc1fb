#include "dsp/CleanRecording.h"

#include "tests/support/TempDir.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace {

// The Recorder runs the processing on a worker thread; quillon-pla may one day run several.
// Calls for different files share nothing: run at once, each gives what it gives alone.
TEST(CleanRecordingThreadsTest, CallsOnWorkerThreadsMatchTheSameCallsInTurn) {
    TempDir dir;
    const auto speech = testaudio::SpeechLikeSignal(3.0, 16000, 0.3);
    std::vector<float> noisy = testaudio::WhiteNoise(speech.samples.size(), 0.01);
    std::transform(noisy.begin(), noisy.end(), speech.samples.begin(), noisy.begin(),
                   std::plus<>());
    const auto file = [&](const char* copy, int i) {
        return dir.file(copy + std::to_string(i) + ".wav");
    };
    constexpr int kFiles = 3;
    for (int i = 0; i < kFiles; ++i) {
        for (const char* copy : {"alone", "together"}) {
            testaudio::WriteWave(file(copy, i), noisy,
                                 {16000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8});
        }
        ASSERT_TRUE(CleanRecording(file("alone", i), {true, true}).Succeeded());
    }
    std::vector<double> lastFraction(kFiles, 0.0);
    std::vector<CleanResult> results(kFiles);
    std::vector<std::thread> workers;
    for (int i = 0; i < kFiles; ++i) {
        workers.emplace_back([&, i] {
            results[i] = CleanRecording(file("together", i), {true, true}, [&, i](double f) {
                lastFraction[i] = f;
                return true;
            });
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    for (int i = 0; i < kFiles; ++i) {
        EXPECT_TRUE(results[i].Succeeded()) << results[i].message;
        EXPECT_EQ(lastFraction[i], 1.0);
        EXPECT_EQ(ReadFileBytes(file("together", i)), ReadFileBytes(file("alone", i)));
    }
}

} // namespace
