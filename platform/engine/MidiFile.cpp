#include "platform/engine/MidiFile.h"

#include <cstring>

namespace {
std::uint32_t Be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}
std::uint16_t Be16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

// Reads a variable-length quantity at pos; false when it runs past the end or over 4 bytes.
bool ReadVarLen(const std::uint8_t* data, std::size_t size, std::size_t& pos,
                std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (pos >= size) {
            return false;
        }
        std::uint8_t b = data[pos++];
        value = (value << 7) | (b & 0x7Fu);
        if ((b & 0x80) == 0) {
            return true;
        }
    }
    return false;
}
} // namespace

bool MidiFile::Fail(std::string text) {
    m_error = std::move(text);
    m_smf.clear();
    return false;
}

bool MidiFile::Parse(const std::vector<std::uint8_t>& bytes) {
    m_error.clear();
    m_smf.clear();
    m_riff = false;
    if (bytes.empty()) {
        return Fail("The MIDI file is empty");
    }
    if (bytes.size() > kMaxMidiFileBytes) {
        return Fail("The MIDI file is too large");
    }
    const std::uint8_t* data = bytes.data();
    std::size_t size = bytes.size();
    if (size >= 4 && std::memcmp(data, "RIFF", 4) == 0) {
        m_riff = true;
        if (size < 12) {
            return Fail("The RIFF MIDI file is truncated");
        }
        if (std::memcmp(data + 8, "RMID", 4) != 0) {
            return Fail("The RIFF file does not hold MIDI data");
        }
        std::uint32_t riffSize = Le32(data + 4);
        if (riffSize < 4 || riffSize > size - 8) {
            return Fail("The RIFF MIDI file is truncated");
        }
        std::size_t end = 8 + std::size_t{riffSize};
        std::size_t pos = 12;
        while (pos + 8 <= end) {
            std::uint32_t chunkSize = Le32(data + pos + 4);
            std::size_t body = pos + 8;
            if (chunkSize > end - body) {
                return Fail("A chunk of the RIFF MIDI file runs past its end");
            }
            if (std::memcmp(data + pos, "data", 4) == 0) {
                return ParseSmf(data + body, chunkSize);
            }
            pos = body + chunkSize + (chunkSize & 1u);
        }
        return Fail("The RIFF MIDI file has no data chunk");
    }
    return ParseSmf(data, size);
}

bool MidiFile::ParseSmf(const std::uint8_t* data, std::size_t size) {
    if (size < 14 || std::memcmp(data, "MThd", 4) != 0) {
        return Fail("The file is not a MIDI file");
    }
    if (Be32(data + 4) != 6) {
        return Fail("The MIDI file header is damaged");
    }
    m_format = Be16(data + 8);
    const int declaredTracks = Be16(data + 10);
    std::uint16_t division = Be16(data + 12);
    if (m_format > 2) {
        return Fail("The MIDI file format is unknown");
    }
    if (declaredTracks == 0) {
        return Fail("The MIDI file has no tracks");
    }
    if ((division & 0x8000) != 0 || division == 0) {
        return Fail("The MIDI file's time division is not supported");
    }
    // The tracks follow the header one after the other; what comes after the last is ignored.
    std::size_t pos = 14;
    for (m_tracks = 0; m_tracks < declaredTracks; ++m_tracks) {
        const int number = m_tracks + 1;
        if (size - pos < 8) {
            return Fail("The MIDI file is truncated: it ends before track " +
                        std::to_string(number) + " of " + std::to_string(declaredTracks));
        }
        if (std::memcmp(data + pos, "MTrk", 4) != 0) {
            return Fail("The MIDI file is damaged: track " + std::to_string(number) +
                        " is not where it should be");
        }
        const std::uint32_t chunkSize = Be32(data + pos + 4);
        const std::size_t body = pos + 8;
        const bool last = number == declaredTracks;
        if (chunkSize <= size - body) {
            bool ended = false;
            if (!CheckTrack(data + body, chunkSize, number, ended)) {
                return false;
            }
            pos = body + chunkSize;
            continue;
        }
        // A last track whose length runs past the end of the file plays when its events end
        // (with the end-of-track event) before the file does, and its end lies within 2 GiB
        // (the synthesizer's reader counts file positions in 31 bits).
        bool ended = false;
        if (!last || std::uint64_t{chunkSize} + body > 0x7FFFFFFEu) {
            return Fail("Track " + std::to_string(number) + " of the MIDI file runs past its end");
        }
        if (!CheckTrack(data + body, size - body, number, ended)) {
            return false;
        }
        if (!ended) {
            return Fail("The MIDI file is truncated: its last track ends early");
        }
        break;
    }
    m_tracks = declaredTracks;
    m_smf.assign(data, data + size);
    return true;
}

bool MidiFile::CheckTrack(const std::uint8_t* data, std::size_t size, int index, bool& ended) {
    ended = false;
    std::string where = " (track " + std::to_string(index) + ")";
    std::size_t pos = 0;
    std::uint8_t running = 0;
    while (pos < size) {
        std::uint32_t delta = 0;
        if (!ReadVarLen(data, size, pos, delta)) {
            return Fail("A MIDI event time is damaged" + where);
        }
        if (pos >= size) {
            return Fail("A MIDI track ends inside an event" + where);
        }
        std::uint8_t status = data[pos];
        if (status < 0x80) {
            if (running == 0) {
                return Fail("A MIDI event has no status" + where);
            }
            status = running;
        } else {
            ++pos;
        }
        if (status < 0xF0) {
            running = status;
            std::size_t need = (status & 0xE0) == 0xC0 ? 1 : 2;
            if (size - pos < need) {
                return Fail("A MIDI track ends inside an event" + where);
            }
            pos += need;
            continue;
        }
        running = 0;
        std::uint32_t length = 0;
        if (status == 0xFF) {
            if (pos >= size) {
                return Fail("A MIDI track ends inside an event" + where);
            }
            std::uint8_t type = data[pos++];
            if (!ReadVarLen(data, size, pos, length) || length > size - pos) {
                return Fail("A MIDI meta event runs past its track" + where);
            }
            pos += length;
            if (type == 0x2F) {
                ended = true;
                return true; // end of track: anything after it is ignored
            }
        } else if (status == 0xF0 || status == 0xF7) {
            if (!ReadVarLen(data, size, pos, length) || length > size - pos) {
                return Fail("A MIDI system-exclusive event runs past its track" + where);
            }
            pos += length;
        } else {
            return Fail("A MIDI track holds an invalid event" + where);
        }
    }
    return true;
}
