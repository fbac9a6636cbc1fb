#include "platform/engine/FrameRing.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

TEST(FrameRingTest, WrapsAroundAndMixesWithGains) {
    FrameRing ring(8);
    ASSERT_EQ(ring.Capacity(), 8u);
    std::vector<float> in(40);
    for (std::size_t i = 0; i < in.size(); ++i) {
        in[i] = static_cast<float>(i);
    }
    EXPECT_EQ(ring.Write(in.data(), 6), 6u);
    std::vector<float> out(8, 1.0f);
    EXPECT_EQ(ring.MixInto(out.data(), 4, 2.0f, 0.5f), 4u);
    EXPECT_EQ(out, (std::vector<float>{1, 1.5f, 5, 2.5f, 9, 3.5f, 13, 4.5f}));
    // Two frames are left; six more fit, wrapping past the end of the storage.
    EXPECT_EQ(ring.Write(in.data() + 12, 8), 6u);
    EXPECT_EQ(ring.Writable(), 0u);
    std::vector<float> all(16);
    EXPECT_EQ(ring.Read(all.data(), 10), 8u);
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i], static_cast<float>(8 + i)) << i;
    }
    EXPECT_EQ(ring.Readable(), 0u);
}

TEST(FrameRingTest, HandsEveryFrameOverInOrderBetweenThreads) {
    FrameRing ring(1024);
    constexpr std::size_t kFrames = 2'000'000;
    std::thread producer([&] {
        std::mt19937 random(1);
        std::vector<float> block(2 * 300);
        std::size_t next = 0;
        while (next < kFrames) {
            std::size_t n = std::min<std::size_t>(random() % 300 + 1, kFrames - next);
            for (std::size_t i = 0; i < n; ++i) {
                block[2 * i] = static_cast<float>((next + i) % 65536);
                block[2 * i + 1] = -static_cast<float>((next + i) % 65536);
            }
            std::size_t written = 0;
            while (written < n) {
                written += ring.Write(block.data() + 2 * written, n - written);
                if (written < n) {
                    std::this_thread::yield();
                }
            }
            next += n;
        }
    });
    std::mt19937 random(2);
    std::vector<float> out(2 * 500);
    std::size_t next = 0;
    bool inOrder = true;
    while (next < kFrames) {
        std::size_t got = ring.Read(out.data(), random() % 500 + 1);
        for (std::size_t i = 0; i < got && inOrder; ++i) {
            auto want = static_cast<float>((next + i) % 65536);
            inOrder = out[2 * i] == want && out[2 * i + 1] == -want;
        }
        next += got;
        if (got == 0) {
            std::this_thread::yield();
        }
    }
    producer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(ring.Readable(), 0u);
}
