// The command layer over a real engine that plays into SDL's "dummy" driver (no sound server;
// it paces its callbacks in whole milliseconds, so time runs about 5 % fast): notices, device
// ids, command sequences and errors. What comes out is MciLayerSoundTest's business. Notices
// that must not come are waited for with a fence: a later, longer play's notice, which comes
// after theirs would have.

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

    // Opens a wave device on a tone of that length.
    MCIDEVICEID OpenTone(double seconds) {
        const std::string path = m_dir.file(std::to_string(seconds) + ".wav");
        if (!std::filesystem::exists(path)) {
            WriteToneWave(path, 440.0, seconds);
        }
        MCIDEVICEID id = 0;
        EXPECT_EQ(m_mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, id, path.c_str()), 0u);
        return id;
    }
    // Plays a new device of that length to its end with a notice to m_window, and closes it:
    // what a play that started earlier and was no longer was to post has come before.
    MCIDEVICEID Fence(double seconds) {
        const MCIDEVICEID id = OpenTone(seconds);
        const std::size_t count = m_window.Count();
        EXPECT_EQ(m_mci.Play(id, MCI_NOTIFY, &m_window), 0u);
        EXPECT_TRUE(m_window.WaitForCount(count + 1, 5s));
        EXPECT_EQ(m_mci.Close(id), 0u);
        return id;
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

    // The kinds whose parts are missing fail with their own codes.
    MciLayer bare(m_engine, {m_dir.file("none.sf2"), m_dir.file("none.cue")});
    EXPECT_EQ(MciCommands(bare).Open(MCI_DEVTYPE_SEQUENCER, id), MCIERR_NO_SOUNDFONT);
    EXPECT_EQ(MciCommands(bare).Open(MCI_DEVTYPE_CD_AUDIO, id), MCIERR_DEVICE_NOT_READY);
    MciLayer noFont(m_engine, {"", ""});
    EXPECT_EQ(MciCommands(noFont).Open(MCI_DEVTYPE_SEQUENCER, id), MCIERR_NO_SOUNDFONT);
}

TEST_F(MciLayerTest, ANoticeComesOnceAtTheEndOrIsAbortedSupersededOrFailed) {
    const MCIDEVICEID a = OpenTone(0.3);
    EXPECT_EQ(m_mci.StatusOf(a, MCI_STATUS_LENGTH), 300u);
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(m_mci.Play(a, MCI_NOTIFY, &m_window), 0u);
    EXPECT_EQ(m_mci.StatusOf(a, MCI_STATUS_MODE), MCI_MODE_PLAY);
    ASSERT_TRUE(m_window.WaitForCount(1, 3s));
    // The notice comes once the last sample is mixed, which runs up to a period ahead.
    const auto period =
        std::chrono::milliseconds(1000 * SoundEngine::Config{}.deviceFrames / 44100);
    EXPECT_GE(m_window.Messages()[0].when - started, 300ms - period);
    EXPECT_EQ(m_mci.StatusOf(a, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(m_mci.StatusOf(a, MCI_STATUS_POSITION), 300u);
    // Played again after its end it starts over; with MCI_WAIT the command returns then.
    started = std::chrono::steady_clock::now();
    EXPECT_EQ(m_mci.Play(a, MCI_WAIT), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms - period);

    // A new notice supersedes the pending one; a play from the start without one aborts it.
    NotifyRecorder later;
    ASSERT_EQ(m_mci.Play(a, MCI_NOTIFY, &m_window), 0u);
    ASSERT_EQ(m_mci.Play(a, MCI_NOTIFY, &later), 0u);
    ASSERT_TRUE(later.WaitForCount(1, 3s));
    ExpectNotices(later, {{MCI_NOTIFY_SUCCESSFUL, a}});
    ASSERT_EQ(m_mci.Play(a, MCI_NOTIFY, &m_window), 0u);
    ASSERT_EQ(m_mci.Play(a, MCI_FROM, nullptr, 0), 0u);

    // Stop and close abort a pending notice; a stop with its own notice gets only that one.
    const MCIDEVICEID b = OpenTone(1.0);
    const MCIDEVICEID c = OpenTone(1.0);
    ASSERT_EQ(m_mci.Play(b, MCI_NOTIFY, &m_window), 0u);
    ASSERT_EQ(m_mci.Play(c, MCI_NOTIFY, &m_window), 0u);
    ASSERT_TRUE(WaitFor([&] { return m_mci.StatusOf(b, MCI_STATUS_POSITION) > 0; }, 3s));
    EXPECT_EQ(m_mci.Stop(b), 0u);
    EXPECT_EQ(m_mci.Close(c), 0u);
    EXPECT_FALSE(m_layer.IsDeviceOpen(c));
    NotifyRecorder stop;
    EXPECT_EQ(m_mci.Stop(b, MCI_NOTIFY, &stop), 0u);
    ExpectNotices(stop, {{MCI_NOTIFY_SUCCESSFUL, b}});
    const MCIDEVICEID fence = Fence(1.0);
    ExpectNotices(m_window, {{MCI_NOTIFY_SUCCESSFUL, a},
                             {MCI_NOTIFY_SUPERSEDED, a},
                             {MCI_NOTIFY_ABORTED, a},
                             {MCI_NOTIFY_ABORTED, b},
                             {MCI_NOTIFY_ABORTED, c},
                             {MCI_NOTIFY_SUCCESSFUL, fence}});

    // A file cut short while it plays fails.
    const MCIDEVICEID cut = OpenTone(5.0);
    ASSERT_EQ(m_mci.Play(cut, MCI_NOTIFY, &m_window), 0u);
    ASSERT_TRUE(WaitFor([&] { return m_mci.StatusOf(cut, MCI_STATUS_POSITION) > 0; }, 3s));
    std::filesystem::resize_file(m_dir.file(std::to_string(5.0) + ".wav"), 100);
    ASSERT_TRUE(m_window.WaitForCount(7, 5s));
    EXPECT_EQ(m_window.Messages()[6].wParam, MCI_NOTIFY_FAILURE);
    EXPECT_EQ(m_window.Messages()[6].lParam, static_cast<LPARAM>(cut));
    for (MCIDEVICEID id : {a, b, cut}) {
        EXPECT_EQ(m_mci.Close(id), 0u);
    }
}

TEST_F(MciLayerTest, DeviceIdsAreNeverReused) {
    MciLayer second(m_engine, {kSoundFont, ""});
    MciCommands other(second);
    WriteToneWave(m_dir.file("a.wav"), 440.0, 0.1);
    MCIDEVICEID last = 0;
    for (int i = 0; i < 10; ++i) {
        MciCommands& mci = i % 2 == 0 ? m_mci : other;
        MCIDEVICEID id = 0;
        ASSERT_EQ(mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, id, m_dir.file("a.wav").c_str()), 0u);
        EXPECT_GT(id, last);
        last = id;
        EXPECT_EQ(m_layer.IsDeviceOpen(id), i % 2 == 0) << "an id of one layer is open in another";
        EXPECT_EQ(mci.Close(id), 0u);
    }
}

TEST_F(MciLayerTest, BadCommandsAndFilesGiveClearErrors) {
    MCIDEVICEID id = 0;
    WriteFileBytes(m_dir.file("empty.wav"), {});
    WriteFileBytes(m_dir.file("garbage.mid"), std::vector<std::uint8_t>(300, 0xA5));
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
    for (const auto& [from, to] : {std::pair<BYTE, BYTE>{0, 1}, {4, 5}, {2, 2}}) {
        EXPECT_EQ(m_mci.Play(id, MCI_FROM | MCI_TO, nullptr, MCI_MAKE_TMSF(from, 0, 0, 0),
                             MCI_MAKE_TMSF(to, 0, 0, 0)),
                  MCIERR_OUTOFRANGE);
    }
    EXPECT_EQ(m_mci.SetTimeFormat(id, 7), MCIERR_BAD_TIME_FORMAT);
    EXPECT_EQ(m_mci.Close(id), 0u);
    EXPECT_EQ(m_window.Count(), 0u) << "a failed command posts no notice";

    // Shorter buffers than the texts get as much as fits; unknown codes an empty text.
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
    WriteToneWave(m_dir.file("short.wav"), 440.0, 0.05);
    auto worker = [&](unsigned seed) {
        std::mt19937 random(seed);
        for (int i = 0; i < 15; ++i) {
            MCIDEVICEID id = 0;
            ASSERT_EQ(m_mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, id, m_dir.file("short.wav").c_str()),
                      0u);
            ASSERT_EQ(m_mci.Play(id, MCI_NOTIFY, &m_window), 0u);
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
    const MCIDEVICEID fence = Fence(0.2);
    auto messages = m_window.Messages();
    ASSERT_EQ(messages.size(), 31u);
    EXPECT_EQ(messages.back().lParam, static_cast<LPARAM>(fence));
    std::map<LPARAM, int> perDevice;
    for (const auto& m : messages) {
        ++perDevice[m.lParam];
        EXPECT_TRUE(m.wParam == MCI_NOTIFY_SUCCESSFUL || m.wParam == MCI_NOTIFY_ABORTED);
    }
    EXPECT_EQ(perDevice.size(), 31u) << "a device got two notices";
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
    std::atomic<bool> stalled{false}; // a read waits in the hook right now
    SoundEngine::Config config = DummyOutput();
    config.cdReadHook = [&](std::int32_t sector) {
        if (sector == 0) {
            return; // the first read, as the play starts
        }
        std::unique_lock lock(mutex);
        ++stalls;
        stalled = true;
        released.wait_for(lock, 60s, [&] { return !stalling; });
        stalled = false;
    };
    SoundEngine engine(config);
    MciLayer layer(engine, {kSoundFont, image.cuePath});
    MciCommands mci(layer);
    NotifyRecorder window;
    MCIDEVICEID cd = 0;
    ASSERT_EQ(mci.Open(MCI_DEVTYPE_CD_AUDIO, cd), 0u);
    ASSERT_EQ(mci.Play(cd, MCI_NOTIFY, &window), 0u);
    ASSERT_TRUE(WaitFor([&] { return stalled.load(); }, 5s));

    // While the read still waits, another device plays to its end and the disc's device
    // answers: neither waited for the read.
    WriteToneWave(dir.file("a.wav"), 440.0, 0.5);
    MCIDEVICEID wave = 0;
    ASSERT_EQ(mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, wave, dir.file("a.wav").c_str()), 0u);
    ASSERT_EQ(mci.Play(wave, MCI_NOTIFY, &window), 0u);
    EXPECT_TRUE(window.WaitForCount(1, 30s));
    EXPECT_EQ(mci.StatusOf(cd, MCI_STATUS_MODE), MCI_MODE_PLAY);
    mci.StatusOf(cd, MCI_STATUS_POSITION);
    EXPECT_TRUE(stalled) << "the notice or the status waited for the stalled read";
    EXPECT_EQ(stalls, 1);
    ExpectNotices(window, {{MCI_NOTIFY_SUCCESSFUL, wave}});
    {
        std::lock_guard lock(mutex);
        stalling = false;
    }
    released.notify_all();
    EXPECT_EQ(mci.Close(cd), 0u);
    EXPECT_EQ(mci.Close(wave), 0u);
}
