// quillon-play: plays a play list without any window, as a hold-music PC without a desktop
// runs it as a service.
//
//   quillon-play [--data DIR] [--loops N] FILE.pla
//
// The data folder (where "Wave Files" and "Midi Files" are looked for) is DIR, or the current
// directory. The list plays without end, or N times. SIGINT and SIGTERM stop the current item
// and end the program with status 0; a missing or damaged play list ends it with status 1.

#include "app/Globals.h"
#include "app/ProcessObjects.h"
#include "app/QueueWindow.h"
#include "audio/CompletionNotice.h"
#include "audio/MoxCDDevice.h"
#include "audio/MoxMidDevice.h"
#include "audio/MoxWavDevice.h"
#include "mixer/MixerGlobals.h"
#include "model/MoxPlayListPlayer.h"
#include "platform/classlib/CException.h"
#include "platform/files/CurrentDirectory.h"
#include "platform/mci/Mci.h"
#include "tools/pla/PlayListJson.h"
#include "tools/play/PlayLog.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <pthread.h>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr, "usage: quillon-play [--data DIR] [--loops N] FILE.pla\n");
    return 2;
}

struct Options {
    std::string dataFolder;
    std::string playList;
    DWORD loops = 0xFFFFFFFF;
};

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--data" || arg == "--loops") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--data") {
                options.dataFolder = value;
                continue;
            }
            char* end = nullptr;
            const unsigned long n = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || value[0] == '-' || n == 0 || n >= 0xFFFFFFFFul) {
                return false;
            }
            options.loops = static_cast<DWORD>(n);
        } else if (!arg.empty() && arg[0] != '-' && options.playList.empty()) {
            options.playList = arg;
        } else {
            return false;
        }
    }
    return !options.playList.empty();
}

std::string absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    return GetCurrentDirectoryPath().value_or(".") + "/" + path;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        return usage();
    }
    // Signals are taken by the main thread alone: block them before any thread starts, so
    // every thread inherits the block, and wait for them below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const auto current = GetCurrentDirectoryPath();
    if (!current && options.dataFolder.empty()) {
        std::fprintf(stderr, "quillon-play: Unable to open current directory\n");
        return 1;
    }
    g_szCurrentDir = options.dataFolder.empty() ? *current : absolute(options.dataFolder);

    ProcessObjects objects;
    FindMixerControls();
    CalibrateVolumeSteps();

    PlayLog log(stdout, [](LONG kind) {
        switch (kind) {
        case kindMidi:
            return g_midDevice->LastError();
        case kindWave:
            return g_wavDevice->LastError();
        default:
            return g_cdDevice->LastError();
        }
    });

    std::unique_ptr<MoxPlayList> list;
    try {
        list = LoadPlayListFile(options.playList, ProcessObjects::ItemOutputs());
    } catch (const CException& e) {
        std::fprintf(stderr, "quillon-play: %s\n", e.GetErrorMessage().c_str());
        return 1;
    }
    if (list->GetCount() == 0) {
        log.Note("note: the play list holds no item that can play on this PC");
    }
    if (!g_wavDevice->IsReady()) {
        log.Note("note: " + g_wavDevice->LastError());
    }
    if (!g_midDevice->IsReady()) {
        log.Note("note: " + g_midDevice->LastError());
    }

    QueueWindow window([](UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == MM_MCINOTIFY) {
            ForwardCompletionNotice(*g_mci, *g_player, wParam, lParam);
        }
    });
    g_hNotifyWnd = &window;

    list->SetLoopCount(options.loops);
    g_player->SetObserver(&log);
    g_player->SetPlayList(list.get());
    g_player->Start();

    // Wait for a stop signal, or for a finite list to play out.
    const timespec tick{0, 100 * 1000 * 1000};
    for (;;) {
        const int signal = sigtimedwait(&stopSignals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM) {
            log.Note("stop: signal " + std::to_string(signal));
            break;
        }
        if (!g_player->IsPlaying()) {
            log.Note("end: the list has played " + std::to_string(options.loops) + " times");
            break;
        }
    }
    g_player->Stop();
    g_player->SetObserver(nullptr);
    g_hNotifyWnd = nullptr;
    return 0;
}
