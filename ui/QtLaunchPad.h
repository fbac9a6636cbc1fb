#pragma once

#include "app/CQuillonApp.h"

#include <memory>

class CLaunchPadDlg;

/// The Launch Pad as start-up runs it: a CLaunchPadDlg without a parent, run modally.
class QtLaunchPad final : public CQuillonApp::LaunchPad {
public:
    QtLaunchPad();
    ~QtLaunchPad() override;
    QtLaunchPad(const QtLaunchPad&) = delete;
    QtLaunchPad& operator=(const QtLaunchPad&) = delete;

    int RunModal() override;
    void Destroy() override;

    /// The dialog between RunModal and Destroy.
    CLaunchPadDlg* Dialog() const { return m_dialog.get(); }

private:
    std::unique_ptr<CLaunchPadDlg> m_dialog;
};
