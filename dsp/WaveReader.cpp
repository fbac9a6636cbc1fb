#include "dsp/WaveReader.h"

#include "platform/files/FileDescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

std::uint32_t Le32(const unsigned char* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

// Checks the chunk lengths of a RIFF WAVE file against the file's size: a file whose data
// chunk claims more bytes than follow it was cut short, and is not processed (its cleaned
// copy would replace it). Files that are not RIFF WAVE, and data sizes 0 or 0xFFFFFFFF
// (written by streaming tools that could not go back), pass. An empty string when fine, else
// the reason.
std::string CheckRiffWaveLengths(int fd, std::int64_t fileSize) {
    unsigned char header[12];
    if (fileSize < 12 || !ReadFullyAt(fd, header, sizeof header, 0)) {
        return {};
    }
    if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0) {
        return {};
    }
    std::int64_t pos = 12;
    while (pos + 8 <= fileSize) {
        unsigned char chunk[8];
        if (!ReadFullyAt(fd, chunk, sizeof chunk, pos)) {
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

} // namespace

int WaveFileFormat::IntegerBits() const {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return 8;
    case SF_FORMAT_PCM_24:
        return 24;
    case SF_FORMAT_PCM_32:
        return 32;
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
        return 0;
    default:
        return 16;
    }
}

std::unique_ptr<WaveReader> WaveReader::Open(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno == ENOENT
                    ? "The file does not exist."
                    : std::string("The file cannot be opened: ") + std::strerror(errno) + ".";
        return nullptr;
    }
    struct stat st {};
    std::string damage;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        damage = "It is not a regular file.";
    } else if (st.st_size == 0) {
        damage = "The file is empty.";
    } else if (std::string cut = CheckRiffWaveLengths(fd, st.st_size); !cut.empty()) {
        damage = cut + ".";
    }
    if (!damage.empty()) {
        ::close(fd);
        error = damage;
        return nullptr;
    }
    SF_INFO info{};
    SndFileHandle file(sf_open_fd(fd, SFM_READ, &info, SF_TRUE));
    if (!file) {
        error =
            std::string("It is not a wave file that can be read (") + sf_strerror(nullptr) + ").";
        return nullptr;
    }
    const int major = info.format & SF_FORMAT_TYPEMASK;
    if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX) {
        error = "It is a sound file, but not a wave file.";
        return nullptr;
    }
    if (info.channels < 1 || info.channels > kMaxChannels) {
        error = "It has " + std::to_string(info.channels) + " channels; at most " +
                std::to_string(kMaxChannels) + " can be processed.";
        return nullptr;
    }
    if (info.samplerate < kLowestRate || info.samplerate > kHighestRate) {
        error = "Its sample rate of " + std::to_string(info.samplerate) + " Hz is outside " +
                std::to_string(kLowestRate) + " to " + std::to_string(kHighestRate) + " Hz.";
        return nullptr;
    }
    std::unique_ptr<WaveReader> reader(new WaveReader());
    reader->m_file = std::move(file);
    reader->m_format = {info.format, info.channels, info.samplerate};
    reader->m_integer = reader->m_format.IntegerBits() != 0;
    return reader;
}

SoundFileTags WaveReader::Tags() const {
    SoundFileTags tags;
    for (int id = SF_STR_FIRST; id <= SF_STR_LAST; ++id) {
        if (const char* value = sf_get_string(m_file.get(), id); value != nullptr) {
            tags.emplace_back(id, value);
        }
    }
    return tags;
}

long WaveReader::Read(float* interleaved, long frames) {
    sf_count_t got = 0;
    if (m_integer) {
        const auto samples = static_cast<std::size_t>(frames) * m_format.channels;
        if (m_ints.size() < samples) {
            m_ints.resize(samples);
        }
        got = sf_readf_int(m_file.get(), m_ints.data(), frames);
        const auto count = static_cast<std::size_t>(std::max<sf_count_t>(got, 0)) *
                           static_cast<std::size_t>(m_format.channels);
        for (std::size_t i = 0; i < count; ++i) {
            interleaved[i] = static_cast<float>(m_ints[i] * 0x1.0p-31);
        }
    } else {
        got = sf_readf_float(m_file.get(), interleaved, frames);
    }
    if (got < 0 || sf_error(m_file.get()) != SF_ERR_NO_ERROR) {
        m_error = std::string("Its sound data is damaged (") + sf_strerror(m_file.get()) + ").";
        return -1;
    }
    return static_cast<long>(got);
}

bool WaveReader::Rewind() {
    if (sf_seek(m_file.get(), 0, SEEK_SET) != 0) {
        m_error = std::string("It cannot be read again from the start (") +
                  sf_strerror(m_file.get()) + ").";
        return false;
    }
    return true;
}
