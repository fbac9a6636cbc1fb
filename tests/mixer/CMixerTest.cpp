#include "mixer/CMixer.h"

#include "mixer/CMixerCapabilities.h"
#include "mixer/CMixerControl.h"
#include "mixer/CMixerControlDetailsData.h"
#include "mixer/CMixerLine.h"
#include "platform/classlib/CArchive.h"
#include "platform/classlib/CFile.h"
#include "platform/mixerapi/MemoryMixerLevelStore.h"
#include "platform/mixerapi/SoftMixer.h"
#include "tests/platform/mixerapi/TestMixerDevices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

std::shared_ptr<SoftMixer> NewSoftMixer() {
    return std::make_shared<SoftMixer>(std::make_shared<MemoryMixerLevelStore>());
}

std::vector<DWORD> Values(const CMixer::DetailsList& list) {
    std::vector<DWORD> values;
    for (const auto& data : list) {
        values.push_back(data->GetValue());
    }
    return values;
}

std::vector<const CMixerControlDetailsData*> Pointers(const CMixer::DetailsList& list) {
    std::vector<const CMixerControlDetailsData*> pointers;
    for (const auto& data : list) {
        pointers.push_back(data.get());
    }
    return pointers;
}

std::unique_ptr<CMixerControlDetailsData> Value(DWORD value) {
    auto data = std::make_unique<CMixerControlDetailsData>();
    data->SetUnsigned({value});
    return data;
}

TEST(CMixerTest, OpensClosesAndKeepsTheLastResult) {
    ScopedMixerDevices devices({NewSoftMixer(), NewSoftMixer()});
    CMixer mixer;
    EXPECT_EQ(mixer.GetHandle(), nullptr);
    EXPECT_EQ(mixer.GetLastResult(), 0u);
    EXPECT_EQ(mixer.GetDeviceId(), 0u);
    EXPECT_EQ(mixer.GetNumDevs(), 2u);

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
    EXPECT_EQ(mixer.GetHandle(), nullptr);
    EXPECT_FALSE(mixer.Close());
    EXPECT_EQ(mixer.GetLastResult(), MMSYSERR_INVALHANDLE);
    mixer.GetErrorText(text);
    EXPECT_EQ(text, "Device handle is invalid");
}

TEST(CMixerTest, TheDestructorClosesTheDevice) {
    ScopedMixerDevices devices({NewSoftMixer()});
    HMIXER handle = nullptr;
    {
        CMixer mixer;
        ASSERT_TRUE(mixer.Open(0, 0, 0, 0));
        handle = mixer.GetHandle();
    }
    EXPECT_EQ(mixerClose(handle), MMSYSERR_INVALHANDLE);
}

TEST(CMixerTest, ReadsCapabilitiesAndLines) {
    auto probe = std::make_shared<ProbeMixerDevice>(NewSoftMixer());
    ScopedMixerDevices devices({probe});
    CMixer mixer; // line queries go by device identifier: no open needed

    CMixerCapabilities caps;
    ASSERT_TRUE(mixer.GetDevCaps(caps));
    EXPECT_EQ(caps.GetProductName(), "Quillon Software Mixer");
    EXPECT_EQ(caps.GetDestinationCount(), 2u);
    EXPECT_EQ(caps.GetManufacturerId(), 0xFFFFu);
    probe->capsResult = MMSYSERR_NODRIVER;
    EXPECT_FALSE(mixer.GetDevCaps(caps));
    EXPECT_EQ(caps.GetDestinationCount(), 0u) << "reset on failure";
    EXPECT_EQ(caps.GetProductName(), "");
    EXPECT_FALSE(caps.Get(0));
    probe->capsResult = MMSYSERR_NOERROR;
    EXPECT_TRUE(caps.Get(0));
    EXPECT_EQ(caps.GetDestinationCount(), 2u);

    CMixerLine line;
    ASSERT_TRUE(mixer.GetLineInfoByDestination(1, line));
    EXPECT_EQ(line.GetComponentType(), MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    ASSERT_TRUE(mixer.GetLineInfoBySource(0, 2, line));
    EXPECT_EQ(line.GetComponentType(), MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC);
    EXPECT_TRUE(line.IsSource());
    ASSERT_TRUE(mixer.GetLineInfoByLineId(SoftMixer::synthesizerLineId, line));
    EXPECT_EQ(line.GetName(), "SW Synth");
    ASSERT_TRUE(mixer.GetLineInfoByComponentType(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, line));
    EXPECT_EQ(line.GetLineId(), SoftMixer::microphoneLineId);

    EXPECT_FALSE(mixer.GetLineInfoByLineId(0x77, line));
    EXPECT_EQ(mixer.GetLastResult(), MIXERR_INVALLINE);
    EXPECT_EQ(line.GetLineId(), SoftMixer::microphoneLineId) << "a failed query leaves the line";

    // Any code the platform gives is kept and has its text.
    for (const auto& [code, text] : std::vector<std::pair<MMRESULT, std::string>>{
             {MMSYSERR_HANDLEBUSY, "Handle being used simultaneously on another thread (or "
                                   "callback)"},
             {MIDIERR_NOMAP, "MIDI has no configured instruments"},
             {JOYERR_PARMS, "Joystick bad parameters"},
             {MIXERR_INVALCONTROL, "Mixer invalid control"},
             {4242, "Unknown (4242)"}}) {
        probe->lineInfoResult = code;
        EXPECT_FALSE(mixer.GetLineInfoByDestination(0, line));
        EXPECT_EQ(mixer.GetLastResult(), code);
        std::string shown;
        mixer.GetErrorText(shown);
        EXPECT_EQ(shown, text);
    }
}

TEST(CMixerTest, ListsTheControlsOfALine) {
    ScopedMixerDevices devices({NewSoftMixer()});
    CMixer mixer;
    CMixerLine line;
    ASSERT_TRUE(mixer.GetLineInfoByLineId(SoftMixer::waveOutLineId, line));
    CMixer::Controls controls;
    controls.push_back(std::make_unique<CMixerControl>());
    ASSERT_TRUE(mixer.GetLineControls(line, controls));
    ASSERT_EQ(controls.size(), 2u) << "the array is emptied first";
    EXPECT_EQ(controls[0]->GetControlType(), MIXERCONTROL_CONTROLTYPE_VOLUME);
    EXPECT_EQ(controls[0]->GetUpperBound(), 65535u);
    EXPECT_EQ(controls[1]->GetControlType(), MIXERCONTROL_CONTROLTYPE_MUTE);

    CMixerLine unknown; // line id 0 is the synthesizer; a stranger's count is refused
    MIXERLINE stranger = MakeMixerLine(0x00000000, 0, 2, "", "", 0);
    stranger.cControls = 5;
    unknown = stranger;
    EXPECT_FALSE(mixer.GetLineControls(unknown, controls));
    EXPECT_EQ(mixer.GetLastResult(), MMSYSERR_INVALPARAM);
    EXPECT_TRUE(controls.empty());
}

TEST(CMixerTest, ABufferThatCannotBeHadFailsWithMemoryAllocationError) {
    ScopedMixerDevices devices({NewSoftMixer()});
    CMixer mixer;
    ASSERT_TRUE(mixer.Open(0, 0, 0, 0));
    MIXERLINE huge = MakeMixerLine(SoftMixer::waveOutLineId, 0, 0x7FFFFFFF, "", "", 0);
    huge.cControls = 0x7FFFFFFF;
    CMixerLine line;
    line = huge;
    CMixer::Controls controls;
    EXPECT_FALSE(mixer.GetLineControls(line, controls));
    EXPECT_EQ(mixer.GetLastResult(), MMSYSERR_NOMEM);
    std::string text;
    mixer.GetErrorText(text);
    EXPECT_EQ(text, "Memory allocation error");

    MIXERCONTROL platformControl = MakeMixerControl(
        SoftMixer::waveOutVolumeId, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, "", "", 0, 65535, 0);
    CMixerControl control;
    control = platformControl;
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

    CMixer::DetailsList values;
    ASSERT_TRUE(mixer.GetControlDetails(line, volume, values));
    EXPECT_EQ(Values(values), (std::vector<DWORD>{49151, 49151}));
    auto left = Value(1000);
    auto right = Value(2000);
    const CMixerControlDetailsData* both[] = {left.get(), right.get()};
    ASSERT_TRUE(mixer.SetControlDetails(line, volume, both));
    EXPECT_EQ(soft->GetValues(SoftMixer::compactDiscVolumeId), (std::vector<DWORD>{1000, 2000}));

    // A boolean is written as 0 or 1, as one uniform value with an item count of 0.
    probe->ClearRequests();
    auto seven = Value(7);
    const CMixerControlDetailsData* on[] = {seven.get()};
    ASSERT_TRUE(mixer.SetControlDetails(line, mute, on));
    ASSERT_TRUE(mixer.GetControlDetails(line, mute, values));
    EXPECT_EQ(Values(values), (std::vector<DWORD>{1}));
    const auto requests = probe->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].words, (std::vector<DWORD>{1}));
    for (const auto& request : requests) {
        EXPECT_EQ(request.channels, 1u);
        EXPECT_EQ(request.items, 0u);
        EXPECT_EQ(request.cbDetails, 4u);
    }

    // Words not supplied keep the control's current value.
    auto only = Value(3000);
    const CMixerControlDetailsData* partial[] = {only.get(), nullptr};
    ASSERT_TRUE(mixer.SetControlDetails(line, volume, partial));
    EXPECT_EQ(soft->GetValues(SoftMixer::compactDiscVolumeId), (std::vector<DWORD>{3000, 2000}));

    auto tooHigh = Value(65536);
    const CMixerControlDetailsData* refused[] = {tooHigh.get(), tooHigh.get()};
    EXPECT_FALSE(mixer.SetControlDetails(line, volume, refused));
    EXPECT_EQ(mixer.GetLastResult(), MIXERR_INVALVALUE);

    mixer.Close();
    probe->ClearRequests();
    // A closed device's null handle names device 0, as the platform's does.
    EXPECT_TRUE(mixer.GetControlDetails(line, volume, values));
    EXPECT_EQ(Values(values), (std::vector<DWORD>{3000, 2000}));
}

TEST(CMixerTest, ValueCountsFollowUniformMultipleAndUnits) {
    // A stereo line with a uniform fader, a uniform switch, a signed control, a multiple
    // control and one of custom units.
    MixerControlDescription uniformFader =
        TestFader(1, 0, 100, {40}, MIXERCONTROL_CONTROLF_UNIFORM);
    MixerControlDescription uniformSwitch = TestMute(2, 1);
    MixerControlDescription pan;
    pan.control = MakeMixerControl(3, MIXERCONTROL_CONTROLTYPE_PAN, 0, "Pan", "Pan", 0, 0, 0);
    pan.control.Bounds.lMinimum = -100;
    pan.control.Bounds.lMaximum = 100;
    pan.values = {static_cast<DWORD>(-20), 30};
    MixerControlDescription eq;
    eq.control = MakeMixerControl(4, MIXERCONTROL_CONTROLTYPE_EQUALIZER,
                                  MIXERCONTROL_CONTROLF_MULTIPLE, "EQ", "EQ", 0, 10, 10);
    eq.control.cMultipleItems = 3;
    eq.values = {1, 2, 3, 4, 5, 6};
    MixerControlDescription custom;
    custom.control = MakeMixerControl(5, 0x50000000, 0, "Odd", "Odd", 0, 100, 0);
    auto probe =
        std::make_shared<ProbeMixerDevice>(std::make_shared<DescribedMixerDevice>(TestMixer(
            {TestDestination(0xFFFF0000, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                             {TestSource(7, MIXERLINE_COMPONENTTYPE_SRC_LINE, 2,
                                         {uniformFader, uniformSwitch, pan, eq, custom})})})));
    ScopedMixerDevices devices({probe});
    CMixer mixer;
    ASSERT_TRUE(mixer.Open(0, 0, 0, 0));
    CMixerLine line;
    ASSERT_TRUE(mixer.GetLineInfoByLineId(7, line));
    CMixer::Controls controls;
    ASSERT_TRUE(mixer.GetLineControls(line, controls));
    ASSERT_EQ(controls.size(), 5u);

    CMixer::DetailsList values;
    ASSERT_TRUE(mixer.GetControlDetails(line, *controls[0], values));
    EXPECT_EQ(Values(values), (std::vector<DWORD>{40}));
    ASSERT_TRUE(mixer.GetControlDetails(line, *controls[1], values));
    EXPECT_EQ(Values(values), (std::vector<DWORD>{1}));
    ASSERT_TRUE(mixer.GetControlDetails(line, *controls[2], values));
    EXPECT_EQ(Values(values), (std::vector<DWORD>{static_cast<DWORD>(-20), 30}));
    ASSERT_TRUE(mixer.GetControlDetails(line, *controls[3], values));
    EXPECT_EQ(Values(values), (std::vector<DWORD>{1, 2, 3, 4, 5, 6}));
    auto requests = probe->Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ((std::pair{requests[0].channels, requests[0].items}), (std::pair{1u, 1u}));
    EXPECT_EQ((std::pair{requests[1].channels, requests[1].items}), (std::pair{1u, 0u}));
    EXPECT_EQ((std::pair{requests[2].channels, requests[2].items}), (std::pair{2u, 0u}));
    EXPECT_EQ((std::pair{requests[3].channels, requests[3].items}), (std::pair{2u, 3u}));

    // Signed values are written back as they were read.
    ASSERT_TRUE(mixer.GetControlDetails(line, *controls[2], values));
    values[0]->SetSigned({-100});
    ASSERT_TRUE(mixer.SetControlDetails(line, *controls[2], Pointers(values)));
    ASSERT_TRUE(mixer.GetControlDetails(line, *controls[2], values));
    EXPECT_EQ(static_cast<LONG>(values[0]->GetValue()), -100);

    // Custom units: refused before any platform call, nothing set, the array emptied.
    probe->ClearRequests();
    const MMRESULT before = mixer.GetLastResult();
    EXPECT_FALSE(mixer.GetControlDetails(line, *controls[4], values));
    EXPECT_TRUE(values.empty());
    auto one = Value(50);
    const CMixerControlDetailsData* list[] = {one.get(), one.get()};
    EXPECT_FALSE(mixer.SetControlDetails(line, *controls[4], list));
    EXPECT_TRUE(probe->Requests().empty());
    EXPECT_EQ(mixer.GetLastResult(), before);
}

TEST(CMixerTest, ListControlsGiveTheirTexts) {
    MixerControlDescription mux;
    mux.control = MakeMixerControl(9, MIXERCONTROL_CONTROLTYPE_MUX,
                                   MIXERCONTROL_CONTROLF_UNIFORM | MIXERCONTROL_CONTROLF_MULTIPLE,
                                   "Mux", "Source", 0, 1, 2);
    mux.control.cMultipleItems = 2;
    mux.itemTexts.resize(2);
    mux.itemTexts[0] = {0x00000001, 0x1003, {}};
    CopyMixerText(mux.itemTexts[0].szName, "Microphone");
    mux.itemTexts[1] = {0x00010001, 0x1002, {}};
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
    EXPECT_EQ(texts[0]->GetSecondParameter(), 0x1003u);
    EXPECT_EQ(texts[1]->GetName(), "Line In");
    EXPECT_EQ(texts[1]->GetValue(), 0x00010001u);
    EXPECT_FALSE(mixer.GetControlListText(line, *controls[1], texts)) << "not a list";
    EXPECT_TRUE(texts.empty());
}

TEST(CMixerTest, SerialisesItsDeviceIdentifierAndOpensItOnLoading) {
    ScopedMixerDevices devices({NewSoftMixer(), NewSoftMixer()});
    TempDir dir;
    const std::string path = dir.file("mixer.bin");
    {
        CMixer mixer;
        ASSERT_TRUE(mixer.Open(1, 0, 0, 0));
        CFile file(path, CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        mixer.Serialize(ar);
        ar.Close();
        file.Close();
    }
    EXPECT_EQ(ReadFileBytes(path), HexBytes("01 00 00 00"));
    CMixer loaded;
    CFile file(path, CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    loaded.Serialize(ar);
    EXPECT_EQ(loaded.GetDeviceId(), 1u);
    EXPECT_NE(loaded.GetHandle(), nullptr);
}

} // namespace
