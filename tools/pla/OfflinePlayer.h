#pragma once

#include "mixer/MixerFaders.h"
#include "model/MoxPlayList.h"
#include "platform/mixerapi/MixerDevice.h"
#include "tools/pla/OfflineItemDevice.h"

#include <array>
#include <cstddef>
#include <memory>
#include <string>

class SoftMixer;

/// How an item's kind is named to users: "wave", "MIDI" or "CD".
const char* ItemKindName(LONG kind);

/// One play of an item: its sound and the gains its kind's bus had when it started.
struct OfflineItemSound {
    std::unique_ptr<OfflineDecoder> decoder; ///< nullptr when the item cannot play
    std::string reason;                      ///< why it cannot
    std::array<float, 2> gains{};            ///< left, right

    /// Fills up to frames stereo frames as the engine mixes them: scaled by the gains and
    /// clipped at full scale. Returns how many; fewer only at the end or on a failure.
    std::size_t Read(float* stereo, std::size_t frames);
};

/// A play list played offline, item by item, the way the program's player plays it: the item
/// sets its kind's fader to its volume times the kind's step, and its player opens its sound
/// (an OfflineItemDevice). The faders are those of a software mixer of its own, found and
/// calibrated as at start-up, with the master faders at full; the engine's fader curve turns
/// the bus level into the gain. So an item comes out at the level it plays at.
///
/// While it lives, its software mixer is the process's mixer device 0 (the faders reach the
/// mixer through the mixer functions); the devices installed before come back when it goes.
class OfflinePlayer {
public:
    /// Loads the list file; raises CFileException or CArchiveException as loading does.
    OfflinePlayer(const std::string& playListPath, OfflineSources sources);
    ~OfflinePlayer();
    OfflinePlayer(const OfflinePlayer&) = delete;
    OfflinePlayer& operator=(const OfflinePlayer&) = delete;

    DWORD ItemCount() { return m_list->GetCount(); }
    /// index < ItemCount().
    MoxAudioItem& Item(DWORD index) { return *m_list->ItemAt(index); }
    int Rate() const { return m_sources.rate; }

    /// Starts the item at index as the player does and hands over its sound.
    OfflineItemSound Play(DWORD index);
    /// The gains (left, right) an item of the kind plays at with the volume.
    std::array<float, 2> GainsAt(LONG kind, DWORD volume);

private:
    OfflineItemDevice& DeviceFor(LONG kind);
    std::array<float, 2> BusGains(LONG kind) const;

    OfflineSources m_sources;
    std::shared_ptr<SoftMixer> m_mixer;
    MixerDevices m_previousMixers;
    MixerFaders m_faders;
    OfflineItemDevice m_midi{kindMidi, m_sources};
    OfflineItemDevice m_wave{kindWave, m_sources};
    OfflineItemDevice m_cd{kindCD, m_sources};
    std::unique_ptr<MoxPlayList> m_list; // last: its items stop on their devices as it goes
};
