#include "model/MoxEvent.h"
#include "model/MoxLock.h"
#include "model/MoxLockGuard.h"
#include "model/MoxPlayList.h"
#include "model/MoxWav.h"

#include "tests/model/TestDevices.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

TEST(MoxLockTest, IsReentrantAndKeepsOtherThreadsOutUntilLeftAsOftenAsEntered) {
    MoxLock lock;
    std::atomic<bool> entered{false};
    lock.Enter();
    lock.Enter();
    EXPECT_TRUE(lock.IsEntered());
    std::thread other([&] {
        MoxLockGuard guard(lock);
        entered = true;
    });
    std::this_thread::sleep_for(50ms);
    lock.Leave();
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(entered) << "still held once";
    lock.Leave();
    other.join();
    EXPECT_TRUE(entered);
    EXPECT_FALSE(lock.IsEntered());
}

TEST(MoxEventTest, ResetsItselfAsOneWaiterPassesAndWakesOtherThreads) {
    MoxEvent event;
    EXPECT_FALSE(event.WaitFor(10ms)) << "created not signalled";
    event.Set();
    event.Set(); // a second set before anyone waits is one signal
    EXPECT_TRUE(event.WaitFor(10ms));
    EXPECT_FALSE(event.WaitFor(10ms));
    event.Set();
    event.Reset();
    EXPECT_FALSE(event.WaitFor(10ms));
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        event.Set();
    });
    EXPECT_TRUE(event.Wait());
    setter.join();
}

TEST(MoxPlayListLockTest, ItemCallsWaitWhileAnotherThreadHoldsTheList) {
    TestOutputs t;
    MoxPlayList list(t.outputs());
    list.Add(std::make_unique<MoxWav>(t.outputs().wave, "a.wav"));
    list.SetCurrent(0);

    list.Enter(); // as the editor does while it works on the list
    std::thread worker([&] {
        list.PlayCurrent();
        list.StopCurrent();
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(t.wave.plays, 0);
    list.Leave();
    worker.join();
    EXPECT_EQ(t.wave.plays, 1);
    EXPECT_EQ(t.wave.stops, 1);
}

TEST(MoxPlayListLockTest, ConcurrentPlayStopAndReadsKeepTheFlagConsistent) {
    TestOutputs t;
    MoxPlayList list(t.outputs());
    for (int i = 0; i < 4; ++i) {
        list.Add(std::make_unique<MoxWav>(t.outputs().wave, std::to_string(i) + ".wav"));
    }
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            ASSERT_EQ(list.GetCount(), 4u);
            ASSERT_NE(list.ItemAt(3), nullptr);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        list.SetCurrent(static_cast<DWORD>(i % 4));
        list.PlayCurrent();
        list.StopCurrent();
    }
    done = true;
    reader.join();
    EXPECT_EQ(t.wave.plays, 2000);
    EXPECT_EQ(t.wave.stops, 2000);
}

} // namespace
