#pragma once

#include "app/ProcessObjects.h"
#include "tests/support/TempDir.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CLaunchPadDlg.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

class QComboBox;
class QPushButton;

/// A data folder of the test's own, the real process-wide objects over a recording command
/// layer, and the message boxes answered by the test.
class LaunchPadFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static void resetGlobals();

    /// Makes the Launch Pad and shows it, which initialises it.
    CLaunchPadDlg& open();

    QComboBox* combo() const;
    QPushButton* button(int id) const;
    std::string path(const std::string& name) const { return data.file(name); }
    /// A play list of wave items in the data folder, whose files exist.
    void writeWaveList(const std::string& name, const std::vector<std::string>& waves);
    /// The list of combo box entries.
    std::vector<std::string> entries() const;
    bool showsStopIcon() const;
    bool showsPlayIcon() const;

    TempDir data;
    SharedRecordingMciPort mci;
    CapturedMessageBoxes boxes;
    std::unique_ptr<ProcessObjects> objects;
    std::unique_ptr<CLaunchPadDlg> dialog;
};
