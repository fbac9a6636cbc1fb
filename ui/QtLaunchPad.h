#pragma once

#include "app/CQuillonApp.h"
#include "ui/DialogContext.h"

#include <memory>

class CLaunchPadDlg;

/// The Launch Pad as start-up runs it: a CLaunchPadDlg without a parent, run modally, given
/// the context start-up made.
class QtLaunchPad final : public CQuillonApp::LaunchPad {
public:
    explicit QtLaunchPad(DialogContext context);
    ~QtLaunchPad() override;
    QtLaunchPad(const QtLaunchPad&) = delete;
    QtLaunchPad& operator=(const QtLaunchPad&) = delete;

    int RunModal() override;
    void Destroy() override;

    /// The dialog between RunModal and Destroy.
    CLaunchPadDlg* Dialog() const { return m_dialog.get(); }

private:
    DialogContext m_context;
    std::unique_ptr<CLaunchPadDlg> m_dialog;
};
