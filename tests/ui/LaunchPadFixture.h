#pragma once

#include "tests/ui/DialogFixture.h"
#include "ui/CLaunchPadDlg.h"

#include <memory>
#include <string>

class QComboBox;
class QPushButton;

/// The Launch Pad in a world of the test's own (DialogFixture).
class LaunchPadFixture : public DialogFixture {
protected:
    void TearDown() override;

    /// Makes the Launch Pad and shows it, which initialises it.
    CLaunchPadDlg& open();

    QComboBox* combo() const;
    QPushButton* button(int id) const;
    /// A play list of wave items in the data folder, whose files exist.
    void writeWaveList(const std::string& name, const std::vector<std::string>& waves);
    /// The list of combo box entries.
    std::vector<std::string> entries() const;
    /// Whether the play/stop button shows its stop icon (else its play icon).
    bool showsStop() const;

    std::unique_ptr<CLaunchPadDlg> dialog;
};
