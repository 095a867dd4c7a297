// What the user sees: the grid rendered with grab() and read back pixel by
// pixel (with a tolerance, and away from the current cell).
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "tests/ui/GridSamples.h"
#include "tests/ui/QtPrinters.h"
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
  EXPECT_FALSE(Near(sample(1, 0.25), empty, 20)) << "half bar not filled on the left";
  EXPECT_TRUE(Near(sample(1, 0.75), empty, 20)) << "half bar filled on the right";
  EXPECT_FALSE(Near(sample(2, 0.75), empty, 20)) << "full bar not filled";
  EXPECT_TRUE(Near(sample(1, 0.25), sample(2, 0.25), 20));
}

TEST_F(GridPaintingTest, ImagesAreCentredAndShrunkToTheRow) {
  grid_.SetImageList({Solid({50, 50}, Qt::transparent), Solid({10, 10}, QColor(0, 0, 255)),
                      Solid({50, 50}, QColor(255, 0, 0))});
  grid_.SetCellValue(1, kStatus, 1);
  grid_.SetCellValue(2, kStatus, 2);
  grid_.SetCellValue(3, kStatus, 7);  // no such picture: nothing drawn
  const QImage picture = Picture();
  const QRect small = CellRect(1, kStatus);
  EXPECT_TRUE(Near(PixelAt(picture, small.center()), QColor(0, 0, 255)));
  EXPECT_FALSE(Near(PixelAt(picture, small.center() + QPoint(8, 0)), QColor(0, 0, 255)));
  EXPECT_FALSE(Near(PixelAt(picture, small.center() - QPoint(8, 0)), QColor(0, 0, 255)));
  const QRect large = CellRect(2, kStatus);
  EXPECT_TRUE(Near(PixelAt(picture, large.center()), QColor(255, 0, 0)));
  EXPECT_TRUE(Near(PixelAt(picture, large.center() - QPoint(0, 9)), QColor(255, 0, 0)));
  // Shrunk to the row's height, it is as narrow as it is high.
  EXPECT_FALSE(Near(PixelAt(picture, large.center() + QPoint(18, 0)), QColor(255, 0, 0)));
  EXPECT_FALSE(Near(PixelAt(picture, CellRect(0, kStatus).center()), QColor(255, 0, 0)));
  EXPECT_FALSE(Near(PixelAt(picture, CellRect(3, kStatus).center()), QColor(255, 0, 0)));
}

TEST_F(GridPaintingTest, CentredCheckBoxesAreDrawnInTheMiddle) {
  const QColor background(200, 230, 255);
  grid_.SetRowBackground(0, background);
  grid_.SetChecked(0, kTick, true);
  const QImage picture = Picture();
  const QRect cell = CellRect(0, kTick);
  int inkLeft = cell.right(), inkRight = cell.left();
  for (int x = cell.left() + 1; x < cell.right(); ++x) {
    if (!Near(PixelAt(picture, QPoint(x, cell.center().y())), background, 12)) {
      inkLeft = std::min(inkLeft, x);
      inkRight = std::max(inkRight, x);
    }
  }
  ASSERT_LT(inkLeft, inkRight) << "no check box drawn";
  const int middle = (inkLeft + inkRight) / 2;
  EXPECT_LE(std::abs(middle - cell.center().x()), 2);
}

}  // namespace
}  // namespace miravel
