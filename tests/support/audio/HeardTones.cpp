#include "tests/support/audio/HeardTones.h"

#include "tests/support/audio/AudioAnalysis.h"

#include <algorithm>
#include <cmath>

namespace testaudio {

double HeardTone::RmsDb(int rate) const {
    return 10 * std::log10(energy / (seconds * rate));
}

std::vector<HeardTone> HeardTones(const std::vector<float>& mono, int rate,
                                  const std::vector<double>& tones, double thresholdDb) {
    const auto window = static_cast<std::size_t>(rate / 50);
    std::vector<HeardTone> out;
    for (const Segment& s : FindSegments(mono, rate, thresholdDb)) {
        for (std::size_t at = s.first; at < s.end; at += window) {
            const std::vector<float> part = Slice(mono, at, std::min(window, s.end - at));
            const double f = ZeroCrossingFrequency(part, rate);
            const auto tone = std::find_if(tones.begin(), tones.end(),
                                           [&](double t) { return std::abs(f - t) < 0.03 * t; });
            if (tone == tones.end()) {
                continue;
            }
            if (out.empty() || out.back().tone != *tone) {
                out.push_back({*tone, 0, 0});
            }
            const auto n = static_cast<double>(part.size());
            out.back().seconds += n / rate;
            out.back().energy += std::pow(Rms(part), 2) * n;
        }
    }
    return out;
}

std::vector<double> ToneSequence(const std::vector<HeardTone>& heard) {
    std::vector<double> out;
    for (const HeardTone& h : heard) {
        out.push_back(h.tone);
    }
    return out;
}

} // namespace testaudio
