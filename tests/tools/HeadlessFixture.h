#pragma once

#include "tests/support/WaitFor.h"

// What the tests of quillon-play and quillon-pla share: a data folder of the test's own with
// tones made on the spot and lists made with quillon-pla, the programs run in that folder with
// a configuration folder of their own (mixer levels as on a first run).

#include "tests/support/ChildProcess.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

using namespace std::chrono_literals;
using namespace testaudio;

class HeadlessFixture : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* folder : {"Wave Files", "Midi Files", "config"}) {
            std::filesystem::create_directories(data.file(folder));
        }
    }

    /// A tone followed by silence, so that every repetition stands apart in the capture.
    void tone(const std::string& name, double frequency, double seconds, double silence = 0.12,
              double amplitude = 0.5) {
        std::vector<float> samples = SineTone(frequency, seconds, 44100, amplitude);
        samples.resize(samples.size() + static_cast<std::size_t>(silence * 44100), 0.0f);
        WriteWave(data.file("Wave Files/" + name), samples, {});
    }

    /// A program run in the data folder (quillon-pla unless `command` names another), as a
    /// script runs it; `environment` is put in front ("NAME=value ...").
    CommandResult pla(const std::string& command, const std::string& environment = "",
                      const std::string& input = "") const {
        const bool named = command.starts_with(QUILLON_PLAY) || command.starts_with(QUILLON_PLA);
        return RunCommand("cd " + ShellQuote(data.path()) +
                              " && XDG_CONFIG_HOME=" + ShellQuote(data.file("config")) + " " +
                              environment + " " + (named ? "" : QUILLON_PLA " ") + command,
                          input);
    }

    /// A play list of the items (a JSON list) made by quillon-pla.
    void makeList(const std::string& items, const std::string& name = "list.pla") {
        const CommandResult made =
            pla("make " + ShellQuote(name), "", R"({"items": )" + items + "}");
        ASSERT_EQ(made.exitStatus, 0) << made.err;
    }

    std::unique_ptr<ChildProcess> play(const std::vector<std::string>& arguments,
                                       std::vector<std::string> environment = {}) {
        std::vector<std::string> argv{QUILLON_PLAY};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        environment.push_back("XDG_CONFIG_HOME=" + data.file("config"));
        return std::make_unique<ChildProcess>(argv, environment, data.path());
    }

    TempDir data;
};
