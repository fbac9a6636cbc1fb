#pragma once

#include <QDialog>

#include <string>

class CCreditsStatic;

/// The About box: the program's version in the caption and the scrolling credits.
class CAboutDlg final : public QDialog {
    Q_OBJECT
public:
    // Control identifiers.
    enum : int { IDOK_CLOSE = 1, IDC_CREDITS = 1058 };

    /// module: the file whose version resource gives the caption's version, the program's own
    /// executable. The credits start scrolling here, before the box is first shown.
    explicit CAboutDlg(const std::string& module, QWidget* parent = nullptr);

    CCreditsStatic* Credits() const { return m_credits; }

    /// The credits: lines separated by '|', each styled by its last character.
    static QString CreditsText();

private:
    void OnInitDialog(const std::string& module);

    CCreditsStatic* m_credits;
};
