#include "platform/mixerapi/SoftMixer.h"

#include <algorithm>
#include <string>

namespace {

// Values kept aside for cues, per bus: more than the cues that can wait, so that only those of
// cues that never started are dropped.
constexpr std::size_t kMaxStaged = 8;

struct ControlNames {
    DWORD controlId;
    // Do not change these names: they are stored in the per-user registry, one value each.
    const char* words[2];
};

constexpr ControlNames kStoredNames[] = {
    {SoftMixer::speakersVolumeId, {"Speakers Left", "Speakers Right"}},
    {SoftMixer::speakersMuteId, {"Speakers Mute", nullptr}},
    {SoftMixer::synthesizerVolumeId, {"Synthesizer Left", "Synthesizer Right"}},
    {SoftMixer::synthesizerMuteId, {"Synthesizer Mute", nullptr}},
    {SoftMixer::waveOutVolumeId, {"Wave Out Left", "Wave Out Right"}},
    {SoftMixer::waveOutMuteId, {"Wave Out Mute", nullptr}},
    {SoftMixer::compactDiscVolumeId, {"CD Audio Left", "CD Audio Right"}},
    {SoftMixer::compactDiscMuteId, {"CD Audio Mute", nullptr}},
    {SoftMixer::waveInVolumeId, {"Wave In Left", "Wave In Right"}},
    {SoftMixer::microphoneVolumeId, {"Microphone Left", "Microphone Right"}},
    {SoftMixer::microphoneMuteId, {"Microphone Mute", nullptr}},
};

const ControlNames* namesOf(DWORD controlId) {
    for (const ControlNames& names : kStoredNames) {
        if (names.controlId == controlId) {
            return &names;
        }
    }
    return nullptr;
}

struct BusControls {
    DWORD sourceVolume;
    DWORD sourceMute;
    DWORD destinationVolume;
    DWORD destinationMute; // 0: the destination has no mute
};

constexpr BusControls kBuses[kBusCount] = {
    {SoftMixer::synthesizerVolumeId, SoftMixer::synthesizerMuteId, SoftMixer::speakersVolumeId,
     SoftMixer::speakersMuteId},
    {SoftMixer::waveOutVolumeId, SoftMixer::waveOutMuteId, SoftMixer::speakersVolumeId,
     SoftMixer::speakersMuteId},
    {SoftMixer::compactDiscVolumeId, SoftMixer::compactDiscMuteId, SoftMixer::speakersVolumeId,
     SoftMixer::speakersMuteId},
    {SoftMixer::microphoneVolumeId, SoftMixer::microphoneMuteId, SoftMixer::waveInVolumeId, 0},
};

const char* const kEngine = "Quillon Sound Engine";

// The destinations start at full: the desktop's own volume is the master on this platform, and
// a fader below it would only lower every item (by about 4 dB at three quarters).
MixerControlDescription volume(DWORD id, const std::string& line, MixerLevelStore* store) {
    MixerControlDescription c;
    c.control = MakeMixerControl(id, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, "Volume", line + " Volume",
                                 0, SoftMixer::fullLevel, SoftMixer::fullLevel);
    const bool destination = id == SoftMixer::speakersVolumeId || id == SoftMixer::waveInVolumeId;
    const DWORD firstRun = destination ? SoftMixer::fullLevel : SoftMixer::firstRunLevel;
    for (const char* name : namesOf(id)->words) {
        std::optional<DWORD> level = store != nullptr ? store->LoadLevel(name) : std::nullopt;
        c.values.push_back(level && *level <= SoftMixer::fullLevel ? *level : firstRun);
    }
    return c;
}

MixerControlDescription mute(DWORD id, const std::string& line, MixerLevelStore* store) {
    MixerControlDescription c;
    c.control = MakeMixerControl(id, MIXERCONTROL_CONTROLTYPE_MUTE, MIXERCONTROL_CONTROLF_UNIFORM,
                                 "Mute", line + " Mute", 0, 1, 0);
    std::optional<DWORD> muted =
        store != nullptr ? store->LoadLevel(namesOf(id)->words[0]) : std::nullopt;
    c.values.push_back(muted && *muted == 1 ? 1 : 0);
    return c;
}

MixerDescription describe(MixerLevelStore* store) {
    MixerDescription d;
    d.caps.wMid = 0xFFFF; // no registered manufacturer
    d.caps.wPid = 1;
    d.caps.vDriverVersion = 0x0100;
    CopyMixerText(d.caps.szPname, "Quillon Software Mixer");

    MixerDestinationDescription speakers;
    speakers.line.line =
        MakeMixerLine(SoftMixer::speakersLineId, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 2,
                      "Speakers", "Speakers", MIXERLINE_TARGETTYPE_WAVEOUT, kEngine);
    speakers.line.controls = {volume(SoftMixer::speakersVolumeId, "Speakers", store),
                              mute(SoftMixer::speakersMuteId, "Speakers", store)};

    MixerLineDescription synth;
    synth.line =
        MakeMixerLine(SoftMixer::synthesizerLineId, MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, 2,
                      "SW Synth", "SW Synth", MIXERLINE_TARGETTYPE_MIDIOUT, "Quillon Synthesizer");
    synth.controls = {volume(SoftMixer::synthesizerVolumeId, "SW Synth", store),
                      mute(SoftMixer::synthesizerMuteId, "SW Synth", store)};

    MixerLineDescription wave;
    wave.line = MakeMixerLine(SoftMixer::waveOutLineId, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, 2,
                              "Wave", "Wave Out", MIXERLINE_TARGETTYPE_WAVEOUT, kEngine);
    wave.controls = {volume(SoftMixer::waveOutVolumeId, "Wave Out", store),
                     mute(SoftMixer::waveOutMuteId, "Wave Out", store)};

    MixerLineDescription cd;
    cd.line = MakeMixerLine(SoftMixer::compactDiscLineId, MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC,
                            2, "CD Audio", "CD Audio", MIXERLINE_TARGETTYPE_UNDEFINED);
    cd.controls = {volume(SoftMixer::compactDiscVolumeId, "CD Audio", store),
                   mute(SoftMixer::compactDiscMuteId, "CD Audio", store)};
    speakers.sources = {std::move(synth), std::move(wave), std::move(cd)};

    MixerDestinationDescription waveIn;
    waveIn.line.line = MakeMixerLine(SoftMixer::waveInLineId, MIXERLINE_COMPONENTTYPE_DST_WAVEIN, 2,
                                     "Wave In", "Wave In", MIXERLINE_TARGETTYPE_WAVEIN, kEngine);
    waveIn.line.controls = {volume(SoftMixer::waveInVolumeId, "Wave In", store)};

    MixerLineDescription mic;
    mic.line = MakeMixerLine(SoftMixer::microphoneLineId, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, 2,
                             "Mic", "Microphone", MIXERLINE_TARGETTYPE_WAVEIN, kEngine);
    mic.controls = {volume(SoftMixer::microphoneVolumeId, "Microphone", store),
                    mute(SoftMixer::microphoneMuteId, "Microphone", store)};
    waveIn.sources = {std::move(mic)};

    d.destinations = {std::move(speakers), std::move(waveIn)};
    return d;
}

} // namespace

SoftMixer::SoftMixer(std::shared_ptr<MixerLevelStore> store)
    : DescribedMixerDevice(describe(store.get()))
    , m_store(std::move(store)) {
    auto lock = LockValues();
    for (int bus = 0; bus < kBusCount; ++bus) {
        m_reported[bus] = busFaderLocked(static_cast<Bus>(bus));
    }
}

std::uint16_t SoftMixer::EffectiveLevel(DWORD source, DWORD destination, bool muted) {
    if (muted) {
        return 0;
    }
    const std::uint64_t product =
        std::uint64_t{std::min(source, fullLevel)} * std::min(destination, fullLevel);
    return static_cast<std::uint16_t>((product + fullLevel / 2) / fullLevel);
}

BusFader SoftMixer::busFaderLocked(Bus bus) const {
    const BusControls& c = kBuses[static_cast<int>(bus)];
    const std::vector<DWORD>& source = ValuesLocked(c.sourceVolume);
    const std::vector<DWORD>& destination = ValuesLocked(c.destinationVolume);
    const bool muted = ValuesLocked(c.sourceMute).at(0) != 0 ||
                       (c.destinationMute != 0 && ValuesLocked(c.destinationMute).at(0) != 0);
    return {EffectiveLevel(source.at(0), destination.at(0), muted),
            EffectiveLevel(source.at(1), destination.at(1), muted)};
}

BusFader SoftMixer::GetBusFader(Bus bus) const {
    auto lock = LockValues();
    return busFaderLocked(bus);
}

MMRESULT SoftMixer::ValuesStaged(DWORD controlId, const std::vector<DWORD>& staged) {
    for (int bus = 0; bus < kBusCount; ++bus) {
        const BusControls& c = kBuses[bus];
        if (c.sourceVolume != controlId || static_cast<Bus>(bus) == Bus::Microphone) {
            continue;
        }
        const std::vector<DWORD>& destination = ValuesLocked(c.destinationVolume);
        const bool muted = ValuesLocked(c.sourceMute).at(0) != 0 ||
                           (c.destinationMute != 0 && ValuesLocked(c.destinationMute).at(0) != 0);
        const BusFader level{EffectiveLevel(staged.at(0), destination.at(0), muted),
                             EffectiveLevel(staged.at(1), destination.at(1), muted)};
        std::deque<Staged>& waiting = m_staged[bus];
        if (waiting.size() >= kMaxStaged) {
            waiting.pop_front(); // cues that never started
        }
        waiting.push_back({staged, level});
        if (m_listener != nullptr) {
            m_listener->OnFaderStaged(static_cast<Bus>(bus), level.left, level.right);
        }
        return MMSYSERR_NOERROR;
    }
    return MMSYSERR_NOTSUPPORTED; // only the item faders follow the items
}

void SoftMixer::CommitStaged(Bus bus, BusFader applied) {
    auto lock = LockValues();
    std::deque<Staged>& waiting = m_staged[static_cast<int>(bus)];
    const auto it = std::find_if(waiting.begin(), waiting.end(),
                                 [&](const Staged& staged) { return staged.level == applied; });
    if (it == waiting.end()) {
        return;
    }
    const std::vector<DWORD> source = it->source;
    waiting.erase(waiting.begin(), it + 1);
    StoreLocked(kBuses[static_cast<int>(bus)].sourceVolume, source);
}

void SoftMixer::SetListener(SoftMixerListener* listener) {
    auto lock = LockValues();
    m_listener = listener;
    if (m_listener == nullptr) {
        return;
    }
    for (int bus = 0; bus < kBusCount; ++bus) {
        m_reported[bus] = busFaderLocked(static_cast<Bus>(bus));
        m_listener->OnFaderChanged(static_cast<Bus>(bus), m_reported[bus].left,
                                   m_reported[bus].right);
    }
}

void SoftMixer::ValuesChanged(DWORD controlId, const std::vector<DWORD>& before,
                              const std::vector<DWORD>& after) {
    if (const ControlNames* names = namesOf(controlId); names != nullptr && m_store != nullptr) {
        for (std::size_t i = 0; i < after.size() && i < 2; ++i) {
            if (names->words[i] != nullptr && before.at(i) != after[i]) {
                m_store->SaveLevel(names->words[i], after[i]);
            }
        }
    }
    for (int bus = 0; bus < kBusCount; ++bus) {
        const BusFader now = busFaderLocked(static_cast<Bus>(bus));
        if (now != m_reported[bus]) {
            m_reported[bus] = now;
            if (m_listener != nullptr) {
                m_listener->OnFaderChanged(static_cast<Bus>(bus), now.left, now.right);
            }
        }
    }
}
