#pragma once

#include "model/MoxItemDevice.h"
#include "model/MoxItemOutputs.h"
#include "model/MoxVolumeFader.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

/// What the tests' players and faders were asked, in order, from any thread.
class TestLog {
public:
    void add(std::string entry);
    std::vector<std::string> entries() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_entries;
};

/// A player of the tests' own: it logs what it is asked.
class TestDevice : public MoxItemDevice {
public:
    TestDevice(std::string label, TestLog& log, bool ready = true)
        : m_label(std::move(label))
        , m_log(log)
        , m_ready(ready) {}

    bool IsReady() const override { return m_ready; }
    bool Play(const std::string& name) override;
    void Stop() override;

    /// What Play answers.
    std::atomic<bool> playResult{true};
    std::atomic<int> plays{0};
    std::atomic<int> stops{0};

private:
    std::string m_label;
    TestLog& m_log;
    bool m_ready;
};

/// A fader of the tests' own that logs the volumes it receives.
class TestFader : public MoxVolumeFader {
public:
    TestFader(std::string label, TestLog& log)
        : m_label(std::move(label))
        , m_log(log) {}
    void ApplyVolume(std::uint32_t volume) override;

private:
    std::string m_label;
    TestLog& m_log;
};

/// Three players and faders sharing one log, with readiness chosen per kind.
struct TestOutputs {
    explicit TestOutputs(bool midiReady = true, bool waveReady = true, bool cdReady = true);

    TestLog log;
    TestDevice midi;
    TestDevice wave;
    TestDevice cd;
    TestFader midiFader;
    TestFader waveFader;
    TestFader cdFader;

    MoxItemOutputs outputs();
};
