#include "ui/CAboutDlg.h"

#include "app/StartupShortcut.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "ui/CCreditsStatic.h"
#include "ui/DialogControls.h"

#include <QAccessible>
#include <QPushButton>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kMagenta = 0xFFFF00FF;

/// A panel whose inside is width x height pixels, on a blue-to-black gradient.
struct Panel {
    Panel(int width, int height, const QString& credits) {
        credits_.setFrameStyle(QFrame::NoFrame);
        credits_.resize(width, height);
        credits_.SetCredits(credits, u'|');
        credits_.SetColor(CCreditsStatic::background, 0xFF0000);
        credits_.SetGradient(1);
        credits_.SetTransparentPictures(true);
    }
    void tick(int times) {
        for (int i = 0; i < times; ++i) {
            credits_.OnTimer(CCreditsStatic::kTimerId);
        }
    }
    /// How many pixels of the image are of that colour.
    int count(QRgb colour) const {
        int n = 0;
        const QImage& image = credits_.Image();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                n += image.pixel(x, y) == colour ? 1 : 0;
            }
        }
        return n;
    }
    CCreditsStatic credits_;
};

TEST(CCreditsStaticTest, LinesScrollInOnePixelATickInABandAsWideAsTheWidestLine) {
    Panel panel(512, 60, "Body line one|Body line two");
    panel.tick(14);
    EXPECT_EQ(panel.count(kWhite), 0) << "nothing before the 15th tick";
    EXPECT_EQ(panel.credits_.BandWidth(), 0);
    panel.tick(15);
    const QImage& image = panel.credits_.Image();
    ASSERT_EQ(image.size(), QSize(512, 60));
    EXPECT_GT(panel.count(kWhite), 20) << "the first line has scrolled in whole";
    const int band = panel.credits_.BandWidth();
    EXPECT_GT(band, 40);
    EXPECT_LT(band, 200);
    int top = image.height();
    int left = image.width();
    int right = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == kWhite) {
                top = std::min(top, y);
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    EXPECT_GE(top, 60 - 15) << "within the line's 15 rows";
    EXPECT_GE(left, (512 - band) / 2);
    EXPECT_LT(right, (512 - band) / 2 + band);

    // 256 strips of two pixels: blue falls from 255 to 0, a step a strip.
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(1, 59), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(2, 0), qRgb(0, 0, 254));
    EXPECT_EQ(image.pixel(511, 59), qRgb(0, 0, 0));

    // One pixel a tick, upwards.
    const auto topRow = [&panel] {
        const QImage& now = panel.credits_.Image();
        for (int y = 0; y < now.height(); ++y) {
            for (int x = 0; x < now.width(); ++x) {
                if (now.pixel(x, y) == kWhite) {
                    return y;
                }
            }
        }
        return -1;
    };
    panel.tick(1);
    EXPECT_EQ(topRow(), top - 1);
}

TEST(CCreditsStaticTest, ATooWideLineIsMeasuredAtThePanelWidthAndTheBandNeverShrinks) {
    Panel panel(120, 40, "A line much too wide for a panel of one hundred and twenty pixels|x");
    panel.tick(15);
    EXPECT_EQ(panel.credits_.BandWidth(), 120);
    panel.tick(15);
    EXPECT_EQ(panel.credits_.BandWidth(), 120) << "the narrow line leaves it";
}

TEST(CCreditsStaticTest, EmptyCreditsArePicturesWithMagentaTransparent) {
    CCreditsStatic none;
    EXPECT_FALSE(none.Start()) << "no lines";
    EXPECT_FALSE(none.IsRunning());

    Panel empty(100, 40, "");
    EXPECT_TRUE(empty.credits_.Start()) << "one empty line";
    empty.tick(40);
    EXPECT_EQ(empty.count(kWhite), 0);

    for (bool transparent : {true, false}) {
        Panel pictures(100, 40, "BITMAP3^|Missing^");
        pictures.credits_.SetTransparentPictures(transparent);
        pictures.tick(15 + 32);
        EXPECT_GT(pictures.count(kWhite), 50) << "the loudspeaker, drawn in white";
        EXPECT_EQ(pictures.count(kMagenta) > 0, !transparent);
        EXPECT_EQ(pictures.credits_.BandWidth(), 32);
    }
}

TEST(CAboutDlgTest, TheCaptionShowsTheVersionOfTheExecutableAndNothingWithoutOne) {
    const CAboutDlg about(GetExecutablePath());
    EXPECT_EQ(about.windowTitle(), "Quillon v" QUILLON_VERSION);
    EXPECT_TRUE(about.Credits()->IsRunning());
    EXPECT_EQ(GetDlgItemAs<QPushButton>(&about, 1)->text(), "Please Turn It Off");
    QAccessibleInterface* panel = QAccessible::queryAccessibleInterface(about.Credits());
    EXPECT_EQ(panel->text(QAccessible::Name), "Credits");

    // The program says the same version on its command line.
    const CommandResult printed = RunCommand(QUILLON_PROGRAM " --version");
    EXPECT_EQ(printed.out, "quillon " QUILLON_VERSION "\n");

    // No version resource, a damaged one, a pipe, or no file at all: the caption stays empty.
    TempDir dir;
    const Bytes self = ReadFileBytes("/proc/self/exe");
    WriteFileBytes(dir.file("half"), Bytes(self.begin(), self.begin() + self.size() / 2));
    WriteFileBytes(dir.file("text"), {'h', 'i'});
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    for (const std::string& file : {dir.file("half"), dir.file("text"), dir.file("none"),
                                    dir.file("pipe"), std::string("/usr/bin/env")}) {
        EXPECT_EQ(CAboutDlg(file).windowTitle(), "") << file;
    }
}

} // namespace
