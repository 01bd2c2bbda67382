// Cell drawing of the two grids.
#include "TBF.h"

namespace {

void FillCell(HDC dc, int row, const RECT& cell) {
  const COLORREF fill = row == 0 ? RGB(223, 223, 223) : RGB(255, 255, 255);
  HBRUSH brush = CreateSolidBrush(fill);
  FillRect(dc, &cell, brush);
  DeleteObject(brush);
}

}  // namespace

void TBF::dgCompDrawCell(HDC dc, int column, int row, const RECT& cell) { FillCell(dc, row, cell); }

void TBF::dgUpdateDrawCell(HDC dc, int column, int row, const RECT& cell) { FillCell(dc, row, cell); }
