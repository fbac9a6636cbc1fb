#pragma once

#include "platform/mixerapi/DescribedMixerDevice.h"
#include "platform/mixerapi/MixerLevelStore.h"
#include "platform/mixerapi/SoftMixerListener.h"

#include <array>
#include <deque>
#include <memory>

/// The sound engine's own mixer, installed as mixer device 0.
///
/// Destinations and sources (two channels each; volume faders 0..65535 of type
/// MIXERCONTROL_CONTROLTYPE_VOLUME, not uniform; mutes uniform booleans):
///   0 "Speakers" (speakers, volume + mute) with the sources
///       0 "SW Synth" (synthesizer), 1 "Wave Out" (wave out), 2 "CD Audio" (compact disc),
///     each with volume + mute;
///   1 "Wave In" (wave in, volume) with the source 0 "Microphone" (volume + mute).
///
/// The effective level of a bus, reported to the listener, is per channel
///     muted ? 0 : (source × destination + 32767) / 65535
/// where source and destination are that channel's fader positions (0..65535), and muted is the
/// source's mute or the destination's (Wave In has none). Both faders at 65535 give 65535; a
/// source at 32750 under a destination at 65535 gives 32750.
///
/// Every fader position and mute is saved through the level store as it changes, one value a
/// time, and read back at construction; a value that was never stored (the first run) or is out
/// of range starts at firstRunLevel for a source and fullLevel for a destination, a mute
/// unmuted. So on a first run a 0 dBFS file at item volume 100 comes out at 0 dBFS.
///
/// A source volume of the speakers written with MIXER_SETCONTROLDETAILSF_ONCUE (an item that
/// is cued to follow the one playing) is kept aside: the fader reads as before, the listener
/// hears the level the bus will have (OnFaderStaged), and CommitStaged makes it the fader's
/// value when the engine reports that the item started with that level, so what a caller
/// reads is the level in effect. Values kept aside wait in order (two items may be cued);
/// those of cues that never started are dropped when a later one commits.
///
/// Thread-safe: one lock guards the values, the saves and the reports.
///
/// The program, before the fader search runs:
///     auto mixer = std::make_shared<SoftMixer>(registryLevelStore);
///     mixer->SetListener(&busForwarder); // OnFaderChanged -> engine.SetBusFader(bus, l, r)
///     InstallMixerDevices({mixer});      // device 0
/// and at shutdown, before the engine goes: mixer->SetListener(nullptr).
class SoftMixer final : public DescribedMixerDevice {
public:
    /// The store's key in the per-user registry (under HKEY_CURRENT_USER), apart from the
    /// program's settings key.
    static constexpr const char* registryKey = "SOFTWARE\\Corvale\\QUILLON Mixer";
    /// Where the source faders start on the first run: three quarters.
    static constexpr DWORD firstRunLevel = 49151;
    static constexpr DWORD fullLevel = 65535;

    static constexpr DWORD speakersLineId = 0xFFFF0000;
    static constexpr DWORD waveInLineId = 0xFFFF0001;
    static constexpr DWORD synthesizerLineId = 0x00000000;
    static constexpr DWORD waveOutLineId = 0x00010000;
    static constexpr DWORD compactDiscLineId = 0x00020000;
    static constexpr DWORD microphoneLineId = 0x00000001;

    enum ControlId : DWORD {
        speakersVolumeId = 1,
        speakersMuteId,
        synthesizerVolumeId,
        synthesizerMuteId,
        waveOutVolumeId,
        waveOutMuteId,
        compactDiscVolumeId,
        compactDiscMuteId,
        waveInVolumeId,
        microphoneVolumeId,
        microphoneMuteId,
    };

    explicit SoftMixer(std::shared_ptr<MixerLevelStore> store);

    /// Sets the listener (null: none) and at once reports every bus's level to it. The listener
    /// must stay alive until it is replaced.
    void SetListener(SoftMixerListener* listener);
    /// The effective level of a bus now.
    BusFader GetBusFader(Bus bus) const;
    /// The source fader kept aside for the bus with the level `applied` becomes its value
    /// (saved and reported as any write), and those kept before it are dropped; nothing when
    /// none was kept with that level.
    void CommitStaged(Bus bus, BusFader applied);

    /// One channel's effective level (see above).
    static std::uint16_t EffectiveLevel(DWORD source, DWORD destination, bool muted);

private:
    void ValuesChanged(DWORD controlId, const std::vector<DWORD>& before,
                       const std::vector<DWORD>& after) override;
    MMRESULT ValuesStaged(DWORD controlId, const std::vector<DWORD>& staged) override;
    BusFader busFaderLocked(Bus bus) const;

    std::shared_ptr<MixerLevelStore> m_store;
    SoftMixerListener* m_listener = nullptr;
    std::array<BusFader, kBusCount> m_reported{};
    struct Staged {
        std::vector<DWORD> source; // the source volume's words
        BusFader level;            // what the listener heard the bus would be
    };
    std::array<std::deque<Staged>, kBusCount> m_staged; // kept aside, per bus, oldest first
};
