#include "ui/CAboutDlg.h"

#include "app/StartupShortcut.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "ui/CCreditsStatic.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kMagenta = 0xFFFF00FF;

/// A panel whose inside is width x height pixels, on a blue-to-black gradient.
struct Panel {
    Panel(int width, int height, const QString& text) {
        credits.setFrameStyle(QFrame::NoFrame);
        credits.resize(width, height);
        credits.SetCredits(text, u'|');
        credits.SetColor(CCreditsStatic::background, 0xFF0000);
        credits.SetGradient(1);
        credits.SetTransparentPictures(true);
    }
    void tick(int times) {
        for (int i = 0; i < times; ++i) {
            credits.OnTimer(CCreditsStatic::kTimerId);
        }
    }
    /// Where the pixels of that colour lie, and how many there are.
    std::pair<QRect, int> find(QRgb colour = kWhite) const {
        QRect box;
        int n = 0;
        const QImage& image = credits.Image();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixel(x, y) == colour) {
                    box |= QRect(x, y, 1, 1);
                    ++n;
                }
            }
        }
        return {box, n};
    }
    CCreditsStatic credits;
};

// The band the lines scroll in is as wide as the widest line, at most the panel: it never
// shrinks, and a line wider than the panel is measured at the panel's width.
TEST(CCreditsStaticTest, LinesScrollUpInABandAsWideAsTheWidestLineAndPicturesShow) {
    Panel panel(512, 60, "Body line one|Body line two");
    panel.tick(29);
    const QRect text = panel.find().first;
    const int band = panel.credits.BandWidth();
    EXPECT_GT(band, 40);
    EXPECT_TRUE(QRect((512 - band) / 2, 0, band, 60).contains(text)) << "centred in its band";
    panel.tick(1);
    EXPECT_EQ(panel.find().first.top(), text.top() - 1) << "one pixel a tick, upwards";
    Panel wide(120, 40, "A line much too wide for a panel of one hundred and twenty pixels|x");
    for (const char* after : {"the wide line", "the narrow line"}) {
        wide.tick(15);
        EXPECT_EQ(wide.credits.BandWidth(), 120) << after;
    }

    CCreditsStatic none;
    EXPECT_FALSE(none.Start()) << "no lines";
    Panel empty(100, 40, "");
    EXPECT_TRUE(empty.credits.Start()) << "one empty line";
    empty.tick(40);
    EXPECT_EQ(empty.find().second, 0);

    for (bool transparent : {true, false}) {
        Panel pictures(100, 40, "BITMAP3^|Missing^");
        pictures.credits.SetTransparentPictures(transparent);
        pictures.tick(15 + 32);
        EXPECT_GT(pictures.find().second, 50) << "the loudspeaker, drawn in white";
        EXPECT_EQ(pictures.find(kMagenta).second > 0, !transparent);
    }
}

TEST(CAboutDlgTest, TheCaptionShowsTheVersionOfTheExecutableAndNothingWithoutOne) {
    const CAboutDlg about(GetExecutablePath());
    EXPECT_EQ(about.windowTitle(), "Quillon v" QUILLON_VERSION);
    EXPECT_TRUE(about.Credits()->IsRunning());

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
