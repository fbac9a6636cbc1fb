#include "dsp/CleanRecording.h"

#include "tests/support/TempDir.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// The Recorder runs the processing on a worker thread; quillon-pla may one day run several.
// Calls for different files share nothing: run at once, each gives what it gives alone.
TEST(CleanRecordingThreadsTest, CallsOnWorkerThreadsMatchTheSameCallsInTurn) {
    TempDir dir;
    const auto speech = testaudio::SpeechLikeSignal(3.0, 16000, 0.3);
    std::vector<float> noisy = testaudio::WhiteNoise(speech.samples.size(), 0.01);
    for (std::size_t i = 0; i < noisy.size(); ++i) {
        noisy[i] += speech.samples[i];
    }
    const int kFiles = 3;
    for (int i = 0; i < kFiles; ++i) {
        for (const char* copy : {"alone", "together"}) {
            testaudio::WriteWave(dir.file(copy + std::to_string(i) + ".wav"), noisy,
                                 {16000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8});
        }
    }
    for (int i = 0; i < kFiles; ++i) {
        ASSERT_TRUE(CleanRecording(dir.file("alone" + std::to_string(i) + ".wav"), {true, true})
                        .Succeeded());
    }
    std::vector<std::thread> workers;
    std::vector<double> lastFraction(kFiles, 0.0);
    std::vector<CleanResult> results(kFiles);
    for (int i = 0; i < kFiles; ++i) {
        workers.emplace_back([&, i] {
            results[i] = CleanRecording(dir.file("together" + std::to_string(i) + ".wav"),
                                        {true, true}, [&, i](double fraction) {
                                            lastFraction[i] = fraction;
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
        EXPECT_EQ(ReadFileBytes(dir.file("together" + std::to_string(i) + ".wav")),
                  ReadFileBytes(dir.file("alone" + std::to_string(i) + ".wav")));
    }
}

} // namespace
