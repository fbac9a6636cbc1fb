#include "platform/mixerapi/MixerApi.h"

#include "tests/platform/mixerapi/TestMixerDevices.h"

#include <gtest/gtest.h>

namespace {

const HMIXEROBJ device0 = MixerObjectFromId(0);

TEST(MixerApiTest, HandlesAreCheckedNeverReusedAndGoWithTheirDevices) {
    {
        ScopedMixerDevices none({});
        HMIXER handle = reinterpret_cast<HMIXER>(UINT_PTR{1}); // anything but null
        EXPECT_EQ(mixerOpen(&handle, 0, 0, 0, 0), MMSYSERR_BADDEVICEID);
        EXPECT_EQ(handle, nullptr) << "a failed open leaves no handle behind";
    }
    ScopedMixerDevices devices({NewSoftMixer(), NewSoftMixer()});
    EXPECT_EQ(mixerGetNumDevs(), 2u);
    HMIXER first = nullptr;
    HMIXER second = nullptr;
    EXPECT_EQ(mixerOpen(&first, 2, 0, 0, 0), MMSYSERR_BADDEVICEID);
    ASSERT_EQ(mixerOpen(&first, 0, 0, 0, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mixerOpen(&second, 0, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_NE(first, second);
    EXPECT_GE(reinterpret_cast<UINT_PTR>(first), 0x10000u) << "never mistaken for a device id";

    DWORD words[2] = {};
    MIXERCONTROLDETAILS details = DetailsRequest(SoftMixer::waveOutVolumeId, 2, 0, words);
    auto read = [&](HMIXEROBJ object, DWORD flags) {
        return mixerGetControlDetails(object, &details, flags);
    };
    EXPECT_EQ(read(MixerObjectFromHandle(first), MIXER_OBJECTF_HMIXER), MMSYSERR_NOERROR);
    EXPECT_EQ(mixerClose(first), MMSYSERR_NOERROR);
    EXPECT_EQ(mixerClose(first), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(read(MixerObjectFromHandle(first), MIXER_OBJECTF_HMIXER), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(read(MixerObjectFromHandle(first), MIXER_OBJECTF_MIXER), MMSYSERR_INVALHANDLE);
    // With MIXER_OBJECTF_MIXER a null object is device identifier 0, as on the platform.
    EXPECT_EQ(read(MixerObjectFromHandle(nullptr), MIXER_OBJECTF_MIXER), MMSYSERR_NOERROR);
    EXPECT_EQ(read(MixerObjectFromHandle(nullptr), MIXER_OBJECTF_HMIXER), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(read(MixerObjectFromId(3), MIXER_OBJECTF_MIXER), MMSYSERR_BADDEVICEID);
    HMIXER third = nullptr;
    ASSERT_EQ(mixerOpen(&third, 0, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_NE(third, first) << "a closed handle is not given out again";

    MIXERCAPS shortCaps{};
    shortCaps.cDestinations = 77;
    ASSERT_EQ(mixerGetDevCaps(1, &shortCaps, 8), MMSYSERR_NOERROR);
    EXPECT_EQ(shortCaps.cDestinations, 77u) << "only the bytes asked for are copied";

    ScopedMixerDevices replaced({NewSoftMixer()});
    EXPECT_EQ(mixerClose(second), MMSYSERR_INVALHANDLE) << "every handle of the old ones is gone";
}

// Requests for lines and controls a device does not have: the fader search asks by position and
// lists controls by the count the line gave. Malformed structures are left out: the class layer
// is the only caller and fills sizes and flags from constants.
TEST(MixerApiTest, LinesAndControlsAreFoundOnlyWhereTheyAre) {
    ScopedMixerDevices devices({NewSoftMixer()});
    struct LineCase {
        DWORD query, destination, source, lineId, componentType;
        MMRESULT expected;
    };
    const LineCase lineCases[] = {
        {MIXER_GETLINEINFOF_DESTINATION, 2, 0, 0, 0, MMSYSERR_INVALPARAM},
        {MIXER_GETLINEINFOF_SOURCE, 1, 1, 0, 0, MMSYSERR_INVALPARAM}, // wave in has one source
        {MIXER_GETLINEINFOF_LINEID, 0, 0, 0x12345678, 0, MIXERR_INVALLINE},
        {MIXER_GETLINEINFOF_COMPONENTTYPE, 0, 0, 0, MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE,
         MIXERR_INVALLINE},
        {MIXER_GETLINEINFOF_LINEID, 0, 0, SoftMixer::microphoneLineId, 0, MMSYSERR_NOERROR},
    };
    MIXERLINE line{};
    for (const LineCase& c : lineCases) {
        line = MIXERLINE{};
        line.cbStruct = sizeof line;
        line.dwDestination = c.destination;
        line.dwSource = c.source;
        line.dwLineID = c.lineId;
        line.dwComponentType = c.componentType;
        EXPECT_EQ(mixerGetLineInfo(device0, &line, c.query), c.expected) << "query " << c.query;
    }
    EXPECT_EQ(line.dwDestination, 1u) << "a source found by id knows its destination";
    EXPECT_EQ(line.fdwLine, MIXERLINE_LINEF_ACTIVE | MIXERLINE_LINEF_SOURCE);

    MIXERCONTROL controls[2] = {};
    MIXERLINECONTROLS request{
        sizeof request, SoftMixer::speakersLineId, {}, 1, sizeof(MIXERCONTROL), controls};
    EXPECT_EQ(mixerGetLineControls(device0, &request, MIXER_GETLINECONTROLSF_ALL),
              MMSYSERR_INVALPARAM)
        << "all controls means the line's count";
    request.dwLineID = 0x00FF0000;
    request.cControls = 2;
    EXPECT_EQ(mixerGetLineControls(device0, &request, MIXER_GETLINECONTROLSF_ALL),
              MIXERR_INVALLINE);
}

TEST(MixerApiTest, ValuesAreReadAndWrittenPerChannelWithinBounds) {
    auto mixer = NewSoftMixer();
    ScopedMixerDevices devices({mixer});
    auto read = [&](DWORD controlId, DWORD channels, DWORD items) {
        std::vector<DWORD> words(4, 0xEEEE);
        MIXERCONTROLDETAILS details = DetailsRequest(controlId, channels, items, words.data());
        const MMRESULT result = mixerGetControlDetails(device0, &details, 0);
        words.resize(result == MMSYSERR_NOERROR ? channels : 0);
        return std::pair{result, words};
    };
    const DWORD wave = SoftMixer::waveOutVolumeId;

    ASSERT_EQ(WriteControl(wave, {30000, 10000}), MMSYSERR_NOERROR);
    EXPECT_EQ(read(wave, 2, 0).second, (std::vector<DWORD>{30000, 10000}));
    EXPECT_EQ(read(wave, 1, 1).second, (std::vector<DWORD>{30000}))
        << "one channel for a control of two reads the first";
    ASSERT_EQ(WriteControl(wave, {5}), MMSYSERR_NOERROR);
    EXPECT_EQ(mixer->GetValues(wave), (std::vector<DWORD>{5, 5})) << "and writes them all";
    EXPECT_EQ(WriteControl(wave, {100, 65536}), MIXERR_INVALVALUE);
    EXPECT_EQ(mixer->GetValues(wave), (std::vector<DWORD>{5, 5}))
        << "a refused write changes no channel";

    EXPECT_EQ(read(wave, 3, 0).first, MMSYSERR_INVALPARAM);
    EXPECT_EQ(read(wave, 2, 2).first, MMSYSERR_INVALPARAM);
    EXPECT_EQ(read(99, 2, 0).first, MIXERR_INVALCONTROL);
    // A uniform boolean takes one word and stores it as 0 or 1.
    ASSERT_EQ(WriteControl(SoftMixer::waveOutMuteId, {7}), MMSYSERR_NOERROR);
    EXPECT_EQ(mixer->GetValues(SoftMixer::waveOutMuteId), (std::vector<DWORD>{1}));
    EXPECT_EQ(WriteControl(SoftMixer::waveOutMuteId, {1, 1}), MMSYSERR_INVALPARAM);
}

} // namespace
