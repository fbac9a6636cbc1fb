#include "tests/support/audio/TestSignals.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <random>
#include <stdexcept>

namespace testaudio {

std::vector<float> SineTone(double frequency, double seconds, int rate, double amplitude) {
    auto frames = static_cast<std::size_t>(std::lround(seconds * rate));
    std::vector<float> out(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        out[i] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * frequency *
                                                         static_cast<double>(i) / rate));
    }
    return out;
}

SpeechLike SpeechLikeSignal(double seconds, int rate, double peak, unsigned seed) {
    std::mt19937 random(seed);
    auto uniform = [&](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    SpeechLike out;
    const auto total = static_cast<std::size_t>(seconds * rate);
    out.samples.assign(total, 0.0f);
    auto add = [&](double start, double length, const auto& wave) {
        const auto first = static_cast<std::size_t>(start * rate);
        const auto end = std::min(total, first + static_cast<std::size_t>(length * rate));
        for (std::size_t i = first; i < end; ++i) {
            const double t = static_cast<double>(i - first) / rate;
            // 20 ms rise, 40 ms fall, as a syllable's edges.
            const double envelope = std::min({1.0, t / 0.02, (length - t) / 0.04});
            out.samples[i] += static_cast<float>(envelope * wave(t));
        }
        out.sounds.emplace_back(first, end);
    };
    const double toneAt = seconds * 0.45;
    bool toneDone = false;
    for (double t = 0.3; t < seconds - 0.5;) {
        if (!toneDone && t > toneAt) {
            out.tone = out.sounds.size();
            add(t, 1.0, [](double x) { return 0.5 * std::sin(2 * std::numbers::pi * 1000 * x); });
            toneDone = true;
            t += 1.0 + uniform(0.3, 0.6);
            continue;
        }
        const int syllables = static_cast<int>(uniform(1, 5));
        for (int s = 0; s < syllables && t < seconds - 0.5; ++s) {
            const double length = uniform(0.12, 0.28);
            const double f0 = uniform(100, 220);
            const double glide = uniform(-0.2, 0.2);
            const double f1 = uniform(400, 800);
            const double f2 = uniform(1000, 2200);
            add(t, length, [=](double x) {
                const double f = f0 * (1 + glide * x / length);
                double sum = 0;
                for (int k = 1; k * f < 4000; ++k) {
                    const double fk = k * f;
                    const double colour = 1 + 2 * std::exp(-std::pow((fk - f1) / 200, 2)) +
                                          1.5 * std::exp(-std::pow((fk - f2) / 300, 2));
                    sum += colour / k * std::sin(2 * std::numbers::pi * fk * x + k);
                }
                return sum;
            });
            t += length + uniform(0.03, 0.06);
        }
        t += uniform(0.25, 0.7);
    }
    double highest = 0;
    for (const float v : out.samples) {
        highest = std::max(highest, static_cast<double>(std::fabs(v)));
    }
    for (float& v : out.samples) {
        v = static_cast<float>(v * peak / highest);
    }
    return out;
}

std::vector<std::pair<std::size_t, std::size_t>> SpeechLike::Pauses(int rate, double minSeconds,
                                                                    double margin) const {
    std::vector<std::pair<std::size_t, std::size_t>> pauses;
    const auto trim = static_cast<std::size_t>(margin * rate);
    std::size_t from = 0;
    for (std::size_t i = 0; i <= sounds.size(); ++i) {
        const std::size_t to = i < sounds.size() ? sounds[i].first : samples.size();
        if (to > from && static_cast<double>(to - from) >= minSeconds * rate) {
            pauses.emplace_back(from + (from == 0 ? 0 : trim), to - trim);
        }
        if (i < sounds.size()) {
            from = sounds[i].second;
        }
    }
    return pauses;
}

std::vector<float> WhiteNoise(std::size_t count, double rms, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> gauss(0.0, rms);
    std::vector<float> out(count);
    for (float& v : out) {
        v = static_cast<float>(gauss(random));
    }
    return out;
}

double RegionsRmsDb(const std::vector<float>& mono,
                    const std::vector<std::pair<std::size_t, std::size_t>>& regions) {
    double sum = 0;
    std::size_t count = 0;
    for (const auto& [first, end] : regions) {
        for (std::size_t i = first; i < std::min(end, mono.size()); ++i) {
            sum += static_cast<double>(mono[i]) * mono[i];
            ++count;
        }
    }
    return count == 0 || sum == 0 ? -200.0 : 10.0 * std::log10(sum / static_cast<double>(count));
}

void WriteWave(const std::string& path, const std::vector<float>& mono, const WaveFormat& format) {
    SF_INFO info{0, format.rate, format.channels, format.format, 0, 0};
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));
    }
    const auto channels = static_cast<std::size_t>(format.channels);
    std::vector<float> frames(mono.size() * channels);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i] = mono[i / channels];
    }
    sf_writef_float(file, frames.data(), static_cast<sf_count_t>(mono.size()));
    sf_close(file);
}

void WriteToneWave(const std::string& path, double frequency, double seconds,
                   const WaveFormat& format, double amplitude) {
    WriteWave(path, SineTone(frequency, seconds, format.rate, amplitude), format);
}

namespace {
std::vector<std::uint8_t> Message(std::initializer_list<int> bytes) {
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}
/// The value as its big-endian (or little-endian) bytes.
void Append(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes, bool big = true) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * (big ? bytes - 1 - i : i))));
    }
}
} // namespace

void SmfWriter::Program(int channel, int program) {
    m_events.push_back({0, 1, Message({0xC0 | channel, program})});
}

std::uint32_t SmfWriter::Ticks(double seconds) const {
    return static_cast<std::uint32_t>(std::lround(seconds * 1e6 / kTempo * kDivision));
}

void SmfWriter::Note(double start, double length, int key, int velocity, int channel) {
    m_events.push_back({Ticks(start), 3, Message({0x90 | channel, key, velocity})});
    m_events.push_back({Ticks(start + length), 2, Message({0x80 | channel, key, 0})});
}

std::vector<std::uint8_t> SmfWriter::Bytes() const {
    std::vector<Event> events = m_events;
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    events.push_back({events.empty() ? 0 : events.back().tick, 0, {0xFF, 0x2F, 0x00}});
    std::vector<std::uint8_t> track;
    std::uint32_t now = 0;
    for (const auto& e : events) {
        // The delta time as a variable-length quantity: 7 bits a byte, the top bit on all
        // but the last.
        const std::uint32_t delta = e.tick - now;
        for (int shift = 28; shift > 0; shift -= 7) {
            if (delta >> shift != 0) {
                track.push_back(static_cast<std::uint8_t>(0x80 | ((delta >> shift) & 0x7F)));
            }
        }
        track.push_back(delta & 0x7F);
        now = e.tick;
        track.insert(track.end(), e.bytes.begin(), e.bytes.end());
    }
    std::vector<std::uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1};
    Append(out, kDivision, 2);
    out.insert(out.end(), {'M', 'T', 'r', 'k'});
    Append(out, static_cast<std::uint32_t>(track.size()), 4);
    out.insert(out.end(), track.begin(), track.end());
    return out;
}

std::vector<std::uint8_t> WrapRmi(const std::vector<std::uint8_t>& smf) {
    std::vector<std::uint8_t> out = {'R', 'I', 'F', 'F'};
    Append(out, static_cast<std::uint32_t>(4 + 8 + smf.size() + (smf.size() & 1)), 4, false);
    out.insert(out.end(), {'R', 'M', 'I', 'D', 'd', 'a', 't', 'a'});
    Append(out, static_cast<std::uint32_t>(smf.size()), 4, false);
    out.insert(out.end(), smf.begin(), smf.end());
    out.resize(out.size() + (smf.size() & 1), 0);
    return out;
}

CdImage WriteCdImage(const std::string& dir, const std::string& base,
                     const std::vector<CdTrackSpec>& tracks, double amplitude) {
    constexpr std::size_t kFramesPerSector = 588;
    CdImage image{dir + "/" + base + ".cue", dir + "/" + base + ".bin", {}, 0};
    std::ofstream cue(image.cuePath, std::ios::trunc);
    cue << "FILE \"" << base << ".bin\" BINARY\n";
    std::vector<float> disc;
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        const auto sector = static_cast<std::int32_t>(disc.size() / kFramesPerSector);
        image.trackStart.push_back(sector);
        char lines[96];
        std::snprintf(lines, sizeof lines, "  TRACK %02zu AUDIO\n    INDEX 01 %02d:%02d:%02d\n",
                      t + 1, sector / (75 * 60), (sector / 75) % 60, sector % 75);
        cue << lines;
        std::vector<float> tone =
            SineTone(tracks[t].frequency, tracks[t].seconds, 44100, amplitude);
        tone.resize((tone.size() + kFramesPerSector - 1) / kFramesPerSector * kFramesPerSector);
        disc.insert(disc.end(), tone.begin(), tone.end());
    }
    image.leadout = static_cast<std::int32_t>(disc.size() / kFramesPerSector);
    WriteWave(image.binPath, disc, {44100, 2, SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE});
    if (!cue) {
        throw std::runtime_error("cannot write " + image.cuePath);
    }
    return image;
}

} // namespace testaudio
