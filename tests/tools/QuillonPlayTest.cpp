// quillon-play end to end, where only the program shows it: play lists made with quillon-pla
// and tones made on the spot, played through the private sound server and identified by
// frequency in what came out; its service side; bad input and usage; and hold music that must
// not stop: files vanish or break while the list plays, the SoundFont and the CD image
// disappear, every file of the list is missing, the sound server comes after the program.

#include "app/CQuillonApp.h"
#include "app/Globals.h"
#include "platform/engine/FaderCurve.h"
#include "platform/files/FileDescriptor.h"
#include "platform/registry/RegistryStore.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/HeardTones.h"
#include "tests/tools/HeadlessFixture.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kRate = AudioCapture::kRate;
const std::vector<double> kCycle{440, 550, 660};

bool holds(const std::vector<double>& tones, const std::vector<double>& run) {
    return std::search(tones.begin(), tones.end(), run.begin(), run.end()) != tones.end();
}

/// Listens until the tones heard hold `run` in a row (30 s at most); the tones heard.
std::vector<double> listenFor(const AudioCapture& capture, const std::vector<double>& tones,
                              const std::vector<double>& run) {
    std::vector<double> heard;
    WaitFor(
        [&] {
            const std::vector<float> left = Channel(capture.Latest(capture.Frames()), 0);
            heard = ToneSequence(HeardTones(left, kRate, tones));
            return holds(heard, run);
        },
        30s);
    return heard;
}

/// How often `text` stands in the log after `offset`.
std::size_t countInLog(const std::string& log, const std::string& text, std::size_t offset = 0) {
    std::size_t n = 0;
    for (auto at = log.find(text, offset); at != std::string::npos; at = log.find(text, at + 1)) {
        ++n;
    }
    return n;
}

/// Waits until the program's output holds `text` at least `times` times after `offset`.
bool waitForLog(ChildProcess& child, const std::string& text, std::size_t times = 1,
                std::size_t offset = 0) {
    return WaitFor([&] { return countInLog(child.Output(), text, offset) >= times; });
}

/// A signal ends the program cleanly, however loaded the machine.
void expectStopsOnSignal(ChildProcess& player) {
    player.Signal(SIGTERM);
    EXPECT_EQ(player.Wait(20s), 0) << player.Errors();
    EXPECT_NE(player.Output().find("stop: signal 15"), std::string::npos) << player.Output();
}

/// The service manager's end of NOTIFY_SOCKET: a datagram socket bound at a path.
class NotifySocket {
public:
    explicit NotifySocket(const std::string& path)
        : m_fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{AF_UNIX, {}};
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        if (::bind(m_fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("cannot bind " + path);
        }
    }
    /// Reads messages until one holds text and returns it; "" when none came in time.
    std::string WaitFor(const std::string& text, std::chrono::milliseconds timeout = 20s) {
        std::string message;
        const auto found = [&] {
            for (pollfd ready{m_fd.get(), POLLIN, 0}; ::poll(&ready, 1, 0) > 0;) {
                char buffer[4096];
                const ssize_t n = ::recv(m_fd.get(), buffer, sizeof buffer, 0);
                message.assign(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
                if (message.find(text) != std::string::npos) {
                    return true;
                }
            }
            return false;
        };
        return ::WaitFor(found, timeout) ? message : "";
    }

private:
    FileDescriptor m_fd;
};

using QuillonPlayTest = HeadlessFixture;

// Order, loop counts, volumes and missing files are the player's (MoxPlayListPlayerTest) and
// the chaining of sources the engine's; here the program puts them together through the real
// server. Each tone starts with a zero sample and has no silence around it: full scale at item
// volume 100 (twice), then half scale at 50 and 10, a missing file between them. Each item sets
// the wave fader to volume x 655 as it starts to sound, while the one before still plays at
// its own; on a first run the speakers fader stands at full.
TEST_F(QuillonPlayTest, PlaysTheListInOrderWithoutSilenceEachItemAtItsVolumeFromItsFirstSample) {
    constexpr std::size_t kItem = 22050; // 500 whole cycles of 1000 Hz
    WriteWave(data.file("Wave Files/full.wav"), SineTone(1000, 0.5, 44100, 1.0), {});
    WriteWave(data.file("Wave Files/half.wav"), SineTone(1000, 0.5, 44100, 0.5), {});
    makeList(R"([{"kind": 102, "name": "full.wav", "volume": 100, "loopCount": 2},
                 {"kind": 102, "name": "half.wav", "volume": 50},
                 {"kind": 102, "name": "gone.wav", "volume": 100},
                 {"kind": 102, "name": "half.wav", "volume": 10}])");
    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    auto player = play({"--loops", "1", "list.pla"});
    ASSERT_EQ(player->Wait(30s), 0) << player->Errors();
    // The server's clock (the frames captured) says when all that was played has come through.
    const std::size_t until = capture.Frames() + kRate / 2;
    ASSERT_TRUE(WaitFor([&] { return capture.Frames() >= until; }));
    const std::vector<float> left = Channel(capture.Stop(), 0);

    const std::vector<Segment> segments = FindSegments(left, kRate, -75.0, 0.0005);
    ASSERT_EQ(segments.size(), 1u) << "a silence between items";
    // The silence before the first tone is exact.
    const auto sounding = std::find_if(left.begin(), left.end(), [](float x) { return x != 0; });
    const auto start = static_cast<std::size_t>(sounding - left.begin()) - 1;
    ASSERT_GE(left.size(), start + 4 * kItem);
    EXPECT_NEAR(static_cast<double>(segments[0].end - start), 4.0 * kItem, 2.0);

    const double halfScaleDb = 20 * std::log10(0.5 / std::sqrt(2.0));
    const double fullDb = halfScaleDb + 20 * std::log10(2.0) + FaderToDecibels(65500);
    const double expectedDb[4] = {fullDb, fullDb, halfScaleDb + FaderToDecibels(50 * 655),
                                  halfScaleDb + FaderToDecibels(10 * 655)};
    // 100 ms (100 whole cycles) at each item's start and end: its own level from its first
    // sample to its last.
    constexpr std::size_t kWindow = 4410;
    for (std::size_t item = 0; item < 4; ++item) {
        const std::size_t first = start + item * kItem;
        EXPECT_NEAR(RmsDb(Slice(left, first, kWindow)), expectedDb[item], 0.2) << item;
        EXPECT_NEAR(RmsDb(Slice(left, first + kItem - kWindow, kWindow)), expectedDb[item], 0.2)
            << item;
    }
    EXPECT_NEAR(20 * std::log10(Peak(Slice(left, start, kItem))), 0.0, 0.05);
    const std::string log = player->Output();
    EXPECT_NE(log.find("fail wave \"gone.wav\": " + data.file("Wave Files/gone.wav") +
                       ": The file was not found\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("play wave \"full.wav\" repetition 2"), std::string::npos) << log;
    EXPECT_NE(log.find("end: the list has played 1 times"), std::string::npos) << log;
}

TEST_F(QuillonPlayTest, WithoutAFileItPlaysThePreferredListAsANotifyServiceWithAWatchdog) {
    tone("first.wav", 440, 3.0);
    tone("last.wav", 660, 0.3);
    // Opening a FIFO that nobody writes blocks, as reading a file on a hung network share
    // does: the worker sticks in the item's player.
    const std::string stall = data.file("Wave Files/stall.wav");
    ASSERT_EQ(::mkfifo(stall.c_str(), 0600), 0);
    makeList(R"([{"kind": 102, "name": "first.wav", "volume": 100},
                 {"kind": 102, "name": "stall.wav", "volume": 100},
                 {"kind": 102, "name": "last.wav", "volume": 100}])");
    {
        // The preferred list, chosen as the desktop program's options do.
        RegistryStore store(data.file("config/quillon/registry.reg"));
        CQuillonApp settings(&store);
        settings.LoadSettings();
        g_strDefaultPlayList = "LIST.PLA";
        ASSERT_EQ(settings.SaveSettings(), ERROR_SUCCESS);
    }
    NotifySocket systemd(data.file("notify"));
    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    // Fed every 200 ms.
    auto player = play({}, {"NOTIFY_SOCKET=" + data.file("notify"), "WATCHDOG_USEC=400000"});

    EXPECT_NE(systemd.WaitFor("READY=1").find("STATUS=Playing " + data.file("list.pla")),
              std::string::npos)
        << player->Errors();
    ASSERT_TRUE(waitForLog(*player, "play wave \"first.wav\""));
    EXPECT_NE(systemd.WaitFor("WATCHDOG=1"), "") << "fed while the first item plays";
    // Then the feeding stops: a second without, while the worker waits in the FIFO's open,
    // which a writer can open only while a reader waits there (and its open then fails the
    // item). A watchdog fed from anywhere but the worker never goes quiet.
    EXPECT_TRUE(WaitFor([&] { return systemd.WaitFor("WATCHDOG=1", 1s).empty(); }))
        << "fed while the worker is stuck";
    {
        const FileDescriptor writer(::open(stall.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        ASSERT_TRUE(writer) << "the worker waits in the item's open";
        std::filesystem::remove(stall); // the next pass finds it missing
    }
    EXPECT_NE(systemd.WaitFor("WATCHDOG=1"), "") << "fed again once the worker is free";
    const std::vector<double> tones = listenFor(capture, {440, 660}, {440, 660});
    EXPECT_TRUE(holds(tones, {440, 660})) << "the list went on: " << testing::PrintToString(tones);
    expectStopsOnSignal(*player);
    EXPECT_NE(systemd.WaitFor("STOPPING=1"), "");
}

// Hold music must not stop: while the list plays, a file is cut short, deleted, replaced by
// garbage and made whole again, and the SoundFont and the CD image disappear. Each time the
// rest of the list plays on, in order.
TEST_F(QuillonPlayTest, TheListPlaysOnWhileFilesVanishOrBreakAndTheSoundFontAndCdImageGo) {
    std::filesystem::copy_file("/usr/share/sounds/sf2/default-GM.sf2", data.file("gm.sf2"));
    SmfWriter tune;
    tune.Note(0.0, 0.4, 60);
    tune.Note(0.4, 0.4, 64);
    WriteFileBytes(data.file("Midi Files/tune.mid"), tune.Bytes());
    const CdImage disc = WriteCdImage(data.path(), "disc", {{880, 0.5}, {990, 0.5}});
    tone("a.wav", 440, 0.3, 0.2);
    tone("b.wav", 550, 3.0, 0.2);
    tone("c.wav", 660, 0.3, 0.2);
    makeList(R"([{"kind": 101, "name": "tune.mid", "volume": 100},
                 {"kind": 103, "name": "Track 2", "volume": 100},
                 {"kind": 102, "name": "a.wav", "volume": 100},
                 {"kind": 102, "name": "b.wav", "volume": 100},
                 {"kind": 102, "name": "c.wav", "volume": 100}])");
    const std::string b = data.file("Wave Files/b.wav");
    auto player = play({"list.pla"}, {"QUILLON_SOUNDFONT=" + data.file("gm.sf2"),
                                      "QUILLON_CD_DEVICE=" + disc.cuePath});
    ASSERT_TRUE(waitForLog(*player, "play midi \"tune.mid\"")) << player->Output();
    ASSERT_TRUE(waitForLog(*player, "play cd \"Track 2\"")) << player->Output();

    // Cut short while it plays: it ends (or breaks off), and c follows.
    ASSERT_TRUE(waitForLog(*player, "play wave \"b.wav\""));
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(::truncate(b.c_str(), 44 + 4 * 44100), 0); // half a second of its three
    std::size_t mark = player->Output().size();
    ASSERT_TRUE(waitForLog(*player, "play wave \"c.wav\"", 1, mark)) << player->Output();

    // Deleted before its turn, with the SoundFont and the disc image: it fails to start and
    // the list goes on.
    ASSERT_EQ(::unlink(b.c_str()), 0);
    std::filesystem::remove(data.file("gm.sf2"));
    std::filesystem::remove(disc.binPath);
    mark = player->Output().size();
    ASSERT_TRUE(waitForLog(*player, "fail wave \"b.wav\"", 1, mark)) << player->Output();
    ASSERT_TRUE(waitForLog(*player, "play wave \"c.wav\"", 1, mark)) << player->Output();

    // Replaced by garbage: the same (two failures, so that one met the garbage). Items cued
    // before the removals were open already and may have played once more by then.
    WriteFileBytes(b, Bytes(5000, 0x5A));
    mark = player->Output().size();
    ASSERT_TRUE(waitForLog(*player, "fail wave \"b.wav\"", 2, mark)) << player->Output();

    // Whole again: it plays in its place, between a and c.
    mark = player->Output().size();
    tone("b.wav", 550, 0.3, 0.2);
    ASSERT_TRUE(waitForLog(*player, "play wave \"b.wav\"", 1, mark)) << player->Output();
    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    const std::vector<double> tones = listenFor(capture, kCycle, kCycle);
    EXPECT_TRUE(holds(tones, kCycle)) << testing::PrintToString(tones);
    EXPECT_EQ(countInLog(player->Output(), "play cd \"Track 2\"", mark), 0u)
        << "the disc image is gone: its track cannot play";
    expectStopsOnSignal(*player);
}

// At login the program may start before the sound server, and before the files of its list
// are there (that the player rests between passes that play nothing is
// MoxPlayListPlayerTest's). Once the files appear the list plays on in time with nowhere to go
// (one line says there is no output, and the sound libraries stay quiet: SDL falls back to
// ALSA, which finds no card either), and is heard as soon as the server is there, without a
// restart.
TEST_F(QuillonPlayTest, StartedBeforeTheSoundServerAndItsFilesTheListPlaysOnceTheyCome) {
    const char* server = std::getenv("QUILLON_SOUND_SERVER");
    if (server == nullptr) {
        GTEST_SKIP() << "QUILLON_SOUND_SERVER is not set (run under scripts/test)";
    }
    const std::string script = server;
    struct ServerBack {
        std::string start;
        ~ServerBack() { static_cast<void>(std::system(start.c_str())); }
    } serverBack{script + " start"};
    makeList(R"([{"kind": 102, "name": "a.wav", "volume": 100},
                 {"kind": 102, "name": "b.wav", "volume": 100}])");
    ASSERT_EQ(std::system((script + " stop").c_str()), 0);
    auto player = play({"list.pla"});
    ASSERT_TRUE(waitForLog(*player, "fail wave \"b.wav\"", 2)) << player->Output();

    const std::size_t mark = player->Output().size();
    const auto appeared = std::chrono::steady_clock::now();
    tone("a.wav", 440, 0.5, 0.1);
    tone("b.wav", 550, 0.5, 0.1);
    // Without any output the list moves on at its own pace: 0.6 s an item.
    ASSERT_TRUE(waitForLog(*player, "play wave \"b.wav\"", 2, mark)) << player->Output();
    EXPECT_GT(std::chrono::duration<double>(std::chrono::steady_clock::now() - appeared).count(),
              1.6)
        << "three items sped through";
    const std::string log = player->Output();
    EXPECT_EQ(countInLog(log, "fail", log.find("play wave \"a.wav\"", mark)), 0u) << log;

    ASSERT_EQ(std::system((script + " start").c_str()), 0);
    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    const std::vector<double> tones = listenFor(capture, {440, 550}, {440, 550, 440});
    EXPECT_TRUE(holds(tones, {440, 550, 440})) << testing::PrintToString(tones);

    expectStopsOnSignal(*player);
    // One line when the output is missing, one when it is back; nothing from the libraries.
    const std::string errors = player->Errors();
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 2) << errors;
    EXPECT_EQ(errors.rfind("quillon-play: No sound output device can be opened: ", 0), 0u)
        << errors;
    EXPECT_NE(errors.find("quillon-play: the sound output is back\n"), std::string::npos) << errors;
}

} // namespace
