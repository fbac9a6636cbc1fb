// make-tune: writes one of the demo's short tunes as a Standard MIDI File.
//
//   make-tune waltz|stroll OUT.mid
//
// The file is format 0 (one track), 480 ticks per quarter note. Layout, big-endian:
//   "MThd" length=6 format=0 tracks=1 division=480
//   "MTrk" length, then events: delta time (variable-length, 7 bits a byte, high bit set on
//   all bytes but the last), status byte, data bytes; ending with the meta event FF 2F 00.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kDivision = 480; // ticks per quarter note

struct Event {
    std::uint32_t tick;
    int order; // at the same tick: set-up first, then note-offs, then note-ons
    std::vector<std::uint8_t> bytes;
};

class Tune {
public:
    void tempo(std::uint32_t microsecondsPerQuarter) {
        add(0, 0,
            {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(microsecondsPerQuarter >> 16),
             static_cast<std::uint8_t>(microsecondsPerQuarter >> 8),
             static_cast<std::uint8_t>(microsecondsPerQuarter)});
    }
    void program(int channel, int instrument) {
        add(0, 0,
            {static_cast<std::uint8_t>(0xC0 | channel), static_cast<std::uint8_t>(instrument)});
    }
    void volume(int channel, int level) {
        add(0, 0, {static_cast<std::uint8_t>(0xB0 | channel), 7, static_cast<std::uint8_t>(level)});
    }
    /// A note from tick start lasting length ticks (key 0 is a rest).
    void note(int channel, std::uint32_t start, std::uint32_t length, int key, int velocity) {
        if (key == 0) {
            return;
        }
        const auto k = static_cast<std::uint8_t>(key);
        add(start, 2,
            {static_cast<std::uint8_t>(0x90 | channel), k, static_cast<std::uint8_t>(velocity)});
        // Released a little early so that repeated notes are heard apart.
        add(start + length - length / 10, 1, {static_cast<std::uint8_t>(0x80 | channel), k, 0});
    }
    /// Notes one after the other from tick start; lengths in eighths of a quarter note.
    std::uint32_t line(int channel, std::uint32_t start,
                       const std::vector<std::pair<int, int>>& notes, int velocity) {
        std::uint32_t tick = start;
        for (const auto& [key, eighths] : notes) {
            const std::uint32_t length = static_cast<std::uint32_t>(eighths) * kDivision / 8;
            note(channel, tick, length, key, velocity);
            tick += length;
        }
        return tick;
    }

    std::vector<std::uint8_t> file() {
        std::stable_sort(m_events.begin(), m_events.end(), [](const Event& a, const Event& b) {
            return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
        });
        std::vector<std::uint8_t> track;
        std::uint32_t last = 0;
        for (const Event& event : m_events) {
            variableLength(track, event.tick - last);
            last = event.tick;
            track.insert(track.end(), event.bytes.begin(), event.bytes.end());
        }
        variableLength(track, kDivision);
        track.insert(track.end(), {0xFF, 0x2F, 0x00});

        std::vector<std::uint8_t> out = {
            'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, kDivision >> 8, kDivision & 0xFF,
            'M', 'T', 'r', 'k'};
        const auto size = static_cast<std::uint32_t>(track.size());
        out.insert(out.end(),
                   {static_cast<std::uint8_t>(size >> 24), static_cast<std::uint8_t>(size >> 16),
                    static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size)});
        out.insert(out.end(), track.begin(), track.end());
        return out;
    }

private:
    void add(std::uint32_t tick, int order, std::vector<std::uint8_t> bytes) {
        m_events.push_back({tick, order, std::move(bytes)});
    }
    static void variableLength(std::vector<std::uint8_t>& out, std::uint32_t value) {
        std::uint8_t groups[5];
        int count = 0;
        do {
            groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
            value >>= 7;
        } while (value != 0);
        while (count > 0) {
            --count;
            out.push_back(static_cast<std::uint8_t>(groups[count] | (count > 0 ? 0x80 : 0)));
        }
    }

    std::vector<Event> m_events;
};

// Keys: middle C is 60.
enum : int {
    C3 = 48,
    D3 = 50,
    E3 = 52,
    F3 = 53,
    G3 = 55,
    A3 = 57,
    Bb3 = 58,
    B3 = 59,
    C4 = 60,
    D4 = 62,
    E4 = 64,
    F4 = 65,
    G4 = 67,
    A4 = 69,
    Bb4 = 70,
    B4 = 71,
    C5 = 72,
    D5 = 74,
    E5 = 76,
    F5 = 77,
    G5 = 79,
    R = 0
};

/// A slow waltz in F on a piano over a soft string pad: about 25 seconds.
Tune waltz() {
    Tune tune;
    tune.tempo(500000);  // 120 quarters a minute, 3 to the bar
    tune.program(0, 0);  // piano
    tune.program(1, 48); // strings
    tune.program(2, 32); // acoustic bass
    tune.volume(1, 70);
    const std::vector<std::pair<int, int>> melody = {
        {A4, 16}, {C5, 8},  {F5, 16}, {E5, 8},  {D5, 8},  {C5, 8},  {Bb4, 8}, {A4, 24},
        {G4, 16}, {Bb4, 8}, {E5, 16}, {D5, 8},  {C5, 24}, {R, 24},  {A4, 16}, {C5, 8},
        {F5, 16}, {G5, 8},  {F5, 8},  {E5, 8},  {D5, 8},  {C5, 24}, {Bb4, 8}, {A4, 8},
        {G4, 8},  {E4, 16}, {G4, 8},  {F4, 24}, {R, 24},
    };
    const std::uint32_t end = tune.line(0, 0, melody, 80);
    // One chord a bar: F, Bb, C, F.
    const int chords[4][3] = {{F3, A3, C4}, {Bb3, D4, F4}, {G3, C4, E4}, {F3, A3, C4}};
    const int bass[4] = {F3 - 12, Bb3 - 12, C3, F3 - 12};
    const std::uint32_t bar = 3 * kDivision;
    for (std::uint32_t tick = 0, i = 0; tick < end; tick += bar, ++i) {
        const int n = static_cast<int>((i / 2) % 4);
        for (const int key : chords[n]) {
            tune.note(1, tick, bar, key, 50);
        }
        tune.note(2, tick, kDivision, bass[n], 75);
    }
    return tune;
}

/// An easy stroll in C on a vibraphone with a walking bass: about 40 seconds.
Tune stroll() {
    Tune tune;
    tune.tempo(600000);  // 100 quarters a minute
    tune.program(0, 11); // vibraphone
    tune.program(1, 4);  // electric piano
    tune.program(2, 32); // acoustic bass
    const std::vector<std::pair<int, int>> melody = {
        {E4, 8},  {G4, 8}, {C5, 12}, {B4, 4}, {A4, 8}, {G4, 8}, {E4, 16}, {F4, 8},  {A4, 8},
        {D5, 12}, {C5, 4}, {B4, 8},  {G4, 8}, {R, 16}, {E4, 8}, {G4, 8},  {C5, 12}, {D5, 4},
        {E5, 8},  {D5, 8}, {C5, 16}, {A4, 8}, {B4, 8}, {D5, 8}, {B4, 8},  {C5, 32},
    };
    std::uint32_t end = 0;
    for (int pass = 0; pass < 2; ++pass) {
        end = tune.line(0, end, melody, 85);
    }
    const int chords[4][3] = {{E4, G4, C5}, {F4, A4, D5}, {E4, G4, C5}, {F4, G4, B4}};
    const int walk[4][4] = {
        {C3, E3, G3, A3}, {D3, F3, A3, B3}, {C3, E3, G3, E3}, {G3 - 12, B3 - 12, D3, F3}};
    const std::uint32_t bar = 4 * kDivision;
    for (std::uint32_t tick = 0, i = 0; tick < end; tick += bar, ++i) {
        const int n = static_cast<int>(i % 4);
        for (const int key : chords[n]) {
            tune.note(1, tick + kDivision, kDivision, key, 55);
            tune.note(1, tick + 3 * kDivision, kDivision, key, 50);
        }
        for (int beat = 0; beat < 4; ++beat) {
            tune.note(2, tick + static_cast<std::uint32_t>(beat) * kDivision, kDivision,
                      walk[n][beat], 80);
        }
    }
    return tune;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "waltz") != 0 && std::strcmp(argv[1], "stroll") != 0)) {
        std::fprintf(stderr, "usage: make-tune waltz|stroll OUT.mid\n");
        return 2;
    }
    Tune tune = std::strcmp(argv[1], "waltz") == 0 ? waltz() : stroll();
    const std::vector<std::uint8_t> bytes = tune.file();
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "make-tune: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
