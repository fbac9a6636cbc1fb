// The mixer class layer (records, device, volume control) over test mixers behind the mixer
// functions. Serialisation and list texts are left out: nothing in the program uses them.
#include "mixer/CMixer.h"

#include "mixer/CMixerCapabilities.h"
#include "mixer/CMixerControl.h"
#include "mixer/CMixerControlDetailsData.h"
#include "mixer/CMixerLine.h"
#include "mixer/CMixerVolumeControl.h"
#include "tests/platform/mixerapi/TestMixerDevices.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <optional>

namespace {

constexpr DWORD kLineId = 0x00000007;

/// One source line of a test mixer, found and its controls listed through an open CMixer, as
/// the start-up search does, with a probe in front of the device.
struct OneLine {
    explicit OneLine(std::vector<MixerControlDescription> lineControls, DWORD channels = 2)
        : device(std::make_shared<DescribedMixerDevice>(
              TestMixer({{MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                          {TestSource(kLineId, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, channels,
                                      std::move(lineControls))}}})))
        , probe(std::make_shared<ProbeMixerDevice>(device))
        , installed({probe}) {
        EXPECT_TRUE(mixer.Open(0, 0, 0, 0));
        EXPECT_TRUE(mixer.GetLineInfoByLineId(kLineId, line));
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
    /// Writes control i through CMixer; a missing word is a null element.
    bool Write(std::size_t i, const std::vector<std::optional<DWORD>>& words) {
        std::vector<CMixerControlDetailsData> data(words.size());
        std::vector<const CMixerControlDetailsData*> list;
        for (std::size_t w = 0; w < words.size(); ++w) {
            data[w].SetUnsigned({words[w].value_or(0)});
            list.push_back(words[w] ? &data[w] : nullptr);
        }
        return mixer.SetControlDetails(line, *controls.at(i), list);
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

TEST(CMixerRecordsTest, SetResetsFirstAndNamesFillingTheirFieldStayWhole) {
    MIXERCONTROL platform = MakeMixerControl(7, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, "Vol", "Volume",
                                             0xFFFFFFF0, 100, 64);
    for (DWORD i = 1; i < 6; ++i) {
        platform.Metrics.dwReserved[i] = i * 11;
    }
    CMixerControl control;
    control.Set(platform);
    control.Set(platform);
    EXPECT_EQ(control.GetMetrics(), (std::vector<DWORD>{64, 11, 22, 33, 44, 55}))
        << "the array holds six words, not twelve";
    CMixerControl copy;
    copy = control;
    copy = control;
    EXPECT_EQ(copy.GetMetrics(), control.GetMetrics()) << "and so does a copy";

    MIXERLINE platformLine = MakeMixerLine(1, 0, 2, "", "Wave", 0);
    std::memset(platformLine.szShortName, 'S', sizeof platformLine.szShortName);
    CMixerLine line;
    line = platformLine;
    EXPECT_EQ(line.GetShortName(), std::string(16, 'S')) << "no terminator, nothing read past";
}

// Handle checks themselves are the mixer functions' (MixerApiTest); here what the class adds.
TEST(CMixerTest, ReopeningOrDestroyingClosesTheHandleAndFailuresKeepThePlatformsCode) {
    OneLine m({TestFader(1, 0, 100)});
    const HMIXER first = m.mixer.GetHandle();
    ASSERT_TRUE(m.mixer.Open(0, 0, 0, 0));
    EXPECT_EQ(mixerClose(first), MMSYSERR_INVALHANDLE) << "re-opening closed the old handle";
    EXPECT_FALSE(m.mixer.Open(5, 0, 0, 0));
    EXPECT_EQ(m.mixer.GetLastResult(), MMSYSERR_BADDEVICEID);
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
    CMixerLine line;
    EXPECT_FALSE(m.mixer.GetLineInfoBySource(0, 0, line));
    EXPECT_EQ(m.mixer.GetLastResult(), 4242u);
    m.probe->failure = MMSYSERR_NOERROR;
    ASSERT_TRUE(m.mixer.GetLineInfoByComponentType(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, line));
    EXPECT_FALSE(m.mixer.GetLineInfoByLineId(0x77, line));
    EXPECT_EQ(m.mixer.GetLastResult(), MIXERR_INVALLINE);
    EXPECT_EQ(line.GetLineId(), kLineId) << "a failed query leaves the line";
}

TEST(CMixerTest, ControlListsAreRebuiltAndImpossibleBuffersRefused) {
    OneLine m({TestFader(1, 0, 65535), TestMute(2)});
    m.controls.insert(m.controls.begin(), std::make_unique<CMixerControl>());
    ASSERT_TRUE(m.mixer.GetLineControls(m.line, m.controls));
    ASSERT_EQ(m.controls.size(), 2u) << "the array is emptied first";
    EXPECT_EQ(m.controls[1]->GetControlType(), MIXERCONTROL_CONTROLTYPE_MUTE);

    MIXERLINE stranger = MakeMixerLine(kLineId, 0, 2, "", "", 0);
    stranger.cControls = 5;
    CMixerLine line;
    line = stranger;
    CMixer::Controls controls;
    EXPECT_FALSE(m.mixer.GetLineControls(line, controls)) << "a count the device does not have";
    EXPECT_EQ(m.mixer.GetLastResult(), MMSYSERR_INVALPARAM);

    // Counts no buffer can hold fail as the platform would, before anything is asked.
    MIXERLINE huge = MakeMixerLine(kLineId, 0, 0x7FFFFFFF, "", "", 0);
    huge.cControls = 0x7FFFFFFF;
    m.line = huge;
    EXPECT_FALSE(m.mixer.GetLineControls(m.line, controls));
    EXPECT_EQ(m.mixer.GetLastResult(), MMSYSERR_NOMEM);
    m.probe->ClearRequests();
    EXPECT_TRUE(m.Read(0).empty());
    EXPECT_EQ(m.mixer.GetLastResult(), MMSYSERR_NOMEM);
    EXPECT_FALSE(m.Write(0, {1}));
    EXPECT_EQ(m.mixer.GetLastResult(), MMSYSERR_NOMEM);
    EXPECT_TRUE(m.probe->Requests().empty());
}

TEST(CMixerTest, ValueCountsFollowUniformBooleanMultipleAndUnits) {
    MixerControlDescription eq;
    eq.control = MakeMixerControl(3, MIXERCONTROL_CONTROLTYPE_EQUALIZER,
                                  MIXERCONTROL_CONTROLF_MULTIPLE, "EQ", "EQ", 0, 10, 10);
    eq.control.cMultipleItems = 3;
    eq.values = {1, 2, 3, 4, 5, 6};
    MixerControlDescription custom;
    custom.control = MakeMixerControl(5, 0x50000000, 0, "Odd", "Odd", 0, 100, 0);
    OneLine m({TestFader(1, 0, 100, {40}, MIXERCONTROL_CONTROLF_UNIFORM), TestMute(2), eq,
               TestFader(4, 0, 65535, {10, 20}), custom});
    ASSERT_EQ(m.controls.size(), 5u);

    struct Case {
        std::vector<DWORD> read;
        std::pair<DWORD, DWORD> shape; // channels, items as sent
    };
    const Case cases[] = {
        {{40}, {1, 1}}, {{0}, {1, 0}}, {{1, 2, 3, 4, 5, 6}, {2, 3}}, {{10, 20}, {2, 0}}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        m.probe->ClearRequests();
        EXPECT_EQ(m.Read(i), cases[i].read) << "control " << i;
        const auto requests = m.probe->Requests();
        ASSERT_EQ(requests.size(), 1u);
        const auto& request = requests[0];
        EXPECT_EQ((std::pair{request.channels, request.items}), cases[i].shape) << "control " << i;
    }

    // Words not supplied keep the control's current value; every item of every channel goes back as
    // it was read, with the one change.
    ASSERT_TRUE(m.Write(3, {3000, std::nullopt}));
    EXPECT_EQ(m.Values(4), (std::vector<DWORD>{3000, 20}));
    ASSERT_TRUE(m.Write(2, {1, 2, 3, 4, 5, 9}));
    EXPECT_EQ(m.Values(3), (std::vector<DWORD>{1, 2, 3, 4, 5, 9}));

    // Custom units: refused before any platform call, nothing set, the array emptied.
    m.probe->ClearRequests();
    const MMRESULT before = m.mixer.GetLastResult();
    CMixer::DetailsList values;
    values.push_back(std::make_unique<CMixerControlDetailsData>());
    EXPECT_FALSE(m.mixer.GetControlDetails(m.line, *m.controls[4], values));
    EXPECT_TRUE(values.empty());
    EXPECT_FALSE(m.Write(4, {50, 50}));
    EXPECT_TRUE(m.probe->Requests().empty());
    EXPECT_EQ(m.mixer.GetLastResult(), before);
}

TEST(CMixerVolumeControlTest, StereoFadersReadTheLargerChannelAndWriteWithinBounds) {
    OneLine m({TestFader(1, 100, 60000, {30000, 10000})});
    CMixerVolumeControl control;
    m.Bind(control);
    EXPECT_EQ((std::array{control.GetLeftValue(), control.GetRightValue(), control.GetValue()}),
              (std::array<DWORD, 3>{30000, 10000, 30000}));
    ASSERT_EQ(WriteControl(1, {100, 200}), MMSYSERR_NOERROR);
    EXPECT_EQ(control.GetValue(), 200u) << "every getter reads the mixer again";

    ASSERT_TRUE(control.SetValue(5));
    EXPECT_EQ(m.Values(), (std::vector<DWORD>{100, 100}));
    ASSERT_TRUE(control.SetValue(0xFFFFFFFF));
    EXPECT_EQ(m.Values(), (std::vector<DWORD>{60000, 60000})) << "unsigned: no wrap";

    // Setting one channel keeps the other at the mixer's value, not the control's own copy.
    ASSERT_EQ(WriteControl(1, {1000, 2000}), MMSYSERR_NOERROR);
    ASSERT_TRUE(control.SetLeftValue(5000));
    EXPECT_EQ(m.Values(), (std::vector<DWORD>{5000, 2000}));
    ASSERT_EQ(WriteControl(1, {3000, 4000}), MMSYSERR_NOERROR);
    ASSERT_TRUE(control.SetRightValue(0));
    EXPECT_EQ(m.Values(), (std::vector<DWORD>{3000, 100}));
}

TEST(CMixerVolumeControlTest, AMonoFaderKeepsTheRightValueItLastWrote) {
    OneLine m({TestFader(1, 0, 65535, {1000})}, 1);
    CMixerVolumeControl control;
    m.Bind(control);
    EXPECT_EQ(control.GetRightValue(), 0u) << "the right value keeps what it had: 0 at first";
    EXPECT_EQ(control.GetValue(), 1000u);
    ASSERT_TRUE(control.SetValue(500));
    EXPECT_EQ(m.Values(), (std::vector<DWORD>{500}));
    ASSERT_EQ(WriteControl(1, {200}), MMSYSERR_NOERROR);
    EXPECT_EQ(control.GetLeftValue(), 200u);
    EXPECT_EQ(control.GetValue(), 500u) << "the right value SetValue last wrote is larger";
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
