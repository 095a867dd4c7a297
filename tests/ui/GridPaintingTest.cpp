// What the user sees: the grid rendered with grab() and read back pixel by
// pixel (with a tolerance, and away from the current cell).
#include <gtest/gtest.h>

#include <QImage>

#include "tests/ui/GridSamples.h"
#include "ui/grid/ReportGrid.h"

namespace miravel {
namespace {

using namespace test;

bool Near(QColor a, QColor b, int tolerance = 8) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

QPixmap Solid(QSize size, QColor colour) {
  QPixmap picture(size);
  picture.fill(colour);
  return picture;
}

class GridPaintingTest : public testing::Test {
 protected:
  void SetUp() override {
    grid_.SetColumns(SampleColumns());
    grid_.SetRowHeight(24);
    grid_.SetHeaderHeight(18);
    grid_.SetRowCountTo(4);
    grid_.resize(800, 200);
    grid_.setCurrentItem(nullptr);
  }

  // The grid as drawn, and a cell's rectangle in that picture.
  QImage Picture() { return grid_.grab().toImage(); }
  QRect CellRect(int row, int column) const {
    return grid_.visualItemRect(grid_.item(row, column)).translated(grid_.viewport()->pos());
  }
  QColor PixelAt(const QImage& picture, QPoint where) const { return picture.pixelColor(where); }

  ReportGrid grid_;
};

TEST_F(GridPaintingTest, PerCellBackgroundsShowInEveryKindOfColumn) {
  const QColor even(255, 200, 200);
  const QColor odd(190, 230, 190);
  for (int r = 0; r < 4; ++r) grid_.SetRowBackground(r, r % 2 == 0 ? even : odd);
  grid_.SetCellBackground(3, kName, QColor(40, 40, 160));
  const QImage picture = Picture();
  for (int r = 0; r < 3; ++r) {
    const QColor expected = r % 2 == 0 ? even : odd;
    for (int column : {kName, kNumber, kTick, kProgress, kStatus}) {
      // In the cell's corner, clear of text, box, bar and picture.
      const QRect cell = CellRect(r, column);
      const QColor seen = PixelAt(picture, cell.topLeft() + QPoint(1, 1));
      EXPECT_TRUE(Near(seen, expected))
          << "row " << r << " column " << column << " shows " << seen.name().toStdString();
    }
  }
  EXPECT_TRUE(Near(PixelAt(picture, CellRect(3, kName).center()), QColor(40, 40, 160)));
  EXPECT_TRUE(Near(PixelAt(picture, CellRect(3, kNumber).center()), odd));
}

TEST_F(GridPaintingTest, ProgressBarsFillFromTheLeftWithoutText) {
  grid_.SetCellValue(0, kProgress, 0);
  grid_.SetCellValue(1, kProgress, 50);
  grid_.SetCellValue(2, kProgress, 100);
  const QImage picture = Picture();
  const auto sample = [&](int row, double across) {
    const QRect cell = CellRect(row, kProgress);
    // In the upper part of the bar: an upward fill to one half would not reach it.
    return PixelAt(picture, QPoint(cell.left() + static_cast<int>(cell.width() * across),
                                   cell.top() + cell.height() * 3 / 8));
  };
  const QColor empty = sample(0, 0.25);
  const QRect none = CellRect(0, kProgress);
  EXPECT_TRUE(Near(PixelAt(picture, QPoint(none.left() + 1, none.center().y())),
                   PixelAt(picture, none.topLeft() + QPoint(1, 1))))
      << "an empty bar shows a sliver of fill";
  EXPECT_FALSE(Near(sample(1, 0.25), empty, 20)) << "half bar not filled on the left";
  EXPECT_TRUE(Near(sample(1, 0.75), empty, 20)) << "half bar filled on the right";
  EXPECT_FALSE(Near(sample(2, 0.75), empty, 20)) << "full bar not filled";
  EXPECT_TRUE(Near(sample(1, 0.25), sample(2, 0.25), 20));
}

TEST_F(GridPaintingTest, ImagesAndCheckBoxesAreDrawnInTheMiddle) {
  const QColor blue(0, 0, 255), red(255, 0, 0);
  grid_.SetImageList({Solid({10, 10}, blue), Solid({50, 50}, red)});
  grid_.SetCellValue(1, kStatus, 1);
  grid_.SetCellValue(2, kStatus, 7);  // no such picture: nothing drawn
  grid_.SetRowBackground(3, QColor(200, 230, 255));
  grid_.SetChecked(3, kTick, true);
  const QImage picture = Picture();
  const QRect small = CellRect(0, kStatus);
  EXPECT_TRUE(Near(PixelAt(picture, small.center()), blue));
  EXPECT_FALSE(Near(PixelAt(picture, small.center() + QPoint(8, 0)), blue));
  EXPECT_FALSE(Near(PixelAt(picture, small.center() - QPoint(8, 0)), blue));
  // A picture taller than the row is shrunk to it, keeping its shape.
  const QRect large = CellRect(1, kStatus);
  EXPECT_TRUE(Near(PixelAt(picture, large.center() - QPoint(0, 9)), red));
  EXPECT_FALSE(Near(PixelAt(picture, large.center() + QPoint(18, 0)), red));
  EXPECT_FALSE(Near(PixelAt(picture, CellRect(2, kStatus).center()), red));

  const QRect box = CellRect(3, kTick);
  int inkLeft = box.right(), inkRight = box.left();
  for (int x = box.left() + 1; x < box.right(); ++x) {
    if (!Near(PixelAt(picture, QPoint(x, box.center().y())), QColor(200, 230, 255), 12)) {
      inkLeft = std::min(inkLeft, x);
      inkRight = std::max(inkRight, x);
    }
  }
  ASSERT_LT(inkLeft, inkRight) << "no check box drawn";
  EXPECT_LE(std::abs((inkLeft + inkRight) / 2 - box.center().x()), 2);
}

}  // namespace
}  // namespace miravel
