#include "platform/engine/WaveDecoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
constexpr long kBlockFrames = 4096;
constexpr int kMaxChannels = 64;
constexpr int kMaxRate = 768000;

std::uint32_t Le32(const unsigned char* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

bool ReadAt(int fd, void* buffer, std::size_t size, std::int64_t offset) {
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd, out + done, size - done,
                            static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string CheckRiffWaveLengths(int fd, std::int64_t fileSize) {
    unsigned char header[12];
    if (fileSize < 12 || !ReadAt(fd, header, sizeof header, 0)) {
        return {};
    }
    if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0) {
        return {};
    }
    std::int64_t pos = 12;
    while (pos + 8 <= fileSize) {
        unsigned char chunk[8];
        if (!ReadAt(fd, chunk, sizeof chunk, pos)) {
            return "The wave file cannot be read";
        }
        std::uint32_t size = Le32(chunk + 4);
        std::int64_t left = fileSize - (pos + 8);
        if (std::memcmp(chunk, "data", 4) == 0) {
            if (size != 0 && size != 0xFFFFFFFFu && static_cast<std::int64_t>(size) > left) {
                return "The wave file is truncated: its sound data is incomplete";
            }
            return {};
        }
        if (static_cast<std::int64_t>(size) > left) {
            return "The wave file is damaged: a header chunk runs past its end";
        }
        pos += 8 + static_cast<std::int64_t>(size) + (size & 1u);
    }
    return {};
}

std::unique_ptr<WaveDecoder> WaveDecoder::Open(const std::string& path, EngineStatus& status) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        status = err == ENOENT || err == ENOTDIR
                     ? EngineStatus::Fail(EngineError::FileNotFound, "The file was not found")
                     : EngineStatus::Fail(EngineError::FileUnreadable,
                                          std::string("The file cannot be opened: ") +
                                              std::strerror(err));
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        status = EngineStatus::Fail(EngineError::InvalidFile, "The path is not a regular file");
        return nullptr;
    }
    if (st.st_size == 0) {
        ::close(fd);
        status = EngineStatus::Fail(EngineError::InvalidFile, "The file is empty");
        return nullptr;
    }
    std::string damage = CheckRiffWaveLengths(fd, st.st_size);
    if (!damage.empty()) {
        ::close(fd);
        status = EngineStatus::Fail(EngineError::InvalidFile, damage);
        return nullptr;
    }

    SF_INFO info{};
    SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
    if (file == nullptr) {
        status = EngineStatus::Fail(EngineError::InvalidFile,
                                    std::string("The file is not a sound file libsndfile reads: ") +
                                        sf_strerror(nullptr));
        return nullptr;
    }
    std::unique_ptr<WaveDecoder> decoder(new WaveDecoder());
    decoder->m_file = SndFileHandle(file);
    decoder->m_fd = fd;
    decoder->m_path = path;
    decoder->m_sizeAtOpen = st.st_size;
    if (info.channels < 1 || info.channels > kMaxChannels || info.samplerate < 1 ||
        info.samplerate > kMaxRate || info.frames < 0) {
        status = EngineStatus::Fail(EngineError::InvalidFile,
                                    "The sound file has an unsupported rate or channel count");
        return nullptr;
    }
    decoder->m_rate = info.samplerate;
    decoder->m_channels = info.channels;
    decoder->m_frames = static_cast<std::uint64_t>(info.frames);
    std::vector<int> map(static_cast<std::size_t>(info.channels));
    if (sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                   static_cast<int>(map.size() * sizeof(int))) != SF_TRUE) {
        map.clear();
    }
    decoder->m_downmix = std::make_unique<StereoDownmix>(info.channels, map);
    decoder->m_block.resize(static_cast<std::size_t>(kBlockFrames) *
                            static_cast<std::size_t>(info.channels));
    status = EngineStatus::Ok();
    return decoder;
}

long WaveDecoder::Fail(std::string text) {
    m_failed = true;
    m_error = std::move(text);
    return -1;
}

long WaveDecoder::Read(float* stereo, long frames) {
    if (m_failed) {
        return -1;
    }
    if (m_ended) {
        return 0;
    }
    long done = 0;
    while (done < frames) {
        long want = std::min(kBlockFrames, frames - done);
        sf_count_t got = sf_readf_float(m_file.get(), m_block.data(), want);
        if (got < 0 || sf_error(m_file.get()) != SF_ERR_NO_ERROR) {
            return Fail(std::string("Reading the sound file failed: ") + sf_strerror(m_file.get()));
        }
        if (got == 0) {
            // The regular end, unless the file shrank under us before all its frames came out.
            if (m_position < m_frames) {
                struct stat st {};
                if (::fstat(m_fd, &st) != 0 || st.st_size < m_sizeAtOpen) {
                    if (done > 0) {
                        return done; // hand out what came, fail on the next call
                    }
                    return Fail("The sound file became shorter while it played");
                }
            }
            m_ended = done == 0;
            if (done == 0) {
                return 0;
            }
            break;
        }
        m_downmix->Apply(m_block.data(), static_cast<long>(got), stereo + done * 2);
        done += static_cast<long>(got);
        m_position += static_cast<std::uint64_t>(got);
    }
    return done;
}

bool WaveDecoder::Seek(std::uint64_t frame) {
    if (m_failed || frame > m_frames) {
        return false;
    }
    if (sf_seek(m_file.get(), static_cast<sf_count_t>(frame), SEEK_SET) < 0) {
        return false;
    }
    m_position = frame;
    m_ended = false;
    return true;
}
