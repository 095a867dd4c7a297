// The drawn pictures: sizes the windows rely on, and each picture in its slot
// (a swapped status image would tell the user the opposite of what happened).
#include <gtest/gtest.h>

#include <QImage>

#include "ui/Pictures.h"

namespace miravel {
namespace {

// Counts the opaque pixels of a picture that pass a colour test.
template <class Test>
int Pixels(const QPixmap& picture, Test&& test) {
  const QImage image = picture.toImage();
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.alpha() > 200 && test(c.red(), c.green(), c.blue())) ++count;
    }
  }
  return count;
}

const auto kAny = [](int, int, int) { return true; };
const auto kRed = [](int r, int g, int b) { return r > 150 && g < 90 && b < 90; };
const auto kGreen = [](int r, int g, int b) { return g > 110 && r < 90 && b < 120; };
const auto kWhite = [](int r, int g, int b) { return r > 235 && g > 235 && b > 235; };
const auto kGrey = [](int r, int g, int b) { return std::abs(r - g) < 12 && std::abs(g - b) < 12; };

TEST(PicturesTest, StatusAndFingerprintImagesAreInTheirSlots) {
  const QList<QPixmap> status = StatusImages();
  ASSERT_EQ(status.size(), 3);
  for (const QPixmap& image : status) EXPECT_EQ(image.size(), QSize(50, 50));
  EXPECT_EQ(Pixels(status[0], kAny), 0);
  EXPECT_GT(Pixels(status[1], kGreen), 100);
  EXPECT_EQ(Pixels(status[1], kRed), 0);
  EXPECT_GT(Pixels(status[2], kRed), 500);
  EXPECT_GT(status[2].toImage().pixelColor(25, 25).lightness(), 240);  // the bar across it

  const QList<QPixmap> fingerprint = FingerprintImages();
  ASSERT_EQ(fingerprint.size(), 3);
  for (const QPixmap& image : fingerprint) EXPECT_EQ(image.size(), QSize(16, 16));
  EXPECT_GT(Pixels(fingerprint[0], kRed), 15);
  EXPECT_GT(Pixels(fingerprint[1], kGrey), 20);
  EXPECT_EQ(Pixels(fingerprint[1], kRed), 0);
  EXPECT_GT(Pixels(fingerprint[2], kWhite), 150);
}

TEST(PicturesTest, BannersFillTheirSizeAndGlyphsAreDrawn) {
  const QPixmap top = BannerPicture(QSize(768, 80), true);
  EXPECT_EQ(top.size(), QSize(768, 80));
  EXPECT_EQ(Pixels(top, kAny), 768 * 80);
  EXPECT_GT(Pixels(top, kWhite), 200);  // the program's name
  EXPECT_EQ(Pixels(BannerPicture(QSize(768, 24), false), kAny), 768 * 24);
  for (const QPixmap& glyph :
       {TransferGlyph(), SettingsGlyph(), ExitGlyph(), OkGlyph(), CancelGlyph(), ClockGlyph(),
        PersonGlyph(), NewGlyph(), SaveGlyph(), DeleteGlyph(), ConnectionTestGlyph(), FileGlyph(),
        LeftArrowGlyph(), RightArrowGlyph()}) {
    EXPECT_EQ(glyph.size(), QSize(24, 24));
    EXPECT_GT(Pixels(glyph, kAny), 30);
  }
}

}  // namespace
}  // namespace miravel
