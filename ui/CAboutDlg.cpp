#include "ui/CAboutDlg.h"

#include "ui/CCreditsStatic.h"
#include "ui/CVersionInfo.h"
#include "ui/DialogControls.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The credits panel's inside, and the button, in pixels.
constexpr int kPanelWidth = 364;
constexpr int kPanelHeight = 154;
constexpr int kButtonWidth = 102;
constexpr int kButtonHeight = 26;

constexpr DWORD kBlue = 0xFF0000; // 0x00BBGGRR

// Markup: a line ending in a tab is a title, in a carriage return a subheading, in '^' a
// picture; "|" separates the lines.
const char* const kCreditsLines[] = {
    "QUILLON MUSIC-ON-HOLD\t",
    "",
    "Quillon is made by the Quillon developers",
    "as music-on-hold for the Linux desktop.",
    "",
    "BITMAP1^",
    "",
    "",
    "One Stop Shop!\r",
    "",
    "QUILLON has what you need.",
    "Create your own Music-On-Hold play lists from your favorite",
    "Midi and Wave files.  Want CD tracks too?  No problem!",
    "",
    "",
    "Record your own announcements from within QUILLON itself.",
    "You can even remove hiss from your recordings!",
    "Want your preferred play list to kick-in when you log in?",
    "It's easy!  Want to set the volumes individually for each",
    "Midi file, Wave file and CD track?   It's a mouse-click away!",
    "",
    "",
    "Don't Delay, Get Cooking Today!\r",
    "",
    "_______________________________ ",
    "",
    "BITMAP2^",
    "",
    "Concept And Marketing\r",
    "",
    "The Quillon developers",
    "",
    "",
    "",
    "Software Development And Stimulants\r",
    "",
    "The Quillon developers",
    "",
    "",
    "BITMAP3^",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
};

} // namespace

CAboutDlg::CAboutDlg(const std::string& module, QWidget* parent)
    : QDialog(parent)
    , m_credits(new CCreditsStatic(this)) {
    // The caption stays empty unless the version resource names a version.
    setWindowTitle(QString());
    SetControlId(m_credits, IDC_CREDITS);
    const int frame = 2 * m_credits->frameWidth();
    m_credits->setFixedSize(kPanelWidth + frame, kPanelHeight + frame);

    auto* ok = new QPushButton(QStringLiteral("Please Turn It Off"), this);
    SetControlId(ok, IDOK_CLOSE);
    ok->setDefault(true);
    ok->setMinimumSize(kButtonWidth, kButtonHeight);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(m_credits);
    layout->addWidget(ok, 0, Qt::AlignHCenter);

    OnInitDialog(module);
}

QString CAboutDlg::CreditsText() {
    QStringList lines;
    for (const char* line : kCreditsLines) {
        lines << QString::fromUtf8(line);
    }
    return lines.join(u'|');
}

void CAboutDlg::OnInitDialog(const std::string& module) {
    const CVersionInfo version(module, "080904E4", "FileVersion");
    if (!version.GetValue().empty()) {
        setWindowTitle(QStringLiteral("Quillon v") + QString::fromStdString(version.GetValue()));
    }
    m_credits->SetCredits(CreditsText(), u'|');
    m_credits->SetSpeed(1, 0);
    m_credits->SetColor(CCreditsStatic::background, kBlue);
    m_credits->SetTransparentPictures(true);
    m_credits->SetGradient(1);
    m_credits->Start();
}
