#pragma once

#include "platform/engine/EngineTypes.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

/// The sound engine: plays wave files, MIDI files and CD audio through SDL's default output
/// device, mixed in float, each source on a bus whose left/right gain the mixer sets.
///
/// Threads. The caller's thread opens sources (the file is opened and the first block decoded
/// before Open returns, so Play sounds on the very next audio callback). The engine runs:
///  - the audio callback (SDL's thread): mixes what is ready in each source's ring, and starts
///    cued sources; never blocks, allocates, logs or locks;
///  - the fast feeder thread: decodes wave and MIDI sources ahead into their rings, opens the
///    output device when something plays and closes it after `linger` of silence, notices a
///    lost device and reopens the default one with growing pauses (0.1 s up to 1 s), keeps
///    time without a device (below), frees what was closed;
///  - the slow feeder thread: reads CD sources ahead, so that a disc whose reads stall holds
///    up no other source, no notice and no recording;
///  - the capture thread: opens capture devices and moves what they captured to disk;
///  - the capture callback (SDL's capture thread): scales and copies into the capture's ring;
///    the same rules as the audio callback;
///  - the notice thread: calls the handlers. Nothing here runs a handler on the callback.
/// Public functions are thread-safe and never wait on the device: with the sound server gone
/// they return at once. Without any output device, what plays is mixed into nothing at the
/// output's pace, so plays end on time; sound is heard again once a device opens.
///
/// Source life: Open -> (Play <-> Stop)* -> Close. A source plays from where it stopped;
/// Seek moves it. When a playing source has played its last frame (or failed), its handler
/// runs once with the serial Play returned; Stop cancels a report not yet made. Play after the
/// end starts again from the beginning. After Close returns, the handler of that source is not
/// running and will not run (unless Close is called from inside the handler itself).
///
/// Chaining. PlayAfter cues a source to start on the frame right after the last frame of
/// another that plays: the mixer starts it inside the same output period, so two items follow
/// each other without a gap whatever the period. A play's near-end handler runs once when
/// about kNearEndSeconds are left (at once for a shorter play; for MIDI, whose length is known
/// only once rendered, up to a few seconds before), early enough to open and cue what follows.
/// Stop or Close of the source a cue follows (or a Seek of it) disarms the cue: it will not
/// start, and its end handler runs with EndReason::Disarmed. A fader value given with
/// SetBusFaderAtCue moves the bus on the cue's first frame, so the end of the source before it
/// keeps its level.
///
/// Stop and Close of a source that sounded, when nothing else plays, drop the sound the output
/// holds (the device is closed and opens again when something plays): silence follows at
/// once, however large the device's period.
///
/// Capture (recording from the default input, the microphone bus). Life: OpenCapture ->
/// (StartCapture <-> StopCapture)* -> SaveCapture* -> CloseCapture; a start after a stop
/// appends. The capture thread opens the SDL capture device (StartCapture waits up to
/// probeTimeout for it). The capture callback scales what arrives by the Microphone bus's
/// gains (the same FaderToGain curve as playback: 65535 unity, half travel -10 dB, 0 silence)
/// and writes it into a lock-free ring; the capture thread moves the ring to an unnamed spool file
/// on disk (CaptureSpool.h), in the recording's channels as 16-bit samples, so a long recording
/// stays off the heap. A capture ends by itself, and its handler runs once (like a source's),
///  - Finished: the input device vanished (sound server gone or restarted, microphone
///    unplugged); what was captured until then stays and can be saved, and a new
///    StartCapture opens the default input again and appends. Capture is not resumed
///    silently: a hole in a spoken announcement would spoil it unnoticed.
///  - Finished: the recording reached maxCaptureBytes (what a wave file can hold);
///  - Failed: the spool could not be written (disk full).
/// StopCapture and CloseCapture never wait on the device: capture devices are closed on
/// threads of their own, since a close can hang inside the sound library (a stalled input).
class SoundEngine {
public:
    /// FluidSynth's "synth.gain". Its default (0.2) renders a General MIDI arrangement (piano
    /// chords, bass, strings, drums) at about -32 dBFS RMS, far below mastered wave files (-14
    /// to -18). 0.8 (+12 dB) brings that arrangement to about -20 dBFS RMS with peaks near
    /// -5 dBFS, leaving headroom for denser files; the mix is clipped at full scale.
    static constexpr double kDefaultSynthGain = 0.8;
    /// How long before its end a play's near-end handler runs.
    static constexpr int kNearEndSeconds = 2;

    struct Config {
        int mixRate = 44100;
        /// SDL buffer size: one callback's worth. Items follow each other in the mix, whatever
        /// the period, so it is as large as keeps the CPU low (the sound server wakes us once a
        /// period); Stop drops what the server holds.
        int deviceFrames = 8192;
        /// 16-bit samples to the sound server instead of float (the server then converts
        /// nothing); the mix itself stays float.
        bool int16Output = true;
        /// How long the device stays open after the last source stopped.
        std::chrono::milliseconds linger{5000};
        double synthGain = kDefaultSynthGain;
        CdReadMode cdReadMode = CdReadMode::Auto;
        /// How long ProbeOutput and StartCapture wait for the feeder thread to try the device.
        std::chrono::milliseconds probeTimeout{5000};
        /// SDL buffer size of the capture device.
        int captureFrames = 1024;
        /// Where recordings are spooled; "" = $TMPDIR, else /var/tmp, else /tmp.
        std::string spoolFolder;
        /// A capture ends by itself when its saved data would grow past this (a RIFF file's
        /// sizes are 32-bit; room is left for the header).
        std::uint64_t maxCaptureBytes = 0xFFFFFFFFull - 0xFFFF;
        /// Told on the feeder thread when there is no sound output (the first open that
        /// failed, with why; the engine keeps trying) and when a device opened again after
        /// that (Ok). Keep it short, and do not call the engine from it.
        std::function<void(const EngineStatus&)> outputChanged;
        /// Told on the notice thread when a fader given with SetBusFaderAtCue took effect
        /// (GetBusFader reads it from then on). The engine may be called from it.
        std::function<void(Bus, BusFader)> cueFaderApplied;
        /// Called before each read from a CD, on the thread that reads CD sources (tests make
        /// reads stall with it); none by default.
        std::function<void(std::int32_t sector)> cdReadHook;
    };

    struct Stats {
        std::uint64_t deviceOpens = 0;        ///< successful opens of the output device
        std::uint64_t deviceLosses = 0;       ///< times the open device was lost
        std::uint64_t deviceOpenFailures = 0; ///< tries to open the output device that failed
        std::uint64_t callbacks = 0;
        std::uint64_t underruns = 0; ///< callbacks where a playing ring ran dry early
        bool deviceOpen = false;
        std::string driver;                ///< the output's driver ("pulseaudio", SDL's ...)
        std::uint64_t captureOpens = 0;    ///< successful opens of a capture device
        std::uint64_t captureLosses = 0;   ///< captures ended because their device vanished
        std::uint64_t captureOverruns = 0; ///< frames captured but dropped: the ring was full
        int captureDevicesAlive = 0;       ///< capture devices open or still closing
    };

    SoundEngine();
    explicit SoundEngine(Config config);
    ~SoundEngine();
    SoundEngine(const SoundEngine&) = delete;
    SoundEngine& operator=(const SoundEngine&) = delete;

    // Sources. On failure the id is left 0 and the status says why.
    EngineStatus OpenWave(const std::string& path, SourceId& id);
    EngineStatus OpenMidi(const std::string& path, const std::string& soundFont, SourceId& id);
    /// CD audio from startLsn up to (not including) endLsn.
    EngineStatus OpenCd(const std::string& device, std::int32_t startLsn, std::int32_t endLsn,
                        SourceId& id);
    /// Starts or resumes; onEnd runs once when this play reaches the end, onNearEnd (if any)
    /// once when its end is near. playSerial (may be null) receives the serial that the
    /// handlers will be called with.
    EngineStatus Play(SourceId id, EndHandler onEnd, std::uint64_t* playSerial = nullptr,
                      NearEndHandler onNearEnd = {});
    /// As Play, but cued: the source starts on the frame after the last frame of `after`.
    /// When `after` does not play (it ended, was stopped, or never started), it starts at once.
    EngineStatus PlayAfter(SourceId id, SourceId after, EndHandler onEnd,
                           std::uint64_t* playSerial = nullptr, NearEndHandler onNearEnd = {});
    EngineStatus Stop(SourceId id);
    /// Moves to a frame (at the mixing rate); keeps playing if it was.
    EngineStatus Seek(SourceId id, std::uint64_t frame);
    void Close(SourceId id);
    bool IsOpen(SourceId id) const;
    bool IsPlaying(SourceId id) const;
    /// Frames (at the mixing rate) played since the start of the source.
    std::uint64_t Position(SourceId id) const;
    /// Length in frames at the mixing rate when known, else 0 (MIDI).
    std::uint64_t Length(SourceId id) const;

    // Buses.
    /// Fader values 0..65535 through the perceptual curve of FaderCurve.h.
    void SetBusFader(Bus bus, std::uint16_t left, std::uint16_t right);
    /// The fader the next source cued on the bus with PlayAfter takes on its first frame (it
    /// then stands in GetBusFader, and Config::cueFaderApplied is told).
    void SetBusFaderAtCue(Bus bus, std::uint16_t left, std::uint16_t right);
    /// The fader in effect.
    BusFader GetBusFader(Bus bus) const;
    /// The linear gain the callback applies (0 left, 1 right).
    float BusGain(Bus bus, int channel) const;
    /// The linear gain a bus fader value gives (the curve SetBusFader applies): 0 silent,
    /// 65535 unity. For work that applies the buses' levels itself, such as offline rendering.
    static float FaderGain(std::uint16_t fader);

    // Capture. On failure the id is left 0 and the status says why.
    /// A new, empty recording in format (1 or 2 channels, 8 or 16 bits, 8000..192000 Hz).
    EngineStatus OpenCapture(const PcmFormat& format, SourceId& id);
    /// Changes the format; only while nothing has been captured (else Busy).
    EngineStatus SetCaptureFormat(SourceId id, const PcmFormat& format);
    PcmFormat CaptureFormat(SourceId id) const;
    /// Starts capturing from the default input device, or goes on (appending) after a stop.
    /// When it runs already, only the handler and serial are replaced. onEnd runs once when
    /// the capture ends by itself (see above), never after StopCapture.
    EngineStatus StartCapture(SourceId id, EndHandler onEnd, std::uint64_t* serial = nullptr);
    /// Stops capturing; returns at once (the device closes on a thread of its own).
    EngineStatus StopCapture(SourceId id);
    bool IsCapturing(SourceId id) const;
    /// Frames (at the capture's rate) captured so far, spooled or about to be.
    std::uint64_t CapturedFrames(SourceId id) const;
    /// Writes everything captured as a RIFF WAVE PCM file in the capture's format; replaces
    /// path only when the new file is complete (CaptureSpool::SaveWave). Not while capturing.
    EngineStatus SaveCapture(SourceId id, const std::string& path);
    /// Stops and forgets the capture and its spool. As with Close, its handler is not running
    /// and will not run once this returns.
    void CloseCapture(SourceId id);

    // Probes: can the kinds of source play at all?
    /// Opens the output device (it then stays open for `linger`) or finds it open.
    EngineStatus ProbeOutput();
    /// Loads the SoundFont (it then stays loaded for the MIDI sources that follow).
    EngineStatus ProbeSoundFont(const std::string& soundFont);
    /// Reads the table of contents of the CD ("" = the default drive); toc is left empty on
    /// failure. Device names: "" is the default drive; a path ending in ".cue" is a CUE/BIN
    /// image (the BIN with the same base name is read, whatever the CUE's FILE line says);
    /// anything else a drive path. Needs no engine.
    static EngineStatus ReadCd(const std::string& device, CdToc& toc);

    int MixRate() const;
    Stats GetStats() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// Decodes one item as fast as the CPU allows, without an engine, a device or a sound server:
/// a wave file, a MIDI file through a SoundFont, or a stretch of a CD, through the same
/// decoders, synthesizer (at the engine's default rate and gain) and rate conversion that
/// playback uses, into interleaved stereo float frames at the rate the caller chooses. What
/// comes out is the item's own sound, before any bus gain or item volume: what the engine
/// mixes, converted to that rate.
///
///     EngineStatus status;
///     auto decoder = OfflineDecoder::OpenWave("hello.wav", 16000, status);
///     if (!decoder) { report(status.message); }
///     std::vector<float> block(2 * 4096);
///     while (std::size_t n = decoder->Read(block.data(), 4096)) { use(block.data(), n); }
///     if (!decoder->Status().ok()) { report(decoder->Status().message); } // broke off
///
/// A MIDI decoder loads its own synthesizer with the SoundFont (tens of milliseconds to a
/// second or two, depending on the font). For a CD track, SoundEngine::ReadCd gives the
/// sectors: track n is [toc.TrackStart(n), toc.TrackStart(n + 1)). Not thread-safe: one
/// thread at a time per decoder; decoders are independent of each other.
class OfflineDecoder {
public:
    static constexpr int kMinRate = 1000;
    static constexpr int kMaxRate = 768000;

    /// Each returns nullptr and fills status when the item cannot be decoded (the same codes
    /// and texts as SoundEngine's opens; a rate outside kMinRate..kMaxRate is Unsupported).
    static std::unique_ptr<OfflineDecoder> OpenWave(const std::string& path, int rate,
                                                    EngineStatus& status);
    static std::unique_ptr<OfflineDecoder>
    OpenMidi(const std::string& path, const std::string& soundFont, int rate, EngineStatus& status);
    /// Sectors [startLsn, endLsn) of a drive or CUE/BIN image (device as for ReadCd).
    static std::unique_ptr<OfflineDecoder> OpenCd(const std::string& device, std::int32_t startLsn,
                                                  std::int32_t endLsn, int rate,
                                                  EngineStatus& status);
    ~OfflineDecoder();
    OfflineDecoder(const OfflineDecoder&) = delete;
    OfflineDecoder& operator=(const OfflineDecoder&) = delete;

    /// Fills up to frames stereo frames; returns how many. Fewer than asked only at the end or
    /// when reading failed; 0 from then on.
    std::size_t Read(float* stereo, std::size_t frames);
    /// True once the item has been read to its end (not after a failure).
    bool AtEnd() const;
    /// Ok, or why reading broke off (a file cut short or changed while it was read, a CD read
    /// error).
    EngineStatus Status() const;
    int Rate() const;
    /// Length in frames at the rate when known beforehand (wave, CD), else 0 (MIDI).
    std::uint64_t LengthFrames() const;

private:
    struct Impl;
    explicit OfflineDecoder(std::unique_ptr<Impl> impl);
    static std::unique_ptr<OfflineDecoder> Make(std::unique_ptr<Impl> impl, int rate,
                                                EngineStatus& status);
    std::unique_ptr<Impl> m_impl;
};
