#include "tests/model/TestDevices.h"

void TestLog::add(std::string entry) {
    std::lock_guard lock(m_mutex);
    m_entries.push_back(std::move(entry));
}

std::vector<std::string> TestLog::entries() const {
    std::lock_guard lock(m_mutex);
    return m_entries;
}

bool TestDevice::Play(const std::string& name) {
    ++plays;
    m_log.add(m_label + " play " + name);
    return playResult;
}

void TestDevice::Stop() {
    ++stops;
    m_log.add(m_label + " stop");
}

void TestFader::ApplyVolume(std::uint32_t volume) {
    m_log.add(m_label + " volume " + std::to_string(volume));
}

TestOutputs::TestOutputs(bool midiReady, bool waveReady, bool cdReady)
    : midi("midi", log, midiReady)
    , wave("wave", log, waveReady)
    , cd("cd", log, cdReady)
    , midiFader("midi", log)
    , waveFader("wave", log)
    , cdFader("cd", log) {}

MoxItemOutputs TestOutputs::outputs() {
    return {{&midi, &midiFader}, {&wave, &waveFader}, {&cd, &cdFader}};
}
