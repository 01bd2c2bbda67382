#include "CellGeometry.h"

TGridRect OutlineRect(const TGridRect& cell, int column, int row, int columnCount, int rowCount) {
  TGridRect outline = cell;
  if (column < columnCount - 1) ++outline.Right;
  if (row >= 1 && row < rowCount - 1) ++outline.Bottom;
  return outline;
}

int CentredStart(int start, int end, int extent) { return start + (end - start - extent) / 2; }

TTextOrigin CentredText(const TGridRect& outline, int width, int height) {
  return {CentredStart(outline.Left, outline.Right, width),
          CentredStart(outline.Top, outline.Bottom, height)};
}

TTextOrigin IndentedText(const TGridRect& outline, int height) {
  return {outline.Left + DataTextIndent, CentredStart(outline.Top, outline.Bottom, height)};
}
