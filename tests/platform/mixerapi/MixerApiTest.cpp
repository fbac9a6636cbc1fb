#include "platform/mixerapi/MixerApi.h"

#include "tests/platform/mixerapi/TestMixerDevices.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

MIXERLINE LineRequest() {
    MIXERLINE line{};
    line.cbStruct = sizeof line;
    return line;
}

const HMIXEROBJ device0 = MixerObjectFromId(0);

TEST(MixerApiTest, DevicesAreCountedAndUnknownIdentifiersRefused) {
    {
        ScopedMixerDevices none({});
        EXPECT_EQ(mixerGetNumDevs(), 0u);
        HMIXER handle = reinterpret_cast<HMIXER>(UINT_PTR{1}); // anything but null
        EXPECT_EQ(mixerOpen(&handle, 0, 0, 0, 0), MMSYSERR_BADDEVICEID);
        EXPECT_EQ(handle, nullptr) << "a failed open leaves no handle behind";
        MIXERCAPS caps{};
        EXPECT_EQ(mixerGetDevCaps(0, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    }
    ScopedMixerDevices two({NewSoftMixer(), NewSoftMixer()});
    EXPECT_EQ(mixerGetNumDevs(), 2u);
    HMIXER handle = nullptr;
    EXPECT_EQ(mixerOpen(&handle, 2, 0, 0, 0), MMSYSERR_BADDEVICEID);
    ASSERT_EQ(mixerOpen(&handle, 1, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(mixerClose(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(mixerOpen(nullptr, 0, 0, 0, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(mixerOpen(&handle, 0, 0, 0, 0x00010000), MMSYSERR_INVALFLAG)
        << "notifications to a window are not offered";

    MIXERCAPS shortCaps{};
    shortCaps.cDestinations = 77;
    ASSERT_EQ(mixerGetDevCaps(0, &shortCaps, 8), MMSYSERR_NOERROR);
    EXPECT_EQ(shortCaps.cDestinations, 77u) << "only the bytes asked for are copied";
}

TEST(MixerApiTest, HandlesAreCheckedAndNeverReused) {
    ScopedMixerDevices devices({NewSoftMixer()});
    HMIXER first = nullptr;
    HMIXER second = nullptr;
    ASSERT_EQ(mixerOpen(&first, 0, 0, 0, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mixerOpen(&second, 0, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_NE(first, second);
    EXPECT_GE(reinterpret_cast<UINT_PTR>(first), 0x10000u) << "never mistaken for a device id";

    DWORD words[2] = {};
    MIXERCONTROLDETAILS details = DetailsRequest(SoftMixer::waveOutVolumeId, 2, 0, words);
    EXPECT_EQ(mixerGetControlDetails(MixerObjectFromHandle(first), &details, MIXER_OBJECTF_HMIXER),
              MMSYSERR_NOERROR);
    EXPECT_EQ(mixerClose(first), MMSYSERR_NOERROR);
    EXPECT_EQ(mixerClose(first), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mixerGetControlDetails(MixerObjectFromHandle(first), &details, MIXER_OBJECTF_HMIXER),
              MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mixerGetControlDetails(MixerObjectFromHandle(first), &details, MIXER_OBJECTF_MIXER),
              MMSYSERR_INVALHANDLE);
    // With MIXER_OBJECTF_MIXER a null object is device identifier 0, as on the platform.
    EXPECT_EQ(mixerGetControlDetails(MixerObjectFromHandle(nullptr), &details, MIXER_OBJECTF_MIXER),
              MMSYSERR_NOERROR);
    EXPECT_EQ(mixerGetControlDetails(MixerObjectFromId(3), &details, MIXER_OBJECTF_MIXER),
              MMSYSERR_BADDEVICEID);

    HMIXER third = nullptr;
    ASSERT_EQ(mixerOpen(&third, 0, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_NE(third, first) << "a closed handle is not given out again";

    // Other devices: every handle of the old ones is gone.
    ScopedMixerDevices replaced({NewSoftMixer()});
    EXPECT_EQ(mixerClose(second), MMSYSERR_INVALHANDLE);
}

TEST(MixerApiTest, BadRequestsAreRefusedBeforeTheDevice) {
    auto probe = std::make_shared<ProbeMixerDevice>(NewSoftMixer());
    ScopedMixerDevices devices({probe});

    MIXERLINE line = LineRequest();
    line.cbStruct = sizeof line - 4;
    EXPECT_EQ(mixerGetLineInfo(device0, &line, MIXER_GETLINEINFOF_DESTINATION),
              MMSYSERR_INVALPARAM);
    EXPECT_EQ(mixerGetLineInfo(device0, nullptr, MIXER_GETLINEINFOF_DESTINATION),
              MMSYSERR_INVALPARAM);
    line = LineRequest();
    EXPECT_EQ(mixerGetLineInfo(device0, &line, 0x100), MMSYSERR_INVALFLAG);
    EXPECT_EQ(mixerGetLineInfo(device0, &line, 0x10000000), MMSYSERR_INVALFLAG)
        << "an object type other than a mixer";

    MIXERCONTROL controls[2] = {};
    MIXERLINECONTROLS request{};
    request.cbStruct = sizeof request;
    request.dwLineID = SoftMixer::speakersLineId;
    request.cControls = 2;
    request.cbmxctrl = sizeof(MIXERCONTROL) + 4;
    request.pamxctrl = controls;
    EXPECT_EQ(mixerGetLineControls(device0, &request, MIXER_GETLINECONTROLSF_ALL),
              MMSYSERR_INVALPARAM);
    request.cbmxctrl = sizeof(MIXERCONTROL);
    EXPECT_EQ(mixerGetLineControls(device0, &request, 1), MMSYSERR_INVALFLAG)
        << "one control by id is not offered";
    request.cControls = 1;
    EXPECT_EQ(mixerGetLineControls(device0, &request, MIXER_GETLINECONTROLSF_ALL),
              MMSYSERR_INVALPARAM)
        << "all controls means the line's count";
    request.dwLineID = 0x00FF0000;
    EXPECT_EQ(mixerGetLineControls(device0, &request, MIXER_GETLINECONTROLSF_ALL),
              MIXERR_INVALLINE);

    DWORD words[2] = {};
    MIXERCONTROLDETAILS details = DetailsRequest(SoftMixer::waveOutVolumeId, 2, 0, nullptr);
    EXPECT_EQ(mixerGetControlDetails(device0, &details, 0), MMSYSERR_INVALPARAM);
    details = DetailsRequest(SoftMixer::waveOutVolumeId, 2, 0, words);
    EXPECT_EQ(mixerSetControlDetails(device0, &details, MIXER_GETCONTROLDETAILSF_LISTTEXT),
              MMSYSERR_INVALFLAG);
    EXPECT_TRUE(probe->Requests().empty()) << "nothing malformed reached the device";
}

TEST(MixerApiTest, LinesAreFoundOnlyWhereTheyAre) {
    ScopedMixerDevices devices({NewSoftMixer()});
    MIXERLINE line = LineRequest();
    line.dwLineID = SoftMixer::microphoneLineId;
    ASSERT_EQ(mixerGetLineInfo(device0, &line, MIXER_GETLINEINFOF_LINEID), MMSYSERR_NOERROR);
    EXPECT_EQ(line.dwDestination, 1u) << "a source found by id knows its destination";
    EXPECT_EQ(line.fdwLine, MIXERLINE_LINEF_ACTIVE | MIXERLINE_LINEF_SOURCE);

    line.dwDestination = 2;
    EXPECT_EQ(mixerGetLineInfo(device0, &line, MIXER_GETLINEINFOF_DESTINATION),
              MMSYSERR_INVALPARAM);
    line.dwDestination = 1;
    line.dwSource = 1;
    EXPECT_EQ(mixerGetLineInfo(device0, &line, MIXER_GETLINEINFOF_SOURCE), MMSYSERR_INVALPARAM)
        << "wave in has one source";
    line.dwLineID = 0x12345678;
    EXPECT_EQ(mixerGetLineInfo(device0, &line, MIXER_GETLINEINFOF_LINEID), MIXERR_INVALLINE);
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE;
    EXPECT_EQ(mixerGetLineInfo(device0, &line, MIXER_GETLINEINFOF_COMPONENTTYPE), MIXERR_INVALLINE);
}

TEST(MixerApiTest, ValuesAreReadAndWrittenPerChannelWithinBounds) {
    auto mixer = NewSoftMixer();
    ScopedMixerDevices devices({mixer});
    HMIXER handle = nullptr;
    ASSERT_EQ(mixerOpen(&handle, 0, 0, 0, 0), MMSYSERR_NOERROR);
    const HMIXEROBJ object = MixerObjectFromHandle(handle);

    ASSERT_EQ(WriteControl(SoftMixer::waveOutVolumeId, {30000, 10000}, object), MMSYSERR_NOERROR);
    DWORD read[2] = {};
    MIXERCONTROLDETAILS details = DetailsRequest(SoftMixer::waveOutVolumeId, 2, 0, read);
    ASSERT_EQ(mixerGetControlDetails(object, &details, MIXER_GETCONTROLDETAILSF_VALUE),
              MMSYSERR_NOERROR);
    EXPECT_EQ(read[0], 30000u);
    EXPECT_EQ(read[1], 10000u);

    // One channel for a control of two: the first is read, all are written.
    DWORD one = 0;
    details = DetailsRequest(SoftMixer::waveOutVolumeId, 1, 1, &one);
    ASSERT_EQ(mixerGetControlDetails(object, &details, MIXER_GETCONTROLDETAILSF_VALUE),
              MMSYSERR_NOERROR);
    EXPECT_EQ(one, 30000u);
    one = 5;
    ASSERT_EQ(mixerSetControlDetails(object, &details, MIXER_SETCONTROLDETAILSF_VALUE),
              MMSYSERR_NOERROR);
    EXPECT_EQ(mixer->GetValues(SoftMixer::waveOutVolumeId), (std::vector<DWORD>{5, 5}));

    EXPECT_EQ(WriteControl(SoftMixer::waveOutVolumeId, {100, 65536}, object), MIXERR_INVALVALUE);
    EXPECT_EQ(mixer->GetValues(SoftMixer::waveOutVolumeId), (std::vector<DWORD>{5, 5}))
        << "a refused write changes no channel";

    DWORD words[4] = {};
    details = DetailsRequest(SoftMixer::waveOutVolumeId, 3, 0, words);
    EXPECT_EQ(mixerGetControlDetails(object, &details, 0), MMSYSERR_INVALPARAM);
    details = DetailsRequest(SoftMixer::waveOutVolumeId, 2, 2, words);
    EXPECT_EQ(mixerGetControlDetails(object, &details, 0), MMSYSERR_INVALPARAM);
    details = DetailsRequest(99, 2, 0, words);
    EXPECT_EQ(mixerGetControlDetails(object, &details, 0), MIXERR_INVALCONTROL);

    // A uniform boolean takes one word and stores it as 0 or 1.
    ASSERT_EQ(WriteControl(SoftMixer::waveOutMuteId, {7}, object), MMSYSERR_NOERROR);
    EXPECT_EQ(mixer->GetValues(SoftMixer::waveOutMuteId), (std::vector<DWORD>{1}));
    EXPECT_EQ(WriteControl(SoftMixer::waveOutMuteId, {1, 1}, object), MMSYSERR_INVALPARAM);
    EXPECT_EQ(mixerClose(handle), MMSYSERR_NOERROR);
}

TEST(MixerApiTest, NamesAreCutToTheirFields) {
    const MIXERLINE line = MakeMixerLine(1, 0, 2, "A short name that is far too long",
                                         std::string(100, 'x'), 0, std::string(40, 'p'));
    EXPECT_EQ(std::strlen(line.szShortName), 15u);
    EXPECT_EQ(std::strlen(line.szName), 63u);
    EXPECT_EQ(std::strlen(line.Target.szPname), 31u);
}

} // namespace
