#include "model/MoxEvent.h"
#include "model/MoxItemDevice.h"
#include "model/MoxLock.h"
#include "model/MoxLockGuard.h"
#include "model/MoxPlayList.h"
#include "model/MoxWav.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Two threads update a plain counter in two steps under a lock entered twice. A lock that let
// go at the first Leave would let the other thread in between the steps and lose updates.
TEST(MoxLockTest, IsReentrantAndHeldUntilLeftAsOftenAsEntered) {
    MoxLock lock;
    long counter = 0;
    constexpr int rounds = 20000;
    const auto work = [&] {
        for (int i = 0; i < rounds; ++i) {
            MoxLockGuard outer(lock);
            lock.Enter();
            ++counter;
            lock.Leave();
            const long seen = counter;
            std::this_thread::yield();
            counter = seen + 1;
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 4L * rounds);
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

struct CountingDevice : MoxItemDevice {
    bool IsReady() const override { return true; }
    bool Play(const std::string&) override { return ++plays > 0; }
    void Stop() override { ++stops; }
    std::atomic<int> plays{0};
    std::atomic<int> stops{0};
};

// The worker starts and stops items while the interface thread holds the list, as the editor
// does while it reads it: nothing may start or stop in between.
TEST(MoxPlayListLockTest, NoItemStartsOrStopsWhileAnotherThreadHoldsTheList) {
    CountingDevice wave;
    MoxPlayList list;
    for (int i = 0; i < 4; ++i) {
        list.Add(
            std::make_unique<MoxWav>(MoxItemOutput{&wave, nullptr}, std::to_string(i) + ".wav"));
    }
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (DWORD i = 0; !done; ++i) {
            list.SetCurrent(i % 4);
            list.PlayCurrent();
            list.StopCurrent();
        }
    });
    int held = 0;
    int changedWhileHeld = 0;
    // Both sides must have done real work side by side before the verdict.
    while (held < 200 || wave.stops < 200) {
        list.Enter();
        const int plays = wave.plays;
        const int stops = wave.stops;
        for (int k = 0; k < 50; ++k) {
            std::this_thread::yield();
        }
        changedWhileHeld += wave.plays != plays || wave.stops != stops;
        list.Leave();
        ++held;
        std::this_thread::yield(); // let the worker in
    }
    done = true;
    worker.join();
    EXPECT_EQ(changedWhileHeld, 0);
    EXPECT_EQ(wave.plays, wave.stops);
}

} // namespace
