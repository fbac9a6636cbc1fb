#include "dsp/LoudnessMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>

struct LoudnessMeter::State {
    explicit State(ebur128_state* s)
        : st(s) {}
    ~State() { ebur128_destroy(&st); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ebur128_state* st;
};

LoudnessMeter::LoudnessMeter(std::unique_ptr<State> state, int channels, int rate)
    : m_state(std::move(state))
    , m_channels(channels)
    , m_rate(rate) {}

LoudnessMeter::~LoudnessMeter() = default;

std::unique_ptr<LoudnessMeter> LoudnessMeter::Create(int channels, int rate) {
    if (channels < 1 || channels > 64 || rate < 16 || rate > 2822400) {
        return nullptr;
    }
    ebur128_state* state =
        ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(rate),
                     EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (state == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<LoudnessMeter>(
        new LoudnessMeter(std::make_unique<State>(state), channels, rate));
}

void LoudnessMeter::Add(const float* interleaved, std::size_t frames) {
    ebur128_add_frames_float(m_state->st, interleaved, frames);
}

std::optional<double> LoudnessMeter::IntegratedLufs() const {
    double lufs = 0;
    if (ebur128_loudness_global(m_state->st, &lufs) != EBUR128_SUCCESS || !std::isfinite(lufs)) {
        return std::nullopt;
    }
    return lufs;
}

double LoudnessMeter::TruePeak() const {
    double peak = 0;
    for (int c = 0; c < m_channels; ++c) {
        double channelPeak = 0;
        if (ebur128_true_peak(m_state->st, static_cast<unsigned>(c), &channelPeak) ==
            EBUR128_SUCCESS) {
            peak = std::max(peak, channelPeak);
        }
    }
    return peak;
}

double LoudnessMeter::TruePeakDb() const {
    const double peak = TruePeak();
    return peak > 0 ? 20.0 * std::log10(peak) : -std::numeric_limits<double>::infinity();
}
