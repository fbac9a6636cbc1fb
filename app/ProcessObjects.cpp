#include "app/ProcessObjects.h"

#include "app/Globals.h"
#include "audio/MoxCDDevice.h"
#include "audio/MoxMidDevice.h"
#include "audio/MoxWavDevice.h"
#include "model/MoxPlayListPlayer.h"
#include "platform/mci/MciPort.h"

ProcessObject<MciPort> g_mci;
ProcessObject<MoxCDDevice> g_cdDevice;
ProcessObject<MoxMidDevice> g_midDevice;
ProcessObject<MoxWavDevice> g_wavDevice;
ProcessObject<MoxPlayListPlayer> g_player;

ProcessObjects::ProcessObjects(MciPort& mci) {
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
}

ProcessObjects::~ProcessObjects() {
    g_player.Attach(nullptr);
    m_player.reset(); // stops any item and ends the worker
    g_wavDevice.Attach(nullptr);
    m_wavDevice.reset();
    g_midDevice.Attach(nullptr);
    m_midDevice.reset();
    g_cdDevice.Attach(nullptr);
    m_cdDevice.reset();
    g_mci.Attach(nullptr);
}
