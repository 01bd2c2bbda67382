#include "GridAccessible.h"

#include <new>

#include "views/DrawGrid.h"

namespace {

using namespace accessible;

RECT ToRect(const TGridRect& rect) { return {rect.Left, rect.Top, rect.Right, rect.Bottom}; }

// What the two kinds of object share: the grid they read, checked at every call.
class TGridPart : public TAccessible {
 protected:
  explicit TGridPart(TGridLink grid) : grid_(std::move(grid)) {}

  // The grid, or null when its window is gone or the call comes from another thread (calls
  // from elsewhere are marshalled to the window's thread).
  const TDrawGrid* Grid() const {
    const TDrawGrid* grid = *grid_;
    if (!grid || GetWindowThreadProcessId(grid->Handle(), nullptr) != GetCurrentThreadId()) return nullptr;
    return grid;
  }
  static long RowState(const TDrawGrid& grid, int row) {
    // The title row is a row like the others: the keyboard can be on it too.
    long state = STATE_SYSTEM_READONLY | STATE_SYSTEM_SELECTABLE | STATE_SYSTEM_FOCUSABLE;
    if (!grid.RowShown(row)) state |= STATE_SYSTEM_OFFSCREEN | STATE_SYSTEM_INVISIBLE;
    if (grid.Selection().row == row) {
      state |= STATE_SYSTEM_SELECTED;
      if (grid.Focused()) state |= STATE_SYSTEM_FOCUSED;
    }
    return state;
  }

  TGridLink grid_;
};

// One row: its cells are its children, simple elements with ids 1 to the column count.
class TRowAccessible final : public TGridPart {
 public:
  TRowAccessible(TGridLink grid, int row, uint64_t generation)
      : TGridPart(std::move(grid)), row_(row), generation_(generation) {}

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    if (!parent) return E_POINTER;
    *parent = nullptr;
    const TDrawGrid* grid = Row();
    if (!grid) return CO_E_OBJNOTCONNECTED;
    *parent = grid->AccessibleRoot();
    return *parent ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    if (!count) return E_POINTER;
    const TDrawGrid* grid = Row();
    if (!grid) return CO_E_OBJNOTCONNECTED;
    *count = grid->ColumnCount();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    long column = 0;
    if (const HRESULT checked = Check(child, column); FAILED(checked)) return checked;
    return column == CHILDID_SELF ? E_INVALIDARG : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    long column = 0;
    if (const HRESULT checked = Check(child, column); FAILED(checked)) return Failed(name, checked);
    const TDrawGrid& grid = *Row();
    return Text(name, column == CHILDID_SELF ? grid.RowText(row_) : grid.CellText(column - 1, row_));
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    long column = 0;
    if (const HRESULT checked = Check(child, column); FAILED(checked)) return Failed(value, checked);
    return Nothing(value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
    long column = 0;
    if (const HRESULT checked = Check(child, column); FAILED(checked)) return Failed(description, checked);
    // A cell's description is its column's title.
    return column == CHILDID_SELF ? Nothing(description) : Text(description, Row()->CellText(column - 1, 0));
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    long column = 0;
    if (const HRESULT checked = Check(child, column); FAILED(checked)) return checked;
    if (column == CHILDID_SELF) return Number(role, ROLE_SYSTEM_ROW);
    return Number(role, row_ == 0 ? ROLE_SYSTEM_COLUMNHEADER : ROLE_SYSTEM_CELL);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    long column = 0;
    if (const HRESULT checked = Check(child, column); FAILED(checked)) return checked;
    const TDrawGrid& grid = *Row();
    if (column == CHILDID_SELF) return Number(state, RowState(grid, row_));
    long cell = STATE_SYSTEM_READONLY;
    if (!grid.CellShown(column - 1, row_)) cell |= STATE_SYSTEM_OFFSCREEN | STATE_SYSTEM_INVISIBLE;
    return Number(state, cell);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    if (!Row()) return CO_E_OBJNOTCONNECTED;
    return Empty(focus);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    if (!Row()) return CO_E_OBJNOTCONNECTED;
    return Empty(selection);
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
    long column = 0;
    if (const HRESULT checked = Check(child, column); FAILED(checked)) return checked;
    const TDrawGrid& grid = *Row();
    const TGridRect rect = column == CHILDID_SELF ? grid.RowClientRect(row_) : grid.CellClientRect(column - 1, row_);
    return ScreenLocation(grid.Handle(), ToRect(rect), left, top, width, height);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    long column = 0;
    if (const HRESULT checked = Check(start, column); FAILED(checked)) return checked;
    const long columns = Row()->ColumnCount();
    long to = 0;
    if (column == CHILDID_SELF) {
      if (direction == NAVDIR_FIRSTCHILD) to = 1;
      if (direction == NAVDIR_LASTCHILD) to = columns;
    } else if (direction == NAVDIR_NEXT || direction == NAVDIR_RIGHT) {
      to = column + 1;
    } else if (direction == NAVDIR_PREVIOUS || direction == NAVDIR_LEFT) {
      to = column - 1;
    }
    if (to < 1 || to > columns) return Empty(end);
    return Number(end, to);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* found) override {
    const TDrawGrid* grid = Row();
    if (!grid) return CO_E_OBJNOTCONNECTED;
    POINT point{x, y};
    ScreenToClient(grid->Handle(), &point);
    const TGridCell cell = grid->CellAt(point.x, point.y);
    if (cell.row != row_) return Empty(found);
    return Number(found, cell.column + 1);
  }

 private:
  // This row, when it is still one of the grid's rows.
  const TDrawGrid* Row() const {
    const TDrawGrid* grid = Grid();
    return grid && grid->RowsGeneration() == generation_ && row_ < grid->RowCount() ? grid : nullptr;
  }
  HRESULT Check(const VARIANT& child, long& column) const {
    const TDrawGrid* grid = Row();
    if (!grid) return CO_E_OBJNOTCONNECTED;
    column = ChildOf(child);
    return column >= 0 && column <= grid->ColumnCount() ? S_OK : E_INVALIDARG;
  }
  static HRESULT Failed(BSTR* text, HRESULT result) {
    if (text) *text = nullptr;
    return result;
  }

  int row_;
  uint64_t generation_;
};

// The grid itself: a table whose children (ids 1 to the row count) are its rows.
class TGridAccessible final : public TGridPart {
 public:
  explicit TGridAccessible(TGridLink grid) : TGridPart(std::move(grid)) {}

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    if (!parent) return E_POINTER;
    *parent = nullptr;
    const TDrawGrid* grid = Grid();
    if (!grid) return CO_E_OBJNOTCONNECTED;
    return WindowFrameObject(grid->Handle(), parent);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    if (!count) return E_POINTER;
    const TDrawGrid* grid = Grid();
    if (!grid) return CO_E_OBJNOTCONNECTED;
    *count = grid->RowCount();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    long row = 0;
    if (const HRESULT checked = Check(child, row); FAILED(checked)) return checked;
    if (row == CHILDID_SELF) return E_INVALIDARG;
    *object = NewRow(row - 1);
    return *object ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    long row = 0;
    if (const HRESULT checked = Check(child, row); FAILED(checked)) return Failed(name, checked);
    const TDrawGrid& grid = *Grid();
    return Text(name, row == CHILDID_SELF ? grid.AccessibleName() : grid.RowText(row - 1));
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    long row = 0;
    if (const HRESULT checked = Check(child, row); FAILED(checked)) return Failed(value, checked);
    return Nothing(value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
    long row = 0;
    if (const HRESULT checked = Check(child, row); FAILED(checked)) return Failed(description, checked);
    return Nothing(description);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    long row = 0;
    if (const HRESULT checked = Check(child, row); FAILED(checked)) return checked;
    return Number(role, row == CHILDID_SELF ? ROLE_SYSTEM_TABLE : ROLE_SYSTEM_ROW);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    long row = 0;
    if (const HRESULT checked = Check(child, row); FAILED(checked)) return checked;
    const TDrawGrid& grid = *Grid();
    if (row != CHILDID_SELF) return Number(state, RowState(grid, row - 1));
    long own = STATE_SYSTEM_READONLY | STATE_SYSTEM_FOCUSABLE;
    if (grid.Focused()) own |= STATE_SYSTEM_FOCUSED;
    if (!IsWindowVisible(grid.Handle())) own |= STATE_SYSTEM_INVISIBLE;
    return Number(state, own);
  }
  // The row the keyboard is on, when the grid has the focus.
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    const TDrawGrid* grid = Grid();
    if (!grid) return CO_E_OBJNOTCONNECTED;
    if (!grid->Focused()) return Empty(focus);
    const int row = grid->Selection().row;
    return row >= 0 ? Object(focus, NewRow(row)) : Number(focus, CHILDID_SELF);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    const TDrawGrid* grid = Grid();
    if (!grid) return CO_E_OBJNOTCONNECTED;
    const int row = grid->Selection().row;
    return row >= 0 ? Object(selection, NewRow(row)) : Empty(selection);
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
    long row = 0;
    if (const HRESULT checked = Check(child, row); FAILED(checked)) return checked;
    const TDrawGrid& grid = *Grid();
    RECT rect{};
    if (row == CHILDID_SELF)
      GetClientRect(grid.Handle(), &rect);
    else
      rect = ToRect(grid.RowClientRect(row - 1));
    return ScreenLocation(grid.Handle(), rect, left, top, width, height);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    long row = 0;
    if (const HRESULT checked = Check(start, row); FAILED(checked)) return checked;
    const long rows = Grid()->RowCount();
    long to = 0;
    if (row == CHILDID_SELF) {
      if (direction == NAVDIR_FIRSTCHILD) to = 1;
      if (direction == NAVDIR_LASTCHILD) to = rows;
    } else if (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN) {
      to = row + 1;
    } else if (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP) {
      to = row - 1;
    }
    if (to < 1 || to > rows) return Empty(end);
    return Object(end, NewRow(to - 1));
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* found) override {
    const TDrawGrid* grid = Grid();
    if (!grid) return CO_E_OBJNOTCONNECTED;
    POINT point{x, y};
    ScreenToClient(grid->Handle(), &point);
    RECT client;
    GetClientRect(grid->Handle(), &client);
    if (!PtInRect(&client, point)) return Empty(found);
    const TGridCell cell = grid->CellAt(point.x, point.y);
    return cell.row >= 0 ? Object(found, NewRow(cell.row)) : Number(found, CHILDID_SELF);
  }

 private:
  IDispatch* NewRow(int row) const { return new (std::nothrow) TRowAccessible(grid_, row, Grid()->RowsGeneration()); }
  HRESULT Check(const VARIANT& child, long& row) const {
    const TDrawGrid* grid = Grid();
    if (!grid) return CO_E_OBJNOTCONNECTED;
    row = ChildOf(child);
    return row >= 0 && row <= grid->RowCount() ? S_OK : E_INVALIDARG;
  }
  static HRESULT Failed(BSTR* text, HRESULT result) {
    if (text) *text = nullptr;
    return result;
  }
};

}  // namespace

IAccessible* NewGridAccessible(TGridLink grid) { return new TGridAccessible(std::move(grid)); }
