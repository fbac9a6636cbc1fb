#pragma once

#include "platform/mixerapi/DescribedMixerDevice.h"
#include "platform/mixerapi/MemoryMixerLevelStore.h"
#include "platform/mixerapi/MixerApi.h"
#include "platform/mixerapi/MixerDevice.h"
#include "platform/mixerapi/SoftMixer.h"

#include <memory>
#include <vector>

/// Installs mixer devices for the life of the object, then puts back the ones before.
class ScopedMixerDevices {
public:
    explicit ScopedMixerDevices(MixerDevices devices)
        : m_previous(InstallMixerDevices(std::move(devices))) {}
    ~ScopedMixerDevices() { InstallMixerDevices(std::move(m_previous)); }
    ScopedMixerDevices(const ScopedMixerDevices&) = delete;
    ScopedMixerDevices& operator=(const ScopedMixerDevices&) = delete;

private:
    MixerDevices m_previous;
};

/// A device in front of another: it records the shape of the value requests that reach it, and
/// while `failure` is not 0 it answers every call with that code instead of calling on. For one
/// thread.
class ProbeMixerDevice final : public MixerDevice {
public:
    struct Request {
        DWORD channels;
        DWORD items;
    };

    explicit ProbeMixerDevice(std::shared_ptr<MixerDevice> inner)
        : m_inner(std::move(inner)) {}

    MMRESULT GetDevCaps(MIXERCAPS& c) override {
        return pass([&] { return m_inner->GetDevCaps(c); });
    }
    MMRESULT GetLineInfo(MIXERLINE& l, DWORD q) override {
        return pass([&] { return m_inner->GetLineInfo(l, q); });
    }
    MMRESULT GetLineControls(MIXERLINECONTROLS& c, DWORD q) override {
        return pass([&] { return m_inner->GetLineControls(c, q); });
    }
    MMRESULT GetControlDetails(MIXERCONTROLDETAILS& d, DWORD q) override {
        m_requests.push_back({d.cChannels, d.cMultipleItems});
        return pass([&] { return m_inner->GetControlDetails(d, q); });
    }
    MMRESULT SetControlDetails(const MIXERCONTROLDETAILS& d, DWORD q) override {
        m_requests.push_back({d.cChannels, d.cMultipleItems});
        return pass([&] { return m_inner->SetControlDetails(d, q); });
    }

    const std::vector<Request>& Requests() const { return m_requests; }
    void ClearRequests() { m_requests.clear(); }

    MMRESULT failure = MMSYSERR_NOERROR;

private:
    template <typename Call>
    MMRESULT pass(Call call) {
        return failure != MMSYSERR_NOERROR ? failure : call();
    }

    std::shared_ptr<MixerDevice> m_inner;
    std::vector<Request> m_requests;
};

/// Keeps every report, and apart every level staged for a cue, in order. Reports arrive one at a
/// time under the mixer's lock; read them once no other thread moves a fader.
class RecordingListener final : public SoftMixerListener {
public:
    struct Report {
        Bus bus;
        BusFader level;
        bool operator==(const Report&) const = default;
    };
    void OnFaderChanged(Bus bus, std::uint16_t left, std::uint16_t right) override {
        reports.push_back({bus, {left, right}});
    }
    void OnFaderStaged(Bus bus, std::uint16_t left, std::uint16_t right) override {
        staged.push_back({bus, {left, right}});
    }
    std::vector<Report> reports;
    std::vector<Report> staged;
};

/// A software mixer with a store of its own.
inline std::shared_ptr<SoftMixer> NewSoftMixer() {
    return std::make_shared<SoftMixer>(std::make_shared<MemoryMixerLevelStore>());
}

/// A value request for one control over the caller's buffer.
inline MIXERCONTROLDETAILS DetailsRequest(DWORD controlId, DWORD channels, DWORD items,
                                          void* buffer) {
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = controlId;
    details.cChannels = channels;
    details.cMultipleItems = items;
    details.cbDetails = sizeof(DWORD);
    details.paDetails = buffer;
    return details;
}

/// Writes one control's per-channel words through the mixer functions, as another program would.
inline MMRESULT WriteControl(DWORD controlId, std::vector<DWORD> words,
                             HMIXEROBJ object = MixerObjectFromId(0)) {
    MIXERCONTROLDETAILS details =
        DetailsRequest(controlId, static_cast<DWORD>(words.size()), 0, words.data());
    return mixerSetControlDetails(object, &details, MIXER_SETCONTROLDETAILSF_VALUE);
}

/// A volume fader control of the given bounds.
inline MixerControlDescription TestFader(DWORD controlId, DWORD minimum, DWORD maximum,
                                         std::vector<DWORD> values = {}, DWORD flags = 0) {
    return {MakeMixerControl(controlId, MIXERCONTROL_CONTROLTYPE_VOLUME, flags, "Volume",
                             "Test Volume", minimum, maximum, maximum - minimum),
            {},
            std::move(values)};
}

/// A uniform mute switch.
inline MixerControlDescription TestMute(DWORD controlId) {
    return {MakeMixerControl(controlId, MIXERCONTROL_CONTROLTYPE_MUTE,
                             MIXERCONTROL_CONTROLF_UNIFORM, "Mute", "Test Mute", 0, 1, 0),
            {},
            {}};
}

/// A source line with its controls.
inline MixerLineDescription TestSource(DWORD lineId, DWORD componentType, DWORD channels,
                                       std::vector<MixerControlDescription> controls) {
    return {MakeMixerLine(lineId, componentType, channels, "Source", "Test Source",
                          MIXERLINE_TARGETTYPE_UNDEFINED),
            std::move(controls)};
}

/// A mixer of destinations (each without controls of its own) with their sources.
inline MixerDescription
TestMixer(std::vector<std::pair<DWORD, std::vector<MixerLineDescription>>> destinationTypes) {
    MixerDescription mixer;
    CopyMixerText(mixer.caps.szPname, "Test Mixer");
    DWORD lineId = 0xFFFF0000;
    for (auto& [type, sources] : destinationTypes) {
        mixer.destinations.push_back(
            {{MakeMixerLine(lineId++, type, 2, "Destination", "Test Destination",
                            MIXERLINE_TARGETTYPE_WAVEOUT),
              {}},
             std::move(sources)});
    }
    return mixer;
}
