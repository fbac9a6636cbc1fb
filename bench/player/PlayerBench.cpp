// How one item follows another, and how long Start and Stop take, on the real core and the
// real sound server (run it under scripts/sound-server, or on a desktop).
//
//   player-bench [TRANSITIONS]
//
// Gaps: lists of tones with no silence in them play once while the server's output is
// recorded; every run of digital silence between the first sound and the last is time lost
// between the end of one item and the start of the next. Five lists: wave items of seven
// lengths (so that items end anywhere in an output period), one item with a loop count, a list
// of one item played over and over (every change is the list's wrap), wave and MIDI items by
// turns, and the tracks of a CD image (CUE/BIN). Targets: median at most 1 ms, max at most
// 2 ms, over TRANSITIONS changes (default 50). A MIDI item's own sound starts about 1.5 ms into
// it (the synthesizer renders in blocks and a note sounds from the block after its event; an
// offline rendering measures it): that silence is the item's, not a gap, and is taken off.
//
// Stop to silence: while an item sounds, Stop returns and the recording goes silent; the time
// from Stop's return to the last sound recorded (an upper bound: the recording itself comes
// some 20 ms late). Target: at most 50 ms. Start: until it returns; target below 5 ms.

#include "app/Globals.h"
#include "app/ProcessObjects.h"
#include "app/QueueWindow.h"
#include "audio/CompletionNotice.h"
#include "mixer/MixerGlobals.h"
#include "model/MoxCD.h"
#include "model/MoxMid.h"
#include "model/MoxPlayList.h"
#include "model/MoxPlayListPlayer.h"
#include "model/MoxWav.h"
#include "platform/engine/SoundEngine.h"
#include "platform/mci/Mci.h"
#include "platform/mci/MciLayer.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/TestSignals.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRate = 44100;
constexpr int kLengths = 7;

double millis(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Figures {
    double median = 0;
    double max = 0;
    std::size_t count = 0;
};

Figures summarise(std::vector<double> values) {
    Figures f;
    f.count = values.size();
    if (values.empty()) {
        return f;
    }
    std::sort(values.begin(), values.end());
    f.median = values[values.size() / 2];
    f.max = values.back();
    return f;
}

/// An item of a list: kind, name, loop count.
struct Entry {
    LONG kind;
    std::string name;
    DWORD loops = 1;
};

std::unique_ptr<MoxPlayList> listOf(const std::vector<Entry>& entries, DWORD listLoops) {
    const MoxItemOutputs outputs = ProcessObjects::ItemOutputs();
    auto list = std::make_unique<MoxPlayList>(outputs);
    for (const Entry& entry : entries) {
        std::unique_ptr<MoxAudioItem> item;
        if (entry.kind == kindMidi) {
            item = std::make_unique<MoxMid>(outputs.midi, entry.name);
        } else if (entry.kind == kindCD) {
            item = std::make_unique<MoxCD>(outputs.cd, entry.name);
        } else {
            item = std::make_unique<MoxWav>(outputs.wave, entry.name);
        }
        item->SetLoopCount(entry.loops);
        item->SetVolume(100);
        list->Add(std::move(item));
    }
    list->SetLoopCount(listLoops);
    return list;
}

/// Frames at the start of a MIDI file's rendering that a 16-bit output holds as silence.
std::size_t midiOnsetFrames(const std::string& path) {
    EngineStatus status;
    auto decoder = OfflineDecoder::OpenMidi(path, MciLayer::Config::FromEnvironment().soundFont,
                                            kRate, status);
    std::vector<float> block(2 * 1024);
    const std::size_t got = decoder ? decoder->Read(block.data(), 1024) : 0;
    std::size_t onset = 0;
    while (onset < got && std::lround(block[2 * onset] * 32767.0f) == 0) {
        ++onset;
    }
    return onset;
}

/// Plays the list once through while recording; returns every run of digital silence between
/// the first sound and the last, in ms, less the `ownSilence` frames an item may start with,
/// filled up with zeros to `transitions` (a change with no silence lost nothing).
std::vector<double> gapsOf(MoxPlayList& list, int transitions, std::size_t ownSilence = 0) {
    testaudio::AudioCapture capture;
    if (!capture.WaitUntilRunning()) {
        std::fprintf(stderr, "player-bench: cannot record the sound server (is it running?)\n");
        std::exit(1);
    }
    g_player->SetPlayList(&list);
    g_player->Start();
    while (g_player->IsPlaying()) {
        std::this_thread::sleep_for(20ms);
    }
    std::this_thread::sleep_for(500ms);
    // The server mixes nothing else: silence is exact zeros, and no item holds two in a row.
    const std::vector<float> left = testaudio::Channel(capture.Stop(), 0);
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
        std::size_t silent = run - i;
        if (ownSilence > 0 && silent + 4 >= ownSilence) {
            silent = silent > ownSilence ? silent - ownSilence : 0;
        }
        if (silent >= 2) {
            gaps.push_back(1000.0 * static_cast<double>(silent) / kRate);
        }
        i = run;
    }
    while (gaps.size() < static_cast<std::size_t>(transitions)) {
        gaps.push_back(0.0);
    }
    return gaps;
}

/// Stop while an item sounds: how long Stop took, and how long sound went on after it
/// returned, in the recording.
std::pair<double, double> stopToSilence(MoxPlayList& list) {
    testaudio::AudioCapture capture;
    capture.WaitUntilRunning();
    g_player->SetPlayList(&list);
    g_player->Start();
    // Well into the item: its sound is in the recording.
    while (capture.Frames() < 4410 ||
           testaudio::RmsDb(testaudio::Channel(capture.Latest(2205), 0)) < -40) {
        std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(300ms);
    const auto t0 = Clock::now();
    g_player->Stop();
    const auto t1 = Clock::now();
    const std::size_t atStop = capture.Frames();
    std::this_thread::sleep_for(600ms);
    const std::vector<float> left = testaudio::Channel(capture.Stop(), 0);
    std::size_t lastSound = 0;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (left[i] != 0.0f) {
            lastSound = i + 1;
        }
    }
    const double after = lastSound > atStop ? 1000.0 * (lastSound - atStop) / kRate : 0.0;
    return {millis(t1 - t0), after};
}

void row(const char* label, const Figures& f, const char* target) {
    std::printf("%-38s %8.2fms %8.2fms %8zu  %s\n", label, f.median, f.max, f.count, target);
}

} // namespace

int main(int argc, char** argv) {
    const int transitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const int items = transitions + 1;
    TempDir data;
    std::filesystem::create_directories(data.file("Wave Files"));
    std::filesystem::create_directories(data.file("Midi Files"));
    // Tones of seven lengths, so that items end at every place within an output period.
    for (int k = 0; k < kLengths; ++k) {
        const double seconds = 0.3 + 0.013 * k;
        testaudio::WriteWave(data.file("Wave Files/a" + std::to_string(k) + ".wav"),
                             testaudio::SineTone(400, seconds, kRate, 0.5), {});
        testaudio::WriteWave(data.file("Wave Files/b" + std::to_string(k) + ".wav"),
                             testaudio::SineTone(600, seconds, kRate, 0.5), {});
    }
    // A held note of a sound that starts at once and stops short: no silence of its own.
    testaudio::SmfWriter note;
    note.Program(0, 87);
    note.Note(0.0, 0.35, 72, 127);
    WriteFileBytes(data.file("Midi Files/note.mid"), note.Bytes());
    // Whole sectors of whole cycles: no track is padded with silence.
    std::vector<testaudio::CdTrackSpec> tracks;
    for (int i = 0; i < std::min(items, 99); ++i) {
        tracks.push_back({i % 2 == 0 ? 450.0 : 675.0, 0.4});
    }
    const testaudio::CdImage disc = testaudio::WriteCdImage(data.path(), "disc", tracks);
    ::setenv("QUILLON_CD_DEVICE", disc.cuePath.c_str(), 1);
    g_szCurrentDir = data.path();

    ProcessObjects objects;
    FindMixerControls();
    CalibrateVolumeSteps();
    QueueWindow window([](UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == MM_MCINOTIFY) {
            ForwardCompletionNotice(*g_mci, *g_player, wParam, lParam);
        }
    });
    g_hNotifyWnd = &window;

    const auto wave = [](int i) {
        return Entry{kindWave, (i % 2 == 0 ? "a" : "b") + std::to_string(i % kLengths) + ".wav"};
    };
    std::vector<Entry> waves;
    std::vector<Entry> mixed;
    std::vector<Entry> cd;
    for (int i = 0; i < items; ++i) {
        waves.push_back(wave(i));
        mixed.push_back(i % 2 == 0 ? wave(i) : Entry{kindMidi, "note.mid"});
        cd.push_back({kindCD, "Track " + std::to_string(i % 99 + 1)});
    }
    struct Case {
        const char* label;
        std::unique_ptr<MoxPlayList> list;
        std::size_t ownSilence = 0;
    };
    Case cases[] = {
        {"gap WAV -> WAV", listOf(waves, 1)},
        {"gap, an item's loop count", listOf({{kindWave, "a3.wav", static_cast<DWORD>(items)}}, 1)},
        {"gap, the list's wrap", listOf({{kindWave, "b5.wav"}}, static_cast<DWORD>(items))},
        {"gap WAV <-> MIDI", listOf(mixed, 1), midiOnsetFrames(data.file("Midi Files/note.mid"))},
        {"gap CD tracks (CUE/BIN image)", listOf(cd, 1)},
    };
    std::vector<Figures> gapFigures;
    for (Case& c : cases) {
        gapFigures.push_back(summarise(gapsOf(*c.list, transitions, c.ownSilence)));
    }

    // Start and Stop, and what is heard after Stop.
    std::vector<double> starts;
    std::vector<double> stops;
    std::vector<double> silences;
    auto endless = listOf({{kindWave, "a0.wav"}, {kindWave, "b6.wav"}}, 0xFFFFFFFF);
    for (int i = 0; i < 30; ++i) {
        g_player->SetPlayList(endless.get());
        const auto t0 = Clock::now();
        g_player->Start();
        const auto t1 = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(50 + 37 * (i % 5)));
        const auto t2 = Clock::now();
        g_player->Stop();
        const auto t3 = Clock::now();
        starts.push_back(millis(t1 - t0));
        stops.push_back(millis(t3 - t2));
    }
    for (int i = 0; i < 10; ++i) {
        const auto [took, after] = stopToSilence(*endless);
        stops.push_back(took);
        silences.push_back(after);
    }
    g_hNotifyWnd = nullptr;

    std::printf("%-38s %10s %10s %8s  %s\n", "figure", "median", "max", "samples", "target");
    for (std::size_t i = 0; i < gapFigures.size(); ++i) {
        row(cases[i].label, gapFigures[i], "median <= 1 ms, max <= 2 ms");
    }
    row("Start (returns when taken up)", summarise(starts), "< 5 ms");
    row("Stop (returns when item stopped)", summarise(stops), "");
    row("Stop -> silence in the output", summarise(silences),
        "<= 50 ms (upper bound: the recording lags ~20 ms)");
    return 0;
}
