#include "platform/engine/StereoDownmix.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {
constexpr float kHalfPower = 0.70710678f; // -3 dB
constexpr float kQuarterPower = 0.5f;     // -6 dB
// Between a front side and the centre: constant power at a quarter of the way to the middle.
constexpr float kNearSide = 0.92387953f;
constexpr float kFarSide = 0.38268343f;

struct SideGains {
    float left;
    float right;
};

SideGains GainsOf(int place, int channels) {
    switch (place) {
    case SF_CHANNEL_MAP_MONO:
        return channels == 1 ? SideGains{1, 1} : SideGains{kHalfPower, kHalfPower};
    case SF_CHANNEL_MAP_LEFT:
    case SF_CHANNEL_MAP_FRONT_LEFT:
        return {1, 0};
    case SF_CHANNEL_MAP_RIGHT:
    case SF_CHANNEL_MAP_FRONT_RIGHT:
        return {0, 1};
    case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
        return {kNearSide, kFarSide};
    case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
        return {kFarSide, kNearSide};
    case SF_CHANNEL_MAP_REAR_LEFT:
    case SF_CHANNEL_MAP_SIDE_LEFT:
    case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
    case SF_CHANNEL_MAP_TOP_REAR_LEFT:
        return {kHalfPower, 0};
    case SF_CHANNEL_MAP_REAR_RIGHT:
    case SF_CHANNEL_MAP_SIDE_RIGHT:
    case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
    case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
        return {0, kHalfPower};
    case SF_CHANNEL_MAP_REAR_CENTER:
    case SF_CHANNEL_MAP_TOP_CENTER:
    case SF_CHANNEL_MAP_TOP_FRONT_CENTER:
    case SF_CHANNEL_MAP_TOP_REAR_CENTER:
        return {kQuarterPower, kQuarterPower};
    case SF_CHANNEL_MAP_LFE:
    case SF_CHANNEL_MAP_AMBISONIC_B_X:
    case SF_CHANNEL_MAP_AMBISONIC_B_Y:
    case SF_CHANNEL_MAP_AMBISONIC_B_Z:
        return {0, 0};
    default: // the centre, an ambisonic W, or a place not known
        return {kHalfPower, kHalfPower};
    }
}

std::vector<int> DefaultMap(int channels) {
    enum : int {
        L = SF_CHANNEL_MAP_LEFT,
        R = SF_CHANNEL_MAP_RIGHT,
        C = SF_CHANNEL_MAP_CENTER,
        LFE = SF_CHANNEL_MAP_LFE,
        BL = SF_CHANNEL_MAP_REAR_LEFT,
        BR = SF_CHANNEL_MAP_REAR_RIGHT,
        BC = SF_CHANNEL_MAP_REAR_CENTER,
        SL = SF_CHANNEL_MAP_SIDE_LEFT,
        SR = SF_CHANNEL_MAP_SIDE_RIGHT,
    };
    switch (channels) {
    case 1:
        return {SF_CHANNEL_MAP_MONO};
    case 2:
        return {L, R};
    case 3:
        return {L, R, C};
    case 4:
        return {L, R, BL, BR};
    case 5:
        return {L, R, C, BL, BR};
    case 6:
        return {L, R, C, LFE, BL, BR};
    case 7:
        return {L, R, C, LFE, BC, SL, SR};
    default:
        std::vector<int> map = {L, R, C, LFE, BL, BR, SL, SR};
        map.resize(static_cast<std::size_t>(channels), SF_CHANNEL_MAP_INVALID);
        return map;
    }
}
} // namespace

StereoDownmix::StereoDownmix(int channels, const std::vector<int>& map)
    : m_channels(channels) {
    const std::vector<int> places =
        static_cast<int>(map.size()) == channels ? map : DefaultMap(channels);
    for (int place : places) {
        SideGains gains = GainsOf(place, channels);
        m_left.push_back(gains.left);
        m_right.push_back(gains.right);
    }
    const float sum = std::max(std::accumulate(m_left.begin(), m_left.end(), 0.0f),
                               std::accumulate(m_right.begin(), m_right.end(), 0.0f));
    if (sum > 1.0f) {
        for (std::size_t i = 0; i < m_left.size(); ++i) {
            m_left[i] /= sum;
            m_right[i] /= sum;
        }
    }
}

float StereoDownmix::Gain(int channel, int side) const {
    return (side == 0 ? m_left : m_right).at(static_cast<std::size_t>(channel));
}

void StereoDownmix::Apply(const float* in, long frames, float* out) const {
    if (m_channels == 2 && m_left[0] == 1.0f && m_left[1] == 0.0f && m_right[0] == 0.0f &&
        m_right[1] == 1.0f) {
        std::memcpy(out, in, static_cast<std::size_t>(frames) * 2 * sizeof(float));
        return;
    }
    const auto channels = static_cast<std::size_t>(m_channels);
    for (long i = 0; i < frames; ++i) {
        const float* frame = in + static_cast<std::size_t>(i) * channels;
        float left = 0.0f;
        float right = 0.0f;
        for (std::size_t c = 0; c < channels; ++c) {
            left += frame[c] * m_left[c];
            right += frame[c] * m_right[c];
        }
        out[2 * i] = left;
        out[2 * i + 1] = right;
    }
}
