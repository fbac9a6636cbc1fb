#include "mixer/MixerFaders.h"

#include "mixer/CMixer.h"
#include "mixer/MixerGlobals.h"
#include "model/MoxCD.h"
#include "model/MoxWav.h"
#include "platform/msgbox/AfxMessageBox.h"
#include "tests/platform/mixerapi/TestMixerDevices.h"

#include <gtest/gtest.h>

#include <array>

namespace {

/// Answers every message box with OK and keeps what it was asked to show.
class MessageBoxRecorder final : public MessageBoxHandler {
public:
    MessageBoxRecorder()
        : m_previous(InstallMessageBoxHandler(this)) {}
    ~MessageBoxRecorder() override { InstallMessageBoxHandler(m_previous); }

    int Show(const std::string& text, UINT type) override {
        shown.emplace_back(text, type);
        return IDOK;
    }
    std::vector<std::pair<std::string, UINT>> shown;

private:
    MessageBoxHandler* m_previous;
};

const std::string M1 =
    "Quillon is unable to calculate a volume setting for this PC's onboard synthesizer.\n"
    "A default value will be substituted instead.\n";
const std::string M2 =
    "Quillon is unable to calculate a volume setting for this PC's record/playback facilities.\n"
    "A default value will be substituted instead.\n";
const std::string M3 = "Quillon is unable to calculate a volume setting for this PC's CD "
                       "facilities.\nA default value will be substituted instead.\n";
constexpr UINT stop = MB_ICONSTOP | MB_OK;

/// A test mixer: speakers with a synthesizer, a wave-out and a CD source whose faders have the
/// given maxima (0: no fader on that line), and wave in with a microphone when asked for.
MixerDescription ShapedMixer(DWORD synthMax, DWORD waveMax, DWORD cdMax, bool microphone) {
    auto source = [](DWORD lineId, DWORD type, DWORD controlId, DWORD maximum) {
        std::vector<MixerControlDescription> controls{TestMute(controlId + 100)};
        if (maximum != 0) {
            controls.push_back(TestFader(controlId, 0, maximum));
        }
        return TestSource(lineId, type, 2, std::move(controls));
    };
    std::vector<MixerLineDescription> waveInSources;
    if (microphone) {
        waveInSources.push_back(
            source(0x00000001, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, 4, 65535));
    }
    return TestMixer(
        {TestDestination(0xFFFF0000, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                         {source(0x00000000, MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, 1, synthMax),
                          source(0x00010000, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, 2, waveMax),
                          source(0x00020000, MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, 3, cdMax)}),
         TestDestination(0xFFFF0001, MIXERLINE_COMPONENTTYPE_DST_WAVEIN,
                         std::move(waveInSources))});
}

struct Calibrated {
    explicit Calibrated(MixerDescription description)
        : device(std::make_shared<ProbeMixerDevice>(
              std::make_shared<DescribedMixerDevice>(std::move(description))))
        , installed({device}) {
        result = faders.FindMixerControls(mixer);
        faders.CalibrateVolumeSteps();
    }
    std::shared_ptr<ProbeMixerDevice> device;
    ScopedMixerDevices installed;
    MessageBoxRecorder boxes;
    CMixer mixer;
    MixerFaders faders;
    int result = 0;
};

std::vector<std::pair<std::string, UINT>> Shown(const std::vector<std::string>& texts) {
    std::vector<std::pair<std::string, UINT>> shown;
    for (const std::string& text : texts) {
        shown.emplace_back(text, stop);
    }
    return shown;
}

TEST(MixerFadersTest, TheSoftwareMixerBindsEveryFaderWithStepsOf655WithoutAWord) {
    auto soft = NewSoftMixer();
    ScopedMixerDevices installed({soft});
    MessageBoxRecorder boxes;
    CMixer mixer;
    MixerFaders faders;
    EXPECT_EQ(faders.FindMixerControls(mixer), 0);
    faders.CalibrateVolumeSteps();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(faders.micVolume.GetLine().GetName(), "Microphone");
    EXPECT_EQ(faders.playbackVolumeControls.size(), 3u);
    EXPECT_EQ(faders.recordVolumeControls.size(), 1u);
    // Each bound control has a handle of its own, apart from the search device's.
    EXPECT_NE(faders.waveVolume.GetHandle(), nullptr);
    EXPECT_NE(faders.waveVolume.GetHandle(), mixer.GetHandle());
    EXPECT_NE(faders.waveVolume.GetHandle(), faders.cdVolume.GetHandle());
    EXPECT_NE(mixer.GetHandle(), nullptr) << "the search device stays open";

    faders.waveFader.ApplyVolume(50);
    EXPECT_EQ(soft->GetValues(SoftMixer::waveOutVolumeId), (std::vector<DWORD>{32750, 32750}));
    faders.micFader.ApplyVolume(10);
    EXPECT_EQ(soft->GetValues(SoftMixer::microphoneVolumeId), (std::vector<DWORD>{6550, 6550}))
        << "the microphone uses the wave step";
    faders.waveFader.ApplyVolume(7000000);
    EXPECT_EQ(soft->GetValues(SoftMixer::waveOutVolumeId), (std::vector<DWORD>{65535, 65535}))
        << "7000000 × 655 fits 32 bits and is clamped to the top";

    faders.waveVolume.SetLeftValue(30000);
    faders.waveVolume.SetRightValue(10000);
    EXPECT_EQ(faders.waveFader.ReadVolume(), 45u) << "the larger channel, remainder dropped";
}

TEST(MixerFadersTest, ItemsSetTheirKindsFaderAndTheListenerHearsIt) {
    LastReportListener listener;
    auto soft = NewSoftMixer();
    soft->SetListener(&listener);
    ScopedMixerDevices installed({soft});
    CMixer mixer;
    MixerFaders faders;
    ASSERT_EQ(faders.FindMixerControls(mixer), 0);
    faders.CalibrateVolumeSteps();
    // The speakers fader full, so that a source's level is what reaches the engine.
    ASSERT_EQ(WriteControl(SoftMixer::speakersVolumeId, {65535, 65535}), MMSYSERR_NOERROR);

    MoxWav wav({nullptr, &faders.waveFader}, "hello.wav");
    wav.SetVolume(50);
    wav.Play();
    EXPECT_EQ(listener.last[static_cast<int>(Bus::Wave)], (BusFader{32750, 32750}));
    MoxCD cd({nullptr, &faders.cdFader}, "Track 2");
    cd.SetVolume(100);
    cd.Play();
    EXPECT_EQ(listener.last[static_cast<int>(Bus::Cd)], (BusFader{65500, 65500}));
    soft->SetListener(nullptr);
}

TEST(MixerFadersTest, NoMixerAtAllShowsThreeMessagesAndFallsBackTo655) {
    ScopedMixerDevices none({});
    MessageBoxRecorder boxes;
    CMixer mixer;
    MixerFaders faders;
    EXPECT_EQ(faders.FindMixerControls(mixer), -1);
    faders.CalibrateVolumeSteps();
    EXPECT_EQ(boxes.shown, Shown({M1, M2, M3}));
    EXPECT_EQ(faders.waveStep, 655u);
    EXPECT_TRUE(faders.playbackVolumeControls.empty());
    faders.waveFader.ApplyVolume(50); // nothing to write to, and nothing breaks
    EXPECT_EQ(faders.waveFader.ReadVolume(), 0u);

    auto probe = std::make_shared<ProbeMixerDevice>(NewSoftMixer());
    probe->capsResult = MMSYSERR_NOTENABLED;
    ScopedMixerDevices unreadable({probe});
    CMixer blindMixer;
    MixerFaders blind;
    EXPECT_EQ(blind.FindMixerControls(blindMixer), -2) << "unreadable capabilities bind nothing";
    EXPECT_TRUE(blind.playbackVolumeControls.empty());
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
        Calibrated m(ShapedMixer(c.synthMax, c.waveMax, c.cdMax, true));
        EXPECT_EQ(m.result, 0);
        EXPECT_EQ(m.boxes.shown, Shown(c.messages));
        EXPECT_EQ((std::array{m.faders.synthStep, m.faders.waveStep, m.faders.cdStep}), c.steps);
    }

    Calibrated small(ShapedMixer(63, 32767, 65535, true));
    small.faders.synthFader.ApplyVolume(100);
    EXPECT_EQ(small.faders.synthVolume.GetValue(), 63u) << "clamped to the small fader's top";
}

TEST(MixerFadersTest, TheLastMatchingSourceIsBoundAndAMissingMicrophoneLeftUnbound) {
    MixerDescription description = ShapedMixer(65535, 65535, 65535, false);
    description.destinations[0].sources.push_back(
        TestSource(0x00030000, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, 2, {TestFader(50, 0, 6553)}));
    Calibrated c(std::move(description));
    EXPECT_TRUE(c.boxes.shown.empty());
    EXPECT_EQ(c.faders.waveVolume.GetControl().GetControlId(), 50u);
    EXPECT_EQ(c.faders.waveStep, 65u);
    EXPECT_EQ(c.faders.playbackVolumeControls.size(), 4u) << "a copy of each bound fader";

    EXPECT_TRUE(c.faders.recordVolumeControls.empty());
    c.device->ClearRequests();
    c.faders.micFader.ApplyVolume(80);
    EXPECT_EQ(c.faders.micFader.ReadVolume(), 0u);
    EXPECT_TRUE(c.device->Requests().empty()) << "moving the level changes nothing";
}

TEST(MixerFadersTest, TheProcessWideFunctionsBindAndReleaseTheProcessWideFaders) {
    auto soft = NewSoftMixer();
    ScopedMixerDevices installed({soft});
    MessageBoxRecorder boxes;
    EXPECT_EQ(FindMixerControls(), 0);
    CalibrateVolumeSteps();
    EXPECT_EQ(g_waveStep, 655u);
    EXPECT_NE(g_mixer.GetHandle(), nullptr);
    g_mixerFaders.waveFader.ApplyVolume(50);
    EXPECT_EQ(soft->GetValues(SoftMixer::waveOutVolumeId), (std::vector<DWORD>{32750, 32750}));
    ReleaseVolumeControls();
    for (CMixerVolumeControl* control :
         {&g_synthVolume, &g_waveVolume, &g_cdVolume, &g_micVolume}) {
        EXPECT_EQ(control->GetHandle(), nullptr);
        EXPECT_EQ(control->GetLastResult(), MMSYSERR_NOERROR) << "each was open";
    }
    EXPECT_TRUE(g_playbackVolumeControls.empty());
    EXPECT_TRUE(g_recordVolumeControls.empty());
    EXPECT_EQ(g_synthStep, 655u) << "the steps stay";
    g_mixer.Close();
}

} // namespace
