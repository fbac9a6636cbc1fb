#include "app/QueueWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

TEST(QueueWindowTest, HandsOutMessagesInOrderOnItsOwnThread) {
    std::mutex mutex;
    std::vector<LPARAM> seen[2];
    std::atomic<int> onCallerThread{0};
    const auto caller = std::this_thread::get_id();
    {
        QueueWindow window([&](UINT, WPARAM wParam, LPARAM lParam) {
            if (std::this_thread::get_id() == caller) {
                ++onCallerThread;
            }
            std::lock_guard lock(mutex);
            seen[wParam].push_back(lParam);
        });
        std::vector<std::thread> posters;
        for (WPARAM poster = 0; poster < 2; ++poster) {
            posters.emplace_back([&window, poster] {
                for (LPARAM i = 0; i < 5000; ++i) {
                    window.PostMessage(1, poster, i);
                }
            });
        }
        for (auto& poster : posters) {
            poster.join();
        }
    } // the destructor hands out what is still queued
    EXPECT_EQ(onCallerThread, 0);
    for (const auto& fromOneThread : seen) {
        ASSERT_EQ(fromOneThread.size(), 5000u);
        for (LPARAM i = 0; i < 5000; ++i) {
            ASSERT_EQ(fromOneThread[static_cast<std::size_t>(i)], i) << "order kept per poster";
        }
    }
}

} // namespace
