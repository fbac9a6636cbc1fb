// Hold music must not stop: quillon-play against the faults of the field, through the real
// sound server. The server goes away and comes back; files vanish, are cut short or replaced
// by garbage while the list plays; the SoundFont and the CD image disappear; every file of the
// list is missing. In each case the rest of the list plays on, in order, without a busy loop.

#include "tests/tools/HeadlessFixture.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

using QuillonPlayFaultTest = HeadlessFixture;

/// CPU seconds the process has used so far.
double cpuSeconds(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name (which may hold blanks) start after the last ')'.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) {
            ticks += std::stod(field);
        }
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

/// True when every step of the frequencies follows the cycle (a, b, c, a, ...).
bool followsCycle(const std::vector<double>& heard, const std::vector<double>& cycle) {
    for (std::size_t i = 1; i < heard.size(); ++i) {
        const auto at = std::find(cycle.begin(), cycle.end(), heard[i - 1]);
        if (at == cycle.end() || heard[i] != cycle[(at - cycle.begin() + 1) % cycle.size()]) {
            return false;
        }
    }
    return true;
}

TEST_F(QuillonPlayFaultTest, SoundResumesInOrderAfterTheServerRestarts) {
    const char* server = std::getenv("QUILLON_SOUND_SERVER");
    if (server == nullptr) {
        GTEST_SKIP() << "QUILLON_SOUND_SERVER is not set (run under scripts/test)";
    }
    tone("a.wav", 440, 2.5, 0.15);
    tone("b.wav", 550, 0.6, 0.15);
    tone("c.wav", 660, 0.6, 0.15);
    makeList(R"({"items": [{"kind": 102, "name": "a.wav", "volume": 100},
                           {"kind": 102, "name": "b.wav", "volume": 100},
                           {"kind": 102, "name": "c.wav", "volume": 100}]})");
    auto player = play({"list.pla"});
    ASSERT_TRUE(waitForLog(*player, "play wave \"a.wav\""));
    std::this_thread::sleep_for(800ms);

    ASSERT_EQ(std::system((std::string(server) + " restart").c_str()), 0);
    const auto restarted = std::chrono::steady_clock::now();
    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    double heardAfter = -1;
    while (std::chrono::steady_clock::now() - restarted < 8s) {
        std::this_thread::sleep_for(50ms);
        if (capture.Frames() > 2205 && RmsDb(Channel(capture.Latest(2205), 0)) > -40) {
            heardAfter =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - restarted).count();
            break;
        }
    }
    ASSERT_GE(heardAfter, 0) << "no sound after the server came back";
    EXPECT_LT(heardAfter, 5.0);
    std::this_thread::sleep_for(5s);
    const auto segments = FindSegments(Channel(capture.Stop(), 0), kRate, -40.0, 0.08);
    const std::vector<double> heard = frequencies(segments);
    EXPECT_TRUE(followsCycle(heard, {440, 550, 660})) << ::testing::PrintToString(heard);
    EXPECT_GE(std::count(heard.begin(), heard.end(), 550.0), 1) << ::testing::PrintToString(heard);
    EXPECT_GE(std::count(heard.begin(), heard.end(), 660.0), 1) << ::testing::PrintToString(heard);

    player->Signal(SIGTERM);
    EXPECT_EQ(player->Wait(5s), 0) << player->Errors();
}

TEST_F(QuillonPlayFaultTest, FilesThatVanishOrBreakWhileTheListPlaysAreSkipped) {
    tone("a.wav", 440, 0.3, 0.1);
    tone("b.wav", 550, 3.0, 0.0);
    tone("c.wav", 660, 0.3, 0.1);
    makeList(R"({"items": [{"kind": 102, "name": "a.wav", "volume": 100},
                           {"kind": 102, "name": "b.wav", "volume": 100},
                           {"kind": 102, "name": "c.wav", "volume": 100}]})");
    const std::string b = data.file("Wave Files/b.wav");
    auto player = play({"list.pla"});

    // Cut short while it plays: b ends early (or breaks off), and c follows.
    ASSERT_TRUE(waitForLog(*player, "play wave \"b.wav\""));
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(::truncate(b.c_str(), 44 + 4 * 44100), 0); // half a second of its three
    std::size_t mark = player->Output().size();
    ASSERT_TRUE(waitForLog(*player, "play wave \"c.wav\"", 1, 4s, mark)) << player->Output();

    // Deleted before its turn: it fails to start and the list goes on.
    ASSERT_EQ(::unlink(b.c_str()), 0);
    mark = player->Output().size();
    ASSERT_TRUE(waitForLog(*player, "fail wave \"b.wav\"", 1, 5s, mark)) << player->Output();
    ASSERT_TRUE(waitForLog(*player, "play wave \"c.wav\"", 1, 5s, mark)) << player->Output();

    // Replaced by garbage: the same.
    WriteFileBytes(b, Bytes(5000, 0x5A));
    mark = player->Output().size();
    ASSERT_TRUE(waitForLog(*player, "fail wave \"b.wav\"", 2, 8s, mark)) << player->Output();

    // Whole again: it plays.
    tone("b.wav", 550, 0.3, 0.1);
    mark = player->Output().size();
    ASSERT_TRUE(waitForLog(*player, "play wave \"b.wav\"", 1, 5s, mark)) << player->Output();

    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    std::this_thread::sleep_for(2500ms);
    const std::vector<double> heard =
        frequencies(FindSegments(Channel(capture.Stop(), 0), kRate, -40.0, 0.05));
    EXPECT_TRUE(followsCycle(heard, {440, 550, 660})) << ::testing::PrintToString(heard);
    EXPECT_GE(heard.size(), 4u);
    player->Signal(SIGTERM);
    EXPECT_EQ(player->Wait(5s), 0);
}

TEST_F(QuillonPlayFaultTest, TheRestPlaysWhenTheSoundFontAndTheCdImageDisappear) {
    std::filesystem::create_directories(data.file("Midi Files"));
    std::filesystem::copy_file("/usr/share/sounds/sf2/default-GM.sf2", data.file("gm.sf2"));
    SmfWriter tune;
    tune.Note(0.0, 0.4, 60);
    tune.Note(0.4, 0.4, 64);
    WriteBytes(data.file("Midi Files/tune.mid"), tune.Bytes());
    const CdImage disc = WriteCdImage(data.path(), "disc", {{880, 0.5}, {990, 0.5}});
    tone("a.wav", 440, 0.4, 0.1);
    makeList(R"({"items": [{"kind": 101, "name": "tune.mid", "volume": 100},
                           {"kind": 103, "name": "Track 2", "volume": 100},
                           {"kind": 102, "name": "a.wav", "volume": 100}]})");
    auto player = play({"list.pla"}, {"QUILLON_SOUNDFONT=" + data.file("gm.sf2"),
                                      "QUILLON_CD_DEVICE=" + disc.cuePath});
    ASSERT_TRUE(waitForLog(*player, "play midi \"tune.mid\"")) << player->Output();
    ASSERT_TRUE(waitForLog(*player, "play cd \"Track 2\"")) << player->Output();
    ASSERT_TRUE(waitForLog(*player, "play wave \"a.wav\"")) << player->Output();

    std::filesystem::remove(data.file("gm.sf2"));
    std::filesystem::remove(disc.binPath);
    // Items cued before the removal are open already and may still play once.
    ASSERT_TRUE(waitForLog(*player, "play wave \"a.wav\"", 1, 15s, player->Output().size()))
        << player->Output();
    const std::size_t mark = player->Output().size();
    // Three more passes of the wave item; the other two may play from what was loaded or fail,
    // but never hold the list up.
    ASSERT_TRUE(waitForLog(*player, "play wave \"a.wav\"", 3, 15s, mark)) << player->Output();
    EXPECT_EQ(countInLog(player->Output(), "play cd \"Track 2\"", mark), 0u)
        << "the disc image is gone: its track cannot play";
    player->Signal(SIGTERM);
    EXPECT_EQ(player->Wait(5s), 0);
}

TEST_F(QuillonPlayFaultTest, AListOfMissingFilesIdlesAndPlaysOnceTheyAppear) {
    makeList(R"({"items": [{"kind": 102, "name": "x.wav", "volume": 100},
                           {"kind": 102, "name": "y.wav", "volume": 100}]})");
    auto player = play({"list.pla"});
    ASSERT_TRUE(waitForLog(*player, "fail wave \"y.wav\"", 2)) << player->Output();
    const double before = cpuSeconds(player->Pid());
    std::this_thread::sleep_for(3s);
    const double used = cpuSeconds(player->Pid()) - before;
    EXPECT_LT(used, 0.15) << "CPU seconds used in 3 s with nothing to play";
    EXPECT_LE(countInLog(player->Output(), "fail wave \"x.wav\""), 8u) << "one pass a second";

    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    tone("y.wav", 770, 0.5, 0.1);
    const std::size_t mark = player->Output().size();
    ASSERT_TRUE(waitForLog(*player, "play wave \"y.wav\"", 1, 3s, mark)) << player->Output();
    std::this_thread::sleep_for(800ms);
    const auto segments = FindSegments(Channel(capture.Stop(), 0), kRate);
    ASSERT_FALSE(segments.empty());
    EXPECT_NEAR(segments.front().frequency, 770, 2);
    player->Signal(SIGTERM);
    EXPECT_EQ(player->Wait(5s), 0);
}

// At login the program may start before the sound server. Its list loads whole, plays on in
// time with nowhere to go (one line says there is no output, and the sound libraries stay
// quiet), and is heard as soon as the server is there, without a restart.
TEST_F(QuillonPlayFaultTest, StartedBeforeTheSoundServerTheListPlaysOnceItComes) {
    const char* server = std::getenv("QUILLON_SOUND_SERVER");
    if (server == nullptr) {
        GTEST_SKIP() << "QUILLON_SOUND_SERVER is not set (run under scripts/test)";
    }
    struct ServerBack {
        std::string script;
        ~ServerBack() { static_cast<void>(std::system((script + " start").c_str())); }
    } serverBack{server};
    tone("a.wav", 440, 0.5, 0.1);
    tone("b.wav", 550, 0.5, 0.1);
    makeList(R"({"items": [{"kind": 102, "name": "a.wav", "volume": 100},
                           {"kind": 102, "name": "b.wav", "volume": 100}]})");
    ASSERT_EQ(std::system((std::string(server) + " stop").c_str()), 0);
    const auto started = std::chrono::steady_clock::now();
    auto player = play({"list.pla"});

    // Without any output the list moves on at its own pace: 0.6 s an item.
    ASSERT_TRUE(waitForLog(*player, "play wave \"b.wav\"", 2, 10s)) << player->Output();
    const double tookSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GT(tookSeconds, 1.6) << "three items sped through";
    EXPECT_EQ(countInLog(player->Output(), "fail"), 0u) << player->Output();

    ASSERT_EQ(std::system((std::string(server) + " start").c_str()), 0);
    const auto serverUp = std::chrono::steady_clock::now();
    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    double heardAfter = -1;
    while (std::chrono::steady_clock::now() - serverUp < 8s) {
        std::this_thread::sleep_for(50ms);
        if (capture.Frames() > 2205 && RmsDb(Channel(capture.Latest(2205), 0)) > -40) {
            heardAfter =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - serverUp).count();
            break;
        }
    }
    ASSERT_GE(heardAfter, 0) << "nothing heard once the server was there";
    EXPECT_LT(heardAfter, 5.0);
    std::this_thread::sleep_for(2s);
    const std::vector<double> heard =
        frequencies(FindSegments(Channel(capture.Stop(), 0), kRate, -40.0, 0.05));
    EXPECT_TRUE(followsCycle(heard, {440, 550})) << ::testing::PrintToString(heard);
    EXPECT_GE(heard.size(), 3u);

    player->Signal(SIGTERM);
    EXPECT_EQ(player->Wait(5s), 0);
    // One line when the output is missing, one when it is back; nothing from the libraries.
    const std::string errors = player->Errors();
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 2) << errors;
    EXPECT_EQ(errors.rfind("quillon-play: No sound output device can be opened: ", 0), 0u)
        << errors;
    EXPECT_NE(errors.find("quillon-play: the sound output is back\n"), std::string::npos) << errors;
}

} // namespace
