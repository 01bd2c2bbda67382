// Cell drawing of the two grids, and the texts readers are told: the window's lists are the
// model, read afresh for every cell.
#include "TBF.h"

void TBF::dgCompDrawCell(HDC dc, int column, int row, const RECT& cell) {
  DrawCompCell(dc, CellFonts(), column, row, cell, dgComp.ColumnCount(), dgComp.RowCount(),
               FileList.get());
}

void TBF::dgUpdateDrawCell(HDC dc, int column, int row, const RECT& cell) {
  DrawUpdateCell(dc, CellFonts(), column, row, cell, dgUpdate.ColumnCount(), dgUpdate.RowCount(),
                 UpdateList.get());
}

std::wstring TBF::dgCompCellText(int column, int row) const {
  return GridCellText<TFileStruct>(CompGridColumns, column, row, FileList.get());
}

std::wstring TBF::dgUpdateCellText(int column, int row) const {
  return GridCellText<TUpdateStruct>(UpdateGridColumns, column, row, UpdateList.get());
}
