#pragma once

#include <QWidget>

class QTextBrowser;

/// The program's user guide in a window of its own.
class HelpWindow final : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    /// The guide's text, as shown.
    QString Text() const;

private:
    QTextBrowser* m_browser;
};
