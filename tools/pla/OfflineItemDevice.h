#pragma once

#include "model/MoxItemDevice.h"
#include "platform/engine/SoundEngine.h"
#include "platform/mci/MciLayer.h"
#include "platform/wintypes/WinTypes.h"

#include <memory>
#include <optional>
#include <string>

/// Where offline work finds the sound of items, as the program's players find it: the data
/// folder ("Wave Files", "Midi Files"), the SoundFont and the CD drive or image
/// (MciLayer::Config::FromEnvironment), and the rate to decode at.
struct OfflineSources {
    std::string dataFolder;
    MciLayer::Config media;
    int rate = 44100;

    /// The data folder ("" = the current folder, as quillon-play takes it) with the SoundFont
    /// and CD device of the environment.
    static OfflineSources Find(const std::string& dataFolder, int rate);
};

/// The player of one kind of item for offline work. Instead of playing, Play opens the item's
/// sound as an OfflineDecoder (the decoders, synthesizer and rate conversion of playback) for
/// the caller to take. It is always ready, so that loading a list keeps every item; an item
/// that cannot be opened (a missing file, no SoundFont, no CD) fails when it is reached, with
/// the reason, as it does in playback.
class OfflineItemDevice final : public MoxItemDevice {
public:
    /// kind: kindWave, kindMidi or kindCD. sources must outlive the device.
    OfflineItemDevice(LONG kind, const OfflineSources& sources);

    bool IsReady() const override { return true; }
    bool Play(const std::string& name) override;
    void Stop() override { m_sound.reset(); }

    /// The sound the latest Play opened; nullptr when it failed (Reason() says why).
    std::unique_ptr<OfflineDecoder> TakeSound() { return std::move(m_sound); }
    /// Why the latest Play failed: the file, disc or track and the real reason.
    const std::string& Reason() const { return m_reason; }

private:
    bool OpenFile(const std::string& folder, const std::string& name);
    bool OpenTrack(const std::string& name);

    LONG m_kind;
    const OfflineSources& m_sources;
    std::optional<EngineStatus> m_tocStatus; // the disc is read once, when a track is first asked
    CdToc m_toc;
    std::unique_ptr<OfflineDecoder> m_sound;
    std::string m_reason;
};
