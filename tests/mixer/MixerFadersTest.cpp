#include "mixer/MixerFaders.h"

#include "mixer/CMixer.h"
#include "mixer/MixerGlobals.h"
#include "model/MoxCD.h"
#include "model/MoxMid.h"
#include "model/MoxWav.h"
#include "platform/mixerapi/MemoryMixerLevelStore.h"
#include "platform/mixerapi/SoftMixer.h"
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

std::vector<std::pair<std::string, UINT>> Shown(std::initializer_list<std::string> texts) {
    std::vector<std::pair<std::string, UINT>> shown;
    for (const std::string& text : texts) {
        shown.emplace_back(text, stop);
    }
    return shown;
}

TEST(MixerFadersTest, TheSoftwareMixerGivesStepsOf655WithoutAWord) {
    auto soft = std::make_shared<SoftMixer>(std::make_shared<MemoryMixerLevelStore>());
    ScopedMixerDevices installed({soft});
    MessageBoxRecorder boxes;
    CMixer mixer;
    MixerFaders faders;
    EXPECT_EQ(faders.FindMixerControls(mixer), 0);
    faders.CalibrateVolumeSteps();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(faders.synthStep, 655u);
    EXPECT_EQ(faders.waveStep, 655u);
    EXPECT_EQ(faders.cdStep, 655u);

    EXPECT_EQ(faders.synthVolume.GetControl().GetControlId(),
              DWORD{SoftMixer::synthesizerVolumeId});
    EXPECT_EQ(faders.waveVolume.GetControl().GetControlId(), DWORD{SoftMixer::waveOutVolumeId});
    EXPECT_EQ(faders.cdVolume.GetControl().GetControlId(), DWORD{SoftMixer::compactDiscVolumeId});
    EXPECT_EQ(faders.micVolume.GetControl().GetControlId(), DWORD{SoftMixer::microphoneVolumeId});
    EXPECT_EQ(faders.micVolume.GetLine().GetName(), "Microphone");
    ASSERT_EQ(faders.playbackVolumeControls.size(), 3u);
    ASSERT_EQ(faders.recordVolumeControls.size(), 1u);
    EXPECT_EQ(faders.playbackVolumeControls[0]->GetControlId(),
              DWORD{SoftMixer::synthesizerVolumeId});
    // Each bound control has a handle of its own, apart from the search device's.
    EXPECT_NE(faders.waveVolume.GetHandle(), nullptr);
    EXPECT_NE(faders.waveVolume.GetHandle(), mixer.GetHandle());
    EXPECT_NE(faders.waveVolume.GetHandle(), faders.cdVolume.GetHandle());
    EXPECT_NE(mixer.GetHandle(), nullptr) << "the search device stays open";
}

TEST(MixerFadersTest, VolumesAreAppliedAndReadThroughTheSteps) {
    auto soft = std::make_shared<SoftMixer>(std::make_shared<MemoryMixerLevelStore>());
    ScopedMixerDevices installed({soft});
    CMixer mixer;
    MixerFaders faders;
    ASSERT_EQ(faders.FindMixerControls(mixer), 0);
    faders.CalibrateVolumeSteps();

    faders.waveFader.ApplyVolume(50);
    EXPECT_EQ(soft->GetValues(SoftMixer::waveOutVolumeId), (std::vector<DWORD>{32750, 32750}));
    faders.synthFader.ApplyVolume(100);
    EXPECT_EQ(soft->GetValues(SoftMixer::synthesizerVolumeId), (std::vector<DWORD>{65500, 65500}));
    faders.cdFader.ApplyVolume(0);
    EXPECT_EQ(soft->GetValues(SoftMixer::compactDiscVolumeId), (std::vector<DWORD>{0, 0}));
    faders.micFader.ApplyVolume(10);
    EXPECT_EQ(soft->GetValues(SoftMixer::microphoneVolumeId), (std::vector<DWORD>{6550, 6550}))
        << "the microphone uses the wave step";
    faders.waveFader.ApplyVolume(7000000);
    EXPECT_EQ(soft->GetValues(SoftMixer::waveOutVolumeId), (std::vector<DWORD>{65535, 65535}))
        << "7000000 × 655 fits 32 bits and is clamped to the top";

    faders.waveVolume.SetValue(65535);
    EXPECT_EQ(faders.waveFader.ReadVolume(), 100u);
    faders.waveVolume.SetLeftValue(30000);
    faders.waveVolume.SetRightValue(10000);
    EXPECT_EQ(faders.waveFader.ReadVolume(), 45u) << "the larger channel, remainder dropped";
    EXPECT_EQ(faders.synthFader.ReadVolume(), 100u);
}

TEST(MixerFadersTest, ItemsSetTheirKindsFaderAndTheListenerHearsIt) {
    class Listener final : public SoftMixerListener {
    public:
        void OnFaderChanged(MixerBus bus, std::uint16_t left, std::uint16_t right) override {
            last[static_cast<int>(bus)] = {left, right};
        }
        std::array<MixerBusFader, mixerBusCount> last{};
    } listener;
    auto soft = std::make_shared<SoftMixer>(std::make_shared<MemoryMixerLevelStore>());
    soft->SetListener(&listener);
    ScopedMixerDevices installed({soft});
    CMixer mixer;
    MixerFaders faders;
    ASSERT_EQ(faders.FindMixerControls(mixer), 0);
    faders.CalibrateVolumeSteps();

    // The speakers fader full, so that a source's level is what reaches the engine.
    DWORD full[2] = {65535, 65535};
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = SoftMixer::speakersVolumeId;
    details.cChannels = 2;
    details.cbDetails = sizeof(DWORD);
    details.paDetails = full;
    ASSERT_EQ(mixerSetControlDetails(MixerObjectFromId(0), &details, 0), MMSYSERR_NOERROR);

    MoxWav wav({nullptr, &faders.waveFader}, "hello.wav");
    wav.SetVolume(50);
    wav.Play();
    EXPECT_EQ(listener.last[static_cast<int>(MixerBus::waveOut)], (MixerBusFader{32750, 32750}));
    MoxMid mid({nullptr, &faders.synthFader}, "tune.mid");
    mid.SetVolume(10);
    mid.Play();
    EXPECT_EQ(listener.last[static_cast<int>(MixerBus::synthesizer)], (MixerBusFader{6550, 6550}));
    MoxCD cd({nullptr, &faders.cdFader}, "Track 2");
    cd.SetVolume(100);
    cd.Play();
    EXPECT_EQ(listener.last[static_cast<int>(MixerBus::compactDisc)],
              (MixerBusFader{65500, 65500}));
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
    EXPECT_EQ(faders.synthStep, 655u);
    EXPECT_EQ(faders.waveStep, 655u);
    EXPECT_EQ(faders.cdStep, 655u);
    EXPECT_TRUE(faders.playbackVolumeControls.empty());
    faders.waveFader.ApplyVolume(50); // nothing to write to, and nothing breaks
    EXPECT_EQ(faders.waveFader.ReadVolume(), 0u);
}

TEST(MixerFadersTest, UnreadableCapabilitiesBindNothing) {
    auto probe = std::make_shared<ProbeMixerDevice>(
        std::make_shared<SoftMixer>(std::make_shared<MemoryMixerLevelStore>()));
    probe->capsResult = MMSYSERR_NOTENABLED;
    ScopedMixerDevices installed({probe});
    MessageBoxRecorder boxes;
    CMixer mixer;
    MixerFaders faders;
    EXPECT_EQ(faders.FindMixerControls(mixer), -2);
    faders.CalibrateVolumeSteps();
    EXPECT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(faders.cdStep, 655u);
}

TEST(MixerFadersTest, AFaderBelow100UnitsTakesTheFirstStepThatWorked) {
    Calibrated c(ShapedMixer(63, 32767, 65535, true));
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.boxes.shown, Shown({M1}));
    EXPECT_EQ(c.faders.synthStep, 327u) << "the wave step, the first that could be worked out";
    EXPECT_EQ(c.faders.waveStep, 327u);
    EXPECT_EQ(c.faders.cdStep, 655u);
    c.faders.synthFader.ApplyVolume(100);
    EXPECT_EQ(c.faders.synthVolume.GetValue(), 63u) << "clamped to the small fader's top";
}

TEST(MixerFadersTest, MissingFadersShowTheirMessagesInOrder) {
    Calibrated c(ShapedMixer(65535, 0, 0, true));
    EXPECT_EQ(c.boxes.shown, Shown({M2, M3}));
    EXPECT_EQ(c.faders.waveStep, 655u);
    EXPECT_EQ(c.faders.cdStep, 655u);
    EXPECT_EQ(c.faders.playbackVolumeControls.size(), 1u);

    Calibrated cdOnly(ShapedMixer(0, 0, 1000, false));
    EXPECT_EQ(cdOnly.boxes.shown, Shown({M1, M2}));
    EXPECT_EQ(cdOnly.faders.synthStep, 10u);
    EXPECT_EQ(cdOnly.faders.waveStep, 10u);

    Calibrated firstWins(ShapedMixer(1000, 32767, 0, true));
    EXPECT_EQ(firstWins.boxes.shown, Shown({M3}));
    EXPECT_EQ(firstWins.faders.cdStep, 10u) << "the synthesizer's step comes first";
}

TEST(MixerFadersTest, AStepOfOneCountsAsNoFallback) {
    Calibrated c(ShapedMixer(100, 199, 63, true));
    EXPECT_EQ(c.boxes.shown, Shown({M3}));
    EXPECT_EQ(c.faders.synthStep, 655u);
    EXPECT_EQ(c.faders.waveStep, 655u);
    EXPECT_EQ(c.faders.cdStep, 655u);

    Calibrated two(ShapedMixer(100, 299, 63, true));
    EXPECT_EQ(two.faders.synthStep, 1u) << "a step of 1 that is not 0 is kept";
    EXPECT_EQ(two.faders.waveStep, 2u);
    EXPECT_EQ(two.faders.cdStep, 2u);
}

TEST(MixerFadersTest, AWaveInWithoutAMicrophoneLeavesItsFaderUnbound) {
    Calibrated c(ShapedMixer(65535, 65535, 65535, false));
    EXPECT_TRUE(c.boxes.shown.empty());
    EXPECT_TRUE(c.faders.recordVolumeControls.empty());
    c.device->ClearRequests();
    c.faders.micFader.ApplyVolume(80);
    EXPECT_EQ(c.faders.micFader.ReadVolume(), 0u);
    EXPECT_TRUE(c.device->Requests().empty()) << "moving the level changes nothing";
}

TEST(MixerFadersTest, TheLastMatchingSourceIsBound) {
    MixerDescription description = ShapedMixer(65535, 65535, 65535, true);
    description.destinations[0].sources.push_back(
        TestSource(0x00030000, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, 2, {TestFader(50, 0, 6553)}));
    Calibrated c(std::move(description));
    EXPECT_EQ(c.faders.waveVolume.GetControl().GetControlId(), 50u);
    EXPECT_EQ(c.faders.waveVolume.GetLine().GetLineId(), 0x00030000u);
    EXPECT_EQ(c.faders.waveStep, 65u);
    EXPECT_EQ(c.faders.playbackVolumeControls.size(), 4u) << "a copy of each bound fader";
}

TEST(MixerFadersTest, ReleasingClosesTheFadersAndDeletesTheCopies) {
    Calibrated c(ShapedMixer(65535, 65535, 65535, true));
    c.faders.ReleaseVolumeControls();
    for (CMixerVolumeControl* control :
         {&c.faders.synthVolume, &c.faders.waveVolume, &c.faders.cdVolume, &c.faders.micVolume}) {
        EXPECT_EQ(control->GetHandle(), nullptr);
        EXPECT_EQ(control->GetLastResult(), MMSYSERR_NOERROR) << "each was open";
    }
    EXPECT_TRUE(c.faders.playbackVolumeControls.empty());
    EXPECT_TRUE(c.faders.recordVolumeControls.empty());
    EXPECT_EQ(c.faders.synthStep, 655u) << "the steps stay";
}

TEST(MixerFadersTest, TheProcessWideNamesReferToOneInstance) {
    auto soft = std::make_shared<SoftMixer>(std::make_shared<MemoryMixerLevelStore>());
    ScopedMixerDevices installed({soft});
    MessageBoxRecorder boxes;
    EXPECT_EQ(&g_synthVolume, &g_mixerFaders.synthVolume);
    EXPECT_EQ(&g_recordVolumeControls, &g_mixerFaders.recordVolumeControls);
    EXPECT_EQ(g_volumeScale, 100u);
    EXPECT_EQ(FindMixerControls(), 0);
    CalibrateVolumeSteps();
    EXPECT_EQ(g_synthStep, 655u);
    EXPECT_EQ(g_waveStep, 655u);
    EXPECT_EQ(g_cdStep, 655u);
    EXPECT_EQ(g_playbackVolumeControls.size(), 3u);
    EXPECT_NE(g_mixer.GetHandle(), nullptr);
    g_mixerFaders.waveFader.ApplyVolume(50);
    EXPECT_EQ(soft->GetValues(SoftMixer::waveOutVolumeId), (std::vector<DWORD>{32750, 32750}));
    ReleaseVolumeControls();
    EXPECT_EQ(g_micVolume.GetHandle(), nullptr);
    EXPECT_TRUE(g_recordVolumeControls.empty());
    g_mixer.Close();
}

} // namespace
