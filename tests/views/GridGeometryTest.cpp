// Which cells a scroll position shows, where they lie, how far rows scroll, and the column
// widths from their factors.
#include <gtest/gtest.h>

#include "views/GridGeometry.h"

namespace {

TGridGeometry Grid(int rows, int top = 0) {
  TGridGeometry grid;
  grid.columnWidths = {178, 76, 81, 66, 71, 50};
  grid.rowCount = rows;
  grid.rowHeight = 18;
  grid.topRow = top;
  return grid;
}

TEST(GridGeometryTest, ColumnWidthsTruncateTheirShareOfTheWidth) {
  EXPECT_EQ(ColumnWidthsFromFactors(509, {0.35, 0.15, 0.16, 0.13, 0.14, 0.1}),
            (std::vector<int>{178, 76, 81, 66, 71, 50}));
  EXPECT_EQ(ColumnWidthsFromFactors(511, {0.5, 0.1, 0.4}), (std::vector<int>{255, 51, 204}));
  // 0.35 * 509 - the sum is 522 > 509: the last column runs past the client area.
  EXPECT_EQ(Grid(1).TotalWidth(), 522);
}

TEST(GridGeometryTest, CellsLieSideBySideWithoutLinesAndMoveWithTheScroll) {
  const TGridGeometry grid = Grid(20);
  EXPECT_EQ(grid.CellRect(0, 0), (TGridRect{0, 0, 178, 18}));
  EXPECT_EQ(grid.CellRect(1, 1), (TGridRect{178, 18, 254, 36}));
  EXPECT_EQ(grid.CellRect(5, 2), (TGridRect{472, 36, 522, 54}));
  // The header scrolls away with the rows.
  const TGridGeometry scrolled = Grid(20, 3);
  EXPECT_EQ(scrolled.CellRect(0, 0), (TGridRect{0, -54, 178, -36}));
  EXPECT_EQ(scrolled.CellRect(0, 3), (TGridRect{0, 0, 178, 18}));
}

TEST(GridGeometryTest, VisibleRowsIncludeTheOneCutOffAtTheBottom) {
  // 182 pixels: ten whole rows and two pixels of the eleventh.
  EXPECT_EQ(Grid(20).VisibleRows(182), (TGridSpan{0, 11}));
  EXPECT_EQ(Grid(20, 5).VisibleRows(182), (TGridSpan{5, 16}));
  EXPECT_EQ(Grid(7).VisibleRows(182), (TGridSpan{0, 7}));
  EXPECT_EQ(Grid(1).VisibleRows(182), (TGridSpan{0, 1}));
  EXPECT_EQ(Grid(0).VisibleRows(182).Count(), 0);
  EXPECT_EQ(Grid(5).VisibleRows(0).Count(), 0);
}

TEST(GridGeometryTest, VisibleColumnsStopAtTheClientEdge) {
  EXPECT_EQ(Grid(1).VisibleColumns(509), (TGridSpan{0, 6}));  // the last one partly
  EXPECT_EQ(Grid(1).VisibleColumns(178), (TGridSpan{0, 1}));
  EXPECT_EQ(Grid(1).VisibleColumns(179), (TGridSpan{0, 2}));
  EXPECT_EQ(Grid(1).VisibleColumns(0).Count(), 0);
}

TEST(GridGeometryTest, RowsScrollOnlyAsFarAsTheLastRowComesIntoView) {
  const TGridGeometry grid = Grid(20);
  EXPECT_EQ(grid.FullRows(154), 8);
  EXPECT_EQ(grid.MaxTopRow(154), 12);
  EXPECT_TRUE(grid.NeedsScrollBar(154));
  EXPECT_EQ(grid.ClampTopRow(50, 154), 12);
  EXPECT_EQ(grid.ClampTopRow(-3, 154), 0);
  // Everything fits: no scrolling, no scroll bar.
  EXPECT_EQ(Grid(8).MaxTopRow(154), 0);
  EXPECT_FALSE(Grid(8).NeedsScrollBar(154));
  EXPECT_TRUE(Grid(9).NeedsScrollBar(154));
  // A grid lower than one row still scrolls row by row.
  EXPECT_EQ(grid.FullRows(10), 1);
  EXPECT_EQ(grid.MaxTopRow(10), 19);
}

TEST(GridGeometryTest, APointFindsItsCellOrTheBackground) {
  const TGridGeometry grid = Grid(3, 1);
  EXPECT_EQ(grid.CellAt(0, 0), (TGridCell{0, 1}));
  EXPECT_EQ(grid.CellAt(178, 17), (TGridCell{1, 1}));
  EXPECT_EQ(grid.CellAt(178, 18), (TGridCell{1, 2}));
  EXPECT_EQ(grid.CellAt(10, 36), TGridCell{});  // below the last row
  EXPECT_EQ(grid.CellAt(522, 0), TGridCell{});  // right of the last column
  EXPECT_EQ(grid.CellAt(-1, 0), TGridCell{});
}

}  // namespace
