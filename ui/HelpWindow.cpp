#include "ui/HelpWindow.h"

#include "ui/IconResources.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpWindow::HelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_browser(new QTextBrowser(this)) {
    setWindowTitle(QStringLiteral("Quillon Help"));
    setWindowIcon(LoadIconResource(148));
    m_browser->setOpenExternalLinks(true);
    m_browser->setSource(QUrl(HelpGuideUrl()));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(560, 620);
}

QString HelpWindow::Text() const {
    return m_browser->toPlainText();
}
