#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

/// A lock-free single-producer single-consumer ring of interleaved stereo float frames.
///
/// One thread at a time writes (the engine's feeder, or whoever holds the source's lock while
/// prefilling), one reads (the audio callback). Indices count frames and only grow; the
/// capacity is a power of two so an index maps to a slot with a mask. Reading and writing never
/// block, allocate or wait.
class FrameRing {
public:
    /// capacity is rounded up to a power of two (frames).
    explicit FrameRing(std::size_t capacityFrames);

    FrameRing(const FrameRing&) = delete;
    FrameRing& operator=(const FrameRing&) = delete;

    std::size_t Capacity() const { return m_capacity; }

    /// Frames written since the ring was made (any thread may ask).
    std::size_t Written() const { return m_write.load(std::memory_order_acquire); }

    // Producer side.
    std::size_t Writable() const;
    /// Copies up to frames frames in; returns how many fitted.
    std::size_t Write(const float* stereo, std::size_t frames);

    // Consumer side.
    std::size_t Readable() const;
    /// Adds up to frames frames, times the left and right gains, into out (interleaved stereo)
    /// and consumes them. Returns how many were mixed.
    std::size_t MixInto(float* out, std::size_t frames, float gainLeft, float gainRight);
    /// Copies up to frames frames out and consumes them.
    std::size_t Read(float* out, std::size_t frames);

private:
    std::size_t m_capacity;
    std::size_t m_mask;
    std::unique_ptr<float[]> m_data;
    alignas(64) std::atomic<std::size_t> m_write{0};
    alignas(64) std::atomic<std::size_t> m_read{0};
};
