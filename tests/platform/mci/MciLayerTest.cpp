// The command layer over a real engine that plays into SDL's "dummy" driver (no sound server;
// it paces its callbacks in whole milliseconds, so time runs about 5 % fast): notices, device
// ids, command sequences and errors. What comes out is MciLayerSoundTest's business.

#include "platform/mci/MciLayer.h"

#include "platform/engine/SoundEngine.h"
#include "tests/platform/engine/EngineTestSupport.h"
#include "tests/platform/mci/MciTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/NotifyRecorder.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

using namespace std::chrono_literals;
using namespace testaudio;

namespace {
const std::string kSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

SoundEngine::Config DummyOutput() {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    return SoundEngine::Config{};
}

class MciLayerTest : public ::testing::Test {
protected:
    MciLayerTest()
        : m_engine(DummyOutput())
        , m_image(WriteCdImage(m_dir.path(), "disc", {{500.0, 0.3}, {700.0, 0.3}, {900.0, 0.4}}))
        , m_layer(m_engine, {kSoundFont, m_image.cuePath})
        , m_mci(m_layer) {}

    std::string Tone(const char* name, double seconds) {
        std::string path = m_dir.file(name);
        WriteToneWave(path, 440.0, seconds);
        return path;
    }

    TempDir m_dir;
    SoundEngine m_engine;
    CdImage m_image;
    MciLayer m_layer;
    MciCommands m_mci;
    NotifyRecorder m_window;
};
} // namespace

TEST_F(MciLayerTest, ProbesOpenEachKindWithoutElement) {
    MCIDEVICEID id = 0;
    ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, id), 0u);
    EXPECT_TRUE(m_layer.IsDeviceOpen(id));
    EXPECT_EQ(m_mci.Close(id, 0), 0u);
    EXPECT_FALSE(m_layer.IsDeviceOpen(id));

    ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_SEQUENCER, id), 0u);
    EXPECT_EQ(m_mci.Close(id, 0), 0u);

    ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_CD_AUDIO, id), 0u);
    EXPECT_EQ(m_mci.StatusOf(id, MCI_STATUS_NUMBER_OF_TRACKS), 3u);
    ASSERT_EQ(m_mci.SetTimeFormat(id, MCI_FORMAT_MILLISECONDS), 0u);
    EXPECT_NEAR(static_cast<double>(m_mci.StatusOf(id, MCI_STATUS_LENGTH, 3)), 400.0, 14.0);
    EXPECT_EQ(m_mci.Close(id, 0), 0u);

    // The kinds whose parts are missing fail with their own texts.
    MciLayer bare(m_engine, {m_dir.file("none.sf2"), m_dir.file("none.cue")});
    MciCommands mci(bare);
    EXPECT_EQ(mci.Open(MCI_DEVTYPE_SEQUENCER, id), MCIERR_NO_SOUNDFONT);
    EXPECT_EQ(mci.Open(MCI_DEVTYPE_CD_AUDIO, id), MCIERR_DEVICE_NOT_READY);
    MciLayer noFont(m_engine, {"", ""});
    EXPECT_EQ(MciCommands(noFont).Open(MCI_DEVTYPE_SEQUENCER, id), MCIERR_NO_SOUNDFONT);
}

TEST_F(MciLayerTest, WaveItemNotifiesOnceWhenItEnds) {
    std::string path = Tone("a.wav", 0.3);
    MCIDEVICEID id = 0;
    ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, id, path.c_str()), 0u);
    EXPECT_EQ(m_mci.StatusOf(id, MCI_STATUS_LENGTH), 300u);
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(m_mci.Play(id, MCI_NOTIFY, &m_window), 0u);
    EXPECT_EQ(m_mci.StatusOf(id, MCI_STATUS_MODE), MCI_MODE_PLAY);
    ASSERT_TRUE(m_window.WaitForCount(1, 3s));
    // The notice comes once the last sample is mixed, which runs up to a period ahead.
    const auto period =
        std::chrono::milliseconds(1000 * SoundEngine::Config{}.deviceFrames / 44100);
    auto took = m_window.Messages()[0].when - started;
    EXPECT_GE(took, 300ms - period);
    EXPECT_LT(took, 1000ms);
    EXPECT_EQ(m_mci.StatusOf(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(m_mci.StatusOf(id, MCI_STATUS_POSITION), 300u);
    EXPECT_TRUE(m_layer.IsDeviceOpen(id));
    ExpectNotices(m_window, {{MCI_NOTIFY_SUCCESSFUL, id}});

    // Played again after its end it starts over; with MCI_WAIT the command itself returns then.
    started = std::chrono::steady_clock::now();
    EXPECT_EQ(m_mci.Play(id, MCI_WAIT), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms - period);
    EXPECT_EQ(m_mci.Close(id), 0u);
    EXPECT_FALSE(m_layer.IsDeviceOpen(id));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(m_window.Count(), 1u);
}

TEST_F(MciLayerTest, StopAndCloseAbortAPendingNotice) {
    std::string path = Tone("long.wav", 1.0);
    MCIDEVICEID first = 0;
    MCIDEVICEID second = 0;
    ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, first, path.c_str()), 0u);
    ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, second, path.c_str()), 0u);
    ASSERT_EQ(m_mci.Play(first, MCI_NOTIFY, &m_window), 0u);
    ASSERT_EQ(m_mci.Play(second, MCI_NOTIFY, &m_window), 0u);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(m_mci.Stop(first), 0u);
    EXPECT_EQ(m_mci.Close(second), 0u);
    EXPECT_FALSE(m_layer.IsDeviceOpen(second));
    // The items would have ended by now: no further notice may come.
    std::this_thread::sleep_for(1300ms);
    ExpectNotices(m_window, {{MCI_NOTIFY_ABORTED, first}, {MCI_NOTIFY_ABORTED, second}});
    // Stopping again, or a stop with its own notice, adds only that notice.
    NotifyRecorder other;
    EXPECT_EQ(m_mci.Stop(first, MCI_NOTIFY, &other), 0u);
    ExpectNotices(other, {{MCI_NOTIFY_SUCCESSFUL, first}});
    EXPECT_EQ(m_mci.Close(first), 0u);
    EXPECT_EQ(m_window.Count(), 2u);
}

TEST_F(MciLayerTest, ANewNoticeSupersedesThePendingOne) {
    std::string path = Tone("a.wav", 0.4);
    MCIDEVICEID id = 0;
    ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, id, path.c_str()), 0u);
    NotifyRecorder later;
    ASSERT_EQ(m_mci.Play(id, MCI_NOTIFY, &m_window), 0u);
    ASSERT_EQ(m_mci.Play(id, MCI_NOTIFY, &later), 0u);
    ASSERT_TRUE(later.WaitForCount(1, 3s));
    ExpectNotices(m_window, {{MCI_NOTIFY_SUPERSEDED, id}});
    ExpectNotices(later, {{MCI_NOTIFY_SUCCESSFUL, id}});

    // A play from the start without a notice of its own aborts the pending one.
    ASSERT_EQ(m_mci.Play(id, MCI_NOTIFY, &m_window), 0u);
    ASSERT_EQ(m_mci.Play(id, MCI_FROM, nullptr, 0), 0u);
    std::this_thread::sleep_for(700ms);
    ExpectNotices(m_window, {{MCI_NOTIFY_SUPERSEDED, id}, {MCI_NOTIFY_ABORTED, id}});
    EXPECT_EQ(m_mci.Close(id), 0u);
}

TEST_F(MciLayerTest, FileCutShortWhilePlayingGivesAFailureNotice) {
    std::string path = Tone("long.wav", 5.0);
    MCIDEVICEID id = 0;
    ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, id, path.c_str()), 0u);
    ASSERT_EQ(m_mci.Play(id, MCI_NOTIFY, &m_window), 0u);
    std::this_thread::sleep_for(200ms);
    std::filesystem::resize_file(path, 100);
    ASSERT_TRUE(m_window.WaitForCount(1, 4s));
    ExpectNotices(m_window, {{MCI_NOTIFY_FAILURE, id}});
    EXPECT_EQ(m_mci.Close(id), 0u);
}

TEST_F(MciLayerTest, DeviceIdsAreNeverReused) {
    std::string path = Tone("a.wav", 0.1);
    MciLayer second(m_engine, {kSoundFont, ""});
    MciCommands other(second);
    MCIDEVICEID last = 0;
    for (int i = 0; i < 5; ++i) {
        MCIDEVICEID id = 0;
        ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, id, path.c_str()), 0u);
        EXPECT_GT(id, last);
        last = id;
        EXPECT_EQ(m_mci.Close(id), 0u);
        ASSERT_EQ(other.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, id, path.c_str()), 0u);
        EXPECT_GT(id, last);
        last = id;
        EXPECT_FALSE(m_layer.IsDeviceOpen(id)) << "an id of one layer is not open in another";
        EXPECT_EQ(other.Close(id), 0u);
    }
}

TEST_F(MciLayerTest, BadCommandsAndFilesGiveClearErrors) {
    MCIDEVICEID id = 0;
    WriteBytes(m_dir.file("empty.wav"), {});
    WriteBytes(m_dir.file("garbage.mid"), std::vector<std::uint8_t>(300, 0xA5));
    EXPECT_EQ(m_mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, id, m_dir.file("missing.wav").c_str()),
              MCIERR_FILE_NOT_FOUND);
    EXPECT_EQ(m_mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, id, m_dir.file("empty.wav").c_str()),
              MCIERR_INVALID_FILE);
    EXPECT_EQ(m_mci.Open(MCI_DEVTYPE_SEQUENCER, id, m_dir.file("garbage.mid").c_str()),
              MCIERR_INVALID_FILE);
    EXPECT_EQ(m_mci.Open(MCI_DEVTYPE_CD_AUDIO, id, "x"), MCIERR_NO_ELEMENT_ALLOWED);
    EXPECT_EQ(m_mci.Open(999, id), MCIERR_INVALID_DEVICE_NAME);
    EXPECT_EQ(m_layer.SendCommand(0, MCI_OPEN, MCI_OPEN_TYPE, 0), MCIERR_NULL_PARAMETER_BLOCK);
    EXPECT_EQ(m_layer.SendCommand(12345678, MCI_CLOSE, 0, 0), MCIERR_INVALID_DEVICE_ID);
    EXPECT_EQ(m_layer.SendCommand(12345678, 0x0999, 0, 0), MCIERR_UNRECOGNIZED_COMMAND);

    // A wave device opened without a file is a probe: it neither plays nor records.
    ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, id), 0u);
    EXPECT_EQ(m_mci.SetWaveFormat(id, 1, 22050, 16), MCIERR_NONAPPLICABLE_FUNCTION);
    EXPECT_EQ(m_mci.Record(id, MCI_NOTIFY, &m_window), MCIERR_NONAPPLICABLE_FUNCTION);
    EXPECT_EQ(m_mci.Save(id, m_dir.file("x.wav")), MCIERR_NONAPPLICABLE_FUNCTION);
    EXPECT_EQ(m_mci.Play(id, MCI_NOTIFY, &m_window), MCIERR_FILENAME_REQUIRED);
    EXPECT_EQ(m_mci.SetTimeFormat(id, MCI_FORMAT_TMSF), MCIERR_BAD_TIME_FORMAT);
    EXPECT_EQ(m_mci.Close(id), 0u);

    // CD positions outside the disc, or an empty stretch.
    ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_CD_AUDIO, id), 0u);
    ASSERT_EQ(m_mci.SetTimeFormat(id, MCI_FORMAT_TMSF), 0u);
    auto playTracks = [&](BYTE from, BYTE to) {
        return m_mci.Play(id, MCI_FROM | MCI_TO, nullptr, MCI_MAKE_TMSF(from, 0, 0, 0),
                          MCI_MAKE_TMSF(to, 0, 0, 0));
    };
    EXPECT_EQ(playTracks(0, 1), MCIERR_OUTOFRANGE);
    EXPECT_EQ(playTracks(4, 5), MCIERR_OUTOFRANGE);
    EXPECT_EQ(playTracks(2, 2), MCIERR_OUTOFRANGE);
    EXPECT_EQ(m_mci.SetTimeFormat(id, 7), MCIERR_BAD_TIME_FORMAT);
    EXPECT_EQ(m_mci.Close(id), 0u);
    EXPECT_EQ(m_window.Count(), 0u) << "a failed command posts no notice";

    // Every code has a text that fits the 128-character buffers callers use; shorter buffers
    // get as much as fits.
    for (MCIERROR error = MCIERR_BASE; error < MCIERR_CUSTOM_BASE + 64; ++error) {
        if (const char* text = MciErrorText(error)) {
            EXPECT_LT(std::strlen(text), 127u) << error;
            EXPECT_EQ(m_mci.ErrorText(error), text);
        }
    }
    char small[8];
    EXPECT_TRUE(m_layer.GetErrorString(MCIERR_FILE_NOT_FOUND, small, sizeof small));
    EXPECT_STREQ(small, "The fil");
    EXPECT_FALSE(m_layer.GetErrorString(12, small, sizeof small));
    EXPECT_STREQ(small, "");
}

TEST_F(MciLayerTest, FreeFunctionsGoToTheInstalledLayer) {
    ASSERT_EQ(InstalledMciPort(), nullptr);
    MCI_OPEN_PARMS open{};
    open.lpstrDeviceType =
        reinterpret_cast<const char*>(static_cast<DWORD_PTR>(MCI_DEVTYPE_WAVEFORM_AUDIO));
    const auto openProbe = [&] {
        return mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID,
                              reinterpret_cast<DWORD_PTR>(&open));
    };
    EXPECT_EQ(openProbe(), MCIERR_NO_COMMAND_LAYER);
    char text[128];
    EXPECT_TRUE(mciGetErrorString(MCIERR_NO_COMMAND_LAYER, text, sizeof text));
    EXPECT_STREQ(text, MciErrorText(MCIERR_NO_COMMAND_LAYER));

    InstallMciPort(&m_layer);
    EXPECT_EQ(openProbe(), 0u);
    EXPECT_TRUE(m_layer.IsDeviceOpen(open.wDeviceID));
    EXPECT_EQ(mciSendCommand(open.wDeviceID, MCI_CLOSE, MCI_WAIT, 0), 0u);
    EXPECT_FALSE(m_layer.IsDeviceOpen(open.wDeviceID));
    InstallMciPort(nullptr);
}

TEST_F(MciLayerTest, EveryNoticeRequestGetsExactlyOneNotice) {
    // Plays that end by themselves race with stops and closes from two threads.
    std::string path = Tone("short.wav", 0.05);
    std::atomic<int> requests{0};
    auto worker = [&](unsigned seed) {
        std::mt19937 random(seed);
        for (int i = 0; i < 15; ++i) {
            MCIDEVICEID id = 0;
            ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, id, path.c_str()), 0u);
            ASSERT_EQ(m_mci.Play(id, MCI_NOTIFY, &m_window), 0u);
            ++requests;
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 90));
            if (random() % 2 == 0) {
                m_mci.Stop(id);
            }
            m_mci.Close(id);
        }
    };
    std::thread a(worker, 1u);
    std::thread b(worker, 2u);
    a.join();
    b.join();
    std::this_thread::sleep_for(300ms);
    auto messages = m_window.Messages();
    ASSERT_EQ(messages.size(), static_cast<std::size_t>(requests.load()));
    std::map<LPARAM, int> perDevice;
    for (const auto& m : messages) {
        ++perDevice[m.lParam];
        EXPECT_TRUE(m.wParam == MCI_NOTIFY_SUCCESSFUL || m.wParam == MCI_NOTIFY_ABORTED);
    }
    for (const auto& [device, count] : perDevice) {
        EXPECT_EQ(count, 1) << device;
    }
}

// A disc whose reads stall holds up neither another device's notice nor the layer's commands:
// the disc is read on a thread of its own, and the layer waits on the engine for nobody.
TEST(MciLayerStallTest, ADiscThatStallsHoldsUpNoOtherDevice) {
    TempDir dir;
    const CdImage image = WriteCdImage(dir.path(), "disc", {{500.0, 4.0}});
    std::mutex mutex;
    std::condition_variable released;
    bool stalling = true;
    std::atomic<int> stalls{0};
    SoundEngine::Config config = DummyOutput();
    config.cdReadHook = [&](std::int32_t sector) {
        if (sector == 0) {
            return; // the first read, as the play starts
        }
        std::unique_lock lock(mutex);
        ++stalls;
        released.wait_for(lock, 10s, [&] { return !stalling; });
    };
    SoundEngine engine(config);
    MciLayer layer(engine, {kSoundFont, image.cuePath});
    MciCommands mci(layer);
    NotifyRecorder window;
    MCIDEVICEID cd = 0;
    ASSERT_EQ(mci.Open(MCI_DEVTYPE_CD_AUDIO, cd), 0u);
    ASSERT_EQ(mci.Play(cd, MCI_NOTIFY, &window), 0u);
    ASSERT_TRUE(WaitFor([&] { return stalls > 0; }, 5s));

    WriteToneWave(dir.file("a.wav"), 440.0, 0.5);
    MCIDEVICEID wave = 0;
    ASSERT_EQ(mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, wave, dir.file("a.wav").c_str()), 0u);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(mci.Play(wave, MCI_NOTIFY, &window), 0u);
    ASSERT_TRUE(window.WaitForCount(1, 3s));
    EXPECT_LT(window.Messages()[0].when - started, 1000ms);
    ExpectNotices(window, {{MCI_NOTIFY_SUCCESSFUL, wave}});
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(mci.StatusOf(cd, MCI_STATUS_MODE), MCI_MODE_PLAY);
    mci.StatusOf(cd, MCI_STATUS_POSITION);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 100ms) << "the stalled device answers";
    EXPECT_EQ(stalls, 1) << "still stalled";
    {
        std::lock_guard lock(mutex);
        stalling = false;
    }
    released.notify_all();
    EXPECT_EQ(mci.Close(cd), 0u);
    EXPECT_EQ(mci.Close(wave), 0u);
}
