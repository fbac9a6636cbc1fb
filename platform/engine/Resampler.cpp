#include "platform/engine/Resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {
double BesselI0(double x) {
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < sum * 1e-12) {
            break;
        }
    }
    return sum;
}
} // namespace

Resampler::Resampler(int inRate, int outRate)
    : m_inRate(inRate)
    , m_outRate(outRate) {
    double ratio = std::min(1.0, static_cast<double>(outRate) / inRate);
    double cutoff = kCutoff * ratio; // relative to the input Nyquist frequency
    m_halfWidth = static_cast<int>(std::ceil(kZeroCrossings / ratio));
    m_tableStep = 1.0 / kPhases;
    std::size_t size = static_cast<std::size_t>(m_halfWidth) * kPhases * 2 + 2;
    m_table.resize(size);
    double norm = BesselI0(kKaiserBeta);
    for (std::size_t i = 0; i < size; ++i) {
        double t = static_cast<double>(i) * m_tableStep - m_halfWidth;
        double r = t / m_halfWidth;
        double window =
            std::fabs(r) >= 1.0 ? 0.0 : BesselI0(kKaiserBeta * std::sqrt(1 - r * r)) / norm;
        double x = std::numbers::pi * cutoff * t;
        double sinc = std::fabs(x) < 1e-12 ? 1.0 : std::sin(x) / x;
        m_table[i] = static_cast<float>(cutoff * sinc * window);
    }
    // The leading silence that the first output frames look back into.
    m_bufferStart = -m_halfWidth;
    m_bufferFrames = static_cast<std::size_t>(m_halfWidth);
    m_buffer.assign(m_bufferFrames * 2, 0.0f);
}

float* Resampler::Input(std::size_t frames) {
    // Drop input that no future output frame can reach.
    std::int64_t centre =
        static_cast<std::int64_t>((m_outputFrames * static_cast<std::uint64_t>(m_inRate)) /
                                  static_cast<std::uint64_t>(m_outRate));
    std::int64_t keepFrom = centre - m_halfWidth;
    if (keepFrom > m_bufferStart + 4096) {
        std::size_t drop = static_cast<std::size_t>(keepFrom - m_bufferStart);
        drop = std::min(drop, m_bufferFrames);
        std::memmove(m_buffer.data(), m_buffer.data() + drop * 2,
                     (m_bufferFrames - drop) * 2 * sizeof(float));
        m_bufferFrames -= drop;
        m_bufferStart += static_cast<std::int64_t>(drop);
    }
    if (m_buffer.size() < (m_bufferFrames + frames) * 2) {
        m_buffer.resize((m_bufferFrames + frames) * 2);
    }
    return m_buffer.data() + m_bufferFrames * 2;
}

void Resampler::CommitInput(std::size_t frames) {
    m_bufferFrames += frames;
    m_inputFrames += frames;
}

std::uint64_t Resampler::TotalOutput() const {
    std::uint64_t num = m_inputFrames * static_cast<std::uint64_t>(m_outRate);
    return (num + static_cast<std::uint64_t>(m_inRate) - 1) / static_cast<std::uint64_t>(m_inRate);
}

bool Resampler::Finished() const {
    return m_inputEnded && m_outputFrames >= TotalOutput();
}

std::size_t Resampler::InputWanted() const {
    if (m_inputEnded) {
        return 0;
    }
    std::uint64_t num = m_outputFrames * static_cast<std::uint64_t>(m_inRate);
    std::int64_t centre = static_cast<std::int64_t>(num / static_cast<std::uint64_t>(m_outRate));
    std::int64_t needEnd = centre + m_halfWidth + 1; // one past the last input frame needed
    std::int64_t have = m_bufferStart + static_cast<std::int64_t>(m_bufferFrames);
    return needEnd > have ? static_cast<std::size_t>(needEnd - have) : 0;
}

std::size_t Resampler::Process(float* out, std::size_t frames) {
    const auto inRate = static_cast<std::uint64_t>(m_inRate);
    const auto outRate = static_cast<std::uint64_t>(m_outRate);
    const std::int64_t have = m_bufferStart + static_cast<std::int64_t>(m_bufferFrames);
    const std::uint64_t total = m_inputEnded ? TotalOutput() : UINT64_MAX;
    std::size_t made = 0;
    while (made < frames && m_outputFrames < total) {
        std::uint64_t num = m_outputFrames * inRate;
        auto centre = static_cast<std::int64_t>(num / outRate);
        double frac = static_cast<double>(num % outRate) / static_cast<double>(outRate);
        std::int64_t first = centre - m_halfWidth + 1;
        std::int64_t last = centre + m_halfWidth; // inclusive
        if (last >= have && !m_inputEnded) {
            break;
        }
        // Kernel argument for input frame k is (k - centre - frac); the table index of the
        // first tap, and each next tap is kPhases entries further on.
        double pos = (static_cast<double>(first - centre) - frac + m_halfWidth) * kPhases;
        auto index = static_cast<std::int64_t>(pos);
        auto alpha = static_cast<float>(pos - static_cast<double>(index));
        float left = 0.0f;
        float right = 0.0f;
        std::int64_t stop = std::min(last, have - 1);
        for (std::int64_t k = first; k <= stop; ++k, index += kPhases) {
            const float* t = &m_table[static_cast<std::size_t>(index)];
            float c = t[0] + alpha * (t[1] - t[0]);
            const float* x = &m_buffer[static_cast<std::size_t>(k - m_bufferStart) * 2];
            left += c * x[0];
            right += c * x[1];
        }
        out[made * 2] = left;
        out[made * 2 + 1] = right;
        ++made;
        ++m_outputFrames;
    }
    return made;
}
