// An owner-drawn grid child control: every cell, the header row included, is painted by the
// owner's handler. No fixed rows or columns, no grid lines, no border, a vertical scroll bar
// only (shown when the rows overflow), scrolling by whole rows with thumb tracking.
#pragma once

#include <windows.h>

#include <functional>

#include "common/UniqueResource.h"
#include "views/GridGeometry.h"
#include "views/Palette.h"

class TDrawGrid {
 public:
  // cell is in client coordinates, right and bottom exclusive. The DC is clipped to the cell
  // widened by one pixel to the right and downward, where a cell's outline may overlap its
  // neighbours'.
  using DrawCellHandler = std::function<void(HDC dc, int column, int row, const RECT& cell)>;

  TDrawGrid() = default;
  TDrawGrid(const TDrawGrid&) = delete;
  TDrawGrid& operator=(const TDrawGrid&) = delete;

  bool Create(HWND parent, int id, int left, int top, int width, int height);
  HWND Handle() const { return window_.get(); }
  void SetFont(HFONT font);  // selected into the DC before each cell is drawn
  void SetColumnCount(int count);
  int ColumnCount() const { return static_cast<int>(geometry_.columnWidths.size()); }
  void SetRowCount(int count);
  int RowCount() const { return geometry_.rowCount; }
  void SetColumnWidth(int column, int width);
  int ColumnWidth(int column) const;
  void SetDefaultRowHeight(int height);
  void SetColor(COLORREF color);  // background beyond the last row and column
  int ClientWidth() const;
  int Width() const;
  void SetDrawCellHandler(DrawCellHandler handler) { drawCell_ = std::move(handler); }
  void Show(bool visible);
  void RepaintNow();  // invalidate and paint before returning

  int TopRow() const { return geometry_.topRow; }
  TGridCell Selection() const { return selection_; }

 private:
  friend struct TWindowRouting;
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnPaint();
  void OnVScroll(int request);
  void OnMouseWheel(int delta);
  void OnLButtonDown(int x, int y);
  bool OnKeyDown(WPARAM key);
  void ScrollTo(int topRow);
  int ClientHeight() const;
  // Scroll bar range and position after a change of rows or size; the bar hides when every
  // row fits.
  void UpdateScrollBar();
  void Changed();

  UniqueWindow window_;
  TGridGeometry geometry_;
  HFONT font_ = nullptr;
  COLORREF color_ = HeaderFillColor;
  DrawCellHandler drawCell_;
  TGridCell selection_;
  int wheelRemainder_ = 0;
};
