#include "ui/CPlayListCtrl.h"

#include "mixer/MixerFaders.h"
#include "model/MoxObject.h"
#include "model/MoxVolumeFader.h"
#include "ui/DialogControls.h"

#include <QSignalBlocker>
#include <QSlider>

#include <climits>
#include <cstdlib>

namespace {

constexpr int kVolumeColumn = 1;
// The loop count text of a row; it lives under the slider and is never drawn.
constexpr int kLoopTextRole = Qt::UserRole + 1;
// The loop count text is read as at most this many characters.
constexpr int kLoopTextMax = 32;

} // namespace

CPlayListCtrl::CPlayListCtrl(const MoxItemOutputs& outputs, QWidget* parent)
    : CAudioItemListCtrl(parent)
    , m_outputs(outputs)
    , m_sliderMax(static_cast<int>(MixerFaders::volumeScale)) {
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void CPlayListCtrl::InitColumns() {
    CAudioItemListCtrl::InitColumns();
    setHeaderLabels({QStringLiteral("Audio Item"), QStringLiteral("Volume")});
    FixColumnWidths({audioItemColumnWidth, volumeColumnWidth});
}

bool CPlayListCtrl::AddRow(int position, const QString& text, LONG loopCount, int volume,
                           LONG kind) {
    QTreeWidgetItem* item = InsertRow(position, text, ImageFromKind(kind));
    if (item == nullptr) {
        return false;
    }
    item->setData(kVolumeColumn, kLoopTextRole, QString::number(loopCount));
    CreateRowSlider(item, volume);
    scrollToItem(item, QAbstractItemView::EnsureVisible);
    return true;
}

void CPlayListCtrl::CreateRowSlider(QTreeWidgetItem* item, int volume) {
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setTickPosition(QSlider::NoTicks);
    slider->setRange(0, m_sliderMax);
    slider->setValue(volume);
    SetControlId(slider, m_nextSliderId++);
    // Every change the user makes, by mouse, wheel or keyboard; SetRowVolume blocks it.
    connect(slider, &QSlider::valueChanged, this, [this, slider] {
        ApplySliderVolume(slider);
        NameRowSlider(RowOfSlider(slider));
    });
    setItemWidget(item, kVolumeColumn, slider);
    NameRowSlider(indexOfTopLevelItem(item));
}

void CPlayListCtrl::NameRowSlider(int row) {
    QTreeWidgetItem* item = topLevelItem(row);
    QSlider* slider = GetRowSlider(row);
    if (item == nullptr || slider == nullptr) {
        return;
    }
    // Widgets inside an item view are not in the accessibility tree: the slider says which
    // row it sets, and the cell under it reads out the volume.
    slider->setAccessibleName(QStringLiteral("Volume of ") + item->text(0));
    item->setData(kVolumeColumn, Qt::AccessibleTextRole,
                  QStringLiteral("Volume %1").arg(slider->value()));
}

QSlider* CPlayListCtrl::GetRowSlider(int row) const {
    QTreeWidgetItem* item = topLevelItem(row);
    return item == nullptr ? nullptr : qobject_cast<QSlider*>(itemWidget(item, kVolumeColumn));
}

int CPlayListCtrl::RowOfSlider(const QSlider* slider) const {
    for (int row = 0; row < GetRowCount(); ++row) {
        if (GetRowSlider(row) == slider) {
            return row;
        }
    }
    return -1;
}

void CPlayListCtrl::ApplySliderVolume(const QSlider* slider) {
    // The row is found from the slider itself, so a slider moved with the keyboard sets its
    // own row's fader wherever the mouse is.
    const int row = RowOfSlider(slider);
    if (row < 0) {
        return;
    }
    MoxVolumeFader* fader = nullptr;
    switch (KindFromImage(GetRowImage(row))) {
    case kindMidi:
        fader = m_outputs.midi.fader;
        break;
    case kindWave:
        fader = m_outputs.wave.fader;
        break;
    case kindCD:
        fader = m_outputs.cd.fader;
        break;
    default:
        break;
    }
    if (fader != nullptr) {
        fader->ApplyVolume(static_cast<std::uint32_t>(slider->value()));
    }
}

int CPlayListCtrl::GetRowVolume(int row) const {
    const QSlider* slider = GetRowSlider(row);
    return slider == nullptr ? 0 : slider->value();
}

void CPlayListCtrl::SetRowVolume(int row, int volume) {
    QSlider* slider = GetRowSlider(row);
    if (slider == nullptr) {
        return;
    }
    {
        const QSignalBlocker quiet(slider);
        slider->setValue(volume);
    }
    NameRowSlider(row);
}

QString CPlayListCtrl::GetRowLoopText(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item == nullptr ? QString() : item->data(kVolumeColumn, kLoopTextRole).toString();
}

void CPlayListCtrl::SetRowLoopText(int row, const QString& text) {
    if (QTreeWidgetItem* item = topLevelItem(row)) {
        item->setData(kVolumeColumn, kLoopTextRole, text);
    }
}

LONG CPlayListCtrl::GetRowLoopCount(int row) const {
    const std::string text = GetRowLoopText(row).left(kLoopTextMax).toStdString();
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<LONG>(value);
}

void CPlayListCtrl::RemoveSelected() {
    const int row = GetFirstSelectedRow();
    if (row >= 0) {
        RemoveRow(row);
    }
}

bool CPlayListCtrl::RemoveRow(int row) {
    // The view deletes the row's slider with it; the sliders below move up with their rows.
    delete takeTopLevelItem(row);
    return GetRowCount() > 0;
}

void CPlayListCtrl::RemoveAll() {
    clear();
}

bool CPlayListCtrl::MoveUp() {
    const int row = GetFirstSelectedRow();
    if (row < 1) {
        return false;
    }
    MoveRow(row, row - 1);
    return true;
}

bool CPlayListCtrl::MoveDown() {
    const int row = GetFirstSelectedRow();
    if (row < 0 || row >= GetRowCount()) {
        return false;
    }
    MoveRow(row, row + 1);
    return true;
}

void CPlayListCtrl::MoveRow(int from, int to) {
    const int count = GetRowCount();
    if (from < 0 || to < 0 || from >= count || to >= count || from == to) {
        return;
    }
    const int other = from < to ? from + 1 : from - 1;
    // The two rows trade what they hold; their sliders trade settings and identifiers, so
    // each row's slider goes with it as far as anyone can tell, and no widget is re-created.
    QTreeWidgetItem* a = topLevelItem(from);
    QTreeWidgetItem* b = topLevelItem(other);
    QSlider* sliderA = GetRowSlider(from);
    QSlider* sliderB = GetRowSlider(other);
    const QString textA = a->text(0);
    const QIcon iconA = a->icon(0);
    const QVariant imageA = a->data(0, Qt::UserRole);
    const QVariant loopA = a->data(kVolumeColumn, kLoopTextRole);
    a->setText(0, b->text(0));
    a->setIcon(0, b->icon(0));
    a->setData(0, Qt::UserRole, b->data(0, Qt::UserRole));
    a->setData(kVolumeColumn, kLoopTextRole, b->data(kVolumeColumn, kLoopTextRole));
    b->setText(0, textA);
    b->setIcon(0, iconA);
    b->setData(0, Qt::UserRole, imageA);
    b->setData(kVolumeColumn, kLoopTextRole, loopA);
    if (sliderA != nullptr && sliderB != nullptr) {
        const int volumeA = sliderA->value();
        SetRowVolume(from, sliderB->value());
        SetRowVolume(other, volumeA);
        const int idA = GetControlId(sliderA);
        SetControlId(sliderA, GetControlId(sliderB));
        SetControlId(sliderB, idA);
    }
    NameRowSlider(from);
    NameRowSlider(other);
    clearSelection();
}
