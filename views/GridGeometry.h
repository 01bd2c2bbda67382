// Geometry of an owner-drawn grid without fixed rows or columns and without grid lines:
// which cells a scroll position shows, where they lie, and how far the rows can scroll.
// Portable, so that it runs under the sanitizers.
#pragma once

#include <vector>

// A rectangle in pixels, right and bottom exclusive: a cell, or what a cell draws.
struct TGridRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  bool operator==(const TGridRect&) const = default;
  bool Empty() const { return Right <= Left || Bottom <= Top; }
};

// Half-open index range [first, last).
struct TGridSpan {
  int first = 0, last = 0;
  bool operator==(const TGridSpan&) const = default;
  int Count() const { return last > first ? last - first : 0; }
};

struct TGridCell {
  int column = -1, row = -1;  // -1: none
  bool operator==(const TGridCell&) const = default;
};

class TGridGeometry {
 public:
  std::vector<int> columnWidths;
  int rowCount = 0;
  int rowHeight = 1;
  int topRow = 0;  // first row shown at the top of the client area

  // Rows that fit the client height whole (at least 1 when any height is there).
  int FullRows(int clientHeight) const;
  // The largest top row that still fills the client area; 0 when every row fits.
  int MaxTopRow(int clientHeight) const;
  // topRow clamped into 0..MaxTopRow.
  int ClampTopRow(int wantedTopRow, int clientHeight) const;
  // Whether the rows overflow the client height, so that the vertical scroll bar is due.
  bool NeedsScrollBar(int clientHeight) const { return MaxTopRow(clientHeight) > 0; }

  // Rows and columns with at least one pixel inside the client area.
  TGridSpan VisibleRows(int clientHeight) const;
  TGridSpan VisibleColumns(int clientWidth) const;
  // The cell in client coordinates at the current scroll position (may reach beyond the
  // client area).
  TGridRect CellRect(int column, int row) const;
  // Total width of all columns.
  int TotalWidth() const;
  // The cell under a client point, or {-1, -1} when the point is on the background.
  TGridCell CellAt(int x, int y) const;
};

// Column widths as fractions of a grid width, each truncated toward zero.
std::vector<int> ColumnWidthsFromFactors(int width, const std::vector<double>& factors);
