#include "tests/support/audio/RecordingSupport.h"

#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/TestSignals.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace testaudio {

SoundFile ReadSoundFile(const std::string& path, const WaveFormat& raw) {
    SF_INFO info{};
    if ((raw.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RAW) {
        info = {0, raw.rate, raw.channels, raw.format, 0, 0};
    }
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    }
    SoundFile sound{info.samplerate, info.channels, info.format,
                    std::vector<float>(static_cast<std::size_t>(info.frames * info.channels))};
    sf_readf_float(file, sound.samples.data(), info.frames);
    sf_close(file);
    return sound;
}

namespace {
std::uint32_t Le(const Bytes& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
    }
    return value;
}
} // namespace

RiffFormat ReadRiffFormat(const std::string& path) {
    RiffFormat format;
    Bytes bytes = ReadFileBytes(path);
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        return format;
    }
    bool fmt = false;
    bool data = false;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::uint32_t size = Le(bytes, at + 4, 4);
        if (std::memcmp(bytes.data() + at, "fmt ", 4) == 0 && size >= 16 &&
            at + 8 + 16 <= bytes.size()) {
            format.formatTag = static_cast<std::uint16_t>(Le(bytes, at + 8, 2));
            format.channels = static_cast<std::uint16_t>(Le(bytes, at + 10, 2));
            format.samplesPerSecond = Le(bytes, at + 12, 4);
            format.bytesPerSecond = Le(bytes, at + 16, 4);
            format.blockAlign = static_cast<std::uint16_t>(Le(bytes, at + 20, 2));
            format.bitsPerSample = static_cast<std::uint16_t>(Le(bytes, at + 22, 2));
            fmt = true;
        } else if (std::memcmp(bytes.data() + at, "data", 4) == 0) {
            format.dataBytes = size;
            data = true;
        }
        at += 8 + size + (size & 1);
    }
    format.valid = fmt && data;
    return format;
}

MicrophoneTone::MicrophoneTone(double frequency, double seconds, double amplitude) {
    const std::string path = m_folder.file("tone.wav");
    WriteToneWave(path, frequency, seconds, WaveFormat{}, amplitude);
    // Listen to the microphone itself, so the tone is known to flow before recording starts.
    AudioCapture microphone("quillon_mic_in");
    m_player = std::make_unique<ChildProcess>(
        std::vector<std::string>{"paplay", "-d", "quillon_mic", path});
    if (!microphone.WaitUntilRunning()) {
        return;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline && !m_started) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::vector<float> latest = Channel(microphone.Latest(2205), 0);
        m_started = latest.size() == 2205 && RmsDb(latest) > -40.0 &&
                    std::abs(ZeroCrossingFrequency(latest, AudioCapture::kRate) - frequency) <
                        frequency * 0.02;
    }
    microphone.Stop();
}

MicrophoneTone::~MicrophoneTone() = default;

std::vector<std::int64_t> OpenFileSizesUnder(const std::string& folder) {
    std::vector<std::int64_t> sizes;
    const std::string prefix = std::filesystem::weakly_canonical(folder).string() + "/";
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (error || target.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        struct stat st {};
        if (::stat(entry.path().c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            sizes.push_back(static_cast<std::int64_t>(st.st_size));
        }
    }
    return sizes;
}

} // namespace testaudio
