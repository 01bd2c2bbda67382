#include "GridGeometry.h"

#include <algorithm>

int TGridGeometry::FullRows(int clientHeight) const {
  if (clientHeight <= 0 || rowHeight <= 0) return 0;
  return std::max(1, clientHeight / rowHeight);
}

int TGridGeometry::MaxTopRow(int clientHeight) const {
  return std::max(0, rowCount - FullRows(clientHeight));
}

int TGridGeometry::ClampTopRow(int wantedTopRow, int clientHeight) const {
  return std::clamp(wantedTopRow, 0, MaxTopRow(clientHeight));
}

TGridSpan TGridGeometry::VisibleRows(int clientHeight) const {
  if (rowHeight <= 0 || clientHeight <= 0 || topRow >= rowCount) return {topRow, topRow};
  const int first = std::max(0, topRow);
  // Rows started inside the client area, the last one possibly cut off.
  const int shown = (clientHeight + rowHeight - 1) / rowHeight;
  return {first, std::min(rowCount, first + shown)};
}

TGridSpan TGridGeometry::VisibleColumns(int clientWidth) const {
  int left = 0, last = 0;
  const int count = static_cast<int>(columnWidths.size());
  while (last < count && left < clientWidth) left += std::max(0, columnWidths[last++]);
  return {0, last};
}

TGridRect TGridGeometry::CellRect(int column, int row) const {
  int left = 0;
  for (int c = 0; c < column && c < static_cast<int>(columnWidths.size()); ++c)
    left += columnWidths[c];
  const int width = column < static_cast<int>(columnWidths.size()) ? columnWidths[column] : 0;
  const int top = (row - topRow) * rowHeight;
  return {left, top, left + width, top + rowHeight};
}

int TGridGeometry::TotalWidth() const {
  int total = 0;
  for (int width : columnWidths) total += width;
  return total;
}

TGridCell TGridGeometry::CellAt(int x, int y) const {
  if (x < 0 || y < 0 || rowHeight <= 0) return {};
  const int row = topRow + y / rowHeight;
  if (row >= rowCount) return {};
  int left = 0;
  for (int c = 0; c < static_cast<int>(columnWidths.size()); ++c) {
    if (x < left + columnWidths[c]) return {c, row};
    left += columnWidths[c];
  }
  return {};
}

std::vector<int> ColumnWidthsFromFactors(int width, const std::vector<double>& factors) {
  std::vector<int> widths;
  widths.reserve(factors.size());
  for (double factor : factors) widths.push_back(static_cast<int>(width * factor));
  return widths;
}
