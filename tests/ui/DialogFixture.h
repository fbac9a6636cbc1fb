#pragma once

#include "app/Globals.h"
#include "audio/MoxCDDevice.h"
#include "audio/MoxMidDevice.h"
#include "audio/MoxRecorder.h"
#include "audio/MoxWavDevice.h"
#include "mixer/CMixer.h"
#include "mixer/MixerFaders.h"
#include "model/MoxPlayListPlayer.h"
#include "tests/support/TempDir.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/DialogContext.h"
#include "ui/DialogControls.h"

#include <QDialog>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

/// A world of the test's own for the dialogs: a data folder with its "Wave Files" folder,
/// settings, patterns and a notice target; the three shared players, the play list player and
/// the recorder over a recording command layer; the volume faders of a software mixer
/// installed as mixer device 0; message boxes answered by the test. The context hands all of
/// it to a dialog; the process-wide objects are not used.
class DialogFixture : public ::testing::Test {
protected:
    DialogFixture();
    ~DialogFixture() override;

    /// The context a dialog is given: saving the settings and updating the autostart entry
    /// are counted.
    DialogContext context();
    std::string path(const std::string& name) const { return data.file(name); }

    /// Makes a dialog over the context and shows it, which initialises it. It is the one the
    /// helpers below work on, until the next is opened.
    template <class Dialog>
    Dialog& open() {
        auto made = std::make_unique<Dialog>(context());
        made->show();
        Dialog& opened = *made;
        dialog = std::move(made);
        return opened;
    }
    template <class Control = QWidget>
    Control* control(int id) const {
        return GetDlgItemAs<Control>(dialog.get(), id);
    }
    void click(int id) const;
    /// A play list of wave items in the data folder, whose files exist.
    void writeWaveList(const std::string& name, const std::vector<std::string>& waves);
    /// The entries of the Launch Pad's play list box.
    std::vector<std::string> entries() const;

    TempDir data;
    std::string dataFolder = data.path();
    AppSettings settings;
    FilePatterns patterns{"*.wav", "*.mid", "*.rmi", "*.pla"};
    std::atomic<HWND> notifyWindow{nullptr};
    SharedRecordingMciPort mci;
    CapturedMessageBoxes boxes;
    AnsweredFileDialog files;
    CMixer mixer;
    MixerFaders faders;
    std::unique_ptr<MoxCDDevice> cdDevice;
    std::unique_ptr<MoxMidDevice> midDevice;
    std::unique_ptr<MoxWavDevice> wavDevice;
    std::unique_ptr<MoxRecorder> recorder;
    /// Declared after the players it drives, so it goes first.
    std::unique_ptr<MoxPlayListPlayer> player;
    int settingsSaved = 0;
    /// The executable paths the autostart entry was brought in line with, and what that came to.
    std::vector<std::string> shortcutUpdates;
    StartupShortcutResult shortcutResult;
    std::unique_ptr<QDialog> dialog;
};
