#pragma once

#include "platform/wintypes/WinTypes.h"

#include <QBasicTimer>
#include <QFont>
#include <QFrame>
#include <QImage>
#include <QStringList>

#include <array>
#include <vector>

/// A panel in which lines of text and small pictures scroll upwards without end: the About
/// box's credits.
///
/// The last character of a line chooses its style: tab a title, line feed a heading, carriage
/// return a subheading, '^' a picture (the rest of the line names it: "BITMAP1^"), anything else
/// a body line; the markup character is not drawn. A line of height h takes h ticks, one pixel
/// a tick; an empty line advances by the height of the last styled line. The lines scroll in a
/// band centred in the panel, as wide as the widest line of the first pass.
///
/// Everything is drawn into an off-screen image of the panel's size, which the panel shows.
class CCreditsStatic final : public QFrame {
    Q_OBJECT
public:
    /// The identifier of the scrolling timer.
    static constexpr unsigned kTimerId = 150;
    /// Indices of SetColor.
    enum ColorIndex : int { background = 0, title = 1, heading = 2, subheading = 3, body = 4 };

    explicit CCreditsStatic(QWidget* parent = nullptr);

    /// Splits text at every separator into the lines (empty pieces are empty lines) and
    /// rewinds to the first line.
    void SetCredits(const QString& text, QChar separator);
    /// Chooses speed 0, 1 or 2; an interval other than 0 (ms a tick) replaces that speed's.
    void SetSpeed(unsigned speed, unsigned interval = 0);
    /// colour is 0x00BBGGRR.
    void SetColor(int index, DWORD colour);
    /// When set, magenta (0xFF00FF) in a picture is transparent.
    void SetTransparentPictures(bool transparent);
    /// 0: the background colour; 1: a horizontal gradient from it on the left to black.
    void SetGradient(int mode);
    /// Starts scrolling from the first line; false, and no timer, when there are no lines.
    bool Start();

    /// One tick of the timer with that identifier (others are ignored): scrolls the band by a
    /// pixel and draws what it uncovers. The timer calls it; so can a test.
    void OnTimer(unsigned id);
    /// The panel as the last tick left it; null before the first tick.
    const QImage& Image() const { return m_image; }
    int BandWidth() const { return m_bandWidth; }
    bool IsRunning() const { return m_timer.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    struct LineStyle {
        const QFont* font = nullptr; ///< null: the image's default font
        QColor colour;
        QString text;
        int height = 0; ///< the line height it sets; 0 leaves it as it is
        bool picture = false;
    };

    void Rewind();
    LineStyle StyleOf(const QString& line) const;
    void CreateImage(QSize size);
    void ScrollBandUp();
    void FillStrip(const QRect& strip);
    bool LoadPicture(const QString& name);

    QStringList m_lines;
    qsizetype m_nextLine = 0;
    QString m_currentLine;
    std::array<DWORD, 5> m_colors;
    std::array<QFont, 4> m_fonts; ///< title, heading, subheading, body
    std::array<unsigned, 3> m_intervals{70, 40, 10};
    unsigned m_speed = 1;
    int m_lineHeight = 15;
    int m_tickCounter = 1;
    int m_offset = 0;
    bool m_firstPass = true;
    int m_bandWidth = 0;
    int m_gradient = 0;
    bool m_transparentPictures = false;
    QImage m_picture;
    int m_pictureLeft = 0;
    bool m_pictureInProgress = false;
    QImage m_image;
    /// The background of one pixel row of the image: the colour, or the gradient.
    std::vector<QRgb> m_backgroundRow;
    QBasicTimer m_timer;
};
