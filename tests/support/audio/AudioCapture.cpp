#include "tests/support/audio/AudioCapture.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <thread>

namespace testaudio {

AudioCapture::AudioCapture(const std::string& source)
    : m_path(m_folder.file("capture.raw")) {
    m_parec = std::make_unique<ChildProcess>(
        std::vector<std::string>{"parec", "--device=" + source, "--raw", "--format=s16ne",
                                 "--rate=44100", "--channels=2", "--latency-msec=20", m_path});
}

bool AudioCapture::WaitUntilRunning(std::chrono::milliseconds timeout) {
    for (const auto deadline = std::chrono::steady_clock::now() + timeout;
         m_parec->Running() && std::chrono::steady_clock::now() < deadline;) {
        if (Frames() > 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::size_t AudioCapture::Frames() const {
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(m_path, ec);
    return ec ? 0 : static_cast<std::size_t>(bytes / 4);
}

std::vector<float> AudioCapture::read(std::size_t first, std::size_t frames) const {
    std::ifstream in(m_path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(first * 4));
    std::vector<std::int16_t> samples(frames * 2);
    in.read(reinterpret_cast<char*>(samples.data()),
            static_cast<std::streamsize>(samples.size() * 2));
    std::vector<float> out(samples.size());
    std::transform(samples.begin(), samples.end(), out.begin(),
                   [](std::int16_t s) { return static_cast<float>(s) / 32768.0f; });
    return out;
}

std::vector<float> AudioCapture::Latest(std::size_t frames) const {
    const std::size_t total = Frames();
    return read(total - std::min(frames, total), std::min(frames, total));
}

std::vector<float> AudioCapture::Stop() {
    if (m_parec->Running()) {
        m_parec->Signal(SIGTERM);
        m_parec->Wait(std::chrono::seconds(5));
    }
    return read(0, Frames());
}

} // namespace testaudio
