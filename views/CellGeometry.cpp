#include "CellGeometry.h"

TCellRect OutlineRect(const TCellRect& cell, int column, int row, int columnCount, int rowCount) {
  TCellRect outline = cell;
  if (column < columnCount - 1) ++outline.Right;
  if (row >= 1 && row < rowCount - 1) ++outline.Bottom;
  return outline;
}

int CentredStart(int start, int end, int extent) { return start + (end - start - extent) / 2; }

TTextOrigin CentredText(const TCellRect& outline, int width, int height) {
  return {CentredStart(outline.Left, outline.Right, width),
          CentredStart(outline.Top, outline.Bottom, height)};
}

TTextOrigin IndentedText(const TCellRect& outline, int height) {
  return {outline.Left + DataTextIndent, CentredStart(outline.Top, outline.Bottom, height)};
}
