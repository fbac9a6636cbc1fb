#include "model/MoxPlayListPlayer.h"

#include "model/MoxItemDevice.h"
#include "model/MoxPlayList.h"
#include "model/MoxPlayerObserver.h"
#include "model/MoxWav.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <utility>

using namespace std::chrono_literals;

namespace {

using Log = std::vector<std::string>;

// A player that behaves like the media players: Play starts the item, and its end is
// announced later, from another thread, through the player's completion path. The test
// decides when: at once, after a delay, or only when told. As the real path does (a window
// passes on only notices of devices still open), a notice is dropped once its play has been
// stopped. When asked to, it also cues: the tests tell the near end and the end, and see what
// the worker cues, promotes and takes back.
class ScriptedDevice : public MoxItemDevice {
public:
    enum class Finish { onRequest, immediately };

    ScriptedDevice() {
        m_notifier = std::thread([this] { notifyLoop(); });
    }
    ~ScriptedDevice() override { detach(); }

    /// Notices go to the player from now on.
    void attach(MoxPlayListPlayer& player) { m_player = &player; }
    /// Ends the notices: before the player goes.
    void detach() {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_changed.notify_all();
        if (m_notifier.joinable()) {
            m_notifier.join();
        }
    }

    bool IsReady() const override { return true; }

    bool Play(const std::string& name) override {
        std::lock_guard lock(m_mutex);
        m_log.push_back("play " + name);
        ++m_plays;
        const bool starts = m_failing.count(name) == 0;
        m_playing = starts;
        m_noticed = false;
        ++m_serial;
        if (starts && finish == Finish::immediately) {
            m_pendingNotices.push_back(m_serial);
        }
        m_changed.notify_all();
        return starts;
    }

    void Stop() override {
        std::lock_guard lock(m_mutex);
        m_log.push_back("stop");
        if (m_playing && !m_noticed && !stopping) {
            ++cutShort; // stopped without its end, and the player was not stopping
        }
        m_playing = false;
        m_changed.notify_all();
    }

    bool CanCue() const override { return cues; }
    bool Cue(const std::string& name, MoxItemDevice&) override {
        std::lock_guard lock(m_mutex);
        m_log.push_back("cue " + name);
        m_changed.notify_all();
        return m_failing.count(name) == 0;
    }
    void Uncue() override { note("uncue"); }
    void Promote() override { note("promote"); }

    /// Ends the item that started last, as its successful completion notice would; waits
    /// for the next start first when the last one was already ended.
    void finishCurrent() {
        ASSERT_TRUE(waitUntil([this] { return m_playing && m_plays > m_finished; }));
        ++m_finished;
        m_player->OnCompletionNotice(0x0001);
    }
    /// What the notices of a cueing player say.
    void notice(WPARAM code) { m_player->OnCompletionNotice(code); }

    /// Waits until the log has at least n entries; false after a generous timeout.
    bool waitForEntries(std::size_t n) {
        return waitUntil([&] { return m_log.size() >= n; });
    }

    Log log() {
        std::lock_guard lock(m_mutex);
        return m_log;
    }
    /// Forgets the log; what plays now stays playing.
    Log takeLog() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_log, {});
    }
    void failOn(const std::string& name) {
        std::lock_guard lock(m_mutex);
        m_failing.insert(name);
    }

    std::atomic<Finish> finish{Finish::onRequest};
    std::atomic<bool> cues{false};
    /// Set by the test around the player's Stop.
    std::atomic<bool> stopping{false};
    std::atomic<int> cutShort{0};

private:
    void note(std::string entry) {
        std::lock_guard lock(m_mutex);
        m_log.push_back(std::move(entry));
        m_changed.notify_all();
    }

    template <typename Pred>
    bool waitUntil(Pred pred) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 10s, pred);
    }

    void notifyLoop() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_quit || !m_pendingNotices.empty(); });
            if (m_quit) {
                return;
            }
            const int serial = m_pendingNotices.front();
            m_pendingNotices.erase(m_pendingNotices.begin());
            if (serial == m_serial && m_playing) {
                m_noticed = true;
                m_player->OnCompletionNotice(0x0001);
            }
        }
    }

    MoxPlayListPlayer* m_player = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Log m_log;
    int m_plays = 0;
    int m_finished = 0;
    int m_serial = 0;
    std::vector<int> m_pendingNotices;
    bool m_playing = false;
    bool m_noticed = false;
    bool m_quit = false;
    std::set<std::string> m_failing;
    std::thread m_notifier;
};

/// Writes down what the player reports, and when.
struct Recorder : MoxPlayerObserver {
    void OnItemPlayed(const MoxAudioItem& item, DWORD index, DWORD repetition,
                      bool started) override {
        std::lock_guard lock(mutex);
        seen.push_back(item.GetName() + " " + std::to_string(index) + "/" +
                       std::to_string(repetition) + (started ? "" : " failed"));
        times.push_back(std::chrono::steady_clock::now());
    }
    std::size_t count() {
        std::lock_guard lock(mutex);
        return seen.size();
    }
    std::mutex mutex;
    Log seen;
    std::vector<std::chrono::steady_clock::time_point> times;
};

class MoxPlayListPlayerTest : public ::testing::Test {
protected:
    MoxPlayListPlayerTest() { device.attach(player); }
    // The player stops first, while its list and device still exist, whatever a failed
    // assertion left playing.
    ~MoxPlayListPlayerTest() override {
        player.Stop();
        device.detach();
    }

    /// A list of wave items named and repeated as given; the fixture keeps it.
    MoxPlayList* makeList(const std::vector<std::pair<std::string, DWORD>>& items,
                          DWORD listLoops) {
        auto list = std::make_unique<MoxPlayList>();
        for (const auto& [name, loops] : items) {
            auto item = std::make_unique<MoxWav>(MoxItemOutput{&device, nullptr}, name);
            item->SetLoopCount(loops);
            list->Add(std::move(item));
        }
        list->SetLoopCount(listLoops);
        lists.push_back(std::move(list));
        return lists.back().get();
    }

    /// Waits until pred holds; false after a generous timeout.
    static bool waitFor(const std::function<bool()>& pred) {
        for (int i = 0; i < 5000 && !pred(); ++i) {
            std::this_thread::sleep_for(2ms);
        }
        return pred();
    }

    ScriptedDevice device;
    std::vector<std::unique_ptr<MoxPlayList>> lists;
    Recorder recorder;
    std::atomic<int> beats{0};
    MoxPlayListPlayer player;
};

constexpr DWORD kEndless = 0xFFFFFFFF;

TEST_F(MoxPlayListPlayerTest, LoopCountsOfItemsAndListGiveTheSequence) {
    struct Case {
        std::vector<std::pair<std::string, DWORD>> items;
        DWORD listLoops;
        int finishes;
        Log expected;
    };
    const std::vector<Case> cases = {
        {{{"a", 2}, {"b", 1}}, 1, 3, {"play a", "stop", "play a", "stop", "play b", "stop"}},
        {{{"a", 1}, {"b", 0}}, 2, 2, {"play a", "stop", "play a", "stop"}},
        {{{"a", 0}, {"b", 1}}, 1, 1, {"play b", "stop"}},
        {{{"a", 1}}, 0, 0, {}},
        // Without end it wraps around; the Stop ends the sixth item.
        {{{"a", 1}, {"b", 1}},
         kEndless,
         5,
         {"play a", "stop", "play b", "stop", "play a", "stop", "play b", "stop", "play a", "stop",
          "play b", "stop"}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const Case& c = cases[i];
        player.SetPlayList(makeList(c.items, c.listLoops));
        player.Start();
        for (int n = 0; n < c.finishes; ++n) {
            device.finishCurrent();
        }
        if (c.listLoops == kEndless) {
            ASSERT_TRUE(device.waitForEntries(c.expected.size() - 1));
        } else {
            ASSERT_TRUE(waitFor([this] { return !player.IsPlaying(); }));
        }
        player.Stop(); // after a list played out: returns and does nothing
        EXPECT_FALSE(player.IsPlaying());
        EXPECT_EQ(device.takeLog(), c.expected);
    }
}

// Start while playing or without a list, and Stop while idle, do nothing; Stop returns once
// the item is stopped; the next Start begins again at the top of the list it was given.
TEST_F(MoxPlayListPlayerTest, StartAndStopDoOnlyWhatTheStateAllows) {
    player.Start();
    EXPECT_FALSE(player.IsPlaying()) << "no list: returns at once";
    player.Stop();
    player.SetPlayList(makeList({{"a", 1}, {"b", 1}}, kEndless));
    player.Start();
    player.Start();
    device.finishCurrent();
    ASSERT_TRUE(device.waitForEntries(3)); // a ended, b playing
    player.Stop();
    EXPECT_EQ(device.log(), (Log{"play a", "stop", "play b", "stop"}));
    player.SetPlayList(makeList({{"c", 1}, {"d", 1}}, kEndless));
    player.Start();
    ASSERT_TRUE(device.waitForEntries(5));
    player.Stop();
    EXPECT_EQ(device.log(), (Log{"play a", "stop", "play b", "stop", "play c", "stop"}));
}

// Aborted and superseded notices (a stop, a replaced command) are not an item's end, nor is an
// end told before the start. The worker beats while it waits on an item, and it beats twice in
// a row only when a wait ran out with no end counted: after two beats the notices were seen.
TEST_F(MoxPlayListPlayerTest, OnlyASuccessOrFailureNoticeEndsTheItem) {
    player.ItemFinished();
    player.SetHeartbeat([this] { ++beats; }, 1ms);
    player.SetPlayList(makeList({{"a", 1}, {"b", 1}}, 1));
    player.Start();
    ASSERT_TRUE(device.waitForEntries(1));
    player.OnCompletionNotice(0x0004); // aborted
    player.OnCompletionNotice(0x0002); // superseded
    const int seen = beats;
    ASSERT_TRUE(waitFor([&] { return beats >= seen + 2; }));
    EXPECT_EQ(device.log(), (Log{"play a"}));
    player.OnCompletionNotice(0x0008); // failure: playback broke off
    ASSERT_TRUE(device.waitForEntries(3));
    player.Stop();
    EXPECT_EQ(device.log(), (Log{"play a", "stop", "play b", "stop"}));
}

TEST_F(MoxPlayListPlayerTest, ItemsThatDoNotStartArePassedOverAndReportedToTheObserver) {
    player.SetObserver(&recorder);
    device.failOn("missing");
    player.SetPlayList(makeList({{"a", 2}, {"missing", 3}, {"b", 1}}, 1));
    player.Start();
    for (int i = 0; i < 3; ++i) {
        device.finishCurrent();
    }
    ASSERT_TRUE(waitFor([this] { return !player.IsPlaying(); }));
    EXPECT_EQ(device.log(),
              (Log{"play a", "stop", "play a", "stop", "play missing", "stop", "play b", "stop"}));
    EXPECT_EQ(recorder.seen, (Log{"a 0/0", "a 0/1", "missing 1/0 failed", "b 2/0"}));
}

// A pass that started nothing is followed by a pause, so that a list of missing files does not
// spin. The gap is bounded from below only: a slow machine widens it.
TEST_F(MoxPlayListPlayerTest, AListOfMissingFilesPausesBetweenPasses) {
    player.SetObserver(&recorder);
    device.failOn("x");
    device.failOn("y");
    player.SetPlayList(makeList({{"x", 1}, {"y", 1}}, kEndless));
    player.Start();
    ASSERT_TRUE(waitFor([this] { return recorder.count() >= 3; }));
    player.Stop();
    std::lock_guard lock(recorder.mutex);
    EXPECT_EQ(Log(recorder.seen.begin(), recorder.seen.begin() + 3),
              (Log{"x 0/0 failed", "y 1/0 failed", "x 0/0 failed"}));
    EXPECT_GE(recorder.times[2] - recorder.times[1], MoxPlayListPlayer::idlePassPause);
}

// Stop at random moments against a worker that moves from item to item as fast as the
// notices come: between repetitions, between items, while starting. Every Stop must return
// promptly and leave no item sounding, and no notice of a stopped round may end an item of
// the next one.
TEST_F(MoxPlayListPlayerTest, StopAtRandomMomentsAlwaysReturns) {
    device.finish = ScriptedDevice::Finish::immediately;
    MoxPlayList* list = makeList({{"a", 2}, {"b", 0}, {"c", 1}, {"d", 3}}, 0xFFFFFFFF);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pause(0, 300);
    for (int i = 0; i < 3000; ++i) {
        player.SetPlayList(list);
        player.Start();
        std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
        device.stopping = true;
        auto stopped = std::async(std::launch::async, [&] { player.Stop(); });
        ASSERT_EQ(stopped.wait_for(60s), std::future_status::ready) << "Stop hung in round " << i;
        device.stopping = false;
        ASSERT_FALSE(player.IsPlaying());
        const Log round = device.takeLog();
        ASSERT_TRUE(round.empty() || round.back() == "stop")
            << "an item was left sounding in round " << i;
        ASSERT_EQ(device.cutShort, 0) << "an item ended without its notice in round " << i;
    }
}

// With a player that cues: a near end cues what follows (the same item while its loop count
// lasts, the first item at the wrap), the end promotes the cue instead of starting anew, a
// cue that fails is passed over, and Stop takes the cue back with the item.
TEST_F(MoxPlayListPlayerTest, NearEndsCueWhatFollowsAndStopTakesTheCueBack) {
    device.cues = true;
    device.failOn("gone");
    player.SetPlayList(makeList({{"a", 2}, {"gone", 1}, {"b", 1}}, 0xFFFFFFFF));
    player.Start();
    ASSERT_TRUE(device.waitForEntries(1));
    const WPARAM nearEnd = 0x0010;
    const WPARAM ended = 0x0001;
    const std::vector<std::pair<WPARAM, Log>> steps = {
        {nearEnd, {"cue a"}},
        {ended, {"promote"}},
        {nearEnd, {"cue gone", "cue b"}}, // passed over: b follows a
        {ended, {"promote"}},
        {nearEnd, {"cue a"}}, // the wrap
        {ended, {"promote"}},
        {nearEnd, {"cue a"}},
    };
    std::size_t entries = device.log().size();
    for (const auto& [code, expected] : steps) {
        device.notice(code);
        entries += expected.size();
        ASSERT_TRUE(device.waitForEntries(entries));
        const Log log = device.log();
        EXPECT_EQ(Log(log.end() - static_cast<long>(expected.size()), log.end()), expected);
    }
    player.Stop();
    const Log log = device.log();
    EXPECT_EQ(Log(log.end() - 2, log.end()), (Log{"uncue", "stop"}));
    EXPECT_EQ(log.front(), "play a") << "only the first item was started anew";
}

} // namespace
