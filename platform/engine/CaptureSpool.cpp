#include "platform/engine/CaptureSpool.h"

#include "platform/files/FileDescriptor.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace {
constexpr std::size_t kChunkFrames = 8192;
std::atomic<unsigned> g_saveCounter{0};

std::string ErrnoText(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

std::int16_t ToSample(float value) {
    value = std::clamp(value, -1.0f, 1.0f);
    return static_cast<std::int16_t>(std::lrintf(value * 32767.0f));
}

bool WriteAll(int fd, const void* data, std::size_t size, int& error) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Removes the temporary file of a save unless it was renamed into place.
class TemporaryName {
public:
    explicit TemporaryName(std::string path)
        : m_path(std::move(path)) {}
    ~TemporaryName() {
        if (!m_path.empty()) {
            ::unlink(m_path.c_str());
        }
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    const std::string& path() const { return m_path; }
    void Keep() { m_path.clear(); }

private:
    std::string m_path;
};
} // namespace

CaptureSpool::CaptureSpool(FileDescriptor fd, int channels)
    : m_fd(std::move(fd))
    , m_channels(channels)
    , m_buffer(kChunkFrames * 2) {}

std::unique_ptr<CaptureSpool> CaptureSpool::Create(const std::string& folder, int channels,
                                                   EngineStatus& status) {
    FileDescriptor fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (!fd && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without unnamed files: make one and take its name away at once.
        std::string name = folder + "/quillon-recording-XXXXXX";
        fd = FileDescriptor(::mkostemp(name.data(), O_CLOEXEC));
        if (fd) {
            ::unlink(name.c_str());
        }
    }
    if (!fd) {
        status = EngineStatus::Fail(EngineError::WriteFailed,
                                    ErrnoText("Cannot make a recording file in " + folder, errno));
        return nullptr;
    }
    status = EngineStatus::Ok();
    return std::unique_ptr<CaptureSpool>(new CaptureSpool(std::move(fd), channels));
}

bool CaptureSpool::SetChannels(int channels) {
    if (m_frames != 0) {
        return false;
    }
    m_channels = channels;
    return true;
}

bool CaptureSpool::AppendStereo(const float* stereo, std::size_t frames, std::string& error) {
    while (frames > 0) {
        std::size_t n = std::min(frames, kChunkFrames);
        if (m_channels == 1) {
            for (std::size_t i = 0; i < n; ++i) {
                m_buffer[i] = ToSample(0.5f * (stereo[2 * i] + stereo[2 * i + 1]));
            }
        } else {
            for (std::size_t i = 0; i < 2 * n; ++i) {
                m_buffer[i] = ToSample(stereo[i]);
            }
        }
        int failure = 0;
        std::size_t bytes = n * static_cast<std::size_t>(m_channels) * sizeof(std::int16_t);
        if (!WriteAll(m_fd.get(), m_buffer.data(), bytes, failure)) {
            error = ErrnoText("Cannot write the recording", failure);
            // A partly written frame is overwritten by the next append, if any succeeds.
            ::lseek(m_fd.get(),
                    static_cast<off_t>(m_frames * static_cast<std::uint64_t>(m_channels) * 2),
                    SEEK_SET);
            return false;
        }
        m_frames += n;
        stereo += 2 * n;
        frames -= n;
    }
    return true;
}

EngineStatus CaptureSpool::SaveWave(const std::string& path, const PcmFormat& format) const {
    if (format.channels != m_channels ||
        (format.bitsPerSample != 8 && format.bitsPerSample != 16)) {
        return EngineStatus::Fail(EngineError::Unsupported,
                                  "The recording cannot be saved in this format");
    }
    std::size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty()) {
        return EngineStatus::Fail(EngineError::WriteFailed, "No file name to save under: " + path);
    }
    FileDescriptor fd;
    std::string temporary;
    for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
        temporary = folder + "/." + base + "." + std::to_string(::getpid()) + "-" +
                    std::to_string(++g_saveCounter) + ".part";
        fd = FileDescriptor(
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd && errno != EEXIST) {
            break;
        }
    }
    if (!fd) {
        return EngineStatus::Fail(EngineError::WriteFailed,
                                  ErrnoText("Cannot save the recording in " + folder, errno));
    }
    TemporaryName cleanup(temporary);

    SF_INFO info{};
    info.samplerate = format.rate;
    info.channels = format.channels;
    info.format = SF_FORMAT_WAV | (format.bitsPerSample == 8 ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_16);
    SNDFILE* file = sf_open_fd(fd.get(), SFM_WRITE, &info, SF_FALSE);
    if (file == nullptr) {
        return EngineStatus::Fail(EngineError::WriteFailed,
                                  std::string("Cannot save the recording: ") +
                                      sf_strerror(nullptr));
    }
    std::vector<std::int16_t> chunk(kChunkFrames * static_cast<std::size_t>(m_channels));
    bool written = true;
    std::string error;
    for (std::uint64_t done = 0; done < m_frames && written;) {
        auto n = static_cast<sf_count_t>(std::min<std::uint64_t>(kChunkFrames, m_frames - done));
        auto offset = static_cast<off_t>(done * static_cast<std::uint64_t>(m_channels) * 2);
        if (!ReadFullyAt(m_fd.get(), chunk.data(),
                         static_cast<std::size_t>(n) * static_cast<std::size_t>(m_channels) * 2,
                         offset)) {
            written = false;
            error = ErrnoText("Cannot read the recording back", errno);
        } else if (sf_writef_short(file, chunk.data(), n) != n) {
            written = false;
            error = std::string("Cannot write ") + path + ": " + sf_strerror(file);
        }
        done += static_cast<std::uint64_t>(n);
    }
    if (written) {
        sf_write_sync(file);
    }
    int closed = sf_close(file);
    if (written && closed != 0) {
        written = false;
        error = std::string("Cannot finish ") + path + ": " + sf_error_number(closed);
    }
    if (written && ::fsync(fd.get()) != 0) {
        written = false;
        error = ErrnoText("Cannot write " + path, errno);
    }
    if (!written) {
        return EngineStatus::Fail(EngineError::WriteFailed, error);
    }
    if (::close(fd.release()) != 0) {
        return EngineStatus::Fail(EngineError::WriteFailed,
                                  ErrnoText("Cannot write " + path, errno));
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        return EngineStatus::Fail(EngineError::WriteFailed,
                                  ErrnoText("Cannot put the recording at " + path, errno));
    }
    cleanup.Keep();
    return EngineStatus::Ok();
}
