#pragma once

#include "platform/wintypes/WinTypes.h"

#include <QIcon>
#include <QString>
#include <QTreeWidget>

#include <vector>

/// A list of audio items in columns, each row with the icon of its kind: the editor's list of
/// available items, and the base of its play list view. The user can neither resize nor move
/// the columns, so cells stay where the fixed widths put them.
///
/// A row's image index is its kind: 0 CD track, 1 MIDI file, 2 wave file.
class CAudioItemListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    enum : int { imageCD = 0, imageMidi = 1, imageWave = 2 };
    static constexpr int audioItemColumnWidth = 160;

    explicit CAudioItemListCtrl(QWidget* parent = nullptr);

    /// The kind icons and the column "Audio Item". The play list view adds its own column.
    virtual void InitColumns();

    /// Kind code (101 MIDI, 102 wave, 103 CD) of an image index; -1 for any other.
    static LONG KindFromImage(int image);
    /// Image index of a kind code; 0 for any other.
    static int ImageFromKind(LONG kind);

    /// Inserts a row before position (past the last row appends). Null for a negative
    /// position.
    QTreeWidgetItem* InsertRow(int position, const QString& text, int image);
    int GetRowCount() const { return topLevelItemCount(); }
    /// -1 when there is no such row.
    int GetRowImage(int row) const;
    QString GetRowText(int row) const;
    /// The selected rows, top to bottom.
    std::vector<int> GetSelectedRows() const;
    /// The first selected row, -1 when none is.
    int GetFirstSelectedRow() const;

protected:
    /// Loads the kind icons, in image index order.
    virtual void CreateImageList();
    /// Makes the columns fixed at these widths.
    void FixColumnWidths(const std::vector<int>& widths);

private:
    std::vector<QIcon> m_images;
};
