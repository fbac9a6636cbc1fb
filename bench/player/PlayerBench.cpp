// How quickly one item follows another, and how long Start and Stop take, on the real core
// and the real sound server (run it under scripts/sound-server, or on a desktop).
//
//   player-bench [TRANSITIONS]
//
// Gap: a list of short tones of alternating pitch, with no silence in the files, plays once
// while the sound server's output is recorded; every silence between two tones in the
// recording is time the program lost between the end of one item and the start of the next
// (end noticed, notice posted, item stopped and closed, next opened and started).
// Targets: median below 10 ms, maximum below 25 ms.

#include "app/Globals.h"
#include "app/ProcessObjects.h"
#include "app/QueueWindow.h"
#include "audio/CompletionNotice.h"
#include "mixer/MixerGlobals.h"
#include "model/MoxPlayList.h"
#include "model/MoxPlayListPlayer.h"
#include "model/MoxWav.h"
#include "platform/mci/Mci.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/TestSignals.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

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

std::unique_ptr<MoxPlayList> listOf(const std::vector<std::string>& names) {
    auto list = std::make_unique<MoxPlayList>(ProcessObjects::ItemOutputs());
    for (const std::string& name : names) {
        auto item = std::make_unique<MoxWav>(ProcessObjects::ItemOutputs().wave, name);
        item->SetLoopCount(1);
        item->SetVolume(100);
        list->Add(std::move(item));
    }
    return list;
}

} // namespace

int main(int argc, char** argv) {
    const int transitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    TempDir data;
    std::filesystem::create_directories(data.file("Wave Files"));
    // Tones of whole numbers of cycles, so a file ends where its wave crosses zero and no click
    // hides the seam, and of seven lengths, so that items end at every place within one of the
    // device's buffers (a next item starts with the next buffer).
    for (int k = 0; k < kLengths; ++k) {
        const double seconds = 0.15 + 0.005 * k;
        testaudio::WriteWave(data.file("Wave Files/a" + std::to_string(k) + ".wav"),
                             testaudio::SineTone(400, seconds, 44100, 0.5), {});
        testaudio::WriteWave(data.file("Wave Files/b" + std::to_string(k) + ".wav"),
                             testaudio::SineTone(600, seconds, 44100, 0.5), {});
    }
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

    // Gap between items.
    std::vector<std::string> names;
    for (int i = 0; i <= transitions; ++i) {
        names.push_back((i % 2 == 0 ? "a" : "b") + std::to_string(i % kLengths) + ".wav");
    }
    auto list = listOf(names);
    list->SetLoopCount(1);
    testaudio::AudioCapture capture;
    if (!capture.WaitUntilRunning()) {
        std::fprintf(stderr, "player-bench: cannot record the sound server (is it running?)\n");
        return 1;
    }
    g_player->SetPlayList(list.get());
    g_player->Start();
    while (g_player->IsPlaying()) {
        std::this_thread::sleep_for(20ms);
    }
    std::this_thread::sleep_for(300ms);
    // Silence in the recording is exact zeros (the server mixes nothing else), while the tones
    // never stay near zero for more than a sample: every run of zeros between the first sound
    // and the last is time lost between two items. A transition without such a run lost none.
    const std::vector<float> left = testaudio::Channel(capture.Stop(), 0);
    const auto silent = [&](std::size_t i) { return std::abs(left[i]) < 1.5f / 32768; };
    std::size_t first = 0;
    while (first < left.size() && silent(first)) {
        ++first;
    }
    std::size_t last = left.size();
    while (last > first && silent(last - 1)) {
        --last;
    }
    std::vector<double> gaps;
    for (std::size_t i = first; i < last;) {
        if (!silent(i)) {
            ++i;
            continue;
        }
        std::size_t run = i;
        while (run < last && silent(run)) {
            ++run;
        }
        if (run - i >= 4) {
            gaps.push_back(1000.0 * static_cast<double>(run - i) / 44100);
        }
        i = run;
    }
    const double sounding = static_cast<double>(last - first) / 44100;
    double tones = 0;
    for (int i = 0; i <= transitions; ++i) {
        tones += 0.15 + 0.005 * (i % kLengths);
    }
    const std::size_t found = gaps.size();
    while (gaps.size() < static_cast<std::size_t>(transitions)) {
        gaps.push_back(0.0);
    }
    const Figures gap = summarise(gaps);

    // Start and Stop.
    std::vector<double> starts;
    std::vector<double> stops;
    auto endless = listOf({"a0.wav", "b0.wav"});
    endless->SetLoopCount(0xFFFFFFFF);
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
    const Figures start = summarise(starts);
    const Figures stop = summarise(stops);
    g_hNotifyWnd = nullptr;

    std::printf("%-34s %10s %10s %8s %s\n", "figure", "median", "max", "samples", "target");
    std::printf("%-34s %8.2fms %8.2fms %8zu %s\n", "gap between WAV items", gap.median, gap.max,
                gap.count, "median < 10 ms, max < 25 ms");
    std::printf("%-34s %8.2fms %8.2fms %8zu\n", "Start (returns when taken up)", start.median,
                start.max, start.count);
    std::printf("%-34s %8.2fms %8.2fms %8zu\n", "Stop (returns when item stopped)", stop.median,
                stop.max, stop.count);
    std::printf("(%d transitions; %zu silences found; %.2f s from first sound to last, %.2f s "
                "of it tones)\n",
                transitions, found, sounding, tones);
    return 0;
}
