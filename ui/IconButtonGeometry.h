#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

/// Where an icon button draws its icon and its focus rectangle.
struct IconButtonGeometry {
    QRect icon;
    /// None when no focus rectangle is drawn.
    std::optional<QRect> focus;
};

/// How far inside the button's edge the focus rectangle lies: a quarter of the smaller side,
/// at most 3 pixels.
int FocusRectInset(QSize buttonSize);

/// The geometry of a button of rect's size. imageSize: the size the icon was loaded at;
/// imagePos: the icon's top-left, where -1 in a coordinate centres it on that axis. A pushed
/// button's icon lies 1 pixel right and down of the released one; a disabled button has no
/// focus rectangle, and an enabled one has it only while it has the focus.
IconButtonGeometry ComputeIconButtonGeometry(const QRect& rect, QSize imageSize, QPoint imagePos,
                                             bool pushed, bool disabled, bool focused);
