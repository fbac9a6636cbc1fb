// quillon-play end to end: play lists made with quillon-pla, tones made on the spot, played
// through the private sound server and identified by frequency in what came out.

#include "app/CQuillonApp.h"
#include "app/Globals.h"
#include "platform/engine/FaderCurve.h"
#include "platform/files/FileDescriptor.h"
#include "platform/registry/RegistryStore.h"
#include "tests/tools/HeadlessFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>

namespace {

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
    std::string WaitFor(const std::string& text, int timeoutMs = 15000) {
        for (std::string message; !(message = next(timeoutMs)).empty();) {
            if (message.find(text) != std::string::npos) {
                return message;
            }
        }
        return {};
    }
    /// Reads the messages that came so far; how many hold text.
    int Count(const std::string& text) {
        int count = 0;
        for (std::string message; !(message = next(0)).empty();) {
            count += message.find(text) != std::string::npos ? 1 : 0;
        }
        return count;
    }

private:
    std::string next(int timeoutMs) {
        pollfd ready{m_fd.get(), POLLIN, 0};
        char buffer[4096];
        const ssize_t n =
            ::poll(&ready, 1, timeoutMs) > 0 ? ::recv(m_fd.get(), buffer, 4096, 0) : 0;
        return std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    }

    FileDescriptor m_fd;
};

class QuillonPlayTest : public HeadlessFixture {
protected:
    /// Chooses the preferred play list as the desktop program's options do.
    void prefer(const std::string& name) {
        RegistryStore store(data.file("config/quillon/registry.reg"));
        CQuillonApp settings(&store);
        settings.LoadSettings();
        g_strDefaultPlayList = name;
        ASSERT_EQ(settings.SaveSettings(), ERROR_SUCCESS);
    }
};

TEST_F(QuillonPlayTest, PlaysTheListInOrderWithItsLoopCountsAndSkipsAMissingFile) {
    tone("low.wav", 440, 0.25);
    tone("mid.wav", 660, 0.25);
    tone("HIGH.wav", 990, 0.25);
    makeList(R"({"items": [{"kind": 102, "name": "low.wav", "loopCount": 2, "volume": 100},
                           {"kind": 102, "name": "gone.wav", "loopCount": 1, "volume": 100},
                           {"kind": 102, "name": "mid.wav", "loopCount": 1, "volume": 100},
                           {"kind": 102, "name": "high.wav", "loopCount": 3, "volume": 100}]})");
    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    auto player = play({"--loops", "1", "list.pla"});
    ASSERT_EQ(player->Wait(30s), 0) << player->Errors();
    std::this_thread::sleep_for(300ms);
    const std::vector<float> left = Channel(capture.Stop(), 0);

    const std::vector<Segment> segments = FindSegments(left, kRate, -40.0, 0.05);
    EXPECT_EQ(frequencies(segments), (std::vector<double>{440, 440, 660, 990, 990, 990}));
    for (const Segment& s : segments) {
        EXPECT_NEAR(s.Seconds(kRate), 0.25, 0.02) << "every repetition plays whole";
    }

    const std::string log = player->Output();
    EXPECT_NE(log.find("play wave \"low.wav\" repetition 2"), std::string::npos) << log;
    EXPECT_NE(log.find("fail wave \"gone.wav\": " + data.file("Wave Files/gone.wav") +
                       ": The file was not found\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("play wave \"high.wav\" repetition 3"), std::string::npos) << log;
    EXPECT_NE(log.find("end: the list has played 1 times"), std::string::npos) << log;
}

TEST_F(QuillonPlayTest, ItemsFollowWithoutSilenceEachAtItsOwnVolumeFromItsFirstSample) {
    // Three tones with no silence around them: full scale at item volume 100, then half scale
    // at volumes 50 and 10. Each item sets the wave fader to volume x 655 as it starts to
    // sound, while the one before still plays at its own; on a first run the speakers fader
    // stands at full, and the engine turns the fader into a gain on its perceptual curve. So a
    // 0 dBFS file at volume 100 comes out at 0 dBFS.
    constexpr std::size_t kItem = 22050; // 500 whole cycles of 1000 Hz
    WriteWave(data.file("Wave Files/full.wav"), SineTone(1000, 0.5, 44100, 1.0), {});
    WriteWave(data.file("Wave Files/half.wav"), SineTone(1000, 0.5, 44100, 0.5), {});
    makeList(R"({"items": [{"kind": 102, "name": "full.wav", "volume": 100},
                           {"kind": 102, "name": "half.wav", "volume": 50},
                           {"kind": 102, "name": "half.wav", "volume": 10}]})");
    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    auto player = play({"--loops", "1", "list.pla"});
    ASSERT_EQ(player->Wait(30s), 0) << player->Errors();
    std::this_thread::sleep_for(300ms);
    const std::vector<float> left = Channel(capture.Stop(), 0);

    const std::vector<Segment> segments = FindSegments(left, kRate, -75.0, 0.0005);
    ASSERT_EQ(segments.size(), 1u) << "a silence between items";
    // Each tone starts with a zero sample; the silence before the first is exact.
    const auto sounding = std::find_if(left.begin(), left.end(), [](float x) { return x != 0; });
    const auto start = static_cast<std::size_t>(sounding - left.begin()) - 1;
    ASSERT_GE(left.size(), start + 3 * kItem);
    EXPECT_NEAR(static_cast<double>(segments[0].end - start), 3.0 * kItem, 2.0);

    const double halfScaleDb = 20 * std::log10(0.5 / std::sqrt(2.0));
    const double expectedDb[3] = {
        halfScaleDb + 20 * std::log10(2.0) + FaderToDecibels(65500),
        halfScaleDb + FaderToDecibels(50 * 655),
        halfScaleDb + FaderToDecibels(10 * 655),
    };
    // 100 ms (100 whole cycles) at each item's start and end: its own level from its first
    // sample to its last.
    constexpr std::size_t kWindow = 4410;
    for (std::size_t item = 0; item < 3; ++item) {
        const std::size_t first = start + item * kItem;
        EXPECT_NEAR(RmsDb(Slice(left, first, kWindow)), expectedDb[item], 0.2) << item;
        EXPECT_NEAR(RmsDb(Slice(left, first + kItem - kWindow, kWindow)), expectedDb[item], 0.2)
            << item;
    }
    EXPECT_NEAR(20 * std::log10(Peak(Slice(left, start, kItem))), 0.0, 0.05);
}

TEST_F(QuillonPlayTest, ASignalStopsTheItemAndEndsCleanly) {
    tone("long.wav", 523, 20.0, 0.0);
    makeList(R"({"items": [{"kind": 102, "name": "long.wav", "volume": 100}]})");
    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    auto player = play({"list.pla"});
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(player->Running());
    const double signalledAt = capture.Seconds();
    player->Signal(SIGTERM);
    ASSERT_EQ(player->Wait(5s), 0) << player->Errors();
    std::this_thread::sleep_for(500ms);
    // Dropouts are the soak's business: a busy machine (a sanitizer build running beside other
    // tests) may split the tone, which says nothing about how the signal ends it.
    const std::vector<Segment> segments = FindSegments(Channel(capture.Stop(), 0), kRate);
    ASSERT_FALSE(segments.empty());
    for (const Segment& segment : segments) {
        EXPECT_NEAR(segment.frequency, 523, 2);
    }
    EXPECT_GT(segments.back().End(kRate) - segments.front().Start(kRate), 1.0);
    EXPECT_LT(segments.back().End(kRate), signalledAt + 0.3) << "silence soon after the signal";
    EXPECT_NE(player->Output().find("stop: signal 15"), std::string::npos);
}

TEST_F(QuillonPlayTest, BadPlayListsAndArgumentsAreRefusedClearly) {
    WriteFileBytes(data.file("broken.pla"), HexBytes("64000000 FF FF FF 00 00 00 10"));
    auto broken = play({"broken.pla"});
    EXPECT_EQ(broken->Wait(20s), 1);
    EXPECT_NE(broken->Errors().find("broken.pla"), std::string::npos) << broken->Errors();

    auto missing = play({"--data", data.path(), "nowhere.pla"});
    EXPECT_EQ(missing->Wait(20s), 1);
    EXPECT_NE(missing->Errors().find("nowhere.pla\" was not found"), std::string::npos)
        << missing->Errors();

    auto none = play({});
    EXPECT_EQ(none->Wait(20s), 1);
    EXPECT_NE(none->Errors().find("no preferred play list is set in " + data.file("config")),
              std::string::npos)
        << none->Errors();

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--loops", "0", "x.pla"},
                                                {"--loops", "-1", "x.pla"},
                                                {"--frobnicate", "x.pla"},
                                                {"a.pla", "b.pla"}}) {
        auto refused = play(bad);
        EXPECT_EQ(refused->Wait(10s), 2);
    }
}

TEST_F(QuillonPlayTest, WithoutAFileItPlaysThePreferredListAsANotifyServiceWithAWatchdog) {
    tone("first.wav", 440, 3.0);
    tone("last.wav", 660, 0.3);
    // Opening a FIFO that nobody writes blocks, as reading a file on a hung network share
    // does: the worker sticks in the item's player.
    const std::string stall = data.file("Wave Files/stall.wav");
    ASSERT_EQ(::mkfifo(stall.c_str(), 0600), 0);
    makeList(R"({"items": [{"kind": 102, "name": "first.wav", "volume": 100},
                           {"kind": 102, "name": "stall.wav", "volume": 100},
                           {"kind": 102, "name": "last.wav", "volume": 100}]})");
    prefer("LIST.PLA");
    NotifySocket systemd(data.file("notify"));
    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    // Fed every 200 ms.
    auto player = play({}, {"NOTIFY_SOCKET=" + data.file("notify"), "WATCHDOG_USEC=400000"});

    EXPECT_NE(systemd.WaitFor("READY=1").find("STATUS=Playing " + data.file("list.pla")),
              std::string::npos)
        << player->Errors();
    ASSERT_TRUE(waitForLog(*player, "play wave \"first.wav\""));
    // first.wav sounds for 3.12 s; two seconds before its end the worker cues what follows and
    // waits in the FIFO's open.
    std::this_thread::sleep_for(800ms);
    EXPECT_GE(systemd.Count("WATCHDOG=1"), 2) << "fed while the first item played";
    std::this_thread::sleep_for(700ms);
    systemd.Count("WATCHDOG=1");
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(systemd.Count("WATCHDOG=1"), 0) << "not fed while the worker is stuck";
    {
        // Succeeds only while a reader waits in open; its open then fails the item.
        const FileDescriptor writer(::open(stall.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        ASSERT_TRUE(writer) << "the worker waits in the item's open";
        std::filesystem::remove(stall); // the next pass finds it missing
    }
    EXPECT_NE(systemd.WaitFor("WATCHDOG=1"), "") << "fed again once the worker is free";
    ASSERT_TRUE(waitForLog(*player, "play wave \"first.wav\"", 2)) << player->Output();
    player->Signal(SIGTERM);
    EXPECT_EQ(player->Wait(10s), 0) << player->Errors();
    EXPECT_NE(systemd.WaitFor("STOPPING=1"), "");

    const std::vector<Segment> segments =
        FindSegments(Channel(capture.Stop(), 0), kRate, -40.0, 0.05);
    ASSERT_GE(segments.size(), 2u);
    EXPECT_EQ(frequencies({segments.begin(), segments.begin() + 2}),
              (std::vector<double>{440, 660}));
}

} // namespace
