#pragma once

#include <cstddef>
#include <vector>

namespace testaudio {

/// One channel (0 left, 1 right) of interleaved frames.
std::vector<float> Channel(const std::vector<float>& frames, int channel, int channels = 2);
/// Frames [first, first + count) of a mono signal (clipped to its length).
std::vector<float> Slice(const std::vector<float>& mono, std::size_t first, std::size_t count);

double Rms(const std::vector<float>& mono);
double Peak(const std::vector<float>& mono);
/// 20 log10(rms); -200 for silence.
double RmsDb(const std::vector<float>& mono);

/// Frequency of a steady tone by counting rising zero crossings, interpolated between samples
/// with hysteresis against noise (exact to a fraction of a hertz over a few hundred
/// milliseconds). 0 for silence.
double ZeroCrossingFrequency(const std::vector<float>& mono, int rate);
/// The median of ZeroCrossingFrequency over 100 ms windows: a sample lost or repeated on the
/// way through the sound server moves one window, not the result.
double MedianFrequency(const std::vector<float>& mono, int rate);
/// Power of one frequency (Goertzel), normalised so a full-scale sine gives 0.5.
double GoertzelPower(const std::vector<float>& mono, int rate, double frequency);

/// A stretch of sound between silences.
struct Segment {
    std::size_t first = 0; ///< first frame
    std::size_t end = 0;   ///< one past the last frame
    double frequency = 0;  ///< MedianFrequency of the middle 80 %
    double rmsDb = 0;      ///< level, from the middle 80 %
    double Start(int rate) const { return static_cast<double>(first) / rate; }
    double End(int rate) const { return static_cast<double>(end) / rate; }
    double Seconds(int rate) const { return static_cast<double>(end - first) / rate; }
};

/// Splits a mono signal into sounding segments: windows of 5 ms above thresholdDb (RMS) are
/// sound; gaps shorter than minGapSeconds are bridged, sounds shorter than minSoundSeconds are
/// dropped. Edges are refined to the sample where the signal crosses the threshold.
std::vector<Segment> FindSegments(const std::vector<float>& mono, int rate,
                                  double thresholdDb = -40.0, double minGapSeconds = 0.003,
                                  double minSoundSeconds = 0.02);

} // namespace testaudio
