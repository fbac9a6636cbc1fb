#include "ui/CCreditsStatic.h"

#include <QFile>
#include <QFontMetrics>
#include <QPainter>
#include <QSvgRenderer>
#include <QTimerEvent>

#include <algorithm>
#include <cstring>

namespace {

// The markup characters: the last character of a line.
constexpr QChar kTitleMark = u'\t';
constexpr QChar kHeadingMark = u'\n';
constexpr QChar kSubheadingMark = u'\r';
constexpr QChar kPictureMark = u'^';

// Line heights in pixels, which are also the fonts' cell heights.
constexpr int kTitleHeight = 21;
constexpr int kHeadingHeight = 19;
constexpr int kSubheadingHeight = 17;
constexpr int kBodyHeight = 15;

constexpr QRgb kMagenta = 0xFFFF00FF;
constexpr int kPictureSize = 32;

QColor fromColorRef(DWORD colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

/// Arial (or what stands in for it) whose cell, ascent and descent together, is height pixels.
/// Body lines ask for weight 100, which Arial has not got and shows in its regular face; the
/// stand-in families have extra-light faces that would be hard to read, so ask for regular.
QFont creditsFont(int height, bool bold) {
    QFont font(QStringLiteral("Arial"));
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    int pixels = height;
    font.setPixelSize(pixels);
    while (pixels > 1 && QFontMetrics(font).height() > height) {
        font.setPixelSize(--pixels);
    }
    return font;
}

/// A picture of the program's resources as a 32 x 32 bitmap on magenta: the drawing, its
/// edges cut at half cover so that no pixel mixes with the magenta.
QImage loadBitmapResource(const QString& name) {
    const QString path = QStringLiteral(":/icons/%1.svg").arg(name);
    if (name.isEmpty() || !QFile::exists(path)) {
        return {};
    }
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) {
        return {};
    }
    QImage drawing(kPictureSize, kPictureSize, QImage::Format_ARGB32);
    drawing.fill(Qt::transparent);
    {
        QPainter painter(&drawing);
        renderer.render(&painter);
    }
    QImage bitmap(kPictureSize, kPictureSize, QImage::Format_RGB32);
    for (int y = 0; y < kPictureSize; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(drawing.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(bitmap.scanLine(y));
        for (int x = 0; x < kPictureSize; ++x) {
            out[x] = qAlpha(in[x]) >= 128 ? (in[x] | 0xFF000000) : kMagenta;
        }
    }
    return bitmap;
}

/// The picture with its magenta pixels made transparent.
QImage withMagentaTransparent(const QImage& picture) {
    QImage out = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if ((row[x] | 0xFF000000) == kMagenta) {
                row[x] = 0;
            }
        }
    }
    return out;
}

} // namespace

CCreditsStatic::CCreditsStatic(QWidget* parent)
    : QFrame(parent)
    , m_colors{0x000000, 0x0000FF, 0x00FFFF, 0xFFFF00, 0xFFFFFF}
    , m_fonts{creditsFont(kTitleHeight, true), creditsFont(kHeadingHeight, true),
              creditsFont(kSubheadingHeight, true), creditsFont(kBodyHeight, false)} {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // Every pixel is painted from the image: nothing is erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Credits"));
}

void CCreditsStatic::SetCredits(const QString& text, QChar separator) {
    m_lines = text.split(separator);
    // The credits are read out as plain lines: no markup, no pictures.
    QStringList readable;
    for (const QString& line : m_lines) {
        const LineStyle style = StyleOf(line);
        if (!style.picture && !style.text.trimmed().isEmpty()) {
            readable << style.text;
        }
    }
    setAccessibleDescription(readable.join(u'\n'));
    Rewind();
}

void CCreditsStatic::SetSpeed(unsigned speed, unsigned interval) {
    if (speed >= m_intervals.size()) {
        return;
    }
    m_speed = speed;
    if (interval != 0) {
        m_intervals[speed] = interval;
    }
}

void CCreditsStatic::SetColor(int index, DWORD colour) {
    if (index >= 0 && index < static_cast<int>(m_colors.size())) {
        m_colors[static_cast<std::size_t>(index)] = colour;
    }
}

void CCreditsStatic::SetTransparentPictures(bool transparent) {
    m_transparentPictures = transparent;
}

void CCreditsStatic::SetGradient(int mode) {
    m_gradient = mode;
}

bool CCreditsStatic::Start() {
    if (m_lines.isEmpty()) {
        return false;
    }
    m_image = QImage();
    m_timer.start(static_cast<int>(m_intervals[m_speed]), this);
    Rewind();
    return true;
}

void CCreditsStatic::Rewind() {
    m_nextLine = 0;
    m_tickCounter = 1;
    m_offset = 0;
}

void CCreditsStatic::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timer.timerId()) {
        OnTimer(kTimerId);
        return;
    }
    QFrame::timerEvent(event);
}

CCreditsStatic::LineStyle CCreditsStatic::StyleOf(const QString& line) const {
    LineStyle style;
    if (line.isEmpty()) {
        return style;
    }
    const QChar last = line.back();
    const auto styled = [&](std::size_t font, int colour, int height) {
        style.font = &m_fonts[font];
        style.colour = fromColorRef(m_colors[static_cast<std::size_t>(colour)]);
        style.height = height;
        style.text = line.chopped(1);
    };
    if (last == kTitleMark) {
        styled(0, title, kTitleHeight);
    } else if (last == kHeadingMark) {
        styled(1, heading, kHeadingHeight);
    } else if (last == kSubheadingMark) {
        styled(2, subheading, kSubheadingHeight);
    } else if (last == kPictureMark) {
        style.picture = true;
        style.text = line.chopped(1);
    } else {
        styled(3, body, kBodyHeight);
        style.text = line;
    }
    return style;
}

void CCreditsStatic::CreateImage(QSize size) {
    const int width = size.width();
    const QColor colour = fromColorRef(m_colors[background]);
    m_backgroundRow.assign(static_cast<std::size_t>(width), colour.rgb());
    if (m_gradient == 1) {
        // 256 vertical strips, each channel falling from its value on the left to 0.
        for (int i = 0; i < 256; ++i) {
            const auto fall = [i](int v) { return v - i * v / 255; };
            const QRgb rgb = qRgb(fall(colour.red()), fall(colour.green()), fall(colour.blue()));
            for (int x = i * width / 256; x < (i + 1) * width / 256; ++x) {
                m_backgroundRow[static_cast<std::size_t>(x)] = rgb;
            }
        }
    }
    m_image = QImage(size, QImage::Format_RGB32);
    for (int y = 0; y < m_image.height(); ++y) {
        std::memcpy(m_image.scanLine(y), m_backgroundRow.data(),
                    m_backgroundRow.size() * sizeof(QRgb));
    }
}

void CCreditsStatic::ScrollBandUp() {
    const int left = (m_image.width() - m_bandWidth) / 2;
    const std::size_t bytes = static_cast<std::size_t>(m_bandWidth) * sizeof(QRgb);
    for (int y = 0; y + 1 < m_image.height(); ++y) {
        std::memcpy(reinterpret_cast<QRgb*>(m_image.scanLine(y)) + left,
                    reinterpret_cast<const QRgb*>(m_image.constScanLine(y + 1)) + left, bytes);
    }
}

void CCreditsStatic::FillStrip(const QRect& strip) {
    for (int y = strip.top(); y <= strip.bottom(); ++y) {
        std::memcpy(reinterpret_cast<QRgb*>(m_image.scanLine(y)) + strip.left(),
                    m_backgroundRow.data() + strip.left(),
                    static_cast<std::size_t>(strip.width()) * sizeof(QRgb));
    }
}

bool CCreditsStatic::LoadPicture(const QString& name) {
    const QImage bitmap = loadBitmapResource(name);
    if (bitmap.isNull()) {
        return false;
    }
    m_picture = m_transparentPictures ? withMagentaTransparent(bitmap) : bitmap;
    return true;
}

void CCreditsStatic::OnTimer(unsigned id) {
    if (id != kTimerId) {
        return;
    }
    bool measure = false;
    if (!m_pictureInProgress && !m_lines.isEmpty()) {
        if (m_tickCounter % m_lineHeight == 0) {
            m_currentLine = m_lines[m_nextLine];
            measure = m_firstPass;
            if (++m_nextLine == m_lines.size()) {
                m_nextLine = 0;
                m_firstPass = false;
            }
            m_tickCounter = 1;
            m_offset = 0;
        } else {
            ++m_tickCounter;
        }
    }

    const QSize size = contentsRect().size();
    if (size.isEmpty()) {
        return;
    }
    if (m_image.size() != size) {
        CreateImage(size);
    }
    const int width = size.width();
    m_bandWidth = std::min(m_bandWidth, width); // a panel made narrower
    const int bottom = size.height();           // the band's bottom edge
    if (m_bandWidth >= 1) {
        ScrollBandUp();
    }
    ++m_offset;

    LineStyle style = StyleOf(m_currentLine);
    if (style.height > 0) {
        m_lineHeight = style.height;
    }
    if (style.picture && !m_pictureInProgress) {
        if (LoadPicture(style.text)) {
            m_pictureLeft = (width - m_bandWidth) / 2 + m_bandWidth / 2 - m_picture.width() / 2;
            m_pictureInProgress = true;
        } else {
            // Shown as it stands, in the image's own font and colour.
            style = LineStyle{nullptr, QColor(Qt::black), m_currentLine, 0, false};
        }
    }
    FillStrip(QRect((width - m_bandWidth) / 2, bottom - 1, m_bandWidth, 1));

    const QFont& font = style.font != nullptr ? *style.font : QFont();
    if (measure) {
        const int measured = m_pictureInProgress ? m_picture.width()
                                                 : QFontMetrics(font).horizontalAdvance(style.text);
        if (measured > m_bandWidth) {
            m_bandWidth = std::min(measured, width);
        }
    }
    const int left = (width - m_bandWidth) / 2;

    // Only the uncovered row is drawn: the rows above it scrolled up with what was drawn there
    // before, so each pixel of a line is drawn once and smooth edges are not drawn over again.
    QPainter painter(&m_image);
    painter.setClipRect(QRect(left, bottom - 1, m_bandWidth, 1));
    if (m_pictureInProgress) {
        painter.drawImage(m_pictureLeft, bottom - m_offset, m_picture);
        if (m_offset >= m_picture.height()) {
            m_picture = QImage();
            m_pictureInProgress = false;
            m_offset = 0;
            m_currentLine.clear();
            m_tickCounter = 1;
        }
    } else if (!m_currentLine.isEmpty()) {
        painter.setFont(font);
        painter.setPen(style.colour);
        painter.drawText(QRect(left, bottom - m_offset, m_bandWidth, m_lineHeight),
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, style.text);
    }
    painter.end();
    update();
}

void CCreditsStatic::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        const QRect area = contentsRect();
        if (m_image.isNull()) {
            painter.fillRect(area, fromColorRef(m_colors[background]));
        } else {
            painter.drawImage(area.topLeft(), m_image);
        }
    }
    QFrame::paintEvent(event);
}
