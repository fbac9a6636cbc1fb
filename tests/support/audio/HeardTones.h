#pragma once

// What a capture of the sound server holds, tone by tone, for sound tests that must not count
// segments: a tone split by a gap, or run into the next by a capture that stumbles on a busy
// machine, changes a duration a little, never the order.

#include <vector>

namespace testaudio {

/// One tone heard: which of the expected ones, for how long, with what energy.
struct HeardTone {
    double tone = 0;
    double seconds = 0;
    double energy = 0; ///< the sum of the squared samples
    double RmsDb(int rate) const;
};

/// The sounding stretches of a mono signal in 20 ms windows, each named by the nearest of
/// `tones` (within 3 %); windows of one tone in a row count as one, windows that are none of
/// them (across two tones, or too short to tell) are left out.
std::vector<HeardTone> HeardTones(const std::vector<float>& mono, int rate,
                                  const std::vector<double>& tones, double thresholdDb = -60.0);
/// The tones alone, in the order heard.
std::vector<double> ToneSequence(const std::vector<HeardTone>& heard);

} // namespace testaudio
