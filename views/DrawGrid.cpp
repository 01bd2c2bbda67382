#include "DrawGrid.h"

#include <windowsx.h>

#include <algorithm>

#include "common/Scopes.h"
#include "common/WindowRouting.h"

namespace {

constexpr wchar_t GridClass[] = L"QemUtil.DrawGrid";

// A memory bitmap selected into a memory DC for one paint, so that the grid never flickers.
class BackBuffer {
 public:
  BackBuffer(HDC screen, int width, int height)
      : dc_(CreateCompatibleDC(screen)),
        bitmap_(CreateCompatibleBitmap(screen, width, height)),
        selected_(dc_.get(), bitmap_.get()) {}
  HDC Get() const { return dc_ && bitmap_ ? dc_.get() : nullptr; }

 private:
  UniqueMemoryDC dc_;
  UniqueBitmap bitmap_;
  SelectedObject selected_;
};

}  // namespace

bool TDrawGrid::Create(HWND parent, int id, int left, int top, int width, int height) {
  TWindowRouting::Register<TDrawGrid>(GridClass, {.style = CS_DBLCLKS});
  HWND window = CreateWindowExW(
      0, GridClass, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL, left, top, width, height,
      parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), this);
  if (!window) return false;  // window_ was set at WM_NCCREATE
  UpdateScrollBar();
  return true;
}

void TDrawGrid::SetFont(HFONT font) {
  font_ = font;
  Changed();
}

void TDrawGrid::SetColumnCount(int count) {
  geometry_.columnWidths.resize(std::max(0, count), 64);
  Changed();
}

void TDrawGrid::SetRowCount(int count) {
  geometry_.rowCount = std::max(0, count);
  geometry_.topRow = geometry_.ClampTopRow(geometry_.topRow, ClientHeight());
  if (selection_.row >= geometry_.rowCount) selection_ = {};
  UpdateScrollBar();
  Changed();
  // Other rows now: objects readers hold of the old ones answer as gone.
  ++rowsGeneration_;
  announced_ = RowTexts();
  AnnounceChange(EVENT_OBJECT_REORDER, window_.get());
}

void TDrawGrid::SetColumnWidth(int column, int width) {
  if (column < 0 || column >= ColumnCount()) return;
  geometry_.columnWidths[column] = std::max(0, width);
  Changed();
}

int TDrawGrid::ColumnWidth(int column) const {
  return column >= 0 && column < ColumnCount() ? geometry_.columnWidths[column] : 0;
}

void TDrawGrid::SetDefaultRowHeight(int height) {
  geometry_.rowHeight = std::max(1, height);
  geometry_.topRow = geometry_.ClampTopRow(geometry_.topRow, ClientHeight());
  UpdateScrollBar();
  Changed();
}

void TDrawGrid::SetColor(COLORREF color) {
  color_ = color;
  Changed();
}

int TDrawGrid::ClientWidth() const {
  RECT client{};
  if (window_) GetClientRect(window_.get(), &client);
  return client.right - client.left;
}

int TDrawGrid::ClientHeight() const {
  RECT client{};
  if (window_) GetClientRect(window_.get(), &client);
  return client.bottom - client.top;
}

int TDrawGrid::Width() const {
  RECT outer{};
  if (window_) GetWindowRect(window_.get(), &outer);
  return outer.right - outer.left;
}

void TDrawGrid::Show(bool visible) {
  if (window_) ShowWindow(window_.get(), visible ? SW_SHOWNA : SW_HIDE);
}

void TDrawGrid::RepaintNow() {
  if (!window_) return;
  InvalidateRect(window_.get(), nullptr, FALSE);
  UpdateWindow(window_.get());
}

void TDrawGrid::Changed() {
  // A hidden grid is painted whole when it is shown: invalidating it meanwhile is a trip to
  // the window system for nothing (the set-up makes a dozen changes while hidden).
  if (window_ && (GetWindowLongW(window_.get(), GWL_STYLE) & WS_VISIBLE))
    InvalidateRect(window_.get(), nullptr, FALSE);
}

void TDrawGrid::UpdateScrollBar() {
  if (!window_) return;
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMin = 0;
  info.nMax = std::max(0, geometry_.rowCount - 1);
  // A page larger than the range hides the bar.
  info.nPage = static_cast<UINT>(geometry_.NeedsScrollBar(ClientHeight())
                                     ? geometry_.FullRows(ClientHeight())
                                     : info.nMax + 1);
  info.nPos = geometry_.topRow;
  SetScrollInfo(window_.get(), SB_VERT, &info, TRUE);
}

void TDrawGrid::ScrollTo(int topRow) {
  const int clamped = geometry_.ClampTopRow(topRow, ClientHeight());
  if (clamped == geometry_.topRow) return;
  geometry_.topRow = clamped;
  UpdateScrollBar();
  Changed();
}

LRESULT TDrawGrid::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = window_.get();
  switch (message) {
    case WM_ERASEBKGND: return 1;  // the paint covers everything
    case WM_PAINT: OnPaint(); return 0;
    case WM_SIZE:
      UpdateScrollBar();
      ScrollTo(geometry_.topRow);
      return 0;
    case WM_VSCROLL: OnVScroll(LOWORD(wParam)); return 0;
    case WM_MOUSEWHEEL: OnMouseWheel(GET_WHEEL_DELTA_WPARAM(wParam)); return 0;
    case WM_LBUTTONDOWN: OnLButtonDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_KEYDOWN:
      if (OnKeyDown(wParam)) return 0;
      break;
    case WM_GETOBJECT: return OnGetObject(wParam, lParam);
    case WM_SETFOCUS: AnnounceChange(EVENT_OBJECT_FOCUS, window, selection_.row + 1); return 0;
    case WM_DESTROY: OnDestroy(); break;
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void TDrawGrid::OnPaint() {
  PaintScope paint(window_.get());
  HDC screen = paint.dc();
  if (!screen) return;
  const RECT& client = paint.Client();
  const int width = client.right, height = client.bottom;
  BackBuffer buffer(screen, std::max(1, width), std::max(1, height));
  // Without a back buffer (out of GDI memory) paint straight to the screen: a flicker beats
  // a blank grid.
  HDC dc = buffer.Get() ? buffer.Get() : screen;

  UniqueBrush background(CreateSolidBrush(color_));
  FillRect(dc, &client, background.get());

  if (drawCell_) {
    // Selected once: each cell's saved state returns to it.
    SelectedObject font(dc, font_);
    const TGridSpan rows = geometry_.VisibleRows(height);
    const TGridSpan columns = geometry_.VisibleColumns(width);
    for (int row = rows.first; row < rows.last; ++row) {
      for (int column = columns.first; column < columns.last; ++column) {
        const TGridRect cell = geometry_.CellRect(column, row);
        if (cell.Empty()) continue;
        // The cell's row band, with the one pixel below that its outline may share with the
        // next row. Across the row nothing is clipped: text wider than its cell runs over its
        // neighbours (a centred one starts left of its cell), and the cells drawn later, left
        // to right, cover what spilled into them.
        RECT clip{client.left, cell.Top, client.right, cell.Bottom + 1};
        if (!IntersectRect(&clip, &clip, &client)) continue;
        SavedDCState state(dc);
        IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
        const RECT rect{cell.Left, cell.Top, cell.Right, cell.Bottom};
        drawCell_(dc, column, row, rect);
      }
    }
  }

  if (dc != screen) {
    const RECT& dirty = paint.Dirty();
    BitBlt(screen, dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top, dc,
           dirty.left, dirty.top, SRCCOPY);
  }
}

void TDrawGrid::OnVScroll(int request) {
  const int page = std::max(1, geometry_.FullRows(ClientHeight()));
  int top = geometry_.topRow;
  switch (request) {
    case SB_LINEUP: --top; break;
    case SB_LINEDOWN: ++top; break;
    case SB_PAGEUP: top -= page; break;
    case SB_PAGEDOWN: top += page; break;
    case SB_TOP: top = 0; break;
    case SB_BOTTOM: top = geometry_.rowCount; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
      SCROLLINFO info{};
      info.cbSize = sizeof info;
      info.fMask = SIF_TRACKPOS;
      GetScrollInfo(window_.get(), SB_VERT, &info);
      top = info.nTrackPos;
      break;
    }
    default: return;
  }
  ScrollTo(top);
}

void TDrawGrid::OnMouseWheel(int delta) {
  wheelRemainder_ += delta;
  const int rows = wheelRemainder_ / WHEEL_DELTA;
  wheelRemainder_ -= rows * WHEEL_DELTA;
  UINT linesPerNotch = 3;
  SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &linesPerNotch, 0);
  if (linesPerNotch == WHEEL_PAGESCROLL) linesPerNotch = geometry_.FullRows(ClientHeight());
  ScrollTo(geometry_.topRow - rows * static_cast<int>(linesPerNotch));
}

void TDrawGrid::OnLButtonDown(int x, int y) {
  SetFocus(window_.get());
  const TGridCell cell = geometry_.CellAt(x, y);
  if (cell.row >= 0) Select(cell);
}

void TDrawGrid::Select(TGridCell cell) {
  const bool moved = cell.row != selection_.row;
  selection_ = cell;
  if (!moved) return;
  AnnounceChange(EVENT_OBJECT_SELECTION, window_.get(), cell.row + 1);
  if (Focused()) AnnounceChange(EVENT_OBJECT_FOCUS, window_.get(), cell.row + 1);
}

bool TDrawGrid::OnKeyDown(WPARAM key) {
  const int page = std::max(1, geometry_.FullRows(ClientHeight()));
  int row = selection_.row < 0 ? geometry_.topRow : selection_.row;
  switch (key) {
    case VK_UP: --row; break;
    case VK_DOWN: ++row; break;
    case VK_PRIOR: row -= page; break;
    case VK_NEXT: row += page; break;
    case VK_HOME: row = 0; break;
    case VK_END: row = geometry_.rowCount - 1; break;
    default: return false;
  }
  if (geometry_.rowCount == 0) return true;
  row = std::clamp(row, 0, geometry_.rowCount - 1);
  Select({std::max(0, selection_.column), row});
  // Keep the selected row in sight.
  if (row < geometry_.topRow)
    ScrollTo(row);
  else if (row >= geometry_.topRow + page)
    ScrollTo(row - page + 1);
  return true;
}

// Readers.

std::wstring TDrawGrid::CellText(int column, int row) const {
  if (!cellText_ || column < 0 || column >= ColumnCount() || row < 0 || row >= RowCount())
    return {};
  return cellText_(column, row);
}

std::wstring TDrawGrid::RowText(int row) const {
  std::wstring text;
  for (int column = 0; column < ColumnCount(); ++column) {
    const std::wstring cell = CellText(column, row);
    if (cell.empty()) continue;
    if (!text.empty()) text += L", ";
    text += cell;
  }
  return text;
}

std::vector<std::wstring> TDrawGrid::RowTexts() const {
  std::vector<std::wstring> texts;
  for (int row = 0; row < RowCount(); ++row) texts.push_back(RowText(row));
  return texts;
}

TGridRect TDrawGrid::RowClientRect(int row) const {
  const TGridRect first = geometry_.CellRect(0, row);
  return {first.Left, first.Top, first.Left + geometry_.TotalWidth(), first.Bottom};
}

bool TDrawGrid::RowShown(int row) const {
  const TGridSpan rows = geometry_.VisibleRows(ClientHeight());
  return IsWindowVisible(window_.get()) && row >= rows.first && row < rows.last;
}

bool TDrawGrid::CellShown(int column, int row) const {
  const TGridSpan columns = geometry_.VisibleColumns(ClientWidth());
  return RowShown(row) && column >= columns.first && column < columns.last;
}

bool TDrawGrid::Focused() const { return window_ && GetFocus() == window_.get(); }

IDispatch* TDrawGrid::AccessibleRoot() const { return accessible_.Object(); }

void TDrawGrid::AnnounceChangedRows() {
  std::vector<std::wstring> texts = RowTexts();
  for (size_t row = 0; row < texts.size(); ++row)
    if (row >= announced_.size() || texts[row] != announced_[row])
      AnnounceChange(EVENT_OBJECT_NAMECHANGE, window_.get(), static_cast<LONG>(row + 1));
  announced_ = std::move(texts);
}

// One object for the grid's life: readers that hold it see the grid as it is when they ask.
LRESULT TDrawGrid::OnGetObject(WPARAM wParam, LPARAM lParam) {
  return accessible_.Answer(window_.get(), wParam, lParam,
                            [&] { return NewGridAccessible(self_); });
}

// Readers still holding the grid's objects find it gone.
void TDrawGrid::OnDestroy() {
  *self_ = nullptr;
  accessible_.Disconnect();
}
