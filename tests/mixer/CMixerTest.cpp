#include "mixer/CMixer.h"

#include "mixer/CMixerCapabilities.h"
#include "mixer/CMixerControl.h"
#include "mixer/CMixerControlDetailsData.h"
#include "mixer/CMixerLine.h"
#include "tests/platform/mixerapi/TestMixerDevices.h"

#include <gtest/gtest.h>

namespace {

std::vector<DWORD> Values(const CMixer::DetailsList& list) {
    std::vector<DWORD> values;
    for (const auto& data : list) {
        values.push_back(data->GetValue());
    }
    return values;
}

std::unique_ptr<CMixerControlDetailsData> Value(DWORD value) {
    auto data = std::make_unique<CMixerControlDetailsData>();
    data->SetUnsigned({value});
    return data;
}

TEST(CMixerTest, OpensClosesAndKeepsTheLastResult) {
    ScopedMixerDevices devices({NewSoftMixer(), NewSoftMixer()});
    CMixer mixer;
    EXPECT_FALSE(mixer.Open(5, 0, 0, 0));
    EXPECT_EQ(mixer.GetLastResult(), MMSYSERR_BADDEVICEID);
    std::string text;
    mixer.GetErrorText(text);
    EXPECT_EQ(text, "Device ID out of range");
    EXPECT_EQ(mixer.GetDeviceId(), 0u) << "only a successful open records the identifier";

    ASSERT_TRUE(mixer.Open(1, 0, 0, 0));
    EXPECT_EQ(mixer.GetDeviceId(), 1u);
    const HMIXER first = mixer.GetHandle();
    ASSERT_TRUE(mixer.Open(1, 0, 0, 0));
    EXPECT_NE(mixer.GetHandle(), first);
    EXPECT_EQ(mixerClose(first), MMSYSERR_INVALHANDLE) << "re-opening closed the old handle";

    EXPECT_TRUE(mixer.Close());
    EXPECT_FALSE(mixer.Close());
    EXPECT_EQ(mixer.GetLastResult(), MMSYSERR_INVALHANDLE);

    HMIXER handle = nullptr;
    {
        CMixer scoped;
        ASSERT_TRUE(scoped.Open(0, 0, 0, 0));
        handle = scoped.GetHandle();
    }
    EXPECT_EQ(mixerClose(handle), MMSYSERR_INVALHANDLE) << "the destructor closed the device";
}

TEST(CMixerTest, FailedQueriesKeepThePlatformsCodeAndLeaveOrResetTheirRecord) {
    auto probe = std::make_shared<ProbeMixerDevice>(NewSoftMixer());
    ScopedMixerDevices devices({probe});
    CMixer mixer; // line queries go by device identifier: no open needed

    CMixerCapabilities caps;
    ASSERT_TRUE(mixer.GetDevCaps(caps));
    probe->capsResult = MMSYSERR_NODRIVER;
    EXPECT_FALSE(mixer.GetDevCaps(caps));
    EXPECT_EQ(caps.GetDestinationCount(), 0u) << "reset on failure";

    CMixerLine line;
    ASSERT_TRUE(mixer.GetLineInfoByComponentType(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, line));
    EXPECT_EQ(line.GetLineId(), SoftMixer::microphoneLineId);
    EXPECT_FALSE(mixer.GetLineInfoByLineId(0x77, line));
    EXPECT_EQ(mixer.GetLastResult(), MIXERR_INVALLINE);
    EXPECT_EQ(line.GetLineId(), SoftMixer::microphoneLineId) << "a failed query leaves the line";

    probe->lineInfoResult = 4242; // a code of no known range is kept as it is
    EXPECT_FALSE(mixer.GetLineInfoByDestination(0, line));
    EXPECT_EQ(mixer.GetLastResult(), 4242u);
    std::string text;
    mixer.GetErrorText(text);
    EXPECT_EQ(text, "Unknown (4242)");
}

TEST(CMixerTest, ControlListsAreRebuiltAndImpossibleBuffersRefused) {
    ScopedMixerDevices devices({NewSoftMixer()});
    CMixer mixer;
    ASSERT_TRUE(mixer.Open(0, 0, 0, 0));
    CMixerLine line;
    ASSERT_TRUE(mixer.GetLineInfoByLineId(SoftMixer::waveOutLineId, line));
    CMixer::Controls controls;
    controls.push_back(std::make_unique<CMixerControl>());
    ASSERT_TRUE(mixer.GetLineControls(line, controls));
    ASSERT_EQ(controls.size(), 2u) << "the array is emptied first";
    EXPECT_EQ(controls[1]->GetControlType(), MIXERCONTROL_CONTROLTYPE_MUTE);

    MIXERLINE stranger = MakeMixerLine(SoftMixer::synthesizerLineId, 0, 2, "", "", 0);
    stranger.cControls = 5;
    line = stranger;
    EXPECT_FALSE(mixer.GetLineControls(line, controls)) << "a count the device does not have";
    EXPECT_EQ(mixer.GetLastResult(), MMSYSERR_INVALPARAM);
    EXPECT_TRUE(controls.empty());

    // Counts no buffer can hold fail as the platform would, before anything is asked.
    MIXERLINE huge = MakeMixerLine(SoftMixer::waveOutLineId, 0, 0x7FFFFFFF, "", "", 0);
    huge.cControls = 0x7FFFFFFF;
    line = huge;
    EXPECT_FALSE(mixer.GetLineControls(line, controls));
    EXPECT_EQ(mixer.GetLastResult(), MMSYSERR_NOMEM);
    CMixerControl control;
    control = MakeMixerControl(SoftMixer::waveOutVolumeId, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, "",
                               "", 0, 65535, 0);
    CMixer::DetailsList values;
    EXPECT_FALSE(mixer.GetControlDetails(line, control, values));
    EXPECT_EQ(mixer.GetLastResult(), MMSYSERR_NOMEM);
    auto one = Value(1);
    const CMixerControlDetailsData* list[] = {one.get()};
    EXPECT_FALSE(mixer.SetControlDetails(line, control, list));
    EXPECT_EQ(mixer.GetLastResult(), MMSYSERR_NOMEM);
}

TEST(CMixerTest, ReadsAndWritesValuesThroughTheHandle) {
    auto soft = NewSoftMixer();
    auto probe = std::make_shared<ProbeMixerDevice>(soft);
    ScopedMixerDevices devices({probe});
    CMixer mixer;
    ASSERT_TRUE(mixer.Open(0, 0, 0, 0));
    CMixerLine line;
    ASSERT_TRUE(mixer.GetLineInfoByLineId(SoftMixer::compactDiscLineId, line));
    CMixer::Controls controls;
    ASSERT_TRUE(mixer.GetLineControls(line, controls));
    const CMixerControl& volume = *controls[0];
    const CMixerControl& mute = *controls[1];

    auto left = Value(1000);
    auto right = Value(2000);
    const CMixerControlDetailsData* both[] = {left.get(), right.get()};
    ASSERT_TRUE(mixer.SetControlDetails(line, volume, both));
    // Words not supplied keep the control's current value.
    auto only = Value(3000);
    const CMixerControlDetailsData* partial[] = {only.get(), nullptr};
    ASSERT_TRUE(mixer.SetControlDetails(line, volume, partial));
    EXPECT_EQ(soft->GetValues(SoftMixer::compactDiscVolumeId), (std::vector<DWORD>{3000, 2000}));
    auto tooHigh = Value(65536);
    const CMixerControlDetailsData* refused[] = {tooHigh.get(), nullptr};
    EXPECT_FALSE(mixer.SetControlDetails(line, volume, refused));
    EXPECT_EQ(mixer.GetLastResult(), MIXERR_INVALVALUE);

    // A boolean is written as 0 or 1, as one uniform value with an item count of 0.
    probe->ClearRequests();
    auto seven = Value(7);
    const CMixerControlDetailsData* on[] = {seven.get()};
    ASSERT_TRUE(mixer.SetControlDetails(line, mute, on));
    CMixer::DetailsList values;
    ASSERT_TRUE(mixer.GetControlDetails(line, mute, values));
    EXPECT_EQ(Values(values), (std::vector<DWORD>{1}));
    const auto requests = probe->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].words, (std::vector<DWORD>{1}));
    for (const auto& request : requests) {
        EXPECT_EQ((std::pair{request.channels, request.items}), (std::pair{1u, 0u}));
    }

    // A closed device's null handle names device 0, as the platform's does.
    mixer.Close();
    EXPECT_TRUE(mixer.GetControlDetails(line, volume, values));
    EXPECT_EQ(Values(values), (std::vector<DWORD>{3000, 2000}));
}

TEST(CMixerTest, ValueCountsFollowUniformMultipleAndUnits) {
    // A stereo line with a uniform fader, a multiple control and one of custom units.
    MixerControlDescription eq;
    eq.control = MakeMixerControl(2, MIXERCONTROL_CONTROLTYPE_EQUALIZER,
                                  MIXERCONTROL_CONTROLF_MULTIPLE, "EQ", "EQ", 0, 10, 10);
    eq.control.cMultipleItems = 3;
    eq.values = {1, 2, 3, 4, 5, 6};
    MixerControlDescription custom;
    custom.control = MakeMixerControl(3, 0x50000000, 0, "Odd", "Odd", 0, 100, 0);
    auto described = std::make_shared<DescribedMixerDevice>(TestMixer({TestDestination(
        0xFFFF0000, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
        {TestSource(7, MIXERLINE_COMPONENTTYPE_SRC_LINE, 2,
                    {TestFader(1, 0, 100, {40}, MIXERCONTROL_CONTROLF_UNIFORM), eq, custom})})}));
    auto probe = std::make_shared<ProbeMixerDevice>(described);
    ScopedMixerDevices devices({probe});
    CMixer mixer;
    ASSERT_TRUE(mixer.Open(0, 0, 0, 0));
    CMixerLine line;
    ASSERT_TRUE(mixer.GetLineInfoByLineId(7, line));
    CMixer::Controls controls;
    ASSERT_TRUE(mixer.GetLineControls(line, controls));
    ASSERT_EQ(controls.size(), 3u);

    CMixer::DetailsList values;
    ASSERT_TRUE(mixer.GetControlDetails(line, *controls[0], values));
    EXPECT_EQ(Values(values), (std::vector<DWORD>{40}));
    ASSERT_TRUE(mixer.GetControlDetails(line, *controls[1], values));
    EXPECT_EQ(Values(values), (std::vector<DWORD>{1, 2, 3, 4, 5, 6}));
    // Every item of every channel goes back as it was read, with the one change.
    values[5]->SetUnsigned({9});
    std::vector<const CMixerControlDetailsData*> back;
    for (const auto& value : values) {
        back.push_back(value.get());
    }
    ASSERT_TRUE(mixer.SetControlDetails(line, *controls[1], back));
    EXPECT_EQ(described->GetValues(2), (std::vector<DWORD>{1, 2, 3, 4, 5, 9}));
    std::vector<std::pair<DWORD, DWORD>> shapes;
    for (const auto& request : probe->Requests()) {
        shapes.emplace_back(request.channels, request.items);
    }
    EXPECT_EQ(shapes, (std::vector<std::pair<DWORD, DWORD>>{{1, 1}, {2, 3}, {2, 3}}));

    // Custom units: refused before any platform call, nothing set, the array emptied.
    probe->ClearRequests();
    const MMRESULT before = mixer.GetLastResult();
    EXPECT_FALSE(mixer.GetControlDetails(line, *controls[2], values));
    EXPECT_TRUE(values.empty());
    auto one = Value(50);
    const CMixerControlDetailsData* list[] = {one.get(), one.get()};
    EXPECT_FALSE(mixer.SetControlDetails(line, *controls[2], list));
    EXPECT_TRUE(probe->Requests().empty());
    EXPECT_EQ(mixer.GetLastResult(), before);
}

TEST(CMixerTest, ListControlsGiveTheirTexts) {
    MixerControlDescription mux;
    mux.control = MakeMixerControl(9, MIXERCONTROL_CONTROLTYPE_MUX,
                                   MIXERCONTROL_CONTROLF_UNIFORM | MIXERCONTROL_CONTROLF_MULTIPLE,
                                   "Mux", "Source", 0, 1, 2);
    mux.control.cMultipleItems = 2;
    mux.itemTexts = {{0x00000001, 0x1003, {}}, {0x00010001, 0x1002, {}}};
    CopyMixerText(mux.itemTexts[0].szName, "Microphone");
    CopyMixerText(mux.itemTexts[1].szName, "Line In");
    MixerDestinationDescription waveIn =
        TestDestination(0xFFFF0000, MIXERLINE_COMPONENTTYPE_DST_WAVEIN, {});
    waveIn.line.controls = {mux, TestFader(10, 0, 100)};
    ScopedMixerDevices devices(
        {std::make_shared<DescribedMixerDevice>(TestMixer({std::move(waveIn)}))});

    CMixer mixer;
    CMixerLine line;
    ASSERT_TRUE(mixer.GetLineInfoByDestination(0, line));
    CMixer::Controls controls;
    ASSERT_TRUE(mixer.GetLineControls(line, controls));
    CMixer::DetailsList texts;
    ASSERT_TRUE(mixer.GetControlListText(line, *controls[0], texts));
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0]->GetName(), "Microphone");
    EXPECT_EQ(texts[1]->GetName(), "Line In");
    EXPECT_EQ(texts[1]->GetValue(), 0x00010001u);
    EXPECT_EQ(texts[1]->GetSecondParameter(), 0x1002u);
    EXPECT_FALSE(mixer.GetControlListText(line, *controls[1], texts)) << "not a list";
    EXPECT_TRUE(texts.empty());

    DWORD words[2] = {};
    MIXERCONTROLDETAILS wrongSize = DetailsRequest(9, 1, 2, words);
    EXPECT_EQ(
        mixerGetControlDetails(MixerObjectFromId(0), &wrongSize, MIXER_GETCONTROLDETAILSF_LISTTEXT),
        MMSYSERR_INVALPARAM)
        << "item texts need buffers of their own size";
}

} // namespace
