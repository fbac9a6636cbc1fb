#pragma once

// What the tests of quillon-play share: tones made on the spot, lists made with quillon-pla,
// the program run beside the test, and its output recorded from the private sound server.

#include "tests/support/ChildProcess.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <thread>

using namespace std::chrono_literals;
using namespace testaudio;

inline constexpr int kRate = AudioCapture::kRate;

/// A data folder of the test's own, play lists made with quillon-pla, and quillon-play run
/// in that folder with a configuration folder of its own (mixer levels as on a first run).
class HeadlessFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(data.file("Wave Files"));
        std::filesystem::create_directories(data.file("config"));
    }

    /// A tone followed by silence, so that every repetition stands apart in the capture.
    void tone(const std::string& name, double frequency, double seconds, double silence = 0.12) {
        std::vector<float> samples = SineTone(frequency, seconds, 44100, 0.5);
        samples.resize(samples.size() + static_cast<std::size_t>(silence * 44100), 0.0f);
        WriteWave(data.file("Wave Files/" + name), samples, {});
    }

    void makeList(const std::string& json) {
        const CommandResult made = RunCommand(
            std::string(QUILLON_PLA) + " make " + ShellQuote(data.file("list.pla")), json);
        ASSERT_EQ(made.exitStatus, 0) << made.err;
    }

    std::unique_ptr<ChildProcess> play(const std::vector<std::string>& arguments,
                                       std::vector<std::string> environment = {}) {
        std::vector<std::string> argv{QUILLON_PLAY};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        environment.push_back("XDG_CONFIG_HOME=" + data.file("config"));
        return std::make_unique<ChildProcess>(argv, environment, data.path());
    }

    /// Waits until the program's output holds `text` at least `times` times after offset.
    static bool waitForLog(ChildProcess& child, const std::string& text, std::size_t times = 1,
                           std::chrono::milliseconds timeout = 15s, std::size_t offset = 0) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (countInLog(child.Output(), text, offset) >= times) {
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    static std::size_t countInLog(const std::string& log, const std::string& text,
                                  std::size_t offset = 0) {
        std::size_t n = 0;
        for (std::size_t at = log.find(text, offset); at != std::string::npos;
             at = log.find(text, at + text.size())) {
            ++n;
        }
        return n;
    }

    static std::vector<double> frequencies(const std::vector<Segment>& segments) {
        std::vector<double> out;
        for (const Segment& s : segments) {
            out.push_back(std::round(s.frequency));
        }
        return out;
    }

    TempDir data;
};
