#pragma once

#include <functional>
#include <limits>
#include <string>

/// What CleanRecording() is to do; both steps may be asked at once (hiss first).
struct CleanSteps {
    /// "Remove hiss": steady background noise out, the speech left at its level.
    bool removeHiss = false;
    /// "Maximize the volume": one gain for the whole recording that brings its integrated
    /// loudness to kTargetLufs, or less when the true peak would pass kPeakCeilingDbtp.
    bool maximise = false;
};

/// How CleanRecording() went. On every outcome but Done the file is as it was, byte for byte.
struct CleanResult {
    enum class Outcome {
        Done,         ///< the file holds the processed recording
        Unchanged,    ///< only maximising was asked and the recording is at the target already
        Unreadable,   ///< not a wave file, damaged, or not processable (channels, rate)
        Empty,        ///< no sound frames at all
        Silent,       ///< every sample is zero
        Unmeasurable, ///< maximising: too short or too quiet for a loudness reading
        WriteFailed,  ///< the new file could not be written or put in place
        Stopped,      ///< the progress callback asked to stop
        NothingAsked, ///< neither step was asked
    };
    Outcome outcome = Outcome::NothingAsked;
    /// A sentence or two for the user: what was done, or what is wrong with the recording.
    /// It does not name the file.
    std::string message;

    /// Maximising: the readings before and the gain applied (dB); the loudness and true peak
    /// after are these plus the gain. NaN when not measured.
    double loudnessLufs = std::numeric_limits<double>::quiet_NaN();
    double truePeakDbtp = std::numeric_limits<double>::quiet_NaN();
    double gainDb = std::numeric_limits<double>::quiet_NaN();
    /// The gain stopped at the peak ceiling short of the loudness target.
    bool peakLimited = false;

    bool Succeeded() const { return outcome == Outcome::Done || outcome == Outcome::Unchanged; }
};

/// The fraction done (0..1, rising); return false to stop (the file is then left as it was).
using CleanProgress = std::function<bool(double fraction)>;

constexpr double kTargetLufs = -16.0;
constexpr double kPeakCeilingDbtp = -1.0;

/// Processes the wave file at path in place: reads it with libsndfile, works in float, and
/// writes it back in its own format (rate, channels, sample kind, text tags; 8-bit with
/// dither), atomically: a temporary file in the same folder, flushed to disk, renamed over the
/// old one. Whatever fails, the old file stays as it was.
///
/// Thread rules: call it on a worker thread, never the user interface thread: it reads the
/// file two or three times (once more for each step) and takes about half a second of
/// processor time for a minute of recording with both steps, plus the flush to disk. It keeps
/// no state between calls and touches nothing but the file, so calls for different files may
/// run at once. Two calls for the same file at once each write a complete file and the later
/// rename wins; the caller should not start one while another runs, nor play or save the file
/// meanwhile (a player that has it open keeps reading the old sound). progress is called on
/// the calling thread, synchronously, at most some 200 times, with a rising fraction, and with
/// 1.0 once the new file is in place; it must return quickly and must not touch widgets itself
/// (post the fraction to the interface thread). When the call returns the file is closed.
CleanResult CleanRecording(const std::string& path, const CleanSteps& steps,
                           const CleanProgress& progress = {});
