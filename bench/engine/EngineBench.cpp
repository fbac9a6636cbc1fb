// Drives the sound engine headlessly for the engine benchmark (see run-engine-bench):
//   quillon_engine_bench material DIR SECONDS writes the material the benchmark plays
//   quillon_engine_bench play wave|midi|cd PATH [SOUNDFONT]
//                                             plays it through the command layer to its end
//   quillon_engine_bench run CMD ARGS...      runs a reference player as a child
//   quillon_engine_bench gaps DIR N           chains N short wave items on their notices,
//                                             listening to the sound server, and measures
//                                             the silence between them
//   quillon_engine_bench stall DIR            wave items end and a recording runs while a
//                                             disc's read stalls for 3 s: how late the items'
//                                             ends are told, against a disc reading freely,
//                                             and whether a recorded frame was lost
// play and run print one line: "cpu_s=... wall_s=... maxrss_kb=..." (user + system CPU).

#include "platform/engine/SoundEngine.h"
#include "platform/mci/MciLayer.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/NotifyRecorder.h"
#include "tests/support/audio/TestSignals.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using namespace testaudio;

namespace {
// QUILLON_BENCH_FRAMES overrides the device buffer size, QUILLON_BENCH_SAMPLES (float or
// int16) what the sound server is given, to try others.
SoundEngine::Config EngineConfig() {
    SoundEngine::Config config;
    if (const char* frames = std::getenv("QUILLON_BENCH_FRAMES")) {
        config.deviceFrames = std::atoi(frames);
    }
    if (const char* samples = std::getenv("QUILLON_BENCH_SAMPLES")) {
        config.int16Output = std::string(samples) == "int16";
    }
    return config;
}

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

void PrintUsage(const rusage& usage, double wall) {
    std::printf("cpu_s=%.3f wall_s=%.3f maxrss_kb=%ld\n",
                Seconds(usage.ru_utime) + Seconds(usage.ru_stime), wall, usage.ru_maxrss);
}

// Music-like material: a chord that changes every two seconds, with a slow tremolo, so the
// file does not compress into something trivial for any decoder.
void WriteMusicWave(const std::string& path, double seconds, int rate = 44100) {
    const double chords[][3] = {
        {261.6, 329.6, 392.0}, {220.0, 261.6, 329.6}, {174.6, 220.0, 261.6}, {196.0, 246.9, 293.7}};
    std::vector<float> mono(static_cast<std::size_t>(seconds * rate));
    for (std::size_t i = 0; i < mono.size(); ++i) {
        double t = static_cast<double>(i) / rate;
        const double* chord = chords[static_cast<std::size_t>(t / 2.0) % 4];
        double v = 0;
        for (int k = 0; k < 3; ++k) {
            v += std::sin(2 * std::numbers::pi * chord[k] * t);
        }
        mono[i] =
            static_cast<float>(0.2 * v * (0.8 + 0.2 * std::sin(2 * std::numbers::pi * 0.5 * t)));
    }
    WriteWave(path, mono, {rate, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16});
}

// A busy General MIDI piece: piano chords, a bass line, strings and drums for `seconds`.
void WriteMusicMidi(const std::string& path, double seconds) {
    SmfWriter song;
    song.Program(0, 0);  // piano
    song.Program(1, 33); // bass
    song.Program(2, 48); // strings
    const int roots[] = {60, 57, 53, 55};
    for (double t = 0; t + 0.5 <= seconds; t += 0.5) {
        int root = roots[static_cast<int>(t / 2.0) % 4];
        for (int k : {0, 4, 7}) {
            song.Note(t, 0.45, root + k, 80, 0);
        }
        song.Note(t, 0.25, root - 24, 100, 1);
        song.Note(t + 0.25, 0.25, root - 17, 90, 1);
        song.Note(t, 0.1, 36, 100, 9);          // bass drum
        song.Note(t + 0.25, 0.1, 42, 70, 9);    // hi-hat
        if (static_cast<int>(t * 2) % 4 == 0) { // strings hold each chord for two seconds
            for (int k : {0, 4, 7, 12}) {
                song.Note(t, 2.0, root + k, 60, 2);
            }
        }
    }
    WriteFileBytes(path, song.Bytes());
}

// Each piece of material comes long (`seconds`) and short (0.5 s): the difference between the
// two runs is the cost of playing, without the cost of starting up.
int Material(const std::string& dir, double seconds) {
    WriteMusicWave(dir + "/music.wav", seconds);
    WriteMusicWave(dir + "/short.wav", 0.5);
    // The same at 22050 Hz, the rate of the program's own announcements: converted as it plays.
    WriteMusicWave(dir + "/music22050.wav", seconds, 22050);
    WriteMusicWave(dir + "/short22050.wav", 0.5, 22050);
    WriteMusicMidi(dir + "/music.mid", seconds);
    WriteMusicMidi(dir + "/short.mid", 0.5);
    WriteCdImage(dir, "disc", {{440.0, seconds / 2}, {660.0, seconds / 2}});
    WriteCdImage(dir, "short", {{440.0, 0.25}, {660.0, 0.25}});
    return 0;
}

class Notices {
public:
    NotifyRecorder window;
    bool Wait(std::size_t count) { return window.WaitForCount(count, 600s); }
};

int Play(const std::string& kind, const std::string& path, const std::string& soundFont) {
    auto start = std::chrono::steady_clock::now();
    MciLayer::Config config = MciLayer::Config::FromEnvironment();
    if (!soundFont.empty()) {
        config.soundFont = soundFont;
    }
    if (kind == "cd") {
        config.cdDevice = path;
    }
    SoundEngine engine(EngineConfig());
    MciLayer layer(engine, config);
    NotifyRecorder window;
    auto send = [&](MCIDEVICEID id, UINT message, DWORD_PTR flags, void* parms) {
        MCIERROR error = layer.SendCommand(id, message, flags, reinterpret_cast<DWORD_PTR>(parms));
        if (error != 0) {
            char text[128];
            layer.GetErrorString(error, text, sizeof text);
            std::fprintf(stderr, "command %#x failed: %s\n", message, text);
            std::exit(1);
        }
    };
    MCI_OPEN_PARMS open{};
    MCI_PLAY_PARMS play{};
    play.dwCallback = reinterpret_cast<DWORD_PTR>(static_cast<NotifyWindow*>(&window));
    if (kind == "cd") {
        open.lpstrDeviceType =
            reinterpret_cast<const char*>(static_cast<DWORD_PTR>(MCI_DEVTYPE_CD_AUDIO));
        send(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID, &open);
        MCI_STATUS_PARMS status{};
        status.dwItem = MCI_STATUS_NUMBER_OF_TRACKS;
        send(open.wDeviceID, MCI_STATUS, MCI_WAIT | MCI_STATUS_ITEM, &status);
        send(open.wDeviceID, MCI_CLOSE, 0, nullptr);
        for (DWORD_PTR track = 1; track <= status.dwReturn; ++track) {
            send(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID, &open);
            MCI_SET_PARMS set{};
            set.dwTimeFormat = MCI_FORMAT_TMSF;
            send(open.wDeviceID, MCI_SET, MCI_SET_TIME_FORMAT, &set);
            play.dwFrom = MCI_MAKE_TMSF(static_cast<BYTE>(track), 0, 0, 0);
            play.dwTo = MCI_MAKE_TMSF(static_cast<BYTE>(track + 1), 0, 0, 0);
            send(open.wDeviceID, MCI_PLAY, MCI_NOTIFY | MCI_FROM | MCI_TO, &play);
            window.WaitForCount(track, 600s);
            send(open.wDeviceID, MCI_STOP, MCI_WAIT, nullptr);
            send(open.wDeviceID, MCI_CLOSE, MCI_WAIT, nullptr);
        }
    } else {
        DWORD type = kind == "wave" ? MCI_DEVTYPE_WAVEFORM_AUDIO : MCI_DEVTYPE_SEQUENCER;
        open.lpstrDeviceType = reinterpret_cast<const char*>(static_cast<DWORD_PTR>(type));
        open.lpstrElementName = path.c_str();
        send(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT, &open);
        send(open.wDeviceID, MCI_PLAY, MCI_NOTIFY, &play);
        window.WaitForCount(1, 600s);
        send(open.wDeviceID, MCI_STOP, MCI_WAIT, nullptr);
        send(open.wDeviceID, MCI_CLOSE, MCI_WAIT, nullptr);
    }
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    PrintUsage(usage, wall);
    return 0;
}

int Run(char** argv) {
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    PrintUsage(usage, wall);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// Chains items the way the play list player does: a thread waits for each notice, then stops
// and closes the item and opens and plays the next. The gaps are the runs of exact digital
// silence between the items in what the server played.
int Gaps(const std::string& dir, int count) {
    // Lengths from 0.2 s up in steps of 83 frames, so that items end anywhere in a device
    // buffer; alternating pitches.
    double expected = 0;
    for (int i = 0; i < count; ++i) {
        double seconds = 0.2 + i * 83.0 / 44100.0;
        expected += seconds;
        WriteWave(dir + "/gap" + std::to_string(i) + ".wav",
                  SineTone(i % 2 == 0 ? 440.0 : 660.0, seconds, 44100, 0.5),
                  {44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16});
    }
    SoundEngine engine(EngineConfig());
    MciLayer layer(engine, MciLayer::Config::FromEnvironment());
    NotifyRecorder window;
    AudioCapture capture;
    if (!capture.WaitUntilRunning()) {
        std::fprintf(stderr, "no sound server\n");
        return 1;
    }
    for (int i = 0; i < count; ++i) {
        std::string path = dir + "/gap" + std::to_string(i) + ".wav";
        MCI_OPEN_PARMS open{};
        open.lpstrDeviceType =
            reinterpret_cast<const char*>(static_cast<DWORD_PTR>(MCI_DEVTYPE_WAVEFORM_AUDIO));
        open.lpstrElementName = path.c_str();
        layer.SendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT,
                          reinterpret_cast<DWORD_PTR>(&open));
        MCI_PLAY_PARMS play{};
        play.dwCallback = reinterpret_cast<DWORD_PTR>(static_cast<NotifyWindow*>(&window));
        layer.SendCommand(open.wDeviceID, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&play));
        window.WaitForCount(static_cast<std::size_t>(i + 1), 10s);
        layer.SendCommand(open.wDeviceID, MCI_STOP, MCI_WAIT, 0);
        layer.SendCommand(open.wDeviceID, MCI_CLOSE, MCI_WAIT, 0);
    }
    std::this_thread::sleep_for(200ms);
    std::vector<float> left = Channel(capture.Stop(), 0);
    // The sounding span, then every run of at least two zero samples inside it.
    std::size_t first = 0;
    while (first < left.size() && left[first] == 0.0f) {
        ++first;
    }
    std::size_t last = left.size();
    while (last > first && left[last - 1] == 0.0f) {
        --last;
    }
    std::vector<double> gaps;
    for (std::size_t i = first; i < last;) {
        if (left[i] != 0.0f) {
            ++i;
            continue;
        }
        std::size_t run = i;
        while (run < last && left[run] == 0.0f) {
            ++run;
        }
        if (run - i >= 2) {
            gaps.push_back(static_cast<double>(run - i) * 1000.0 / 44100.0);
        }
        i = run;
    }
    // Transitions with no silence at all have a gap of zero.
    while (gaps.size() < static_cast<std::size_t>(count - 1)) {
        gaps.push_back(0.0);
    }
    std::sort(gaps.begin(), gaps.end());
    double span = static_cast<double>(last - first) / 44100.0;
    std::printf("items=%d gaps=%zu median_ms=%.1f max_ms=%.1f span_s=%.3f items_s=%.3f\n", count,
                gaps.size(), gaps[gaps.size() / 2], gaps.back(), span, expected);
    return 0;
}

// How late the ends of wave items are told (from Play to the end notice, less the item's
// length; the mix runs up to a device buffer ahead, so this may be negative) while a CD source
// plays, first reading freely, then with one read stalled for three seconds; a recording runs
// all along and must keep every frame.
int Stall(const std::string& dir) {
    constexpr double kItem = 0.3;
    constexpr int kItems = 8; // 2.4 s: all inside the stall
    const CdImage disc = WriteCdImage(dir, "stall", {{500.0, 30.0}}, 0.2);
    WriteWave(dir + "/item.wav", SineTone(440.0, kItem, 44100, 0.3),
              {44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16});
    std::atomic<bool> stallNext{false};
    std::atomic<bool> stalling{false};
    SoundEngine::Config config = EngineConfig();
    config.cdReadHook = [&](std::int32_t) {
        if (stallNext.exchange(false)) {
            stalling = true;
            std::this_thread::sleep_for(3s);
            stalling = false;
        }
    };
    SoundEngine engine(config);
    SourceId capture = 0;
    SourceId cd = 0;
    if (!engine.OpenCapture({44100, 1, 16}, capture).ok() ||
        !engine.StartCapture(capture, [](SourceId, EndReason, std::uint64_t) {}).ok() ||
        !engine.OpenCd(disc.cuePath, 0, disc.leadout, cd).ok() ||
        !engine.Play(cd, [](SourceId, EndReason, std::uint64_t) {}).ok()) {
        std::fprintf(stderr, "no sound server, input or disc\n");
        return 1;
    }
    const auto recordingFrom = std::chrono::steady_clock::now();
    const std::uint64_t capturedBefore = engine.CapturedFrames(capture);

    auto lateness = [&] {
        std::vector<double> late;
        for (int i = 0; i < kItems; ++i) {
            SourceId wave = 0;
            engine.OpenWave(dir + "/item.wav", wave);
            std::promise<std::chrono::steady_clock::time_point> ended;
            auto end = ended.get_future();
            const auto start = std::chrono::steady_clock::now();
            engine.Play(wave, [&](SourceId, EndReason, std::uint64_t) {
                ended.set_value(std::chrono::steady_clock::now());
            });
            if (end.wait_for(10s) != std::future_status::ready) {
                late.push_back(10000.0);
                engine.Close(wave);
                continue;
            }
            late.push_back(std::chrono::duration<double, std::milli>(end.get() - start).count() -
                           kItem * 1000.0);
            engine.Close(wave);
        }
        std::sort(late.begin(), late.end());
        return late;
    };
    std::this_thread::sleep_for(500ms); // the disc's first reads and the output are under way
    const std::vector<double> free = lateness();
    stallNext = true;
    for (auto until = std::chrono::steady_clock::now() + 5s;
         !stalling && std::chrono::steady_clock::now() < until;) {
        std::this_thread::sleep_for(1ms);
    }
    const bool stalled = stalling;
    const std::vector<double> held = lateness();
    const bool stillStalled = stalling;
    std::this_thread::sleep_for(1s);
    engine.StopCapture(capture);
    const double recorded =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - recordingFrom).count();
    const std::uint64_t captured = engine.CapturedFrames(capture) - capturedBefore;
    const SoundEngine::Stats stats = engine.GetStats();
    engine.Close(cd);
    engine.CloseCapture(capture);

    std::printf("free_median_ms=%.1f free_max_ms=%.1f stalled_median_ms=%.1f stalled_max_ms=%.1f "
                "added_max_ms=%.1f stalled=%d all_inside=%d\n",
                free[free.size() / 2], free.back(), held[held.size() / 2], held.back(),
                held.back() - free[free.size() / 2], stalled ? 1 : 0, stillStalled ? 1 : 0);
    std::printf("recorded_s=%.2f captured_s=%.2f overruns=%llu\n", recorded,
                static_cast<double>(captured) / 44100.0,
                static_cast<unsigned long long>(stats.captureOverruns));
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "material" && argc == 4) {
        return Material(argv[2], std::atof(argv[3]));
    }
    if (mode == "play" && argc >= 4) {
        return Play(argv[2], argv[3], argc > 4 ? argv[4] : "");
    }
    if (mode == "run" && argc >= 3) {
        return Run(argv + 2);
    }
    if (mode == "gaps" && argc == 4) {
        return Gaps(argv[2], std::atoi(argv[3]));
    }
    if (mode == "stall" && argc == 3) {
        return Stall(argv[2]);
    }
    std::fprintf(stderr,
                 "usage: %s material DIR SECONDS | play wave|midi|cd PATH [SOUNDFONT] | "
                 "run CMD... | gaps DIR N | stall DIR\n",
                 argv[0]);
    return 2;
}
