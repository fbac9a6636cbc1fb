#pragma once

#include "model/MoxItemOutputs.h"
#include "ui/CAudioItemListCtrl.h"

class QSlider;

/// The play list under construction in the editor: one row per item with its kind icon and
/// text, and in the "Volume" column a slider (0..100) that sets the item's volume. The loop
/// count is kept with the row as signed decimal text (-1 for 0xFFFFFFFF) and never shown; the
/// properties dialog edits it.
///
/// Moving a slider by mouse or keyboard also sets the mixer fader of its own row's kind at
/// once, so the change is heard while the list is auditioned. The sliders are the view's
/// index widgets, so the view keeps each one over its own row however it scrolls.
class CPlayListCtrl final : public CAudioItemListCtrl {
    Q_OBJECT
public:
    static constexpr int volumeColumnWidth = 80;
    /// Slider identifiers count up from here for the life of the view and are never reused.
    static constexpr int firstSliderId = 1500;

    /// outputs: the faders a moved slider sets, by the row's kind.
    explicit CPlayListCtrl(const MoxItemOutputs& outputs, QWidget* parent = nullptr);

    /// The base columns, then "Volume".
    void InitColumns() override;

    /// Inserts a row before position (past the last row appends) with its slider at volume,
    /// and scrolls it into view. False when no row was added.
    bool AddRow(int position, const QString& text, LONG loopCount, int volume, LONG kind);
    /// Removes the selected row.
    void RemoveSelected();
    /// Removes a row with its slider. True when rows are left.
    bool RemoveRow(int row);
    void RemoveAll();

    /// Moves the selected row up one place; false when none is selected or it is the first.
    bool MoveUp();
    /// Moves the selected row down one place; false only when none is selected. The last row
    /// stays where it is, yet the result is true.
    bool MoveDown();
    /// Moves a row one place towards `to`, with its slider, loop count and icon; no row is
    /// selected afterwards. Nothing happens unless both rows exist and differ.
    void MoveRow(int from, int to);

    /// The loop count as strtol reads the row's text: leading blanks and a sign, then digits
    /// up to the first other character ("12abc" is 12, "abc" 0), clamped to 32 bits.
    LONG GetRowLoopCount(int row) const;
    QString GetRowLoopText(int row) const;
    void SetRowLoopText(int row, const QString& text);
    /// The slider's position, 0 when the row does not exist.
    int GetRowVolume(int row) const;
    /// Moves the slider without touching the mixer.
    void SetRowVolume(int row, int volume);
    QSlider* GetRowSlider(int row) const;

private:
    void CreateRowSlider(QTreeWidgetItem* item, int volume);
    /// The row a slider sits in, -1 when none.
    int RowOfSlider(const QSlider* slider) const;
    /// Sets the fader of the slider's row's kind to the slider's position.
    void ApplySliderVolume(const QSlider* slider);
    /// What assistive technology says of a row's slider and volume cell.
    void NameRowSlider(int row);

    MoxItemOutputs m_outputs;
    int m_nextSliderId = firstSliderId;
    int m_sliderMax;
};
