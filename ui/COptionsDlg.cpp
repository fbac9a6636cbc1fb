#include "ui/COptionsDlg.h"

#include "res/StringTable.h"
#include "ui/CPlainButton.h"
#include "ui/DialogControls.h"
#include "ui/IconResources.h"
#include "ui/PlayListFiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

// Icon resources.
constexpr unsigned IDI_CANCEL = 149;
constexpr unsigned IDI_OK = 162;

// The icon buttons' size in pixels, and the indent of the controls that depend on a check box.
constexpr int kButtonWidth = 45;
constexpr int kButtonHeight = 36;
constexpr int kIndent = 18;

template <typename Control>
Control* makeControl(QWidget* parent, int id, const QString& text = {}) {
    auto* control = new Control(parent);
    SetControlId(control, id);
    if constexpr (requires { control->setText(text); }) {
        control->setText(text);
    }
    return control;
}

QWidget* indented(QWidget* control) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(kIndent, 0, 0, 0);
    row->addWidget(control);
    auto* holder = new QWidget;
    holder->setLayout(row);
    return holder;
}

} // namespace

COptionsDlg::COptionsDlg(const DialogContext& context, QWidget* parent)
    : QDialog(parent)
    , m_context(context) {
    setWindowTitle(QStringLiteral("Quillon Options"));

    auto* startup = new QGroupBox(QStringLiteral("Startup"), this);
    m_startWithWindowsBox = makeControl<QCheckBox>(startup, IDC_START_WITH_WINDOWS,
                                                   QStringLiteral("&Start when I log in"));
    m_sendToTaskbarBox = makeControl<QCheckBox>(
        startup, IDC_SEND_TO_TASKBAR, QStringLiteral("Send To Taskbar Immediately After Starting"));
    m_sendToTaskbarBox->setEnabled(false);
    auto* separator = new QFrame(startup);
    separator->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    m_playAtStartupBox = makeControl<QCheckBox>(startup, IDC_PLAY_AT_STARTUP,
                                                QStringLiteral("&Play This Play List At Startup"));
    m_playListBox = makeControl<QComboBox>(startup, IDC_PLAYLIST_COMBO);
    m_playListBox->setAccessibleName(QStringLiteral("Play List To Play At Startup"));
    m_playListBox->setMinimumContentsLength(24);
    auto* startupLayout = new QVBoxLayout(startup);
    startupLayout->addWidget(m_startWithWindowsBox);
    startupLayout->addWidget(indented(m_sendToTaskbarBox));
    startupLayout->addWidget(separator);
    startupLayout->addWidget(m_playAtStartupBox);
    startupLayout->addWidget(indented(m_playListBox));

    auto* quality = new QGroupBox(QStringLiteral("Recording Quality"), this);
    m_averageButton = makeControl<QRadioButton>(
        quality, IDC_QUALITY_AVERAGE, QStringLiteral("A&verage\n(uses the least disk space)"));
    m_goodButton = makeControl<QRadioButton>(quality, IDC_QUALITY_GOOD, QStringLiteral("&Good"));
    m_bestButton = makeControl<QRadioButton>(quality, IDC_QUALITY_BEST,
                                             QStringLiteral("&Best\n(uses the most disk space)"));
    auto* qualityLayout = new QVBoxLayout(quality);
    qualityLayout->addWidget(m_averageButton);
    qualityLayout->addWidget(m_goodButton);
    qualityLayout->addWidget(m_bestButton);

    m_okButton = makeControl<CPlainButton>(this, IDOK_CLOSE);
    m_okButton->setDefault(true);
    // An icon button: "&Cancel" is its name on the keyboard only.
    m_cancelButton = makeControl<CPlainButton>(this, IDCANCEL_OPTIONS);
    m_cancelButton->setShortcut(QKeySequence(Qt::ALT | Qt::Key_C));
    for (QPushButton* button : {m_okButton, m_cancelButton}) {
        button->setFixedSize(kButtonWidth, kButtonHeight);
        button->setIconSize(QSize(24, 24));
    }
    auto* buttons = new QVBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_okButton);
    buttons->addSpacing(kButtonHeight / 2);
    buttons->addWidget(m_cancelButton);
    buttons->addStretch();

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(quality, 1);
    bottom->addSpacing(kIndent);
    bottom->addLayout(buttons);
    bottom->addSpacing(kIndent);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(startup);
    layout->addSpacing(kButtonHeight / 4);
    layout->addLayout(bottom);

    // The order of the controls in the template, which is the Tab order.
    QWidget* order[] = {m_startWithWindowsBox, m_playAtStartupBox, m_playListBox, m_averageButton,
                        m_goodButton,          m_bestButton,       m_okButton,    m_cancelButton,
                        m_sendToTaskbarBox};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }

    connect(m_averageButton, &QRadioButton::clicked, this, [this] { OnQuality(0); });
    connect(m_goodButton, &QRadioButton::clicked, this, [this] { OnQuality(1); });
    connect(m_bestButton, &QRadioButton::clicked, this, [this] { OnQuality(2); });
    connect(m_playAtStartupBox, &QCheckBox::clicked, this, [this] { OnPlayAtStartup(); });
    connect(m_startWithWindowsBox, &QCheckBox::clicked, this, [this] { OnStartWithWindows(); });
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void COptionsDlg::setVisible(bool visible) {
    if (visible && !m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

void COptionsDlg::done(int result) {
    QDialog::done(result);
    OnDestroy();
}

bool COptionsDlg::OnInitDialog() {
    m_okButton->setIcon(LoadIconResource(IDI_OK));
    m_cancelButton->setIcon(LoadIconResource(IDI_CANCEL));

    m_tips.Create(this);
    m_tips.AddTool(m_okButton, QString::fromStdString(LoadResourceString(IDS_TIP_CLOSE)));
    m_tips.AddTool(m_cancelButton, QString::fromStdString(LoadResourceString(IDS_TIP_CANCEL)));

    for (const std::string& name :
         ListPlayListFiles(*m_context.dataFolder, m_context.patterns->pla)) {
        m_playListBox->addItem(QString::fromStdString(name));
    }

    const AppSettings& settings = *m_context.settings;
    m_bPlayDefaultPlayList = settings.playDefaultPlayList;
    m_bSendToTaskbar = settings.sendToTaskbar;
    m_strDefaultPlayList = settings.defaultPlayList;
    m_bStartWithWindows = settings.startWithWindows;
    m_nRecordingQuality = settings.recordingQuality;

    QRadioButton* quality = m_nRecordingQuality == 0   ? m_averageButton
                            : m_nRecordingQuality == 2 ? m_bestButton
                                                       : m_goodButton;
    quality->setChecked(true);

    m_startWithWindowsBox->setChecked(m_bStartWithWindows == 1);
    m_sendToTaskbarBox->setEnabled(m_bStartWithWindows == 1);
    m_sendToTaskbarBox->setChecked(m_bStartWithWindows == 1 && m_bSendToTaskbar == 1);

    m_playAtStartupBox->setChecked(m_bPlayDefaultPlayList == 1);
    const QString preferred = QString::fromStdString(m_strDefaultPlayList);
    m_playListBox->setEnabled(!preferred.isEmpty());
    int selection = -1;
    for (int i = 0; !preferred.isEmpty() && i < m_playListBox->count(); ++i) {
        if (m_playListBox->itemText(i).startsWith(preferred, Qt::CaseInsensitive)) {
            selection = i;
            break;
        }
    }
    m_playListBox->setCurrentIndex(selection);
    return true;
}

void COptionsDlg::OnQuality(DWORD quality) {
    m_nRecordingQuality = quality;
}

void COptionsDlg::OnPlayAtStartup() {
    m_bPlayDefaultPlayList = m_playAtStartupBox->isChecked() ? 1 : 0;
    m_playListBox->setEnabled(m_bPlayDefaultPlayList == 1);
}

void COptionsDlg::OnStartWithWindows() {
    m_bStartWithWindows = m_startWithWindowsBox->isChecked() ? 1 : 0;
    // The send-to-taskbar box keeps its check either way.
    m_sendToTaskbarBox->setEnabled(m_bStartWithWindows == 1);
}

void COptionsDlg::OnDestroy() {
    if (!m_initialised || m_destroyed) {
        return;
    }
    m_destroyed = true;
    m_bStartWithWindows = m_startWithWindowsBox->isChecked() ? 1 : 0;
    m_bSendToTaskbar = m_sendToTaskbarBox->isChecked() ? 1 : 0;
    if (const int selected = m_playListBox->currentIndex(); selected >= 0) {
        m_strDefaultPlayList = m_playListBox->itemText(selected).toStdString();
    }
    if (m_bPlayDefaultPlayList == 0) {
        m_strDefaultPlayList.clear();
    }
    if (m_strDefaultPlayList.empty()) {
        m_bPlayDefaultPlayList = 0;
    }
}
