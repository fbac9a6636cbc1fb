#pragma once

#include <vector>

/// Folds interleaved frames of any channel layout into stereo.
///
/// Each channel goes to the left and right side by its place, as the usual downmix does:
/// front left and right to their side at full level, the centre to both at -3 dB, surround,
/// side and rear channels to their side at -3 dB, a rear centre to both at -6 dB, the LFE
/// nowhere; a channel of unknown place to both at -3 dB. The gains are then scaled down
/// together until neither side's gains add up to more than 1, so that no layout can clip and a
/// signal that is the same in every channel keeps its level (mono and stereo pass unchanged).
///
/// The places come from the file (libsndfile's channel map, read from a WAVE_FORMAT_EXTENSIBLE
/// channel mask) or, without one, from the WAVE default order for the channel count:
///   3: L R C   4: L R BL BR (quad)   5: L R C BL BR   6: L R C LFE BL BR (5.1)
///   7: L R C LFE BC SL SR (6.1)   8: L R C LFE BL BR SL SR (7.1)   more: unknown places.
class StereoDownmix {
public:
    /// map holds libsndfile's SF_CHANNEL_MAP_* of each channel, or is empty.
    StereoDownmix(int channels, const std::vector<int>& map);

    /// in holds frames frames of the channel count; out frames stereo frames.
    void Apply(const float* in, long frames, float* out) const;

    /// The gain of a channel on one side (0 left, 1 right).
    float Gain(int channel, int side) const;

private:
    int m_channels;
    std::vector<float> m_left;
    std::vector<float> m_right;
};
