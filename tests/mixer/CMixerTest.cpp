// The mixer class layer (device, line search, volume control) over test mixers behind the
// mixer functions, as far as the program uses it: the fader search opens a device, reads its
// capabilities, finds lines by source and lists their controls; the bindings read and write
// volume faders. Single channels, list texts and serialisation serve nothing in the program.
#include "mixer/CMixer.h"

#include "mixer/CMixerCapabilities.h"
#include "mixer/CMixerControl.h"
#include "mixer/CMixerControlDetailsData.h"
#include "mixer/CMixerLine.h"
#include "mixer/CMixerVolumeControl.h"
#include "tests/platform/mixerapi/TestMixerDevices.h"

#include <gtest/gtest.h>

namespace {

constexpr DWORD kLineId = 0x00000007;

/// One source line of a test mixer, found and its controls listed through an open CMixer, as
/// the start-up search does, with a probe in front of the device.
struct OneLine {
    explicit OneLine(std::vector<MixerControlDescription> lineControls)
        : device(std::make_shared<DescribedMixerDevice>(
              TestMixer({{MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                          {TestSource(kLineId, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, 2,
                                      std::move(lineControls))}}})))
        , probe(std::make_shared<ProbeMixerDevice>(device))
        , installed({probe}) {
        EXPECT_TRUE(mixer.Open(0, 0, 0, 0));
        EXPECT_TRUE(mixer.GetLineInfoBySource(0, 0, line));
        EXPECT_TRUE(mixer.GetLineControls(line, controls));
    }

    /// The values of control i as CMixer reads them (empty when the read fails).
    std::vector<DWORD> Read(std::size_t i) {
        CMixer::DetailsList list;
        std::vector<DWORD> values;
        if (mixer.GetControlDetails(line, *controls.at(i), list)) {
            for (const auto& data : list) {
                values.push_back(data->GetValue());
            }
        }
        return values;
    }
    /// Binds a volume control to the line's first control, as the start-up search does.
    void Bind(CMixerVolumeControl& control) {
        control.SetLine(line);
        control.SetControl(*controls.at(0));
        ASSERT_TRUE(control.Open(0));
    }
    std::vector<DWORD> Values(DWORD controlId = 1) const { return device->GetValues(controlId); }

    std::shared_ptr<DescribedMixerDevice> device;
    std::shared_ptr<ProbeMixerDevice> probe;
    ScopedMixerDevices installed;
    CMixer mixer;
    CMixerLine line;
    CMixer::Controls controls;
};

// Handle checks themselves are the mixer functions' (MixerApiTest); here what the class adds.
TEST(CMixerTest, ReopeningOrDestroyingClosesTheHandleAndFailuresKeepThePlatformsCode) {
    OneLine m({TestFader(1, 0, 100)});
    const HMIXER first = m.mixer.GetHandle();
    ASSERT_TRUE(m.mixer.Open(0, 0, 0, 0));
    EXPECT_EQ(mixerClose(first), MMSYSERR_INVALHANDLE) << "re-opening closed the old handle";
    HMIXER handle = nullptr;
    {
        CMixer scoped;
        ASSERT_TRUE(scoped.Open(0, 0, 0, 0));
        handle = scoped.GetHandle();
    }
    EXPECT_EQ(mixerClose(handle), MMSYSERR_INVALHANDLE) << "the destructor closed the device";

    CMixerCapabilities caps;
    ASSERT_TRUE(m.mixer.GetDevCaps(caps));
    m.probe->failure = MMSYSERR_NODRIVER;
    EXPECT_FALSE(m.mixer.GetDevCaps(caps));
    EXPECT_EQ(caps.GetDestinationCount(), 0u) << "reset on failure";
    m.probe->failure = 4242; // a code of no known range is kept as it is
    CMixerLine line = m.line;
    EXPECT_FALSE(m.mixer.GetLineInfoBySource(0, 0, line));
    EXPECT_EQ(m.mixer.GetLastResult(), 4242u);
    EXPECT_EQ(line.GetLineId(), kLineId) << "a failed query leaves the line";
}

TEST(CMixerTest, ControlListsAreRebuiltAndImpossibleBuffersRefused) {
    OneLine m({TestFader(1, 0, 65535), TestMute(2)});
    m.controls.insert(m.controls.begin(), std::make_unique<CMixerControl>());
    ASSERT_TRUE(m.mixer.GetLineControls(m.line, m.controls));
    ASSERT_EQ(m.controls.size(), 2u) << "the array is emptied first";
    EXPECT_EQ(m.controls[1]->GetControlType(), MIXERCONTROL_CONTROLTYPE_MUTE);

    // Counts no buffer can hold fail as the platform would, before anything is asked.
    MIXERLINE huge = MakeMixerLine(kLineId, 0, 0x7FFFFFFF, "", "", 0);
    huge.cControls = 0x7FFFFFFF;
    m.line = huge;
    CMixer::Controls controls;
    EXPECT_FALSE(m.mixer.GetLineControls(m.line, controls));
    EXPECT_EQ(m.mixer.GetLastResult(), MMSYSERR_NOMEM);
    m.probe->ClearRequests();
    EXPECT_TRUE(m.Read(0).empty());
    EXPECT_EQ(m.mixer.GetLastResult(), MMSYSERR_NOMEM);
    EXPECT_TRUE(m.probe->Requests().empty());
}

TEST(CMixerTest, AUniformControlIsAskedForOneChannelAStereoOneForTwo) {
    OneLine m({TestFader(1, 0, 100, {40}, MIXERCONTROL_CONTROLF_UNIFORM), TestMute(2),
               TestFader(3, 0, 65535, {10, 20})});
    const std::pair<std::vector<DWORD>, DWORD> cases[] = {{{40}, 1}, {{0}, 1}, {{10, 20}, 2}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        m.probe->ClearRequests();
        EXPECT_EQ(m.Read(i), cases[i].first) << "control " << i;
        ASSERT_EQ(m.probe->Requests().size(), 1u);
        EXPECT_EQ(m.probe->Requests()[0].channels, cases[i].second) << "control " << i;
    }
}

TEST(CMixerVolumeControlTest, FadersReadTheLargerChannelAfreshAndWriteWithinBounds) {
    OneLine m({TestFader(1, 100, 60000, {10000, 30000})});
    CMixerVolumeControl control;
    m.Bind(control);
    EXPECT_EQ(control.GetValue(), 30000u);
    ASSERT_EQ(WriteControl(1, {200, 100}), MMSYSERR_NOERROR);
    EXPECT_EQ(control.GetValue(), 200u) << "every getter reads the mixer again";
    ASSERT_TRUE(control.SetValue(5));
    EXPECT_EQ(m.Values(), (std::vector<DWORD>{100, 100}));
    ASSERT_TRUE(control.SetValue(0xFFFFFFFF));
    EXPECT_EQ(m.Values(), (std::vector<DWORD>{60000, 60000})) << "unsigned: no wrap";
}

TEST(CMixerVolumeControlTest, FailuresCloseTheDeviceOrChangeNothing) {
    OneLine m({TestFader(1, 0, 65535, {30000, 20000})});
    CMixerVolumeControl unbound;
    EXPECT_EQ(unbound.GetValue(), 0u);
    EXPECT_FALSE(unbound.SetValue(1234));
    EXPECT_TRUE(m.probe->Requests().empty()) << "no units, no platform call";

    CMixerVolumeControl control;
    m.Bind(control);
    m.probe->ClearRequests();
    m.probe->failure = MMSYSERR_NOTSUPPORTED;
    EXPECT_FALSE(control.SetValue(10));
    EXPECT_EQ(control.GetLastResult(), MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(m.probe->Requests().size(), 1u) << "no read-back after a refused write";

    m.probe->failure = MMSYSERR_NODRIVER;
    EXPECT_FALSE(control.Refresh());
    EXPECT_EQ(control.GetHandle(), nullptr) << "a failed read closes the device";
    EXPECT_EQ(control.GetValue(), 0u);
    m.probe->failure = MMSYSERR_NOERROR;
    EXPECT_TRUE(control.Open(0));
    EXPECT_EQ(control.GetValue(), 30000u);
    EXPECT_EQ(m.Values(), (std::vector<DWORD>{30000, 20000})) << "nothing was ever written";
}

} // namespace
