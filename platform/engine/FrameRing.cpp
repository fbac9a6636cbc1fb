#include "platform/engine/FrameRing.h"

#include <algorithm>
#include <cstring>

namespace {
std::size_t RoundUpPowerOfTwo(std::size_t n) {
    std::size_t p = 1;
    while (p < n) {
        p <<= 1;
    }
    return p;
}
} // namespace

FrameRing::FrameRing(std::size_t capacityFrames)
    : m_capacity(RoundUpPowerOfTwo(std::max<std::size_t>(capacityFrames, 2)))
    , m_mask(m_capacity - 1)
    , m_data(new float[m_capacity * 2]()) {}

std::size_t FrameRing::Writable() const {
    return m_capacity -
           (m_write.load(std::memory_order_relaxed) - m_read.load(std::memory_order_acquire));
}

std::size_t FrameRing::Readable() const {
    return m_write.load(std::memory_order_acquire) - m_read.load(std::memory_order_relaxed);
}

std::size_t FrameRing::Write(const float* stereo, std::size_t frames) {
    std::size_t write = m_write.load(std::memory_order_relaxed);
    std::size_t n = std::min(frames, Writable());
    std::size_t first = std::min(n, m_capacity - (write & m_mask));
    std::memcpy(&m_data[(write & m_mask) * 2], stereo, first * 2 * sizeof(float));
    std::memcpy(&m_data[0], stereo + first * 2, (n - first) * 2 * sizeof(float));
    m_write.store(write + n, std::memory_order_release);
    return n;
}

std::size_t FrameRing::MixInto(float* out, std::size_t frames, float gainLeft, float gainRight) {
    std::size_t read = m_read.load(std::memory_order_relaxed);
    std::size_t n = std::min(frames, Readable());
    std::size_t done = 0;
    while (done < n) {
        std::size_t at = (read + done) & m_mask;
        std::size_t run = std::min(n - done, m_capacity - at);
        const float* src = &m_data[at * 2];
        float* dst = out + done * 2;
        for (std::size_t i = 0; i < run; ++i) {
            dst[2 * i] += src[2 * i] * gainLeft;
            dst[2 * i + 1] += src[2 * i + 1] * gainRight;
        }
        done += run;
    }
    m_read.store(read + n, std::memory_order_release);
    return n;
}

std::size_t FrameRing::Read(float* out, std::size_t frames) {
    std::size_t read = m_read.load(std::memory_order_relaxed);
    std::size_t n = std::min(frames, Readable());
    std::size_t first = std::min(n, m_capacity - (read & m_mask));
    std::memcpy(out, &m_data[(read & m_mask) * 2], first * 2 * sizeof(float));
    std::memcpy(out + first * 2, &m_data[0], (n - first) * 2 * sizeof(float));
    m_read.store(read + n, std::memory_order_release);
    return n;
}
