#include "ui/CAudioItemPropertiesDlg.h"

#include "ui/DialogControls.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QToolButton* arrowButton(Qt::ArrowType arrow, const QString& name, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setAccessibleName(name);
    button->setToolTip(name);
    button->setFocusPolicy(Qt::NoFocus); // the edit box's Up and Down keys do the same
    button->setFixedSize(18, 12);
    return button;
}

} // namespace

CAudioItemPropertiesDlg::CAudioItemPropertiesDlg(QWidget* parent)
    : QDialog(parent)
    , m_edit(new QLineEdit(this))
    , m_apply(new QPushButton(QStringLiteral("&Apply"), this)) {
    setWindowTitle(QStringLiteral("Audio Item Properties"));

    auto* label = new QLabel(QStringLiteral("Loop Count"), this);
    label->setBuddy(m_edit);
    SetControlId(m_edit, IDC_LOOP_COUNT);
    m_edit->setAccessibleName(QStringLiteral("Loop Count"));
    m_edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_edit));
    m_edit->installEventFilter(this);

    auto* spin = new QWidget(this);
    SetControlId(spin, IDC_SPIN);
    spin->setAccessibleName(QStringLiteral("Change the loop count"));
    auto* up = arrowButton(Qt::UpArrow, QStringLiteral("One time fewer"), spin);
    auto* down = arrowButton(Qt::DownArrow, QStringLiteral("One time more"), spin);
    auto* arrows = new QVBoxLayout(spin);
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    arrows->addWidget(up);
    arrows->addWidget(down);
    connect(up, &QToolButton::clicked, this, [this] { OnDeltaPos(-1); });
    connect(down, &QToolButton::clicked, this, [this] { OnDeltaPos(+1); });

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    SetControlId(ok, IDC_OK);
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    SetControlId(close, IDC_CLOSE);
    SetControlId(m_apply, IDC_APPLY);
    m_apply->setEnabled(false);
    connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_apply, &QPushButton::clicked, this, [this] { OnApply(); });

    auto* layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    auto* field = new QHBoxLayout;
    field->setSpacing(0);
    field->addWidget(m_edit);
    field->addWidget(spin);
    layout->addLayout(field, 0, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(close);
    buttons->addWidget(m_apply);
    layout->addLayout(buttons, 0, 2, 2, 1);
    layout->setRowStretch(1, 1);
}

void CAudioItemPropertiesDlg::setVisible(bool visible) {
    if (visible && !m_initialised) {
        m_initialised = true;
        // Shown as given: a count stored by hand may hold a sign the user could not type.
        m_edit->setText(m_loopText);
        m_edit->selectAll();
    }
    QDialog::setVisible(visible);
}

bool CAudioItemPropertiesDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            OnDeltaPos(key == Qt::Key_Up ? -1 : +1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CAudioItemPropertiesDlg::OnDeltaPos(int delta) {
    // The arrows step from the number shown, taken into their range first; with no number
    // shown they step from the bottom of the range.
    bool isNumber = false;
    const qlonglong shown = m_edit->text().toLongLong(&isNumber);
    const int from = isNumber
                         ? static_cast<int>(std::clamp<qlonglong>(shown, spinLowest, spinHighest))
                         : spinLowest;
    m_edit->setText(QString::number(std::clamp(from + delta, spinLowest, spinHighest)));
    m_apply->setEnabled(true);
}

void CAudioItemPropertiesDlg::OnApply() {
    m_loopText = m_edit->text();
    m_apply->setEnabled(false);
}

void CAudioItemPropertiesDlg::OnOK() {
    m_loopText = m_edit->text();
    accept();
}
