#include "tests/ui/LaunchPadFixture.h"

#include "app/Globals.h"
#include "mixer/MixerGlobals.h"
#include "platform/mixerapi/MemoryMixerLevelStore.h"
#include "platform/mixerapi/MixerDevice.h"
#include "platform/mixerapi/SoftMixer.h"
#include "ui/DialogControls.h"
#include "ui/IconResources.h"

#include <QComboBox>
#include <QPushButton>

#include <filesystem>

void LaunchPadFixture::SetUp() {
    resetGlobals();
    g_szCurrentDir = data.path();
    g_strWavPattern = "*.wav";
    g_strMidPattern = "*.mid";
    g_strRmiPattern = "*.rmi";
    g_strPlaPattern = "*.pla";
    std::filesystem::create_directory(data.file("Wave Files"));
    objects = std::make_unique<ProcessObjects>(mci);
    mci.take(); // the players' probes
    // The volume faders as start-up finds them on the software mixer.
    InstallMixerDevices({std::make_shared<SoftMixer>(std::make_shared<MemoryMixerLevelStore>())});
    FindMixerControls();
    CalibrateVolumeSteps();
}

void LaunchPadFixture::TearDown() {
    dialog.reset();
    objects.reset();
    ReleaseVolumeControls();
    InstallMixerDevices({});
    resetGlobals();
}

void LaunchPadFixture::resetGlobals() {
    g_szCurrentDir.clear();
    g_hNotifyWnd = nullptr;
    g_bStartWithWindows = 0;
    g_bSendToTaskbar = 0;
    g_bPlayDefaultPlayList = 0;
    g_nRecordingQuality = 1;
    g_strDefaultPlayList.clear();
}

CLaunchPadDlg& LaunchPadFixture::open() {
    dialog = std::make_unique<CLaunchPadDlg>();
    dialog->show();
    return *dialog;
}

QComboBox* LaunchPadFixture::combo() const {
    return GetDlgItemAs<QComboBox>(dialog.get(), CLaunchPadDlg::IDC_PLAYLIST_COMBO);
}

QPushButton* LaunchPadFixture::button(int id) const {
    return GetDlgItemAs<QPushButton>(dialog.get(), id);
}

void LaunchPadFixture::writeWaveList(const std::string& name,
                                     const std::vector<std::string>& waves) {
    std::vector<TestItem> items;
    for (const std::string& wave : waves) {
        WriteFileBytes(data.file("Wave Files/" + wave), {0});
        items.push_back({102, wave});
    }
    WritePlayListFile(data.file(name), items);
}

std::vector<std::string> LaunchPadFixture::entries() const {
    std::vector<std::string> out;
    for (int i = 0; i < combo()->count(); ++i) {
        out.push_back(combo()->itemText(i).toStdString());
    }
    return out;
}

namespace {

bool showsIcon(const QPushButton* button, unsigned id) {
    const QSize size(24, 24);
    return button->icon().pixmap(size).toImage() == LoadIconResource(id).pixmap(size).toImage();
}

} // namespace

bool LaunchPadFixture::showsStopIcon() const {
    return showsIcon(button(CLaunchPadDlg::IDC_PLAY_STOP), 179);
}

bool LaunchPadFixture::showsPlayIcon() const {
    return showsIcon(button(CLaunchPadDlg::IDC_PLAY_STOP), 150);
}
