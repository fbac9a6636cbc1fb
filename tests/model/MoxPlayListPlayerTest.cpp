#include "model/MoxPlayListPlayer.h"

#include "model/MoxItemDevice.h"
#include "model/MoxMid.h"
#include "model/MoxPlayList.h"
#include "model/MoxPlayerObserver.h"
#include "model/MoxWav.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <random>
#include <set>
#include <thread>

using namespace std::chrono_literals;

namespace {

using Log = std::vector<std::string>;

// A player that behaves like the media players: Play starts the item, and its end is
// announced later, from another thread, through the player's completion path. The test
// decides when: at once, after a delay, or only when told.
class ScriptedDevice : public MoxItemDevice {
public:
    enum class Finish { onRequest, immediately };

    explicit ScriptedDevice(MoxPlayListPlayer& player)
        : m_player(player) {
        m_notifier = std::thread([this] { notifyLoop(); });
    }
    ~ScriptedDevice() override {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_changed.notify_all();
        m_notifier.join();
    }

    bool IsReady() const override { return true; }

    bool Play(const std::string& name) override {
        std::lock_guard lock(m_mutex);
        m_log.push_back("play " + name);
        ++m_plays;
        const bool starts = m_failing.count(name) == 0;
        if (starts && finish == Finish::immediately) {
            ++m_pendingNotices;
        }
        m_playing = starts;
        m_changed.notify_all();
        return starts;
    }

    void Stop() override {
        std::lock_guard lock(m_mutex);
        m_log.push_back("stop");
        m_playing = false;
        m_changed.notify_all();
    }

    /// Ends the item that started last, as its successful completion notice would; waits
    /// for the next start first when the last one was already ended.
    void finishCurrent() {
        ASSERT_TRUE(waitUntil([this] { return m_playing && m_plays > m_finished; }));
        ++m_finished;
        m_player.OnCompletionNotice(0x0001);
    }

    /// Waits until the log has at least n entries; false after a generous timeout.
    bool waitForEntries(std::size_t n) {
        return waitUntil([&] { return m_log.size() >= n; });
    }

    Log log() {
        std::lock_guard lock(m_mutex);
        return m_log;
    }
    std::string lastEntry() {
        std::lock_guard lock(m_mutex);
        return m_log.empty() ? std::string() : m_log.back();
    }
    int plays() {
        std::lock_guard lock(m_mutex);
        return m_plays;
    }
    void failOn(const std::string& name) {
        std::lock_guard lock(m_mutex);
        m_failing.insert(name);
    }

    std::atomic<Finish> finish{Finish::onRequest};

private:
    template <typename Pred>
    bool waitUntil(Pred pred) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 10s, pred);
    }

    void notifyLoop() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_quit || m_pendingNotices > 0; });
            if (m_quit) {
                return;
            }
            --m_pendingNotices;
            lock.unlock();
            m_player.OnCompletionNotice(0x0001);
            lock.lock();
        }
    }

    MoxPlayListPlayer& m_player;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Log m_log;
    int m_plays = 0;
    int m_finished = 0;
    int m_pendingNotices = 0;
    bool m_playing = false;
    bool m_quit = false;
    std::set<std::string> m_failing;
    std::thread m_notifier;
};

class MoxPlayListPlayerTest : public ::testing::Test {
protected:
    /// A list of wave items named and repeated as given.
    std::unique_ptr<MoxPlayList> makeList(const std::vector<std::pair<std::string, DWORD>>& items,
                                          DWORD listLoops) {
        auto list = std::make_unique<MoxPlayList>();
        for (const auto& [name, loops] : items) {
            auto item = std::make_unique<MoxWav>(MoxItemOutput{&device, nullptr}, name);
            item->SetLoopCount(loops);
            list->Add(std::move(item));
        }
        list->SetLoopCount(listLoops);
        return list;
    }

    /// Waits until the player has gone idle by itself.
    bool waitIdle() {
        for (int i = 0; i < 1000 && player.IsPlaying(); ++i) {
            std::this_thread::sleep_for(5ms);
        }
        return !player.IsPlaying();
    }

    MoxPlayListPlayer player;
    ScriptedDevice device{player};
};

TEST_F(MoxPlayListPlayerTest, PlaysEachItemItsLoopCountThenGoesIdle) {
    auto list = makeList({{"a", 2}, {"b", 1}}, 1);
    player.SetPlayList(list.get());
    player.Start();
    EXPECT_TRUE(player.IsPlaying());
    for (int i = 0; i < 3; ++i) {
        device.finishCurrent();
    }
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(device.log(), (Log{"play a", "stop", "play a", "stop", "play b", "stop"}));
    player.Stop(); // after the list played out: returns and does nothing
    EXPECT_EQ(device.log().size(), 6u);
}

TEST_F(MoxPlayListPlayerTest, ListLoopCountZeroPlaysNothing) {
    auto list = makeList({{"a", 1}}, 0);
    player.SetPlayList(list.get());
    player.Start();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(device.log().empty());
}

TEST_F(MoxPlayListPlayerTest, ItemsWithLoopCountZeroArePassedOver) {
    auto list = makeList({{"a", 0}, {"b", 1}}, 1);
    player.SetPlayList(list.get());
    player.Start();
    device.finishCurrent();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(device.log(), (Log{"play b", "stop"}));
}

TEST_F(MoxPlayListPlayerTest, EndlessListWrapsAroundUntilStopped) {
    auto list = makeList({{"a", 1}, {"b", 1}}, 0xFFFFFFFF);
    player.SetPlayList(list.get());
    player.Start();
    for (int i = 0; i < 5; ++i) {
        device.finishCurrent();
    }
    ASSERT_TRUE(device.waitForEntries(11));
    player.Stop();
    EXPECT_FALSE(player.IsPlaying());
    const Log log = device.log();
    EXPECT_EQ(Log(log.begin(), log.begin() + 12),
              (Log{"play a", "stop", "play b", "stop", "play a", "stop", "play b", "stop", "play a",
                   "stop", "play b", "stop"}));
    EXPECT_EQ(log.size(), 12u) << "Stop ended the sixth item and nothing more started";
}

TEST_F(MoxPlayListPlayerTest, StartWhilePlayingAndStopWhileIdleChangeNothing) {
    player.Stop();
    EXPECT_FALSE(player.IsPlaying());
    auto list = makeList({{"a", 1}}, 0xFFFFFFFF);
    player.SetPlayList(list.get());
    player.Start();
    ASSERT_TRUE(device.waitForEntries(1));
    player.Start();
    EXPECT_EQ(device.log(), (Log{"play a"}));
    player.Stop();
    EXPECT_EQ(device.log(), (Log{"play a", "stop"})) << "the item is stopped before Stop returns";
}

TEST_F(MoxPlayListPlayerTest, NextStartBeginsAgainAtTheFirstItem) {
    auto list = makeList({{"a", 1}, {"b", 1}}, 0xFFFFFFFF);
    player.SetPlayList(list.get());
    player.Start();
    device.finishCurrent();
    ASSERT_TRUE(device.waitForEntries(3)); // a ended, b playing
    player.Stop();
    auto next = makeList({{"c", 1}, {"d", 1}}, 0xFFFFFFFF);
    player.SetPlayList(next.get());
    player.Start();
    ASSERT_TRUE(device.waitForEntries(5));
    player.Stop();
    EXPECT_EQ(device.log(), (Log{"play a", "stop", "play b", "stop", "play c", "stop"}));
}

TEST_F(MoxPlayListPlayerTest, OnlySuccessfulOrFailedNoticesEndTheItem) {
    auto list = makeList({{"a", 1}, {"b", 1}}, 1);
    player.SetPlayList(list.get());
    player.Start();
    ASSERT_TRUE(device.waitForEntries(1));
    player.OnCompletionNotice(0x0004); // aborted
    player.OnCompletionNotice(0x0002); // superseded
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(device.log(), (Log{"play a"}));
    player.OnCompletionNotice(0x0008); // failure: playback broke off
    ASSERT_TRUE(device.waitForEntries(3));
    EXPECT_EQ(device.log(), (Log{"play a", "stop", "play b"}));
    player.Stop();
}

TEST_F(MoxPlayListPlayerTest, AStaleEndSignalDoesNotEndTheNextItem) {
    player.ItemFinished(); // a notice that arrives while nothing plays
    auto list = makeList({{"a", 1}, {"b", 1}}, 0xFFFFFFFF);
    player.SetPlayList(list.get());
    player.Start();
    ASSERT_TRUE(device.waitForEntries(1));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(device.log(), (Log{"play a"}));
    player.Stop();
}

TEST_F(MoxPlayListPlayerTest, ItemsThatDoNotStartArePassedOver) {
    device.failOn("missing");
    auto list = makeList({{"a", 1}, {"missing", 3}, {"b", 1}}, 1);
    player.SetPlayList(list.get());
    player.Start();
    device.finishCurrent();
    ASSERT_TRUE(device.waitForEntries(5));
    device.finishCurrent();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(device.log(), (Log{"play a", "stop", "play missing", "stop", "play b", "stop"}));
}

TEST_F(MoxPlayListPlayerTest, TheObserverHearsOfEveryStartAndFailure) {
    struct Recorder : MoxPlayerObserver {
        void OnItemPlayed(const MoxAudioItem& item, DWORD index, DWORD repetition,
                          bool started) override {
            std::lock_guard lock(mutex);
            seen.push_back(item.GetName() + " " + std::to_string(index) + "/" +
                           std::to_string(repetition) + (started ? "" : " failed"));
        }
        std::mutex mutex;
        Log seen;
    } recorder;
    player.SetObserver(&recorder);
    device.failOn("missing");
    auto list = makeList({{"a", 2}, {"missing", 2}, {"b", 1}}, 1);
    player.SetPlayList(list.get());
    player.Start();
    for (int i = 0; i < 3; ++i) {
        device.finishCurrent();
    }
    ASSERT_TRUE(waitIdle());
    player.SetObserver(nullptr);
    EXPECT_EQ(recorder.seen, (Log{"a 0/0", "a 0/1", "missing 1/0 failed", "b 2/0"}));
}

TEST_F(MoxPlayListPlayerTest, AListOfMissingFilesDoesNotSpin) {
    device.failOn("x");
    device.failOn("y");
    auto list = makeList({{"x", 1}, {"y", 1}}, 0xFFFFFFFF);
    player.SetPlayList(list.get());
    player.Start();
    std::this_thread::sleep_for(2500ms);
    const auto started = std::chrono::steady_clock::now();
    player.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 500ms) << "Stop cuts the pause short";
    // One pass per pause: three passes in 2.5 s, not thousands.
    EXPECT_GE(device.plays(), 4);
    EXPECT_LE(device.plays(), 8);
}

TEST_F(MoxPlayListPlayerTest, StartWithoutAListReturnsAtOnce) {
    player.Start();
    EXPECT_FALSE(player.IsPlaying());
    player.Stop();
}

TEST_F(MoxPlayListPlayerTest, DestroyingAPlayingPlayerStopsTheItem) {
    auto list = makeList({{"a", 1}}, 0xFFFFFFFF);
    {
        MoxPlayListPlayer local;
        ScriptedDevice localDevice(local);
        auto item = std::make_unique<MoxMid>(MoxItemOutput{&localDevice, nullptr}, "m");
        item->SetLoopCount(1);
        MoxPlayList localList;
        localList.Add(std::move(item));
        localList.SetLoopCount(0xFFFFFFFF);
        local.SetPlayList(&localList);
        local.Start();
        ASSERT_TRUE(localDevice.waitForEntries(1));
        local.Stop(); // the caller stops before the list goes, as the design requires
        EXPECT_EQ(localDevice.log(), (Log{"play m", "stop"}));
    }
    SUCCEED();
}

// Stop at random moments against a worker that moves from item to item as fast as the
// notices come: between repetitions, between items, while starting. Every Stop must return
// promptly and leave no item sounding.
TEST_F(MoxPlayListPlayerTest, StopAtRandomMomentsAlwaysReturns) {
    device.finish = ScriptedDevice::Finish::immediately;
    auto list = makeList({{"a", 2}, {"b", 0}, {"c", 1}, {"d", 3}}, 0xFFFFFFFF);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pause(0, 300);
    for (int i = 0; i < 3000; ++i) {
        player.SetPlayList(list.get());
        player.Start();
        std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
        auto stopped = std::async(std::launch::async, [&] { player.Stop(); });
        ASSERT_EQ(stopped.wait_for(5s), std::future_status::ready) << "Stop hung in round " << i;
        ASSERT_FALSE(player.IsPlaying());
        ASSERT_EQ(device.lastEntry(), "stop") << "an item was left sounding in round " << i;
    }
}

} // namespace
