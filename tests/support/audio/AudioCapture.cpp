#include "tests/support/audio/AudioCapture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace testaudio {

AudioCapture::AudioCapture(std::string source) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return;
    }
    std::string device = "--device=" + source;
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        int devNull = ::open("/dev/null", O_WRONLY);
        if (devNull >= 0) {
            ::dup2(devNull, STDERR_FILENO);
        }
        ::execlp("parec", "parec", device.c_str(), "--raw", "--format=s16le", "--rate=44100",
                 "--channels=2", "--latency-msec=20", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    if (m_pid < 0) {
        ::close(pipeFds[0]);
        return;
    }
    m_fd = pipeFds[0];
    m_reader = std::thread([this] { ReadLoop(); });
}

AudioCapture::~AudioCapture() {
    Stop();
}

void AudioCapture::ReadLoop() {
    std::vector<char> buffer(8192);
    std::size_t carry = 0; // a byte of a sample split between reads
    char pending = 0;
    for (;;) {
        ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        std::lock_guard lock(m_mutex);
        if (!m_started) {
            m_started = true;
            m_start = std::chrono::steady_clock::now();
        }
        std::size_t i = 0;
        if (carry == 1) {
            auto lo = static_cast<unsigned char>(pending);
            auto hi = static_cast<unsigned char>(buffer[0]);
            m_samples.push_back(static_cast<std::int16_t>(lo | (hi << 8)));
            i = 1;
            carry = 0;
        }
        for (; i + 1 < static_cast<std::size_t>(n); i += 2) {
            auto lo = static_cast<unsigned char>(buffer[i]);
            auto hi = static_cast<unsigned char>(buffer[i + 1]);
            m_samples.push_back(static_cast<std::int16_t>(lo | (hi << 8)));
        }
        if (i < static_cast<std::size_t>(n)) {
            pending = buffer[i];
            carry = 1;
        }
    }
}

bool AudioCapture::WaitUntilRunning(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard lock(m_mutex);
            if (m_started) {
                return true;
            }
        }
        if (m_pid <= 0) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::size_t AudioCapture::Frames() const {
    std::lock_guard lock(m_mutex);
    return m_samples.size() / 2;
}

std::chrono::steady_clock::time_point AudioCapture::StartTime() const {
    std::lock_guard lock(m_mutex);
    return m_start;
}

std::vector<float> AudioCapture::Latest(std::size_t frames) const {
    std::lock_guard lock(m_mutex);
    std::size_t samples = std::min(frames * 2, m_samples.size() & ~std::size_t{1});
    std::vector<float> out(samples);
    std::size_t from = (m_samples.size() & ~std::size_t{1}) - samples;
    for (std::size_t i = 0; i < samples; ++i) {
        out[i] = static_cast<float>(m_samples[from + i]) / 32768.0f;
    }
    return out;
}

std::vector<float> AudioCapture::Stop() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    if (m_reader.joinable()) {
        m_reader.join();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    std::lock_guard lock(m_mutex);
    std::vector<float> out(m_samples.size() & ~std::size_t{1});
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<float>(m_samples[i]) / 32768.0f;
    }
    return out;
}

std::vector<float> ReadRawStereoFloat(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> out(bytes.size() / sizeof(float) & ~std::size_t{1});
    std::memcpy(out.data(), bytes.data(), out.size() * sizeof(float));
    return out;
}

} // namespace testaudio
