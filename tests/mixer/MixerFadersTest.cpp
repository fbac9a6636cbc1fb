#include "mixer/MixerFaders.h"

#include "mixer/CMixer.h"
#include "platform/msgbox/AfxMessageBox.h"
#include "tests/platform/mixerapi/TestMixerDevices.h"

#include <gtest/gtest.h>

#include <array>

namespace {

/// Answers every message box with OK and keeps the texts it was asked to show (all with the
/// stop icon).
class MessageBoxRecorder final : public MessageBoxHandler {
public:
    MessageBoxRecorder()
        : m_previous(InstallMessageBoxHandler(this)) {}
    ~MessageBoxRecorder() override { InstallMessageBoxHandler(m_previous); }

    int Show(const std::string& text, UINT type) override {
        shown.push_back(text);
        EXPECT_EQ(type, UINT{MB_ICONSTOP | MB_OK});
        return IDOK;
    }
    std::vector<std::string> shown;

private:
    MessageBoxHandler* m_previous;
};

const std::string M1 = MixerFaders::synthesizerMessage;
const std::string M2 = MixerFaders::waveMessage;
const std::string M3 = MixerFaders::cdMessage;

/// Speakers with a synthesizer, a wave-out and a CD source whose faders have the given maxima
/// (0: no fader on that line), and wave in with a microphone.
MixerDescription ShapedMixer(DWORD synthMax, DWORD waveMax, DWORD cdMax) {
    auto source = [](DWORD lineId, DWORD type, DWORD controlId, DWORD maximum) {
        std::vector<MixerControlDescription> controls{TestMute(controlId + 100)};
        if (maximum != 0) {
            controls.push_back(TestFader(controlId, 0, maximum));
        }
        return TestSource(lineId, type, 2, std::move(controls));
    };
    return TestMixer({{MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                       {source(0x00000000, MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, 1, synthMax),
                        source(0x00010000, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, 2, waveMax),
                        source(0x00020000, MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, 3, cdMax)}},
                      {MIXERLINE_COMPONENTTYPE_DST_WAVEIN,
                       {source(0x00000001, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, 4, 65535)}}});
}

/// The start-up search and calibration over a mixer device of the test's choosing.
struct Calibrated {
    explicit Calibrated(MixerDevices devices)
        : installed(std::move(devices)) {
        result = faders.FindMixerControls(mixer);
        faders.CalibrateVolumeSteps();
    }
    explicit Calibrated(MixerDescription description)
        : Calibrated(MixerDevices{std::make_shared<DescribedMixerDevice>(std::move(description))}) {
    }
    ScopedMixerDevices installed;
    MessageBoxRecorder boxes;
    CMixer mixer;
    MixerFaders faders;
    int result = 0;
};

TEST(MixerFadersTest, TheSoftwareMixerBindsEachKindToItsOwnFaderWithoutAWord) {
    auto soft = NewSoftMixer();
    Calibrated c({soft});
    EXPECT_EQ(c.result, 0);
    EXPECT_TRUE(c.boxes.shown.empty());
    EXPECT_EQ((std::array{c.faders.synthStep, c.faders.waveStep, c.faders.cdStep}),
              (std::array<DWORD, 3>{655, 655, 655}));
    const std::pair<VolumeFaderBinding*, DWORD> kinds[] = {
        {&c.faders.synthFader, SoftMixer::synthesizerVolumeId},
        {&c.faders.waveFader, SoftMixer::waveOutVolumeId},
        {&c.faders.cdFader, SoftMixer::compactDiscVolumeId},
        {&c.faders.micFader, SoftMixer::microphoneVolumeId}, // with the wave step
    };
    // Past the top the fader is full: a damaged list's 6,557,202 × 655 wraps to 14 in 32 bits.
    const std::pair<std::uint32_t, DWORD> volumes[] = {
        {10, 6550}, {100, 65500}, {101, 65535}, {6557202, 65535}, {0xFFFFFFFF, 65535}};
    for (const auto& [fader, controlId] : kinds) {
        for (const auto& [volume, level] : volumes) {
            fader->ApplyVolume(volume);
            for (const auto& [other, otherId] : kinds) {
                const DWORD expected = otherId == controlId ? level : 49151;
                EXPECT_EQ(soft->GetValues(otherId), (std::vector<DWORD>{expected, expected}))
                    << "volume " << volume << " for control " << controlId;
            }
        }
        ASSERT_EQ(WriteControl(controlId, {49151, 49151}), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(WriteControl(SoftMixer::microphoneVolumeId, {30000, 10000}), MMSYSERR_NOERROR);
    EXPECT_EQ(c.faders.micFader.ReadVolume(), 45u) << "the larger channel, remainder dropped";

    c.faders.ReleaseVolumeControls();
    for (CMixerVolumeControl* control :
         {&c.faders.synthVolume, &c.faders.waveVolume, &c.faders.cdVolume, &c.faders.micVolume}) {
        EXPECT_EQ(control->GetHandle(), nullptr);
        EXPECT_EQ(control->GetLastResult(), MMSYSERR_NOERROR) << "each was open";
    }
    EXPECT_TRUE(c.faders.playbackVolumeControls.empty());
    EXPECT_TRUE(c.faders.recordVolumeControls.empty());
}

// An item cued after the playing one sets its fader on cue: the fader reads as before until the
// engine reports a level it kept in effect; levels kept for cues that never started go with it.
TEST(MixerFadersTest, VolumesSetOnCueTakeEffectOnlyWhenTheEngineCommitsTheirLevel) {
    auto soft = NewSoftMixer();
    Calibrated c({soft});
    RecordingListener listener;
    soft->SetListener(&listener);
    listener.reports.clear();
    for (std::uint32_t volume : {10u, 20u, 6557202u}) {
        c.faders.waveFader.ApplyVolumeOnCue(volume);
    }
    using Report = RecordingListener::Report;
    EXPECT_EQ(listener.staged, (std::vector<Report>{{Bus::Wave, {6550, 6550}},
                                                    {Bus::Wave, {13100, 13100}},
                                                    {Bus::Wave, {65535, 65535}}}));
    EXPECT_TRUE(listener.reports.empty());
    EXPECT_EQ(c.faders.waveFader.ReadVolume(), 75u) << "still the first run's 49151";

    const auto wave = [&] { return soft->GetValues(SoftMixer::waveOutVolumeId); };
    soft->CommitStaged(Bus::Wave, {13101, 13101}); // no value was kept for that level
    EXPECT_EQ(wave(), (std::vector<DWORD>{49151, 49151}));
    soft->CommitStaged(Bus::Wave, {13100, 13100});
    EXPECT_EQ(wave(), (std::vector<DWORD>{13100, 13100}));
    EXPECT_EQ(listener.reports, (std::vector<Report>{{Bus::Wave, {13100, 13100}}}));
    soft->CommitStaged(Bus::Wave, {6550, 6550}); // its cue never started: dropped
    EXPECT_EQ(wave(), (std::vector<DWORD>{13100, 13100}));
    soft->CommitStaged(Bus::Wave, {65535, 65535});
    EXPECT_EQ(c.faders.waveFader.ReadVolume(), 100u);

    // The microphone's fader cannot wait for a cue: it is set at once.
    c.faders.micFader.ApplyVolumeOnCue(10);
    EXPECT_EQ(soft->GetValues(SoftMixer::microphoneVolumeId), (std::vector<DWORD>{6550, 6550}));
    soft->SetListener(nullptr);
}

// No mixer at all is start-up's case (CQuillonAppTest); unreadable capabilities are this one's.
TEST(MixerFadersTest, UnreadableCapabilitiesBindNothingAndFallBackTo655) {
    auto probe = std::make_shared<ProbeMixerDevice>(NewSoftMixer());
    probe->failure = MMSYSERR_NOTENABLED;
    Calibrated blind({probe});
    EXPECT_EQ(blind.result, -2);
    EXPECT_TRUE(blind.faders.playbackVolumeControls.empty());
    EXPECT_EQ(blind.boxes.shown, (std::vector{M1, M2, M3}));
    EXPECT_EQ(blind.faders.waveStep, 655u);
}

TEST(MixerFadersTest, MissingFadersShowTheirMessagesInOrderAndBorrowTheFirstStepThatWorked) {
    struct Case {
        DWORD synthMax, waveMax, cdMax;
        std::vector<std::string> messages;
        std::array<DWORD, 3> steps;
    };
    const Case cases[] = {
        {63, 32767, 65535, {M1}, {327, 327, 655}}, // the wave step, the first that worked
        {65535, 0, 0, {M2, M3}, {655, 655, 655}},  {0, 0, 1000, {M1, M2}, {10, 10, 10}},
        {1000, 32767, 0, {M3}, {10, 327, 10}}, // the synthesizer's step comes first
        {100, 199, 63, {M3}, {655, 655, 655}}, // steps of 1 are no better than none
        {100, 299, 63, {M3}, {1, 2, 2}},       // but a step of 1 is kept when another is found
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.synthMax << " " << c.waveMax << " " << c.cdMax);
        Calibrated m(ShapedMixer(c.synthMax, c.waveMax, c.cdMax));
        EXPECT_EQ(m.result, 0);
        EXPECT_EQ(m.boxes.shown, c.messages);
        EXPECT_EQ((std::array{m.faders.synthStep, m.faders.waveStep, m.faders.cdStep}), c.steps);
    }
}

TEST(MixerFadersTest, TheLastMatchingSourceIsBoundAndAMissingMicrophoneLeftUnbound) {
    MixerDescription description = ShapedMixer(65535, 65535, 65535);
    description.destinations[1].sources.clear();
    description.destinations[0].sources.push_back(
        TestSource(0x00030000, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, 2, {TestFader(50, 0, 6553)}));
    Calibrated c(std::move(description));
    EXPECT_TRUE(c.boxes.shown.empty());
    EXPECT_EQ(c.faders.waveVolume.GetControl().GetControlId(), 50u);
    EXPECT_EQ(c.faders.waveStep, 65u);
    EXPECT_EQ(c.faders.playbackVolumeControls.size(), 4u) << "a copy of each bound fader";
    EXPECT_TRUE(c.faders.recordVolumeControls.empty());
    EXPECT_EQ(c.faders.micVolume.GetHandle(), nullptr);
}

} // namespace
