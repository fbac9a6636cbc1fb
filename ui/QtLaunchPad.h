#pragma once

#include "app/CQuillonApp.h"
#include "ui/DialogContext.h"

#include <QObject>
#include <QPointer>

#include <memory>

class CLaunchPadDlg;
class QWidget;

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

    /// Ends the program's working life as the exit button does, whatever is open (a signal
    /// at the end of the session asks for it): every modal dialog above the Launch Pad is
    /// rejected, the top one first, which is how each stops what it plays or records; one
    /// step per turn of the event loop, so that each dialog's modal run has returned before
    /// the one below it closes. Then the Launch Pad's modal run ends as its exit button ends
    /// it. Asked for before the Launch Pad runs, it ends as soon as it runs.
    void EndAsExitButton();

private:
    void endStep();

    DialogContext m_context;
    std::unique_ptr<CLaunchPadDlg> m_dialog;
    bool m_endRequested = false;
    bool m_ending = false;
    /// The dialog the last step rejected, to tell one that stays open.
    QPointer<QWidget> m_rejected;
    /// The context of the steps still to come: they go with this object.
    QObject m_steps;
};
