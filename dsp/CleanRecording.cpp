#include "dsp/CleanRecording.h"

#include "dsp/HissRemover.h"
#include "dsp/LoudnessMeter.h"
#include "dsp/WaveReader.h"
#include "dsp/WaveWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr long kBlockFrames = 16384;
// The stretch the hiss remover learns the noise from before it starts: long enough for the
// pauses between the first words, short enough to cost little on a long recording.
constexpr double kLearnSeconds = 4.0;
// Below this a maximising gain is not worth rewriting (and re-dithering) the file for.
constexpr double kSmallestGainDb = 0.05;
constexpr int kProgressSteps = 200;

using Outcome = CleanResult::Outcome;

// Counts frames against the planned total and tells the caller now and then.
class Progress {
public:
    Progress(const CleanProgress& callback, double total)
        : m_callback(callback)
        , m_total(std::max(total, 1.0)) {}

    bool Advance(double frames) {
        m_done += frames;
        const double fraction = std::min(m_done / m_total, 1.0);
        if (!m_callback || fraction - m_reported < 1.0 / kProgressSteps) {
            return true;
        }
        m_reported = fraction;
        return m_callback(fraction);
    }
    void Finish() {
        if (m_callback) {
            m_callback(1.0);
        }
    }

private:
    const CleanProgress& m_callback;
    double m_total;
    double m_done = 0;
    double m_reported = 0;
};

class Cleaner {
public:
    Cleaner(const std::string& path, const CleanSteps& steps, const CleanProgress& progress)
        : m_path(path)
        , m_steps(steps)
        , m_callback(progress) {}

    CleanResult Run() {
        if (!m_steps.removeHiss && !m_steps.maximise) {
            return Fail(Outcome::NothingAsked,
                        "Nothing was asked: no hiss removal, no maximising.");
        }
        std::string error;
        m_reader = WaveReader::Open(m_path, error);
        if (!m_reader) {
            return Fail(Outcome::Unreadable, "The recording cannot be processed. " + error);
        }
        const WaveFileFormat& format = m_reader->Format();
        const bool measureWhileScanning = m_steps.maximise && !m_steps.removeHiss;
        if (m_steps.maximise) {
            m_meter = LoudnessMeter::Create(format.channels, format.rate);
            if (!m_meter) {
                return Fail(Outcome::Unreadable, "The loudness meter cannot be set up.");
            }
        }

        // Pass 1: is there sound at all, how long, how high is its peak.
        std::uint64_t frames = 0;
        double peak = 0;
        const bool scanned = Stream(false, [&](const float* block, std::size_t count) {
            for (std::size_t i = 0; i < count * static_cast<std::size_t>(format.channels); ++i) {
                peak = std::max(peak, static_cast<double>(std::fabs(block[i])));
            }
            frames += count;
            if (measureWhileScanning) {
                m_meter->Add(block, count);
            }
            return true;
        });
        if (!scanned) {
            return m_failure;
        }
        if (frames == 0) {
            return Fail(Outcome::Empty, "The recording is empty: it holds no sound.");
        }
        if (peak == 0) {
            return Fail(Outcome::Silent, "The recording is silent: there is nothing to process.");
        }
        m_peak = peak;
        m_learnFrames = m_steps.removeHiss
                            ? std::min<std::uint64_t>(
                                  frames, static_cast<std::uint64_t>(kLearnSeconds * format.rate))
                            : 0;
        const double hissPass = static_cast<double>(frames + m_learnFrames);
        const double writePass = m_steps.removeHiss ? hissPass : static_cast<double>(frames);
        const double measurePass = m_steps.removeHiss && m_steps.maximise ? hissPass : 0.0;
        m_progress = std::make_unique<Progress>(m_callback, 2.0 * frames + measurePass + writePass);
        if (!Advance(static_cast<double>(frames))) {
            return m_failure;
        }

        double gain = 1.0;
        if (m_steps.maximise) {
            // Pass 2 (with hiss removal): measure what the denoiser makes.
            if (!measureWhileScanning && !Stream(true, [&](const float* block, std::size_t count) {
                    m_meter->Add(block, count);
                    return true;
                })) {
                return m_failure;
            }
            if (!Gain(gain)) {
                return m_failure;
            }
            if (!m_steps.removeHiss && std::fabs(m_result.gainDb) < kSmallestGainDb) {
                m_result.outcome = Outcome::Unchanged;
                m_result.message = "The recording is at the target loudness already. " + Figures();
                m_progress->Finish();
                return m_result;
            }
        }

        // Last pass: process again and write the new file beside the old one.
        auto writer = WaveWriter::Create(m_path, format, m_reader->Tags(), error);
        if (!writer) {
            return Fail(Outcome::WriteFailed, "The processed recording cannot be saved. " + error);
        }
        const float linear = static_cast<float>(gain);
        std::vector<float> scaled;
        const bool written = Stream(m_steps.removeHiss, [&](const float* block, std::size_t count) {
            scaled.assign(block, block + count * static_cast<std::size_t>(format.channels));
            if (linear != 1.0f) {
                for (float& sample : scaled) {
                    sample *= linear;
                }
            }
            if (!writer->Write(scaled.data(), count, error)) {
                Fail(Outcome::WriteFailed, "The processed recording cannot be saved. " + error);
                return false;
            }
            return true;
        });
        if (!written) {
            return m_failure;
        }
        if (!writer->Commit(error)) {
            return Fail(Outcome::WriteFailed, "The processed recording cannot be saved. " + error);
        }
        m_result.outcome = Outcome::Done;
        m_result.message = m_steps.removeHiss ? "The hiss was removed." : "";
        if (m_steps.maximise) {
            m_result.message += (m_result.message.empty() ? "" : " ") + Figures();
        }
        m_progress->Finish();
        return m_result;
    }

private:
    CleanResult Fail(Outcome outcome, std::string message) {
        m_failure = CleanResult();
        m_failure.outcome = outcome;
        m_failure.message = std::move(message);
        return m_failure;
    }

    // Reads the file from the start, through the hiss remover when denoise, and hands each
    // block to sink. False (m_failure set) when reading failed, the sink refused or the user
    // stopped.
    template <typename Sink>
    bool Stream(bool denoise, Sink&& sink) {
        const WaveFileFormat& format = m_reader->Format();
        const auto channels = static_cast<std::size_t>(format.channels);
        std::vector<float> block(static_cast<std::size_t>(kBlockFrames) * channels);
        std::vector<float> processed;
        std::unique_ptr<HissRemover> hiss;
        if (denoise) {
            std::string error;
            hiss = HissRemover::Create(format.channels, format.rate, m_peak, HissSettings{}, error);
            if (!hiss) {
                Fail(Outcome::Unreadable, "The recording cannot be processed. " + error);
                return false;
            }
            std::vector<float> learn(static_cast<std::size_t>(m_learnFrames) * channels);
            if (!Rewind() || !ReadFully(learn.data(), static_cast<long>(m_learnFrames))) {
                return false;
            }
            hiss->Learn(learn.data(), static_cast<std::size_t>(m_learnFrames));
            if (!Advance(static_cast<double>(m_learnFrames))) {
                return false;
            }
        }
        if (!Rewind()) {
            return false;
        }
        for (;;) {
            const long got = m_reader->Read(block.data(), kBlockFrames);
            if (got < 0) {
                Fail(Outcome::Unreadable,
                     "The recording cannot be processed. " + m_reader->Error());
                return false;
            }
            const bool last = got == 0;
            const float* out = block.data();
            auto count = static_cast<std::size_t>(got);
            if (hiss) {
                processed.clear();
                if (last) {
                    hiss->Finish(processed);
                } else {
                    hiss->Process(block.data(), count, processed);
                }
                out = processed.data();
                count = processed.size() / channels;
            }
            if (count > 0 && !sink(out, count)) {
                return false;
            }
            if (last) {
                return true;
            }
            if (!Advance(static_cast<double>(got))) {
                return false;
            }
        }
    }

    bool Rewind() {
        if (!m_reader->Rewind()) {
            Fail(Outcome::Unreadable, "The recording cannot be processed. " + m_reader->Error());
            return false;
        }
        return true;
    }

    bool ReadFully(float* out, long frames) {
        const auto channels = static_cast<std::size_t>(m_reader->Format().channels);
        while (frames > 0) {
            const long got = m_reader->Read(out, frames);
            if (got <= 0) {
                Fail(Outcome::Unreadable,
                     "The recording cannot be processed. " +
                         (got < 0 ? m_reader->Error() : std::string("It became shorter.")));
                return false;
            }
            out += static_cast<std::size_t>(got) * channels;
            frames -= got;
        }
        return true;
    }

    bool Advance(double frames) {
        if (m_progress && !m_progress->Advance(frames)) {
            Fail(Outcome::Stopped, "Stopped: the recording was left as it was.");
            return false;
        }
        return true;
    }

    // The gain that brings the measured loudness to the target without the true peak passing
    // the ceiling.
    bool Gain(double& gain) {
        const auto lufs = m_meter->IntegratedLufs();
        if (!lufs) {
            Fail(Outcome::Unmeasurable,
                 "The recording is too short or too quiet to measure its loudness.");
            return false;
        }
        m_result.loudnessLufs = *lufs;
        m_result.truePeakDbtp = m_meter->TruePeakDb();
        m_result.gainDb = kTargetLufs - *lufs;
        // What rounding and dither may add to a peak comes off the ceiling first.
        const auto quantizer = WaveWriter::QuantizerFor(m_reader->Format());
        const double ceilingDb = 20.0 * std::log10(std::pow(10.0, kPeakCeilingDbtp / 20.0) -
                                                   (quantizer ? quantizer->MaxError() : 0.0));
        if (m_result.truePeakDbtp + m_result.gainDb > ceilingDb) {
            m_result.gainDb = ceilingDb - m_result.truePeakDbtp;
            m_result.peakLimited = true;
        }
        gain = std::pow(10.0, m_result.gainDb / 20.0);
        return true;
    }

    std::string Figures() const {
        char text[200];
        std::snprintf(
            text, sizeof text, "Loudness %.1f LUFS, true peak %.1f dBTP (gain %+.1f dB%s).",
            m_result.loudnessLufs + m_result.gainDb, m_result.truePeakDbtp + m_result.gainDb,
            m_result.gainDb, m_result.peakLimited ? ", limited by the peak" : "");
        return text;
    }

    const std::string& m_path;
    const CleanSteps& m_steps;
    const CleanProgress& m_callback;
    std::unique_ptr<WaveReader> m_reader;
    std::unique_ptr<LoudnessMeter> m_meter;
    std::unique_ptr<Progress> m_progress;
    std::uint64_t m_learnFrames = 0;
    double m_peak = 0;
    CleanResult m_result;
    CleanResult m_failure;
};

} // namespace

CleanResult CleanRecording(const std::string& path, const CleanSteps& steps,
                           const CleanProgress& progress) {
    return Cleaner(path, steps, progress).Run();
}
