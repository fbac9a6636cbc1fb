#include "tests/support/audio/AudioAnalysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace testaudio {

std::vector<float> Channel(const std::vector<float>& stereo, int channel) {
    std::vector<float> out(stereo.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = stereo[i * 2 + static_cast<std::size_t>(channel)];
    }
    return out;
}

std::vector<float> Slice(const std::vector<float>& mono, std::size_t first, std::size_t count) {
    if (first >= mono.size()) {
        return {};
    }
    std::size_t end = std::min(mono.size(), first + count);
    return std::vector<float>(mono.begin() + static_cast<std::ptrdiff_t>(first),
                              mono.begin() + static_cast<std::ptrdiff_t>(end));
}

double Rms(const std::vector<float>& mono) {
    if (mono.empty()) {
        return 0.0;
    }
    double sum = 0.0;
    for (float x : mono) {
        sum += static_cast<double>(x) * x;
    }
    return std::sqrt(sum / static_cast<double>(mono.size()));
}

double Peak(const std::vector<float>& mono) {
    double peak = 0.0;
    for (float x : mono) {
        peak = std::max(peak, static_cast<double>(std::fabs(x)));
    }
    return peak;
}

double RmsDb(const std::vector<float>& mono) {
    double rms = Rms(mono);
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
        if (mono[i - 1] < -hysteresis) {
            armed = true;
        }
        if (armed && mono[i - 1] < 0.0f && mono[i] >= 0.0f) {
            double t = static_cast<double>(i - 1) + static_cast<double>(-mono[i - 1]) /
                                                        static_cast<double>(mono[i] - mono[i - 1]);
            if (first < 0.0) {
                first = t;
            }
            last = t;
            ++crossings;
            armed = false;
        }
    }
    if (crossings < 2 || hysteresis <= 0.0) {
        return 0.0;
    }
    return (crossings - 1) * rate / (last - first);
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
    std::nth_element(estimates.begin(),
                     estimates.begin() + static_cast<std::ptrdiff_t>(estimates.size() / 2),
                     estimates.end());
    return estimates[estimates.size() / 2];
}

double GoertzelPower(const std::vector<float>& mono, int rate, double frequency) {
    if (mono.empty()) {
        return 0.0;
    }
    double w = 2.0 * std::numbers::pi * frequency / rate;
    double coeff = 2.0 * std::cos(w);
    double s1 = 0.0;
    double s2 = 0.0;
    for (float x : mono) {
        double s = x + coeff * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    auto n = static_cast<double>(mono.size());
    return 2.0 * power / (n * n);
}

std::vector<Segment> FindSegments(const std::vector<float>& mono, int rate, double thresholdDb,
                                  double minGapSeconds, double minSoundSeconds) {
    const std::size_t window = std::max<std::size_t>(1, static_cast<std::size_t>(rate) / 200);
    const double threshold = std::pow(10.0, thresholdDb / 20.0);
    std::vector<Segment> raw;
    bool inSound = false;
    Segment current;
    for (std::size_t w = 0; w * window < mono.size(); ++w) {
        std::size_t first = w * window;
        std::size_t end = std::min(mono.size(), first + window);
        double sum = 0.0;
        for (std::size_t i = first; i < end; ++i) {
            sum += static_cast<double>(mono[i]) * mono[i];
        }
        bool loud = std::sqrt(sum / static_cast<double>(end - first)) >= threshold;
        if (loud && !inSound) {
            current = Segment{};
            current.first = first;
            inSound = true;
        } else if (!loud && inSound) {
            current.end = first;
            raw.push_back(current);
            inSound = false;
        }
    }
    if (inSound) {
        current.end = mono.size();
        raw.push_back(current);
    }
    // Bridge short gaps, drop short blips.
    std::vector<Segment> merged;
    auto minGap = static_cast<std::size_t>(minGapSeconds * rate);
    for (const auto& s : raw) {
        if (!merged.empty() && s.first - merged.back().end <= minGap + window) {
            merged.back().end = s.end;
        } else {
            merged.push_back(s);
        }
    }
    std::vector<Segment> out;
    auto minSound = static_cast<std::size_t>(minSoundSeconds * rate);
    double edge = threshold * std::sqrt(2.0) * 0.5; // a sine's peak when its RMS is half of it
    for (auto s : merged) {
        // Refine edges to single samples: the first/last sample that swings above edge.
        std::size_t lo = s.first >= window ? s.first - window : 0;
        std::size_t hi = std::min(mono.size(), s.end + window);
        std::size_t first = s.first;
        for (std::size_t i = lo; i < std::min(hi, s.first + window); ++i) {
            if (std::fabs(mono[i]) >= edge) {
                first = i;
                break;
            }
        }
        std::size_t end = s.end;
        for (std::size_t i = hi; i > (s.end > window ? s.end - window : 0); --i) {
            if (std::fabs(mono[i - 1]) >= edge) {
                end = i;
                break;
            }
        }
        s.first = first;
        s.end = std::max(end, first);
        if (s.end - s.first < minSound) {
            continue;
        }
        std::size_t length = s.end - s.first;
        std::vector<float> middle = Slice(mono, s.first + length / 10, length * 8 / 10);
        s.frequency = MedianFrequency(middle, rate);
        s.rmsDb = RmsDb(middle);
        out.push_back(s);
    }
    return out;
}

} // namespace testaudio
