// The CD player's command sequence, sent through mciSendCommand to the installed layer, played
// through the real (private) sound server and captured from it. The wave and MIDI players'
// sequences are heard through quillon-play (QuillonPlayTest, QuillonPlayFaultTest).

#include "platform/mci/MciLayer.h"

#include "platform/engine/SoundEngine.h"
#include "tests/platform/engine/EngineTestSupport.h"
#include "tests/platform/mci/MciTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/HeardTones.h"
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

TEST_F(MciLayerSoundTest, CdTrackPlaysAloneAndTheLastOneToTheEnd) {
    std::vector<std::pair<WPARAM, MCIDEVICEID>> notices;
    for (BYTE track : {BYTE{2}, BYTE{3}}) {
        MCIDEVICEID id = 0;
        ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_CD_AUDIO, id), 0u);
        ASSERT_EQ(m_mci.SetTimeFormat(id, MCI_FORMAT_TMSF), 0u);
        // The last track's "to" names a track past the disc, meaning its end.
        ASSERT_EQ(m_mci.Play(id, MCI_NOTIFY | MCI_FROM | MCI_TO, &m_window,
                             MCI_MAKE_TMSF(track, 0, 0, 0),
                             MCI_MAKE_TMSF(static_cast<BYTE>(track + 1), 0, 0, 0)),
                  0u);
        EXPECT_EQ(MCI_TMSF_TRACK(static_cast<DWORD>(m_mci.StatusOf(id, MCI_STATUS_POSITION))),
                  track);
        ASSERT_TRUE(m_window.WaitForCount(track - 1u, 5s));
        EXPECT_EQ(m_mci.Stop(id), 0u);
        EXPECT_EQ(m_mci.Close(id), 0u);
        notices.emplace_back(MCI_NOTIFY_SUCCESSFUL, id);
    }
    // The server's clock says when the last track has come through.
    const std::size_t until = m_capture.Frames() + kRate / 2;
    WaitFor([&] { return m_capture.Frames() >= until; }, 10s);
    const std::vector<HeardTone> heard =
        HeardTones(Channel(m_capture.Stop(), 0), kRate, {500.0, 700.0, 900.0});
    ASSERT_EQ(ToneSequence(heard), (std::vector<double>{700.0, 900.0}));
    EXPECT_NEAR(heard[0].seconds, (m_image.trackStart[2] - m_image.trackStart[1]) / 75.0, 0.05);
    EXPECT_NEAR(heard[1].seconds, (m_image.leadout - m_image.trackStart[2]) / 75.0, 0.05);
    ExpectNotices(m_window, notices);
}
