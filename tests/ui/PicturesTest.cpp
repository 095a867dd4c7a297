// The drawn pictures: sizes the windows rely on, and each picture in its slot
// (a swapped status image would tell the user the opposite of what happened).
#include <gtest/gtest.h>

#include <QImage>

#include "ui/Pictures.h"

namespace miravel {
namespace {

struct Ink {
  int red = 0, green = 0, blue = 0, grey = 0, white = 0, opaque = 0;
};

// Counts the clearly coloured pixels of a picture.
Ink InkOf(const QPixmap& picture) {
  Ink ink;
  const QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.alpha() < 200) continue;
      ++ink.opaque;
      const int r = c.red(), g = c.green(), b = c.blue();
      if (r > 150 && g < 90 && b < 90) ++ink.red;
      if (g > 110 && r < 90 && b < 120) ++ink.green;
      if (b > 150 && r < 110) ++ink.blue;
      if (r > 235 && g > 235 && b > 235) ++ink.white;
      if (std::abs(r - g) < 12 && std::abs(g - b) < 12 && r > 60 && r < 200) ++ink.grey;
    }
  }
  return ink;
}

TEST(PicturesTest, StatusImagesAreEmptyDoneAndFailedInThatOrder) {
  const QList<QPixmap> images = StatusImages();
  ASSERT_EQ(images.size(), 3);
  for (const QPixmap& image : images) EXPECT_EQ(image.size(), QSize(50, 50));
  EXPECT_EQ(InkOf(images[0]).opaque, 0);
  const Ink done = InkOf(images[1]);
  EXPECT_GT(done.green, 100);
  EXPECT_EQ(done.red, 0);
  const Ink failed = InkOf(images[2]);
  EXPECT_GT(failed.red, 500);
  EXPECT_GT(failed.white, 100);
  EXPECT_EQ(failed.green, 0);
  // The white bar lies across the middle of the red circle.
  const QImage red = images[2].toImage();
  EXPECT_GT(red.pixelColor(25, 25).lightness(), 240);
  EXPECT_GT(red.pixelColor(25, 12).red(), 150);
}

TEST(PicturesTest, FingerprintImagesAreCrossPrintAndBlank) {
  const QList<QPixmap> images = FingerprintImages();
  ASSERT_EQ(images.size(), 3);
  for (const QPixmap& image : images) EXPECT_EQ(image.size(), QSize(16, 16));
  EXPECT_GT(InkOf(images[0]).red, 15);
  const Ink print = InkOf(images[1]);
  EXPECT_GT(print.grey, 20);
  EXPECT_EQ(print.red, 0);
  EXPECT_GT(InkOf(images[2]).white, 150);
}

TEST(PicturesTest, GlyphsAndBannersHaveTheirSizesAndAreDrawn) {
  for (const QPixmap& glyph : {TransferGlyph(), SettingsGlyph(), ExitGlyph(), OkGlyph(),
                               CancelGlyph(), ClockGlyph(), PersonGlyph(), NewGlyph(), SaveGlyph(),
                               DeleteGlyph(), ConnectionTestGlyph(), FileGlyph()}) {
    EXPECT_EQ(glyph.size(), QSize(24, 24));
    EXPECT_GT(InkOf(glyph).opaque, 30);
  }
  EXPECT_GT(InkOf(TransferGlyph()).blue, 30);
  const QPixmap top = BannerPicture(QSize(768, 80), true);
  const QPixmap bottom = BannerPicture(QSize(768, 24), false);
  EXPECT_EQ(top.size(), QSize(768, 80));
  EXPECT_EQ(bottom.size(), QSize(768, 24));
  // Fully painted, with the white name on the top one.
  EXPECT_EQ(InkOf(top).opaque, 768 * 80);
  EXPECT_GT(InkOf(top).white, 200);
  EXPECT_EQ(InkOf(bottom).opaque, 768 * 24);
}

}  // namespace
}  // namespace miravel
