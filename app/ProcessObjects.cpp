#include "app/ProcessObjects.h"

#include "app/Globals.h"
#include "app/RegistryMixerLevelStore.h"
#include "audio/MoxCDDevice.h"
#include "audio/MoxMidDevice.h"
#include "audio/MoxRecorder.h"
#include "audio/MoxWavDevice.h"
#include "mixer/MixerGlobals.h"
#include "model/MoxPlayListPlayer.h"
#include "platform/engine/SoundEngine.h"
#include "platform/mci/MciLayer.h"
#include "platform/mixerapi/SoftMixer.h"
#include "platform/mixerapi/SoftMixerListener.h"

#include <malloc.h>

#include <cerrno>
#include <cstdio>

ProcessObject<SoundEngine> g_engine;
ProcessObject<MciPort> g_mci;
ProcessObject<MoxCDDevice> g_cdDevice;
ProcessObject<MoxMidDevice> g_midDevice;
ProcessObject<MoxWavDevice> g_wavDevice;
ProcessObject<MoxPlayListPlayer> g_player;
ProcessObject<MoxRecorder> g_recorder;

namespace {

// The software mixer sets the engine's buses, at once or, for an item cued to follow the one
// playing, from the item's first sample on.
class BusForwarder final : public SoftMixerListener {
public:
    explicit BusForwarder(SoundEngine& engine)
        : m_engine(engine) {}
    void OnFaderChanged(Bus bus, std::uint16_t left, std::uint16_t right) override {
        m_engine.SetBusFader(bus, left, right);
    }
    void OnFaderStaged(Bus bus, std::uint16_t left, std::uint16_t right) override {
        m_engine.SetBusFaderAtCue(bus, left, right);
    }

private:
    SoundEngine& m_engine;
};

// One line when the sound output goes missing and one when it is back, on standard error:
// the engine keeps trying meanwhile, and a log should not fill with every try. A cued item's
// fader, once the item sounds, becomes the mixer's value.
SoundEngine::Config EngineConfig(SoftMixer& mixer) {
    SoundEngine::Config config;
    config.cueFaderApplied = [&mixer](Bus bus, BusFader fader) { mixer.CommitStaged(bus, fader); };
    config.outputChanged = [](const EngineStatus& status) {
        if (status.ok()) {
            std::fprintf(stderr, "%s: the sound output is back\n", program_invocation_short_name);
        } else {
            std::fprintf(stderr, "%s: %s; trying again until one opens\n",
                         program_invocation_short_name, status.message.c_str());
        }
    };
    return config;
}

} // namespace

/// The engine, its command layer and the software mixer: what a real program has and tests
/// with a command layer of their own do without. The mixer is made first: the engine tells it
/// of cued faders until the engine is gone.
struct ProcessObjects::Sound {
    Sound()
        : levels(std::make_shared<RegistryMixerLevelStore>(SoftMixer::registryKey))
        , mixer(std::make_shared<SoftMixer>(levels))
        , engine(EngineConfig(*mixer))
        , mci(engine, MciLayer::Config::FromEnvironment())
        , forwarder(engine) {
        InstallMciPort(&mci);
        mixer->SetListener(&forwarder);
        InstallMixerDevices({mixer});
    }
    ~Sound() {
        InstallMixerDevices({});
        mixer->SetListener(nullptr);
        InstallMciPort(nullptr);
    }

    std::shared_ptr<RegistryMixerLevelStore> levels;
    std::shared_ptr<SoftMixer> mixer;
    SoundEngine engine;
    MciLayer mci;
    BusForwarder forwarder;
};

ProcessObjects::ProcessObjects() {
    // Each thread that allocates would otherwise get a heap arena of its own, and memory freed
    // in one is never reused by another: the synthesizer loads samples on the engine's feeder,
    // fonts are checked on the caller's thread. Nothing here allocates often enough to contend.
    mallopt(M_ARENA_MAX, 1);
    m_sound = std::make_unique<Sound>();
    g_engine.Attach(&m_sound->engine);
    makePlayers(m_sound->mci);
}

ProcessObjects::ProcessObjects(MciPort& mci) {
    makePlayers(mci);
}

void ProcessObjects::makePlayers(MciPort& mci) {
    g_mci.Attach(&mci);
    const MoxDeviceEnvironment environment{&mci, &g_szCurrentDir, &g_hNotifyWnd};
    m_cdDevice = std::make_unique<MoxCDDevice>(environment);
    g_cdDevice.Attach(m_cdDevice.get());
    m_midDevice = std::make_unique<MoxMidDevice>(environment);
    g_midDevice.Attach(m_midDevice.get());
    m_wavDevice = std::make_unique<MoxWavDevice>(environment);
    g_wavDevice.Attach(m_wavDevice.get());
    m_player = std::make_unique<MoxPlayListPlayer>();
    g_player.Attach(m_player.get());
    m_recorder = std::make_unique<MoxRecorder>(environment, g_nRecordingQuality);
    g_recorder.Attach(m_recorder.get());
}

ProcessObjects::~ProcessObjects() {
    g_recorder.Attach(nullptr);
    m_recorder.reset(); // saves a recording still in progress
    g_player.Attach(nullptr);
    m_player.reset(); // stops any item and ends the worker
    g_wavDevice.Attach(nullptr);
    m_wavDevice.reset();
    g_midDevice.Attach(nullptr);
    m_midDevice.reset();
    g_cdDevice.Attach(nullptr);
    m_cdDevice.reset();
    g_mci.Attach(nullptr);
    g_engine.Attach(nullptr);
    m_sound.reset();
}

MoxItemOutputs ProcessObjects::ItemOutputs() {
    return {{g_midDevice.get(), &g_mixerFaders.synthFader},
            {g_wavDevice.get(), &g_mixerFaders.waveFader},
            {g_cdDevice.get(), &g_mixerFaders.cdFader}};
}
