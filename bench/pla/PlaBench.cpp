// How long a very large play list takes to load, and to dump as JSON with quillon-pla, next to
// reading the same bytes with cat (the floor any loader stands on).
//
//   pla-bench [ITEMS]      default 100000; target: load < 100 ms
//
// The list holds items of all three kinds with names of typical length, as the editor saves
// them. Each figure is the best of five runs (the file is in the page cache after the first).

#include "model/MoxCD.h"
#include "model/MoxMid.h"
#include "model/MoxWav.h"
#include "tools/pla/InertDevice.h"
#include "tools/pla/PlayListJson.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

namespace {

double bestOfFive(const std::function<void()>& run) {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        run();
        best =
            std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const long items = argc > 1 ? std::max(1L, std::atol(argv[1])) : 100000;
    char folder[] = "/tmp/pla-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        return 1;
    }
    const std::string path = std::string(folder) + "/large.pla";
    InertDevice device;
    const MoxItemOutputs outputs{{&device, nullptr}, {&device, nullptr}, {&device, nullptr}};
    {
        MoxPlayList list(outputs);
        for (long i = 0; i < items; ++i) {
            std::unique_ptr<MoxAudioItem> item;
            const std::string n = std::to_string(i);
            switch (i % 3) {
            case 0:
                item = std::make_unique<MoxWav>(outputs.wave, "Announcement " + n + ".wav");
                break;
            case 1:
                item = std::make_unique<MoxMid>(outputs.midi, "Hold music " + n + ".mid");
                break;
            default:
                item = std::make_unique<MoxCD>(outputs.cd, "Track " + std::to_string(i % 99 + 1));
                break;
            }
            item->SetTitle(item->GetName());
            item->SetLoopCount(1 + i % 3);
            item->SetVolume(static_cast<DWORD>(i % 101));
            list.Add(std::move(item));
        }
        list.SetName(path);
        list.SetTitle("large.pla");
        SavePlayListFile(list, path);
    }
    const auto bytes = std::filesystem::file_size(path);

    DWORD loaded = 0;
    const double load = bestOfFive([&] { loaded = LoadPlayListFile(path, outputs)->GetCount(); });
    const double cat = bestOfFive([&] { std::system(("cat " + path + " >/dev/null").c_str()); });
    const double dump = bestOfFive(
        [&] { std::system((std::string(QUILLON_PLA) + " dump " + path + " >/dev/null").c_str()); });

    std::printf("play list of %ld items, %.1f MB (%lu loaded)\n", items,
                static_cast<double>(bytes) / 1e6, static_cast<unsigned long>(loaded));
    std::printf("%-40s %10s %s\n", "figure", "best of 5", "target");
    std::printf("%-40s %8.1fms %s\n", "load into a play list (in process)", load, "< 100 ms");
    std::printf("%-40s %8.1fms\n", "quillon-pla dump (process, JSON out)", dump);
    std::printf("%-40s %8.1fms\n", "reference: cat of the file (process)", cat);
    std::filesystem::remove_all(folder);
    return loaded == static_cast<DWORD>(items) ? 0 : 1;
}
