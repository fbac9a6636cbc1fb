#include "ui/CAudioItemListCtrl.h"

#include "model/MoxObject.h"
#include "ui/IconResources.h"

#include <QHeaderView>
#include <QScrollBar>

#include <algorithm>

namespace {

// Icon resources of the kinds, in image index order: CD track, MIDI file, wave file.
constexpr unsigned kKindIcons[] = {136, 134, 135};
constexpr int kIconSize = 16;

} // namespace

CAudioItemListCtrl::CAudioItemListCtrl(QWidget* parent)
    : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    setIconSize(QSize(kIconSize, kIconSize));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void CAudioItemListCtrl::CreateImageList() {
    m_images.clear();
    for (const unsigned id : kKindIcons) {
        m_images.push_back(LoadIconResource(id));
    }
}

void CAudioItemListCtrl::InitColumns() {
    CreateImageList();
    setHeaderLabels({QStringLiteral("Audio Item")});
    FixColumnWidths({audioItemColumnWidth});
}

void CAudioItemListCtrl::FixColumnWidths(const std::vector<int>& widths) {
    QHeaderView* columns = header();
    columns->setDefaultAlignment(Qt::AlignCenter);
    columns->setSectionsMovable(false);
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(QHeaderView::Fixed);
    int total = 0;
    for (std::size_t i = 0; i < widths.size(); ++i) {
        columns->resizeSection(static_cast<int>(i), widths[i]);
        total += widths[i];
    }
    setMinimumWidth(total + 2 * frameWidth() + verticalScrollBar()->sizeHint().width());
}

LONG CAudioItemListCtrl::KindFromImage(int image) {
    switch (image) {
    case imageCD:
        return kindCD;
    case imageMidi:
        return kindMidi;
    case imageWave:
        return kindWave;
    default:
        return -1;
    }
}

int CAudioItemListCtrl::ImageFromKind(LONG kind) {
    switch (kind) {
    case kindMidi:
        return imageMidi;
    case kindWave:
        return imageWave;
    default:
        return imageCD;
    }
}

QTreeWidgetItem* CAudioItemListCtrl::InsertRow(int position, const QString& text, int image) {
    if (position < 0) {
        return nullptr;
    }
    auto* item = new QTreeWidgetItem;
    item->setText(0, text);
    item->setData(0, Qt::UserRole, image);
    if (image >= 0 && static_cast<std::size_t>(image) < m_images.size()) {
        item->setIcon(0, m_images[static_cast<std::size_t>(image)]);
    }
    insertTopLevelItem(std::min(position, topLevelItemCount()), item);
    return item;
}

int CAudioItemListCtrl::GetRowImage(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item == nullptr ? -1 : item->data(0, Qt::UserRole).toInt();
}

QString CAudioItemListCtrl::GetRowText(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item == nullptr ? QString() : item->text(0);
}

std::vector<int> CAudioItemListCtrl::GetSelectedRows() const {
    std::vector<int> rows;
    for (QTreeWidgetItem* item : selectedItems()) {
        rows.push_back(indexOfTopLevelItem(item));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

int CAudioItemListCtrl::GetFirstSelectedRow() const {
    const std::vector<int> rows = GetSelectedRows();
    return rows.empty() ? -1 : rows.front();
}
