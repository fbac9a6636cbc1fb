#include "tools/pla/OfflinePlayer.h"

#include "mixer/CMixer.h"
#include "platform/mixerapi/MemoryMixerLevelStore.h"
#include "platform/mixerapi/SoftMixer.h"
#include "tools/pla/PlayListJson.h"

#include <algorithm>

const char* ItemKindName(LONG kind) {
    return kind == kindMidi ? "MIDI" : kind == kindWave ? "wave" : "CD";
}

std::size_t OfflineItemSound::Read(float* stereo, std::size_t frames) {
    const std::size_t got = decoder->Read(stereo, frames);
    for (std::size_t i = 0; i < got; ++i) {
        stereo[2 * i] = std::clamp(stereo[2 * i] * gains[0], -1.0f, 1.0f);
        stereo[2 * i + 1] = std::clamp(stereo[2 * i + 1] * gains[1], -1.0f, 1.0f);
    }
    return got;
}

OfflinePlayer::OfflinePlayer(const std::string& playListPath, OfflineSources sources)
    : m_sources(std::move(sources))
    // Levels in memory: nothing is saved, and the master faders start at full.
    , m_mixer(std::make_shared<SoftMixer>(std::make_shared<MemoryMixerLevelStore>()))
    , m_previousMixers(InstallMixerDevices({m_mixer})) {
    CMixer search;
    m_faders.FindMixerControls(search);
    m_faders.CalibrateVolumeSteps();
    m_list = LoadPlayListFile(playListPath, {{&m_midi, &m_faders.synthFader},
                                             {&m_wave, &m_faders.waveFader},
                                             {&m_cd, &m_faders.cdFader}});
}

OfflinePlayer::~OfflinePlayer() {
    m_list.reset();
    m_faders.ReleaseVolumeControls();
    InstallMixerDevices(std::move(m_previousMixers));
}

OfflineItemSound OfflinePlayer::Play(DWORD index) {
    OfflineItemSound sound;
    MoxAudioItem& item = Item(index);
    OfflineItemDevice& device = DeviceFor(item.GetKind());
    m_list->SetCurrent(index);
    m_list->PlayCurrent();
    sound.decoder = device.TakeSound();
    sound.reason = device.Reason();
    sound.gains = BusGains(item.GetKind());
    m_list->StopCurrent();
    return sound;
}

std::array<float, 2> OfflinePlayer::GainsAt(LONG kind, DWORD volume) {
    VolumeFaderBinding& fader = kind == kindMidi   ? m_faders.synthFader
                                : kind == kindWave ? m_faders.waveFader
                                                   : m_faders.cdFader;
    fader.ApplyVolume(volume);
    return BusGains(kind);
}

OfflineItemDevice& OfflinePlayer::DeviceFor(LONG kind) {
    return kind == kindMidi ? m_midi : kind == kindWave ? m_wave : m_cd;
}

std::array<float, 2> OfflinePlayer::BusGains(LONG kind) const {
    const Bus bus = kind == kindMidi ? Bus::Synth : kind == kindWave ? Bus::Wave : Bus::Cd;
    const BusFader fader = m_mixer->GetBusFader(bus);
    return {SoundEngine::FaderGain(fader.left), SoundEngine::FaderGain(fader.right)};
}
