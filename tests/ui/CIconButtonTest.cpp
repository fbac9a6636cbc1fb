#include "ui/CIconButton.h"

#include "ui/IconButtonGeometry.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace {

constexpr unsigned IDI_PLAY = 150; // a green triangle

TEST(IconButtonGeometryTest, PlacesTheIconAndTheFocusRectangleInsideTheItem) {
    const QSize image(60, 64);
    const auto placed =
        ComputeIconButtonGeometry(QRect(10, 20, 70, 75), image, {3, -1}, true, false, false);
    EXPECT_EQ(placed.icon.topLeft(), QPoint(14, 26)) << "x placed, y centred, pushed by one";
    const auto larger =
        ComputeIconButtonGeometry(QRect(0, 0, 40, 40), image, {-1, -1}, false, false, false);
    EXPECT_EQ(larger.icon.topLeft(), QPoint(-10, -12)) << "an icon larger than the button";

    // A quarter of the smaller side inside, at most three; not moved when pushed.
    EXPECT_EQ(FocusRectInset({40, 11}), 2);
    EXPECT_EQ(FocusRectInset({200, 100}), 3);
    EXPECT_EQ(FocusRectInset({3, 50}), 0);
    const auto twelve =
        ComputeIconButtonGeometry(QRect(5, 5, 30, 12), {8, 8}, {-1, -1}, true, false, true);
    ASSERT_TRUE(twelve.focus.has_value());
    EXPECT_EQ(*twelve.focus, QRect(8, 8, 24, 6));
    const QRect button(0, 0, 50, 50);
    EXPECT_FALSE(ComputeIconButtonGeometry(button, {8, 8}, {-1, -1}, false, false, false).focus)
        << "without focus";
    EXPECT_FALSE(ComputeIconButtonGeometry(button, {8, 8}, {-1, -1}, true, true, true).focus)
        << "disabled";
}

/// The bounding box of the pixels that are clearly green: the play icon and nothing else.
std::optional<QRect> greenBox(const QImage& image) {
    std::optional<QRect> box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.green() > 120 && c.green() > c.red() + 60 && c.green() > c.blue() + 30) {
                box = box ? box->united(QRect(x, y, 1, 1)) : QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

/// How many pixels are strongly coloured (as opposed to grey).
int colouredPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.hsvSaturation() > 100 && c.value() > 60) {
                ++count;
            }
        }
    }
    return count;
}

QImage render(CIconButton& button) {
    return button.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

class CIconButtonTest : public ::testing::Test {
protected:
    CIconButtonTest() {
        button.resize(70, 75);
        // Render at one device pixel per pixel whatever the screen says.
        button.setAttribute(Qt::WA_DontShowOnScreen);
    }
    CIconButton button;
};

TEST_F(CIconButtonTest, DrawsItsIconAndMovesItOnePixelRightAndDownWhilePushed) {
    ASSERT_TRUE(button.LoadIcon(IDI_PLAY, 32, 32));
    EXPECT_EQ(button.GetImageSize(), QSize(32, 32));
    EXPECT_EQ(button.SetImagePos(-1, -1), QPoint(-1, -1)) << "centred from the start";
    const auto released = greenBox(render(button));
    ASSERT_TRUE(released.has_value()) << "the icon is drawn";
    EXPECT_TRUE(QRect(19, 21, 32, 32).contains(*released)) << "centred: " << released->x();

    button.setDown(true);
    const auto pushed = greenBox(render(button));
    ASSERT_TRUE(pushed.has_value());
    EXPECT_EQ(pushed->topLeft(), released->topLeft() + QPoint(1, 1));
    EXPECT_EQ(pushed->size(), released->size());

    button.setDown(false);
    EXPECT_EQ(button.SetImagePos(2, 3), QPoint(-1, -1));
    const auto placed = greenBox(render(button));
    ASSERT_TRUE(placed.has_value());
    EXPECT_TRUE(QRect(2, 3, 32, 32).contains(*placed));
}

TEST_F(CIconButtonTest, AnIconThatCannotBeLoadedLeavesItBlankAndADisabledOneIsGreyed) {
    CIconButton blank;
    blank.resize(70, 75);
    const QImage empty = render(blank);
    EXPECT_FALSE(button.LoadIcon(9999, 60, 64));
    EXPECT_FALSE(button.HasIcon());
    EXPECT_EQ(render(button), empty);

    ASSERT_TRUE(button.LoadIcon(IDI_PLAY, 32, 32));
    EXPECT_GT(colouredPixels(render(button)), 100);
    button.setEnabled(false);
    blank.setEnabled(false);
    const QImage disabled = render(button);
    EXPECT_EQ(colouredPixels(disabled), 0) << "no colour left";
    EXPECT_NE(disabled, render(blank)) << "the greyed icon is still there";
}

TEST(CIconButtonFocusTest, AButtonFocusedFromTheKeyboardShowsItsFocusRectangle) {
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
    if (!button->hasFocus()) {
        GTEST_SKIP() << "this platform gives no focus to a window";
    }
    const QImage focused = render(*button);
    ASSERT_NE(focused, unfocused);
    // The focus rectangle lies 3 pixels inside the edge (the style may tint what it
    // encloses): nothing changes outside it, and its edge does change.
    const QRect ring = button->rect().adjusted(3, 3, -3, -3);
    int edgeChanges = 0;
    for (int y = 0; y < focused.height(); ++y) {
        for (int x = 0; x < focused.width(); ++x) {
            if (focused.pixel(x, y) == unfocused.pixel(x, y)) {
                continue;
            }
            EXPECT_TRUE(ring.contains(x, y)) << "changed pixel " << x << "," << y;
            if (x == ring.left() || x == ring.right() || y == ring.top() || y == ring.bottom()) {
                ++edgeChanges;
            }
        }
    }
    EXPECT_GT(edgeChanges, 100);
}

} // namespace
