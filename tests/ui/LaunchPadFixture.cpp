#include "tests/ui/LaunchPadFixture.h"

#include "ui/DialogControls.h"
#include "ui/IconResources.h"

#include <QComboBox>
#include <QPushButton>

#include <filesystem>

void LaunchPadFixture::TearDown() {
    dialog.reset();
}

CLaunchPadDlg& LaunchPadFixture::open() {
    dialog = std::make_unique<CLaunchPadDlg>(context());
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

bool LaunchPadFixture::showsStop() const {
    return button(CLaunchPadDlg::IDC_PLAY_STOP)->icon().pixmap(24).toImage() ==
           LoadIconResource(179).pixmap(24).toImage();
}
