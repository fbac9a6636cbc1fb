// Soak: quillon-play plays a list of many very short items (50 to 200 ms tones, each item a
// different pitch from the one before) without end through the sound server, for a number of
// minutes, while this program records the server's output and watches the process.
//
//   soak MINUTES [--strict]
//
// It counts the items quillon-play's log says it started and the items heard in the
// recording (runs of one pitch), measures every silence between items, and samples the
// player's memory, open files and threads every minute. It fails (status 1) when items were
// lost, when the output stalled for longer than 250 ms, or when memory, files or threads
// grew; with --strict also when a gap misses its target (median 10 ms, maximum 25 ms).

#include "model/MoxPlayList.h"
#include "model/MoxWav.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/TestSignals.h"
#include "tools/pla/InertDevice.h"
#include "tools/pla/PlayListJson.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRate = 44100;
constexpr std::size_t kBlock = 220; // 5 ms

// The pitches are far enough apart (400 Hz) for a 5 ms block to tell them apart.
constexpr std::array<double, 4> kPitches = {500, 900, 1300, 1700};

struct Item {
    std::string name;
    int pitch; // index into kPitches
    double seconds;
};

struct ProcessSample {
    double minute = 0;
    long rssKb = 0;
    int files = 0;
    int threads = 0;
};

ProcessSample sampleProcess(int pid, double minute) {
    ProcessSample s;
    s.minute = minute;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> s.rssKb;
        } else if (key == "Threads:") {
            status >> s.threads;
        }
    }
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec);
         it != std::filesystem::directory_iterator(); it.increment(ec)) {
        ++s.files;
    }
    return s;
}

// Follows the recording block by block: which pitch sounds, where one item gives way to the
// next, and how long the silences between them are.
class Listener {
public:
    void feed(const std::int16_t* stereo, std::size_t frames) {
        for (std::size_t i = 0; i < frames; ++i) {
            const int sample = stereo[2 * i];
            if (std::abs(sample) <= 1) {
                ++m_silentRun;
            } else {
                if (m_silentRun >= 4 && m_heardAny) {
                    m_gapsMs.push_back(1000.0 * static_cast<double>(m_silentRun) / kRate);
                }
                m_silentRun = 0;
                m_heardAny = true;
            }
            m_block.push_back(sample);
            if (m_block.size() == kBlock) {
                endBlock();
            }
        }
    }

    /// Items heard: runs of one pitch at least three blocks (15 ms) long.
    std::size_t itemsHeard() const { return m_items + (m_runLength >= 3 ? 1 : 0); }
    const std::vector<double>& gaps() const { return m_gapsMs; }
    double longestSilenceMs() const {
        return m_gapsMs.empty() ? 0 : *std::max_element(m_gapsMs.begin(), m_gapsMs.end());
    }

private:
    void endBlock() {
        // The strongest of the four pitches in the block (Goertzel). A block that straddles two
        // items shows one of their two pitches, never a third, so a run cannot be invented.
        int pitch = -1;
        double best = 1e-4; // below this the block is silence
        for (std::size_t p = 0; p < kPitches.size(); ++p) {
            const double w = 2 * M_PI * kPitches[p] / kRate;
            const double coefficient = 2 * std::cos(w);
            double s1 = 0;
            double s2 = 0;
            for (const int sample : m_block) {
                const double s0 = sample / 32768.0 + coefficient * s1 - s2;
                s2 = s1;
                s1 = s0;
            }
            const double power = (s1 * s1 + s2 * s2 - coefficient * s1 * s2) /
                                 (static_cast<double>(m_block.size()) * m_block.size());
            if (power > best) {
                best = power;
                pitch = static_cast<int>(p);
            }
        }
        if (pitch >= 0) {
            if (pitch == m_runPitch) {
                ++m_runLength;
            } else if (m_candidate == pitch && ++m_candidateLength >= 3) {
                // A new pitch that holds for three blocks ends the run before it.
                if (m_runLength >= 3) {
                    ++m_items;
                }
                m_runPitch = pitch;
                m_runLength = m_candidateLength;
                m_candidate = -1;
            } else if (m_candidate != pitch) {
                m_candidate = pitch;
                m_candidateLength = 1;
            }
        }
        m_block.clear();
    }

    std::vector<int> m_block;
    std::size_t m_silentRun = 0;
    bool m_heardAny = false;
    int m_runPitch = -1;
    int m_runLength = 0;
    int m_candidate = -1;
    int m_candidateLength = 0;
    std::size_t m_items = 0;
    std::vector<double> m_gapsMs;
};

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

} // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 2.0;
    const bool strict = argc > 2 && std::strcmp(argv[2], "--strict") == 0;
    if (minutes <= 0) {
        std::fprintf(stderr, "usage: soak MINUTES [--strict]\n");
        return 2;
    }

    TempDir data;
    std::filesystem::create_directories(data.file("Wave Files"));
    std::filesystem::create_directories(data.file("config"));
    // Twelve items from 50 to 200 ms; neighbours (the last and the first included) differ in pitch.
    const std::vector<Item> items = {{"t0.wav", 0, 0.05}, {"t1.wav", 1, 0.20}, {"t2.wav", 2, 0.08},
                                     {"t3.wav", 3, 0.13}, {"t4.wav", 0, 0.17}, {"t5.wav", 2, 0.06},
                                     {"t6.wav", 1, 0.11}, {"t7.wav", 3, 0.05}, {"t8.wav", 1, 0.19},
                                     {"t9.wav", 0, 0.09}, {"ta.wav", 2, 0.15}, {"tb.wav", 3, 0.07}};
    InertDevice inert;
    MoxPlayList list(MoxItemOutputs{{}, {&inert, nullptr}, {}});
    for (const Item& item : items) {
        testaudio::WriteToneWave(data.file("Wave Files/" + item.name), kPitches[item.pitch],
                                 item.seconds, {}, 0.5);
        auto wav = std::make_unique<MoxWav>(MoxItemOutput{&inert, nullptr}, item.name);
        wav->SetLoopCount(1);
        wav->SetTitle(item.name);
        wav->SetVolume(100);
        list.Add(std::move(wav));
    }
    SavePlayListFile(list, data.file("soak.pla"));

    std::FILE* recording = ::popen("exec parec -d quillon_out.monitor --raw --format=s16le "
                                   "--rate=44100 --channels=2 --latency-msec=20 2>/dev/null",
                                   "r");
    if (recording == nullptr) {
        std::fprintf(stderr, "soak: cannot record the sound server\n");
        return 1;
    }
    Listener listener;
    std::atomic<bool> listening{true};
    std::thread reader([&] {
        std::vector<std::int16_t> buffer(2 * 4410);
        while (listening) {
            const std::size_t n =
                std::fread(buffer.data(), sizeof(std::int16_t) * 2, 4410, recording);
            if (n == 0) {
                break;
            }
            listener.feed(buffer.data(), n);
        }
    });
    std::this_thread::sleep_for(300ms);

    ChildProcess player({QUILLON_PLAY, "soak.pla"}, {"XDG_CONFIG_HOME=" + data.file("config")},
                        data.path());
    const auto started = Clock::now();
    std::vector<ProcessSample> samples;
    std::this_thread::sleep_for(2s); // past start-up
    samples.push_back(sampleProcess(player.Pid(), 0));
    const auto end = started + std::chrono::duration<double>(minutes * 60);
    auto nextSample = Clock::now() + 60s;
    while (Clock::now() < end && player.Running()) {
        std::this_thread::sleep_for(200ms);
        if (Clock::now() >= nextSample) {
            samples.push_back(sampleProcess(
                player.Pid(), std::chrono::duration<double>(Clock::now() - started).count() / 60));
            nextSample += 60s;
        }
    }
    samples.push_back(sampleProcess(
        player.Pid(), std::chrono::duration<double>(Clock::now() - started).count() / 60));
    const bool ranThrough = player.Running();
    player.Signal(SIGTERM);
    const int status = player.Wait(10s);
    std::this_thread::sleep_for(300ms);
    listening = false;
    ::pclose(recording); // ends parec, so the reader's last read returns
    reader.join();

    const std::string log = player.Output();
    std::size_t started_items = 0;
    std::size_t failed = 0;
    for (std::size_t at = log.find(" play wave "); at != std::string::npos;
         at = log.find(" play wave ", at + 1)) {
        ++started_items;
    }
    for (std::size_t at = log.find(" fail "); at != std::string::npos;
         at = log.find(" fail ", at + 1)) {
        ++failed;
    }
    const std::size_t heard = listener.itemsHeard();
    const long lost = static_cast<long>(started_items) - static_cast<long>(heard);
    const double median = percentile(listener.gaps(), 0.5);
    const double p99 = percentile(listener.gaps(), 0.99);
    const double longest = listener.longestSilenceMs();

    std::printf("soak: %.1f minutes of play, %zu items started, %zu heard, %zu failed to start\n",
                minutes, started_items, heard, failed);
    std::printf("gaps between items: %zu silences, median %.2f ms, 99th percentile %.2f ms, "
                "longest %.2f ms (target median < 10, max < 25)\n",
                listener.gaps().size(), median, p99, longest);
    std::printf("%8s %10s %7s %8s\n", "minute", "RSS kB", "files", "threads");
    for (const ProcessSample& s : samples) {
        std::printf("%8.1f %10ld %7d %8d\n", s.minute, s.rssKb, s.files, s.threads);
    }

    bool ok = true;
    const auto fail = [&](const std::string& why) {
        std::printf("FAIL: %s\n", why.c_str());
        ok = false;
    };
    if (!ranThrough || status != 0) {
        fail("quillon-play did not run through and stop cleanly (status " + std::to_string(status) +
             "): " + player.Errors());
    }
    // The item cut off by the stop may not have been heard long enough to count.
    if (lost > 1 || lost < -1) {
        fail("items started and items heard differ by " + std::to_string(lost));
    }
    if (failed > 0) {
        fail(std::to_string(failed) + " items failed to start");
    }
    if (longest > 250) {
        fail("the output stalled for " + std::to_string(longest) + " ms");
    }
    const ProcessSample& first = samples.front();
    const ProcessSample& last = samples.back();
    if (last.rssKb > first.rssKb + 4096) {
        fail("memory grew from " + std::to_string(first.rssKb) + " to " +
             std::to_string(last.rssKb) + " kB");
    }
    if (last.files > first.files || last.threads > first.threads) {
        fail("open files or threads grew");
    }
    if (strict && (median >= 10 || longest >= 25)) {
        fail("a gap missed its target");
    }
    std::printf(ok ? "soak: passed\n" : "soak: FAILED\n");
    return ok ? 0 : 1;
}
