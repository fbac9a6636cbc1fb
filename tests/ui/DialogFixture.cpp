#include "tests/ui/DialogFixture.h"

#include "platform/mixerapi/MemoryMixerLevelStore.h"
#include "platform/mixerapi/MixerDevice.h"
#include "platform/mixerapi/SoftMixer.h"
#include "ui/CLaunchPadDlg.h"

#include <QComboBox>
#include <QTest>

#include <filesystem>

DialogFixture::DialogFixture() {
    std::filesystem::create_directory(data.file("Wave Files"));
    const MoxDeviceEnvironment environment{&mci, &dataFolder, &notifyWindow};
    cdDevice = std::make_unique<MoxCDDevice>(environment);
    midDevice = std::make_unique<MoxMidDevice>(environment);
    wavDevice = std::make_unique<MoxWavDevice>(environment);
    recorder = std::make_unique<MoxRecorder>(environment, settings.recordingQuality);
    player = std::make_unique<MoxPlayListPlayer>();
    mci.take(); // the players' probes
    InstallMixerDevices({std::make_shared<SoftMixer>(std::make_shared<MemoryMixerLevelStore>())});
    faders.FindMixerControls(mixer);
    faders.CalibrateVolumeSteps();
}

DialogFixture::~DialogFixture() {
    dialog.reset();
    player.reset();
    faders.ReleaseVolumeControls();
    InstallMixerDevices({});
}

DialogContext DialogFixture::context() {
    DialogContext context;
    context.dataFolder = &dataFolder;
    context.notifyWindow = &notifyWindow;
    context.settings = &settings;
    context.patterns = &patterns;
    context.mci = &mci;
    context.player = player.get();
    context.cdDevice = cdDevice.get();
    context.midDevice = midDevice.get();
    context.wavDevice = wavDevice.get();
    context.recorder = recorder.get();
    context.faders = &faders;
    context.saveSettings = [this] { ++settingsSaved; };
    context.updateStartupShortcut = [this](const std::string& executablePath) {
        shortcutUpdates.push_back(executablePath);
        return shortcutResult;
    };
    return context;
}

void DialogFixture::click(int id) const {
    QTest::mouseClick(control(id), Qt::LeftButton);
}

void DialogFixture::writeWaveList(const std::string& name, const std::vector<std::string>& waves) {
    std::vector<TestItem> items;
    for (const std::string& wave : waves) {
        WriteFileBytes(data.file("Wave Files/" + wave), {0});
        items.push_back({102, wave});
    }
    WritePlayListFile(data.file(name), items);
}

std::vector<std::string> DialogFixture::entries() const {
    std::vector<std::string> out;
    const auto* combo = control<QComboBox>(CLaunchPadDlg::IDC_PLAYLIST_COMBO);
    for (int i = 0; i < combo->count(); ++i) {
        out.push_back(combo->itemText(i).toStdString());
    }
    return out;
}
