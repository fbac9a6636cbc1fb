// quillon-play: plays a play list without any window, as a hold-music PC without a desktop
// runs it as a service.
//
//   quillon-play [--data DIR] [--loops N] [FILE.pla]
//
// The data folder (where "Wave Files" and "Midi Files" are looked for) is DIR, or the current
// directory. Without FILE it plays the preferred play list of the desktop program's settings,
// from the data folder. The list plays without end, or N times. SIGINT and SIGTERM stop the
// current item and end the program with status 0; a missing or damaged play list, or no
// preferred one, ends it with status 1.
//
// Run by systemd as a notify service (quillon-play.service) it reports READY=1 once the list
// plays and feeds the watchdog from the player's worker, so that a worker stuck in an item's
// player stops feeding it and the service is restarted.

#include "app/CQuillonApp.h"
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
#include "platform/files/FindPathNoCase.h"
#include "platform/mci/Mci.h"
#include "platform/registry/RegistryStore.h"
#include "tools/pla/PlayListJson.h"
#include "tools/play/PlayLog.h"
#include "tools/play/ServiceNotifier.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <pthread.h>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr, "usage: quillon-play [--data DIR] [--loops N] [FILE.pla]\n");
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
    return true;
}

std::string absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    return GetCurrentDirectoryPath().value_or(".") + "/" + path;
}

/// The preferred play list of the desktop program's settings, in the data folder; nothing
/// when none is set.
std::optional<std::string> preferredPlayList() {
    CQuillonApp settings;
    settings.LoadSettings();
    if (g_strDefaultPlayList.empty()) {
        return std::nullopt;
    }
    return FindPathNoCase(g_szCurrentDir, g_strDefaultPlayList)
        .value_or(g_szCurrentDir + "/" + g_strDefaultPlayList);
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
    if (options.playList.empty()) {
        const auto preferred = preferredPlayList();
        if (!preferred) {
            std::fprintf(stderr,
                         "quillon-play: no play list to play: no FILE.pla was given and no "
                         "preferred play list is set in %s (choose one in Quillon's options)\n",
                         RegistryStore::DefaultFilePath().c_str());
            return 1;
        }
        options.playList = *preferred;
    }

    const ServiceNotifier service;
    ProcessObjects objects;
    FindMixerControls();
    CalibrateVolumeSteps();

    PlayLog log(stdout, [](LONG kind) {
        switch (kind) {
        case kindMidi:
            return g_midDevice->LastReason();
        case kindWave:
            return g_wavDevice->LastReason();
        default:
            return g_cdDevice->LastReason();
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
        log.Note("note: " + g_wavDevice->LastError() + ": " + g_wavDevice->LastReason());
    }
    if (!g_midDevice->IsReady()) {
        log.Note("note: " + g_midDevice->LastError() + ": " + g_midDevice->LastReason());
    }

    QueueWindow window([](UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == MM_MCINOTIFY) {
            ForwardCompletionNotice(*g_mci, *g_player, wParam, lParam);
        }
    });
    g_hNotifyWnd = &window;

    list->SetLoopCount(options.loops);
    g_player->SetObserver(&log);
    if (service.FeedInterval().count() > 0) {
        g_player->SetHeartbeat([&service] { service.FeedWatchdog(); }, service.FeedInterval());
    }
    g_player->SetPlayList(list.get());
    g_player->Start();
    log.Note("list: " + options.playList);
    service.Ready("Playing " + options.playList);

    // Wait for a stop signal, or for a finite list to play out.
    const timespec tick{0, 100 * 1000 * 1000};
    for (;;) {
        const int signal = sigtimedwait(&stopSignals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM) {
            log.Note("stop: signal " + std::to_string(signal));
            service.Stopping("Stopping on signal " + std::to_string(signal));
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
