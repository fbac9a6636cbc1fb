#include "ui/IconButtonGeometry.h"

#include <algorithm>

int FocusRectInset(QSize buttonSize) {
    return std::min(std::min(buttonSize.width(), buttonSize.height()) / 4, 3);
}

IconButtonGeometry ComputeIconButtonGeometry(const QRect& rect, QSize imageSize, QPoint imagePos,
                                             bool pushed, bool disabled, bool focused) {
    const int offset = pushed ? 1 : 0;
    const int x = imagePos.x() == -1 ? (rect.width() - imageSize.width()) / 2 : imagePos.x();
    const int y = imagePos.y() == -1 ? (rect.height() - imageSize.height()) / 2 : imagePos.y();

    IconButtonGeometry geometry;
    geometry.icon = QRect(QPoint(rect.left() + x + offset, rect.top() + y + offset), imageSize);
    if (!disabled && focused) {
        const int k = FocusRectInset(rect.size());
        geometry.focus = rect.adjusted(k, k, -k, -k);
    }
    return geometry;
}
