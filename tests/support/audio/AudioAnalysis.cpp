#include "tests/support/audio/AudioAnalysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <utility>

namespace testaudio {

std::vector<float> Channel(const std::vector<float>& frames, int channel, int channels) {
    const auto n = static_cast<std::size_t>(channels);
    std::vector<float> out(frames.size() / n);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = frames[i * n + static_cast<std::size_t>(channel)];
    }
    return out;
}

std::vector<float> Slice(const std::vector<float>& mono, std::size_t first, std::size_t count) {
    first = std::min(first, mono.size());
    count = std::min(count, mono.size() - first);
    const auto from = mono.begin() + static_cast<std::ptrdiff_t>(first);
    return std::vector<float>(from, from + static_cast<std::ptrdiff_t>(count));
}

double Rms(const std::vector<float>& mono) {
    const double sum =
        std::inner_product(mono.begin(), mono.end(), mono.begin(), 0.0, std::plus<>(),
                           [](float a, float b) { return 1.0 * a * b; });
    return mono.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(mono.size()));
}

double Peak(const std::vector<float>& mono) {
    return std::accumulate(mono.begin(), mono.end(), 0.0,
                           [](double peak, float x) { return std::max(peak, std::fabs(1.0 * x)); });
}

double RmsDb(const std::vector<float>& mono) {
    const double rms = Rms(mono);
    return rms > 1e-10 ? 20.0 * std::log10(rms) : -200.0;
}

double ZeroCrossingFrequency(const std::vector<float>& mono, int rate) {
    // A crossing counts only after the signal went below -10 % of its peak since the last
    // one, so noise around zero (8-bit files, dither) does not add crossings.
    const double hysteresis = 0.1 * Peak(mono);
    double first = -1.0;
    double last = -1.0;
    int crossings = 0;
    bool armed = false;
    for (std::size_t i = 1; i < mono.size(); ++i) {
        armed = armed || mono[i - 1] < -hysteresis;
        if (armed && mono[i - 1] < 0.0f && mono[i] >= 0.0f) {
            last = static_cast<double>(i - 1) +
                   static_cast<double>(-mono[i - 1]) / static_cast<double>(mono[i] - mono[i - 1]);
            first = first < 0.0 ? last : first;
            ++crossings;
            armed = false;
        }
    }
    return crossings < 2 || hysteresis <= 0.0 ? 0.0 : (crossings - 1) * rate / (last - first);
}

double MedianFrequency(const std::vector<float>& mono, int rate) {
    const auto window = static_cast<std::size_t>(rate / 10);
    if (mono.size() < 2 * window) {
        return ZeroCrossingFrequency(mono, rate);
    }
    std::vector<double> estimates;
    for (std::size_t first = 0; first + window <= mono.size(); first += window) {
        estimates.push_back(ZeroCrossingFrequency(Slice(mono, first, window), rate));
    }
    const auto middle = estimates.begin() + static_cast<std::ptrdiff_t>(estimates.size() / 2);
    std::nth_element(estimates.begin(), middle, estimates.end());
    return *middle;
}

double GoertzelPower(const std::vector<float>& mono, int rate, double frequency) {
    const double coeff = 2.0 * std::cos(2.0 * std::numbers::pi * frequency / rate);
    double s1 = 0.0;
    double s2 = 0.0;
    for (float x : mono) {
        s2 = std::exchange(s1, x + coeff * s1 - s2);
    }
    const auto n = static_cast<double>(mono.size());
    return mono.empty() ? 0.0 : 2.0 * (s1 * s1 + s2 * s2 - coeff * s1 * s2) / (n * n);
}

std::vector<Segment> FindSegments(const std::vector<float>& mono, int rate, double thresholdDb,
                                  double minGapSeconds, double minSoundSeconds) {
    const std::size_t window = std::max<std::size_t>(1, static_cast<std::size_t>(rate) / 200);
    const auto minGap = static_cast<std::size_t>(minGapSeconds * rate) + window;
    // Windows whose RMS reaches the threshold, joined across gaps of at most minGap.
    std::vector<Segment> loud;
    for (std::size_t first = 0; first < mono.size(); first += window) {
        const std::size_t end = std::min(mono.size(), first + window);
        if (RmsDb(Slice(mono, first, window)) < thresholdDb) {
            continue;
        }
        if (!loud.empty() && first - loud.back().end <= minGap) {
            loud.back().end = end;
        } else {
            loud.push_back({first, end});
        }
    }
    // Edges refined to the first and last sample within a window of them that swings above a
    // sine's peak at half the threshold's RMS; blips shorter than minSoundSeconds dropped.
    const double edge = std::pow(10.0, thresholdDb / 20.0) * std::sqrt(2.0) * 0.5;
    const auto swings = [&](std::size_t i) { return std::fabs(mono[i]) >= edge; };
    std::vector<Segment> out;
    for (Segment s : loud) {
        const std::size_t firstEnd = std::min(mono.size(), s.first + window);
        std::size_t first = s.first >= window ? s.first - window : 0;
        while (first < firstEnd && !swings(first)) {
            ++first;
        }
        const std::size_t lastLow = s.end > window ? s.end - window : 0;
        std::size_t end = std::min(mono.size(), s.end + window);
        while (end > lastLow && !swings(end - 1)) {
            --end;
        }
        s.first = first < firstEnd ? first : s.first;
        s.end = std::max(end > lastLow ? end : s.end, s.first);
        if (s.end - s.first < static_cast<std::size_t>(minSoundSeconds * rate)) {
            continue;
        }
        const std::size_t length = s.end - s.first;
        const std::vector<float> middle = Slice(mono, s.first + length / 10, length * 8 / 10);
        s.frequency = MedianFrequency(middle, rate);
        s.rmsDb = RmsDb(middle);
        out.push_back(s);
    }
    return out;
}

} // namespace testaudio
