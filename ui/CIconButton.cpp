#include "ui/CIconButton.h"

#include "ui/IconButtonGeometry.h"
#include "ui/IconResources.h"

#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace {

// Room between the icon and the edge of the face, in pixels on each side.
constexpr int kFaceMargin = 6;

} // namespace

CIconButton::CIconButton(QWidget* parent)
    : CPlainButton(parent) {}

bool CIconButton::LoadIcon(unsigned id, int width, int height) {
    QIcon icon = LoadIconResource(id);
    if (icon.isNull()) {
        return false;
    }
    m_icon = std::move(icon);
    m_imageSize = QSize(width, height);
    updateGeometry();
    update();
    return true;
}

QPoint CIconButton::SetImagePos(int x, int y) {
    const QPoint previous = m_imagePos;
    m_imagePos = QPoint(x, y);
    update();
    return previous;
}

QSize CIconButton::sizeHint() const {
    return m_imageSize.grownBy(QMargins(kFaceMargin, kFaceMargin, kFaceMargin, kFaceMargin))
        .expandedTo(QSize(24, 24));
}

QSize CIconButton::minimumSizeHint() const {
    return sizeHint();
}

void CIconButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    const bool pushed = isDown() || isChecked();
    const bool disabled = !isEnabled();

    // The face: the style's plain push-button panel, without the style's own focus marking,
    // which this button draws by its own rule.
    QStyleOptionButton face;
    initStyleOption(&face);
    face.state &= ~QStyle::State_HasFocus;
    face.state &= ~(QStyle::State_Sunken | QStyle::State_Raised);
    face.state |= pushed ? QStyle::State_Sunken : QStyle::State_Raised;
    face.text.clear();
    face.icon = QIcon();
    painter.drawPrimitive(QStyle::PE_PanelButtonCommand, face);

    const IconButtonGeometry geometry =
        ComputeIconButtonGeometry(rect(), m_imageSize, m_imagePos, pushed, disabled, hasFocus());
    if (!m_icon.isNull()) {
        const QPixmap pixmap = m_icon.pixmap(m_imageSize, devicePixelRatio(),
                                             disabled ? QIcon::Disabled : QIcon::Normal);
        painter.drawPixmap(geometry.icon, pixmap);
    }
    if (geometry.focus) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = *geometry.focus;
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}
