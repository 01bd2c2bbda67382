// Where a grid cell's outline and text go. Free of the Windows API so that it is tested natively.
#pragma once

#include "views/GridGeometry.h"

struct TTextOrigin {
  int X = 0;
  int Y = 0;
};

// Data text starts this far right of the cell's left edge.
inline constexpr int DataTextIndent = 6;

// The rectangle whose outline and fill a cell draws. Every column but the last reaches one pixel
// into its right neighbour and every data row but the last one pixel into the row below, so that
// neighbours share a one-pixel border. The header row is never extended downward: under it the
// header's outline and the first data row's lie side by side, a two-pixel line.
TGridRect OutlineRect(const TGridRect& cell, int column, int row, int columnCount, int rowCount);

// start + (end - start - extent) / 2, truncated toward zero also when the text is the wider:
// such text starts left of (or above) the cell by half the excess.
int CentredStart(int start, int end, int extent);

// Header and status text: centred both ways in the outline rectangle.
TTextOrigin CentredText(const TGridRect& outline, int width, int height);
// Other data text: indented from the left, centred vertically.
TTextOrigin IndentedText(const TGridRect& outline, int height);
