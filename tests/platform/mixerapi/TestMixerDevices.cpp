#include "tests/platform/mixerapi/TestMixerDevices.h"

#include "platform/mixerapi/MemoryMixerLevelStore.h"

ScopedMixerDevices::ScopedMixerDevices(MixerDevices devices)
    : m_previous(InstallMixerDevices(std::move(devices))) {}

ScopedMixerDevices::~ScopedMixerDevices() {
    InstallMixerDevices(std::move(m_previous));
}

std::shared_ptr<SoftMixer> NewSoftMixer() {
    return std::make_shared<SoftMixer>(std::make_shared<MemoryMixerLevelStore>());
}

MIXERCONTROLDETAILS DetailsRequest(DWORD controlId, DWORD channels, DWORD items, void* buffer) {
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = controlId;
    details.cChannels = channels;
    details.cMultipleItems = items;
    details.cbDetails = sizeof(DWORD);
    details.paDetails = buffer;
    return details;
}

MMRESULT WriteControl(DWORD controlId, std::vector<DWORD> words, HMIXEROBJ object) {
    MIXERCONTROLDETAILS details =
        DetailsRequest(controlId, static_cast<DWORD>(words.size()), 0, words.data());
    return mixerSetControlDetails(object, &details, MIXER_SETCONTROLDETAILSF_VALUE);
}

MixerControlDescription TestFader(DWORD controlId, DWORD minimum, DWORD maximum,
                                  std::vector<DWORD> values, DWORD flags) {
    return {MakeMixerControl(controlId, MIXERCONTROL_CONTROLTYPE_VOLUME, flags, "Volume",
                             "Test Volume", minimum, maximum, maximum - minimum),
            {},
            std::move(values)};
}

MixerControlDescription TestMute(DWORD controlId) {
    return {MakeMixerControl(controlId, MIXERCONTROL_CONTROLTYPE_MUTE,
                             MIXERCONTROL_CONTROLF_UNIFORM, "Mute", "Test Mute", 0, 1, 0),
            {},
            {}};
}

MixerLineDescription TestSource(DWORD lineId, DWORD componentType, DWORD channels,
                                std::vector<MixerControlDescription> controls) {
    return {MakeMixerLine(lineId, componentType, channels, "Source", "Test Source",
                          MIXERLINE_TARGETTYPE_UNDEFINED),
            std::move(controls)};
}

MixerDescription
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
