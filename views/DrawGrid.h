// An owner-drawn grid child control: every cell, the header row included, is painted by the
// owner's handler. No fixed rows or columns, no grid lines, no border, a vertical scroll bar
// only (shown when the rows overflow), scrolling by whole rows with thumb tracking.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/UniqueResource.h"
#include "views/GridAccessible.h"
#include "views/GridGeometry.h"
#include "views/Palette.h"

class TDrawGrid {
 public:
  // cell is in client coordinates, right and bottom exclusive. The DC is clipped to the cell
  // widened by one pixel to the right and downward, where a cell's outline may overlap its
  // neighbours'.
  using DrawCellHandler = std::function<void(HDC dc, int column, int row, const RECT& cell)>;

  // What readers (screen readers, automation) are told of a cell: its text (row 0: the column
  // titles), asked of the owner when a reader asks (views/GridAccessible.h).
  using CellTextHandler = std::function<std::wstring(int column, int row)>;

  TDrawGrid() = default;
  // The window goes first: its last messages still find the grid whole.
  ~TDrawGrid() { window_.reset(); }
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

  // For readers: the grid's name (what it lists), its cells' texts, where rows and cells are,
  // which are in sight, and what the keyboard is on.
  void SetAccessibleName(std::wstring name) { accessibleName_ = std::move(name); }
  const std::wstring& AccessibleName() const { return accessibleName_; }
  void SetCellTextHandler(CellTextHandler handler) { cellText_ = std::move(handler); }
  std::wstring CellText(int column, int row) const;
  // A row as a reader reads it: its cells' texts in column order, the empty ones left out.
  std::wstring RowText(int row) const;
  TGridRect CellClientRect(int column, int row) const { return geometry_.CellRect(column, row); }
  TGridRect RowClientRect(int row) const;
  TGridCell CellAt(int x, int y) const { return geometry_.CellAt(x, y); }
  bool RowShown(int row) const;
  bool CellShown(int column, int row) const;
  bool Focused() const;
  // Moves whenever a row count is set: the rows were replaced, and objects of the old ones
  // answer as gone.
  uint64_t RowsGeneration() const { return rowsGeneration_; }
  // The grid's own accessible object, with a reference for the caller; null before the first
  // reader asked or after the window went.
  IDispatch* AccessibleRoot() const;
  // Tells readers which rows show other texts than when they were last told (the owner
  // changed what rows show without replacing them).
  void AnnounceChangedRows();

 private:
  friend struct TWindowRouting;
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnPaint();
  void OnVScroll(int request);
  void OnMouseWheel(int delta);
  void OnLButtonDown(int x, int y);
  bool OnKeyDown(WPARAM key);
  LRESULT OnGetObject(WPARAM wParam, LPARAM lParam);
  void OnDestroy();
  // The keyboard's row changed: readers follow it.
  void Select(TGridCell cell);
  std::vector<std::wstring> RowTexts() const;
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
  std::wstring accessibleName_;
  CellTextHandler cellText_;
  uint64_t rowsGeneration_ = 0;
  std::vector<std::wstring> announced_;  // the rows' texts readers were last told of
  TGridLink self_ = std::make_shared<const TDrawGrid*>(this);
  TAccessibleHost accessible_;
};
