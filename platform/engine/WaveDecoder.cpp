#include "platform/engine/WaveDecoder.h"

#include "platform/files/FileDescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {
constexpr long kBlockFrames = 4096;
constexpr int kMaxChannels = 64;
constexpr int kMaxRate = 768000;

// The format tag of a RIFF (little-endian) or RIFX (big-endian) WAVE file's "fmt " chunk; for
// WAVE_FORMAT_EXTENSIBLE (0xFFFE) the tag in its sub-format. 0 when there is none to read.
//   0 "RIFF" | "RIFX", u32 size, "WAVE", then chunks: 4-byte id, u32 size, data (even length);
//   "fmt ": u16 tag, ... and, extensible, at 24 the sub-format GUID, whose first u16 is a tag.
std::uint16_t WaveFormatTag(int fd, std::int64_t fileSize) {
    unsigned char riff[12];
    if (!ReadFullyAt(fd, riff, sizeof riff, 0) || std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return 0;
    }
    const bool big = std::memcmp(riff, "RIFX", 4) == 0;
    if (!big && std::memcmp(riff, "RIFF", 4) != 0) {
        return 0;
    }
    auto u32 = [big](const unsigned char* p) {
        return big ? (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                         (std::uint32_t{p[2]} << 8) | p[3]
                   : (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) |
                         (std::uint32_t{p[1]} << 8) | p[0];
    };
    auto u16 = [big](const unsigned char* p) {
        return static_cast<std::uint16_t>(big ? (p[0] << 8) | p[1] : (p[1] << 8) | p[0]);
    };
    for (std::int64_t pos = 12; pos + 8 <= fileSize;) {
        unsigned char chunk[8];
        if (!ReadFullyAt(fd, chunk, sizeof chunk, pos)) {
            return 0;
        }
        const std::uint32_t size = u32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char fmt[26];
            if (size < 2 ||
                !ReadFullyAt(fd, fmt, std::min<std::size_t>(size, sizeof fmt), pos + 8)) {
                return 0;
            }
            const std::uint16_t tag = u16(fmt);
            return tag == 0xFFFE && size >= sizeof fmt ? u16(fmt + 24) : tag;
        }
        pos += 8 + std::int64_t{size} + (size & 1u);
    }
    return 0;
}

// The encodings libsndfile reads in a WAVE file: PCM, MS ADPCM, IEEE float, A-law, mu-law, IMA
// ADPCM, GSM 6.10, G.721 ADPCM, MPEG layer III, and IBM's mu-law and A-law.
bool IsReadableEncoding(std::uint16_t tag) {
    constexpr std::uint16_t kReadable[] = {0x0001, 0x0002, 0x0003, 0x0006, 0x0007, 0x0011,
                                           0x0031, 0x0040, 0x0055, 0x0101, 0x0102};
    return std::find(std::begin(kReadable), std::end(kReadable), tag) != std::end(kReadable);
}

// Why libsndfile refused a file: not a sound file, an encoding it does not read, or damage.
EngineStatus RefusalOf(int fd, std::int64_t fileSize, int error, const char* text) {
    if (error == SF_ERR_UNRECOGNISED_FORMAT) {
        return EngineStatus::Fail(EngineError::InvalidFile, "The file is not a sound file");
    }
    const std::uint16_t tag = WaveFormatTag(fd, fileSize);
    if (tag != 0 && !IsReadableEncoding(tag)) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%04X", tag);
        return EngineStatus::Fail(EngineError::UnsupportedEncoding,
                                  std::string("The wave file's sound is in an encoding that "
                                              "cannot be played (format tag ") +
                                      hex + ")");
    }
    std::string detail = text;
    while (!detail.empty() && (detail.back() == '.' || detail.back() == ' ')) {
        detail.pop_back();
    }
    return EngineStatus::Fail(EngineError::InvalidFile,
                              "The sound file is damaged (" + detail + ")");
}
} // namespace

std::unique_ptr<WaveDecoder> WaveDecoder::Open(const std::string& path, EngineStatus& status) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        int err = errno;
        status = err == ENOENT || err == ENOTDIR
                     ? EngineStatus::Fail(EngineError::FileNotFound, "The file was not found")
                     : EngineStatus::Fail(EngineError::FileUnreadable,
                                          std::string("The file cannot be opened: ") +
                                              std::strerror(err));
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        status = EngineStatus::Fail(EngineError::InvalidFile, "The path is not a regular file");
        return nullptr;
    }
    if (st.st_size == 0) {
        status = EngineStatus::Fail(EngineError::InvalidFile, "The file is empty");
        return nullptr;
    }
    // Lengths are left to libsndfile: it plays what a file holds, whatever its header claims
    // (files written to a pipe carry placeholder lengths, 0x7FFFF000 or 0xFFFFFFFF; a file
    // cut short holds less than its header says).
    // libsndfile gets a descriptor of its own: it closes it even when it refuses the file,
    // and this one is still needed to tell why, and later to watch the file's size.
    const int own = ::dup(fd.get());
    if (own < 0) {
        status =
            EngineStatus::Fail(EngineError::FileUnreadable,
                               std::string("The file cannot be opened: ") + std::strerror(errno));
        return nullptr;
    }
    SF_INFO info{};
    SNDFILE* file = sf_open_fd(own, SFM_READ, &info, SF_TRUE);
    if (file == nullptr) {
        status = RefusalOf(fd.get(), st.st_size, sf_error(nullptr), sf_strerror(nullptr));
        return nullptr;
    }
    std::unique_ptr<WaveDecoder> decoder(new WaveDecoder());
    decoder->m_fd = std::move(fd);
    decoder->m_file = SndFileHandle(file);
    decoder->m_path = path;
    decoder->m_sizeAtOpen = st.st_size;
    if (info.channels < 1 || info.channels > kMaxChannels || info.samplerate < 1 ||
        info.samplerate > kMaxRate || info.frames < 0) {
        status = EngineStatus::Fail(EngineError::UnsupportedEncoding,
                                    "The sound file has a rate or channel count that cannot be "
                                    "played");
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
                if (::fstat(m_fd.get(), &st) != 0 || st.st_size < m_sizeAtOpen) {
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
