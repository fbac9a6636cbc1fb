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
        ASSERT_EQ(WriteControl(kFaderId, std::move(words)), MMSYSERR_NOERROR);
    }

    std::vector<DWORD> Values() const { return device->GetValues(kFaderId); }

    std::shared_ptr<DescribedMixerDevice> device;
    std::shared_ptr<ProbeMixerDevice> probe;
    ScopedMixerDevices installed;
};

TEST(CMixerVolumeControlTest, StereoFadersReadTheLargerChannelAndWriteWithinBounds) {
    OneFaderMixer mixer(2, TestFader(kFaderId, 100, 60000, {30000, 10000}));
    CMixerVolumeControl control;
    mixer.Bind(control);
    EXPECT_EQ(control.GetLeftValue(), 30000u);
    EXPECT_EQ(control.GetRightValue(), 10000u);
    EXPECT_EQ(control.GetValue(), 30000u);
    mixer.Move({100, 200});
    EXPECT_EQ(control.GetValue(), 200u) << "every getter reads the mixer again";

    ASSERT_TRUE(control.SetValue(5));
    EXPECT_EQ(mixer.Values(), (std::vector<DWORD>{100, 100}));
    ASSERT_TRUE(control.SetValue(0xFFFFFFFF));
    EXPECT_EQ(mixer.Values(), (std::vector<DWORD>{60000, 60000})) << "unsigned: no wrap";

    // Setting one channel keeps the other at the mixer's value, not the control's own copy.
    mixer.Move({1000, 2000});
    ASSERT_TRUE(control.SetLeftValue(5000));
    EXPECT_EQ(mixer.Values(), (std::vector<DWORD>{5000, 2000}));
    mixer.Move({3000, 4000});
    ASSERT_TRUE(control.SetRightValue(0));
    EXPECT_EQ(mixer.Values(), (std::vector<DWORD>{3000, 100}));
}

TEST(CMixerVolumeControlTest, MonoAndUniformFadersTakeOneValue) {
    {
        OneFaderMixer mixer(1, TestFader(kFaderId, 0, 65535, {1000}));
        CMixerVolumeControl control;
        mixer.Bind(control);
        EXPECT_EQ(control.GetRightValue(), 0u) << "the right value keeps what it had: 0 at first";
        EXPECT_EQ(control.GetValue(), 1000u);
        ASSERT_TRUE(control.SetValue(500));
        EXPECT_EQ(mixer.Values(), (std::vector<DWORD>{500}));
        mixer.Move({200});
        EXPECT_EQ(control.GetLeftValue(), 200u);
        EXPECT_EQ(control.GetValue(), 500u) << "the right value SetValue last wrote is larger";
    }
    OneFaderMixer mixer(2, TestFader(kFaderId, 0, 100, {40}, MIXERCONTROL_CONTROLF_UNIFORM));
    CMixerVolumeControl control;
    mixer.Bind(control);
    EXPECT_EQ(control.GetValue(), 40u);
    ASSERT_TRUE(control.SetValue(70));
    EXPECT_EQ(mixer.Values(), (std::vector<DWORD>{70}));
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
    original.Close();
    EXPECT_EQ(copy.GetValue(), 30000u) << "closing one leaves the other open";
}

} // namespace
