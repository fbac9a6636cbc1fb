#pragma once

#include "ui/CPlainButton.h"

#include <QIcon>
#include <QPoint>
#include <QSize>

/// A push button that draws itself: a plain button face, pressed in while it is down, with
/// one icon and no caption. The icon moves 1 pixel right and down while the button is pushed
/// and is greyed while the button is disabled; the focus rectangle lies a few pixels inside
/// the edge and is never drawn on a disabled button.
class CIconButton : public CPlainButton {
    Q_OBJECT
public:
    explicit CIconButton(QWidget* parent = nullptr);

    /// Loads icon resource id to be drawn at width x height pixels. False when there is no
    /// such icon: the button is then blank.
    bool LoadIcon(unsigned id, int width, int height);
    /// Places the icon's top-left inside the button; -1 in a coordinate centres it on that
    /// axis (the default). Returns the previous position.
    QPoint SetImagePos(int x, int y);

    bool HasIcon() const { return !m_icon.isNull(); }
    QSize GetImageSize() const { return m_imageSize; }
    QPoint GetImagePos() const { return m_imagePos; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QIcon m_icon;
    QSize m_imageSize{0, 0};
    QPoint m_imagePos{-1, -1};
};
