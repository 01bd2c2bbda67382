// Painting one cell of dgComp or dgUpdate into a device context. The lists are the model:
// row r shows entry r - 1, row 0 the column titles.
#pragma once

#include <windows.h>

#include "model/TFileStruct.h"
#include "model/TUpdateStruct.h"

// The grid's font in its two weights; owned by the caller.
struct TCellFonts {
  HFONT Regular;
  HFONT Bold;
};

// cell: left, top, right and bottom, right and bottom exclusive. Every cell sets its own pen,
// fill, font and text colour, and the device context gets back what it had selected.
void DrawCompCell(HDC dc, const TCellFonts& fonts, int column, int row, const RECT& cell,
                  int columnCount, int rowCount, const TFileList* list);
void DrawUpdateCell(HDC dc, const TCellFonts& fonts, int column, int row, const RECT& cell,
                    int columnCount, int rowCount, const TUpdateList* list);
