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

} // namespace

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
    // Lengths are left to libsndfile: it plays what a file holds, whatever its header claims
    // (files written to a pipe carry placeholder lengths, 0x7FFFF000 or 0xFFFFFFFF; a file
    // cut short holds less than its header says).
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
