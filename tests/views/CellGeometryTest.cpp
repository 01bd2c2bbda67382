#include <gtest/gtest.h>

#include "views/CellGeometry.h"

namespace {

bool Same(const TGridRect& a, const TGridRect& b) {
  return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
}

// A grid of 3 columns and 4 rows (header and three data rows); the cell values do not matter,
// only which edges move.
TEST(CellGeometry, OutlinesReachIntoTheNextColumnAndRowExceptAtTheEdges) {
  const TGridRect cell{100, 36, 151, 54};
  struct Case {
    int column, row;
    TGridRect expected;
  } cases[] = {
      {0, 0, {100, 36, 152, 54}},  // header: right extended, bottom never
      {1, 0, {100, 36, 152, 54}}, {2, 0, {100, 36, 151, 54}},  // last column
      {0, 1, {100, 36, 152, 55}},                              // first data row
      {1, 2, {100, 36, 152, 55}},                              // middle
      {2, 2, {100, 36, 151, 55}}, {0, 3, {100, 36, 152, 54}},  // last row
      {2, 3, {100, 36, 151, 54}},                              // last row, last column
  };
  for (const Case& c : cases) {
    const TGridRect outline = OutlineRect(cell, c.column, c.row, 3, 4);
    EXPECT_TRUE(Same(outline, c.expected)) << "column " << c.column << " row " << c.row << ": "
                                           << outline.Right << "," << outline.Bottom;
  }
}

TEST(CellGeometry, SingleDataRowAndHeaderOnlyGridsKeepTheirBottoms) {
  const TGridRect cell{0, 18, 50, 36};
  EXPECT_EQ(OutlineRect(cell, 0, 1, 6, 2).Bottom, 36);  // the only data row is the last
  EXPECT_EQ(OutlineRect({0, 0, 50, 18}, 0, 0, 6, 1).Bottom, 18);
  EXPECT_EQ(OutlineRect(cell, 5, 1, 6, 2).Right, 50);
  EXPECT_EQ(OutlineRect(cell, 0, 1, 1, 2).Right, 50);  // a lone column is the last one
}

TEST(CellGeometry, CentringTruncatesTowardZero) {
  EXPECT_EQ(CentredStart(0, 100, 20), 40);
  EXPECT_EQ(CentredStart(0, 101, 20), 40);  // odd excess: the extra pixel goes right
  EXPECT_EQ(CentredStart(18, 37, 13), 21);
  // Text wider than the cell starts left of it by half the excess, rounded toward zero:
  // -5 / 2 is -2 here, where a floor would give -3.
  EXPECT_EQ(CentredStart(10, 20, 15), 8);
  EXPECT_EQ(CentredStart(10, 20, 14), 8);
  EXPECT_EQ(CentredStart(-30, -20, 15), -32);
}

TEST(CellGeometry, TextOrigins) {
  const TGridRect outline{255, 18, 307, 37};
  const TTextOrigin centred = CentredText(outline, 30, 13);
  EXPECT_EQ(centred.X, 266);
  EXPECT_EQ(centred.Y, 21);
  const TTextOrigin indented = IndentedText(outline, 13);
  EXPECT_EQ(indented.X, 261);
  EXPECT_EQ(indented.Y, 21);
  // Width does not move indented text, however wide.
  EXPECT_EQ(CentredText(outline, 200, 20).X, 255 + (52 - 200) / 2);
  EXPECT_EQ(CentredText(outline, 200, 20).Y, 18);  // -1 / 2 is 0, not -1
}

}  // namespace
