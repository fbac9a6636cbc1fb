// The players' command sequences, sent through mciSendCommand to the installed layer, played
// through the real (private) sound server and captured from it.

#include "platform/mci/MciLayer.h"

#include "platform/engine/SoundEngine.h"
#include "tests/platform/mci/MciTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/NotifyRecorder.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;
using namespace testaudio;

namespace {
constexpr int kRate = AudioCapture::kRate;

// Sends through the process-wide entry points, as the players do.
class ProcessPort final : public MciPort {
public:
    MCIERROR SendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags,
                         DWORD_PTR param) override {
        return mciSendCommand(device, message, flags, param);
    }
    BOOL GetErrorString(MCIERROR error, char* text, UINT length) override {
        return mciGetErrorString(error, text, length);
    }
    bool IsDeviceOpen(MCIDEVICEID device) override {
        return InstalledMciPort()->IsDeviceOpen(device);
    }
};

class MciLayerSoundTest : public ::testing::Test {
protected:
    MciLayerSoundTest()
        : m_image(WriteCdImage(m_dir.path(), "disc", {{500.0, 0.5}, {700.0, 0.6}, {900.0, 0.7}}))
        , m_layer(m_engine, {"/usr/share/sounds/sf2/default-GM.sf2", m_image.cuePath})
        , m_mci(m_port) {
        InstallMciPort(&m_layer);
    }
    ~MciLayerSoundTest() override { InstallMciPort(nullptr); }

    void SetUp() override {
        ::unsetenv("SDL_AUDIODRIVER");
        ASSERT_TRUE(m_capture.WaitUntilRunning()) << "no sound server: run under scripts/test";
    }

    std::vector<Segment> Listen(double thresholdDb = -40.0) {
        std::this_thread::sleep_for(150ms);
        return FindSegments(Channel(m_capture.Stop(), 0), kRate, thresholdDb);
    }

    TempDir m_dir;
    CdImage m_image;
    SoundEngine m_engine;
    MciLayer m_layer;
    ProcessPort m_port;
    MciCommands m_mci;
    NotifyRecorder m_window;
    AudioCapture m_capture;
};
} // namespace

TEST_F(MciLayerSoundTest, WaveItemsFollowEachOtherOnTheirNotices) {
    const double frequencies[] = {440.0, 660.0, 880.0};
    std::vector<std::string> paths;
    for (double f : frequencies) {
        paths.push_back(m_dir.file(std::to_string(static_cast<int>(f)) + ".wav"));
        WriteToneWave(paths.back(), f, 0.5);
    }
    // The player's loop: open and play with a notice, wait for it, stop and close, next.
    std::vector<MCIDEVICEID> ids;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        MCIDEVICEID id = 0;
        ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, id, paths[i].c_str()), 0u);
        ASSERT_EQ(m_mci.Play(id, MCI_NOTIFY, &m_window), 0u);
        ASSERT_TRUE(m_window.WaitForCount(i + 1, 3s));
        EXPECT_EQ(m_mci.Stop(id), 0u);
        EXPECT_EQ(m_mci.Close(id), 0u);
        EXPECT_FALSE(m_port.IsDeviceOpen(id));
        ids.push_back(id);
    }
    std::this_thread::sleep_for(150ms);
    std::vector<float> left = Channel(m_capture.Stop(), 0);
    // How short the gaps are is the engine benchmark's business; here they only must not be
    // long enough to hear as a pause.
    std::vector<Segment> parts = FindSegments(left, kRate, -40.0, 0.1);
    auto notices = m_window.Messages();
    ASSERT_EQ(notices.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(notices[i].wParam, MCI_NOTIFY_SUCCESSFUL);
        EXPECT_EQ(notices[i].lParam, static_cast<LPARAM>(ids[i]));
    }
    // The three tones sound back to back: one stretch of sound, its pitch changing twice.
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_NEAR(parts[0].Seconds(kRate), 1.5, 0.2);
    for (std::size_t i = 0; i < 3; ++i) {
        std::size_t middle = parts[0].first + static_cast<std::size_t>((0.25 + 0.5 * i) * kRate);
        EXPECT_NEAR(ZeroCrossingFrequency(Slice(left, middle - 2205, 4410), kRate), frequencies[i],
                    1.0);
    }
}

TEST_F(MciLayerSoundTest, CdTrackPlaysAloneAndTheLastOneToTheEnd) {
    MCIDEVICEID id = 0;
    ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_CD_AUDIO, id), 0u);
    DWORD_PTR tracks = 0;
    ASSERT_EQ(m_mci.Status(id, MCI_STATUS_NUMBER_OF_TRACKS, tracks), 0u);
    ASSERT_EQ(tracks, 3u);
    ASSERT_EQ(m_mci.Close(id, 0), 0u);

    for (BYTE track : {BYTE{2}, BYTE{3}}) {
        ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_CD_AUDIO, id), 0u);
        ASSERT_EQ(m_mci.SetTimeFormat(id, MCI_FORMAT_TMSF), 0u);
        ASSERT_EQ(m_mci.Play(id, MCI_NOTIFY | MCI_FROM | MCI_TO, &m_window,
                             MCI_MAKE_TMSF(track, 0, 0, 0),
                             MCI_MAKE_TMSF(static_cast<BYTE>(track + 1), 0, 0, 0)),
                  0u);
        ASSERT_TRUE(m_window.WaitForCount(track - 1u, 3s));
        EXPECT_EQ(m_mci.Stop(id), 0u);
        EXPECT_EQ(m_mci.Close(id), 0u);
        std::this_thread::sleep_for(200ms);
    }
    std::vector<Segment> parts = Listen();
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_NEAR(parts[0].frequency, 700.0, 1.0);
    EXPECT_NEAR(parts[0].Seconds(kRate), (m_image.trackStart[2] - m_image.trackStart[1]) / 75.0,
                0.02);
    EXPECT_NEAR(parts[1].frequency, 900.0, 1.0);
    EXPECT_NEAR(parts[1].Seconds(kRate), (m_image.leadout - m_image.trackStart[2]) / 75.0, 0.02);
    for (const auto& notice : m_window.Messages()) {
        EXPECT_EQ(notice.wParam, MCI_NOTIFY_SUCCESSFUL);
    }
}

TEST_F(MciLayerSoundTest, MidiItemSoundsAndNotifiesWhenItsMusicEnds) {
    SmfWriter song;
    song.Program(0, 19); // church organ: it sounds until the note ends
    song.Note(0.0, 1.0, 60, 100);
    song.Note(0.0, 1.0, 67, 100);
    std::string path = m_dir.file("organ.mid");
    WriteBytes(path, song.Bytes());
    MCIDEVICEID id = 0;
    ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_SEQUENCER, id, path.c_str()), 0u);
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(m_mci.Play(id, MCI_NOTIFY, &m_window), 0u);
    ASSERT_TRUE(m_window.WaitForCount(1, 5s));
    double took = std::chrono::duration<double>(m_window.Messages()[0].when - started).count();
    EXPECT_GT(took, 1.0);
    EXPECT_LT(took, 2.2);
    EXPECT_EQ(m_window.Messages()[0].wParam, MCI_NOTIFY_SUCCESSFUL);
    EXPECT_EQ(m_mci.Close(id), 0u);
    std::vector<Segment> parts = Listen(-50.0);
    ASSERT_GE(parts.size(), 1u);
    // The notes, then their release and reverb: less than a second more.
    EXPECT_GT(parts[0].Seconds(kRate), 0.95);
    EXPECT_LT(parts[0].Seconds(kRate), 2.1);
    EXPECT_GT(parts[0].rmsDb, -30.0);
}

TEST_F(MciLayerSoundTest, StopSilencesTheItemAndAbortsItsNotice) {
    std::string path = m_dir.file("long.wav");
    WriteToneWave(path, 440.0, 3.0);
    MCIDEVICEID id = 0;
    ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, id, path.c_str()), 0u);
    ASSERT_EQ(m_mci.Play(id, MCI_NOTIFY, &m_window), 0u);
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(m_mci.Stop(id), 0u);
    ASSERT_EQ(m_window.Count(), 1u);
    EXPECT_EQ(m_window.Messages()[0].wParam, MCI_NOTIFY_ABORTED);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(m_mci.Close(id), 0u);
    std::vector<Segment> parts = Listen();
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_NEAR(parts[0].Seconds(kRate), 0.6, 0.1);
    EXPECT_EQ(m_window.Count(), 1u);
}
