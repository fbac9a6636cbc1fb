#include "ui/CIconButton.h"

#include "ui/IconButtonGeometry.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr unsigned IDI_PLAY = 150; // a green triangle

/// Where the pixels that pass lie, and how many there are.
std::pair<QRect, int> find(const QImage& image, const std::function<bool(QColor)>& passes) {
    QRect box;
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (passes(image.pixelColor(x, y))) {
                box |= QRect(x, y, 1, 1);
                ++n;
            }
        }
    }
    return {box, n};
}

/// The clearly green pixels: the play icon and nothing else.
QRect green(const QImage& image) {
    return find(image,
                [](QColor c) {
                    return c.green() > 120 && c.green() > c.red() + 60 && c.green() > c.blue() + 30;
                })
        .first;
}

/// How many pixels are strongly coloured (as opposed to grey).
int coloured(const QImage& image) {
    return find(image, [](QColor c) { return c.hsvSaturation() > 100 && c.value() > 60; }).second;
}

QImage render(CIconButton& button) {
    return button.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(CIconButtonTest, DrawsItsIconMovedByOneWhilePushedAndGreyedWhenDisabled) {
    CIconButton button;
    button.resize(70, 75);
    button.setAttribute(Qt::WA_DontShowOnScreen); // one device pixel per pixel
    CIconButton blank;
    blank.resize(70, 75);
    EXPECT_FALSE(button.LoadIcon(9999, 60, 64));
    EXPECT_EQ(render(button), render(blank)) << "an icon that cannot be loaded leaves it blank";

    ASSERT_TRUE(button.LoadIcon(IDI_PLAY, 32, 32));
    EXPECT_EQ(button.SetImagePos(-1, -1), QPoint(-1, -1)) << "centred from the start";
    const QRect released = green(render(button));
    EXPECT_TRUE(QRect(19, 21, 32, 32).contains(released)) << "centred: " << released.x();
    button.setDown(true);
    EXPECT_EQ(green(render(button)), released.translated(1, 1));
    button.setDown(false);
    EXPECT_EQ(button.SetImagePos(2, 3), QPoint(-1, -1));
    EXPECT_TRUE(QRect(2, 3, 32, 32).contains(green(render(button))));
    const auto larger =
        ComputeIconButtonGeometry(QRect(0, 0, 40, 40), {60, 64}, {-1, -1}, false, false, false);
    EXPECT_EQ(larger.icon.topLeft(), QPoint(-10, -12)) << "an icon larger than its button";
    EXPECT_EQ(FocusRectInset(QSize(40, 11)), 2) << "a quarter of the smaller side";
    EXPECT_EQ(FocusRectInset(QSize(3, 50)), 0) << "no rectangle turned inside out";

    EXPECT_GT(coloured(render(button)), 100);
    button.setEnabled(false);
    blank.setEnabled(false);
    const QImage disabled = render(button);
    EXPECT_EQ(coloured(disabled), 0) << "no colour left";
    EXPECT_NE(disabled, render(blank)) << "the greyed icon is still there";
}

TEST(CIconButtonTest, AButtonFocusedFromTheKeyboardShowsItsFocusRectangle) {
    QWidget window;
    auto* before = new QPushButton(QStringLiteral("before"), &window);
    auto* button = new CIconButton(&window);
    button->setGeometry(0, 30, 70, 75);
    button->LoadIcon(IDI_PLAY, 32, 32);
    window.resize(80, 110);
    window.show();
    QApplication::setActiveWindow(&window);
    before->setFocus();
    const QImage unfocused = render(*button);
    QTest::keyClick(before, Qt::Key_Tab);
    ASSERT_TRUE(button->hasFocus());
    const QImage focused = render(*button);
    // The focus rectangle lies a quarter of the smaller side inside the edge, at most 3 pixels
    // (the style may tint what it encloses): nothing changes outside it, its edge does.
    const QRect ring = button->rect().adjusted(3, 3, -3, -3);
    int edgeChanges = 0;
    for (int y = 0; y < focused.height(); ++y) {
        for (int x = 0; x < focused.width(); ++x) {
            if (focused.pixel(x, y) != unfocused.pixel(x, y)) {
                EXPECT_TRUE(ring.contains(x, y)) << "changed pixel " << x << "," << y;
                const bool edge =
                    x == ring.left() || x == ring.right() || y == ring.top() || y == ring.bottom();
                edgeChanges += edge ? 1 : 0;
            }
        }
    }
    EXPECT_GT(edgeChanges, 100);
}

} // namespace
