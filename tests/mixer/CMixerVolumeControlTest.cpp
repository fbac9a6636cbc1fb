#include "mixer/CMixerVolumeControl.h"

#include "mixer/CMixer.h"
#include "tests/platform/mixerapi/TestMixerDevices.h"

#include <gtest/gtest.h>

namespace {

constexpr DWORD kLineId = 0x00000000;
constexpr DWORD kFaderId = 1;

/// A speakers destination with one source line of the given channels and fader.
struct OneFaderMixer {
    OneFaderMixer(DWORD channels, MixerControlDescription fader)
        : device(std::make_shared<DescribedMixerDevice>(
              TestMixer({TestDestination(0xFFFF0000, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                                         {TestSource(kLineId, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
                                                     channels, {std::move(fader)})})})))
        , probe(std::make_shared<ProbeMixerDevice>(device))
        , installed({probe}) {}

    /// Binds a volume control to the fader as the start-up search does.
    void Bind(CMixerVolumeControl& control) {
        CMixer mixer;
        CMixerLine line;
        ASSERT_TRUE(mixer.GetLineInfoByLineId(kLineId, line));
        CMixer::Controls controls;
        ASSERT_TRUE(mixer.GetLineControls(line, controls));
        control.SetLine(line);
        control.SetControl(*controls[0]);
        ASSERT_TRUE(control.Open(0));
    }

    /// Moves the fader from outside, as another program would.
    void Move(std::vector<DWORD> words) {
        MIXERCONTROLDETAILS details{};
        details.cbStruct = sizeof details;
        details.dwControlID = kFaderId;
        details.cChannels = static_cast<DWORD>(words.size());
        details.cbDetails = sizeof(DWORD);
        details.paDetails = words.data();
        ASSERT_EQ(mixerSetControlDetails(MixerObjectFromId(0), &details, 0), MMSYSERR_NOERROR);
    }

    std::vector<DWORD> Values() const { return device->GetValues(kFaderId); }

    std::shared_ptr<DescribedMixerDevice> device;
    std::shared_ptr<ProbeMixerDevice> probe;
    ScopedMixerDevices installed;
};

TEST(CMixerVolumeControlTest, StereoFadersReadTheLargerChannel) {
    OneFaderMixer mixer(2, TestFader(kFaderId, 0, 65535, {30000, 10000}));
    CMixerVolumeControl control;
    mixer.Bind(control);
    EXPECT_EQ(control.GetLeftValue(), 30000u);
    EXPECT_EQ(control.GetRightValue(), 10000u);
    EXPECT_EQ(control.GetValue(), 30000u);
    mixer.Move({100, 200});
    EXPECT_EQ(control.GetValue(), 200u) << "every getter reads the mixer again";
    EXPECT_EQ(control.GetMinimum(), 0u);
    EXPECT_EQ(control.GetMaximum(), 65535u);
}

TEST(CMixerVolumeControlTest, AMonoLineUpdatesOnlyTheLeftValue) {
    OneFaderMixer mixer(1, TestFader(kFaderId, 0, 65535, {1000}));
    CMixerVolumeControl control;
    mixer.Bind(control);
    EXPECT_EQ(control.GetLeftValue(), 1000u);
    EXPECT_EQ(control.GetRightValue(), 0u) << "the right value keeps what it had: 0 at first";
    EXPECT_EQ(control.GetValue(), 1000u);

    ASSERT_TRUE(control.SetValue(500));
    EXPECT_EQ(mixer.Values(), (std::vector<DWORD>{500}));
    mixer.Move({200});
    EXPECT_EQ(control.GetLeftValue(), 200u);
    EXPECT_EQ(control.GetRightValue(), 500u) << "the last value SetValue wrote";
    EXPECT_EQ(control.GetValue(), 500u) << "the larger of the two";
    const auto requests = mixer.probe->Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().channels, 1u);
}

TEST(CMixerVolumeControlTest, AUniformControlReadsAndWritesOneValue) {
    OneFaderMixer mixer(2, TestFader(kFaderId, 0, 100, {40}, MIXERCONTROL_CONTROLF_UNIFORM));
    CMixerVolumeControl control;
    mixer.Bind(control);
    EXPECT_EQ(control.GetValue(), 40u);
    ASSERT_TRUE(control.SetValue(70));
    EXPECT_EQ(mixer.Values(), (std::vector<DWORD>{70}));
    for (const auto& request : mixer.probe->Requests()) {
        EXPECT_EQ(request.channels, 1u);
        EXPECT_EQ(request.items, 1u) << "not boolean: one item";
        EXPECT_EQ(request.words.size(), 1u);
    }
}

TEST(CMixerVolumeControlTest, SetValueClampsToTheBounds) {
    OneFaderMixer mixer(2, TestFader(kFaderId, 100, 60000, {1000, 1000}));
    CMixerVolumeControl control;
    mixer.Bind(control);
    ASSERT_TRUE(control.SetValue(5));
    EXPECT_EQ(mixer.Values(), (std::vector<DWORD>{100, 100}));
    ASSERT_TRUE(control.SetValue(70000));
    EXPECT_EQ(mixer.Values(), (std::vector<DWORD>{60000, 60000}));
    ASSERT_TRUE(control.SetValue(0xFFFFFFFF));
    EXPECT_EQ(control.GetValue(), 60000u) << "unsigned: no wrap to a small value";
    ASSERT_TRUE(control.SetLeftValue(0));
    EXPECT_EQ(mixer.Values(), (std::vector<DWORD>{100, 60000}));
}

TEST(CMixerVolumeControlTest, SettingOneChannelKeepsTheOtherAtTheMixersValue) {
    OneFaderMixer mixer(2, TestFader(kFaderId, 0, 65535, {0, 0}));
    CMixerVolumeControl control;
    mixer.Bind(control);
    ASSERT_TRUE(control.SetValue(100));
    mixer.Move({1000, 2000}); // the control's own copy still says 100 / 100
    ASSERT_TRUE(control.SetLeftValue(5000));
    EXPECT_EQ(mixer.Values(), (std::vector<DWORD>{5000, 2000}));
    mixer.Move({3000, 4000});
    ASSERT_TRUE(control.SetRightValue(6000));
    EXPECT_EQ(mixer.Values(), (std::vector<DWORD>{3000, 6000}));
    EXPECT_EQ(control.GetValue(), 6000u);
}

TEST(CMixerVolumeControlTest, AFailedReadClosesTheDeviceAndYieldsZero) {
    OneFaderMixer mixer(2, TestFader(kFaderId, 0, 65535, {30000, 30000}));
    CMixerVolumeControl control;
    mixer.Bind(control);
    ASSERT_EQ(control.GetValue(), 30000u);
    mixer.probe->readResult = MMSYSERR_NODRIVER;
    EXPECT_FALSE(control.Refresh());
    EXPECT_EQ(control.GetHandle(), nullptr);
    EXPECT_EQ(control.GetValue(), 0u);
    EXPECT_EQ(control.GetLeftValue(), 0u);
    EXPECT_EQ(control.GetRightValue(), 0u);
    mixer.probe->readResult = MMSYSERR_NOERROR;
    EXPECT_TRUE(control.Open(0));
    EXPECT_EQ(control.GetValue(), 30000u);

    // A write that the mixer refuses changes nothing and skips the read-back.
    mixer.probe->writeResult = MMSYSERR_NOTSUPPORTED;
    EXPECT_FALSE(control.SetValue(10));
    EXPECT_EQ(control.GetLastResult(), MMSYSERR_NOTSUPPORTED);
    std::string text;
    control.GetErrorText(text);
    EXPECT_EQ(text, "Function is not supported");
    EXPECT_EQ(mixer.Values(), (std::vector<DWORD>{30000, 30000}));
}

TEST(CMixerVolumeControlTest, AnUnboundControlReadsZeroAndWritesNothing) {
    OneFaderMixer mixer(2, TestFader(kFaderId, 0, 65535, {30000, 30000}));
    CMixerVolumeControl control;
    EXPECT_EQ(control.GetValue(), 0u);
    EXPECT_FALSE(control.SetValue(1234));
    EXPECT_EQ(control.GetMinimum(), 0u);
    EXPECT_EQ(control.GetMaximum(), 0u);
    EXPECT_TRUE(mixer.probe->Requests().empty()) << "no units, no platform call";
    EXPECT_EQ(mixer.Values(), (std::vector<DWORD>{30000, 30000}));
}

TEST(CMixerVolumeControlTest, CopiesOpenTheirOwnHandle) {
    OneFaderMixer mixer(2, TestFader(kFaderId, 0, 65535, {30000, 20000}));
    CMixerVolumeControl original;
    mixer.Bind(original);
    CMixerVolumeControl copy;
    copy = original;
    EXPECT_NE(copy.GetHandle(), nullptr);
    EXPECT_NE(copy.GetHandle(), original.GetHandle());
    EXPECT_EQ(copy.GetControl().GetControlId(), kFaderId);
    EXPECT_EQ(copy.GetValue(), 30000u);
    original.Close();
    EXPECT_EQ(copy.GetValue(), 30000u) << "closing one leaves the other open";

    CMixerLineControl binding;
    EXPECT_TRUE(binding.Copy(copy));
    EXPECT_EQ(binding.GetLine().GetLineId(), kLineId);
    EXPECT_EQ(binding.GetDeviceId(), 0u);
    EXPECT_TRUE(binding.Close());
}

} // namespace
