#include "GridAccessible.h"

#include <new>
#include <optional>

#include "views/DrawGrid.h"

namespace {

using namespace accessible;

RECT ToRect(const TGridRect& rect) { return {rect.Left, rect.Top, rect.Right, rect.Bottom}; }

// What the table and its rows answer alike: each is a part with children (the table's rows, a
// row's cells), read from the grid at every call. A part whose grid is gone, or whose rows were
// replaced, answers CO_E_OBJNOTCONNECTED; a child id outside its children, E_INVALIDARG.
class TGridPart : public TAccessible {
 public:
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    const TDrawGrid* grid = Live();
    if (!grid) return CO_E_OBJNOTCONNECTED;
    *count = ChildCount(*grid);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    long id = 0;
    if (const HRESULT checked = Check(child, id); FAILED(checked)) return Failed(name, checked);
    return Text(name, NameOf(*Live(), id));
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
    long id = 0;
    if (const HRESULT checked = Check(child, id); FAILED(checked))
      return Failed(description, checked);
    return Text(description, DescriptionOf(*Live(), id));
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    long id = 0;
    if (const HRESULT checked = Check(child, id); FAILED(checked)) return Failed(value, checked);
    return Nothing(value);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    long id = 0;
    if (const HRESULT checked = Check(child, id); FAILED(checked)) return Refused(role, checked);
    return Number(role, RoleOf(id));
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    long id = 0;
    if (const HRESULT checked = Check(child, id); FAILED(checked)) return Refused(state, checked);
    return Number(state, StateOf(*Live(), id));
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                        VARIANT child) override {
    for (long* out : {left, top, width, height})
      if (out) *out = 0;
    long id = 0;
    if (const HRESULT checked = Check(child, id); FAILED(checked)) return checked;
    return ScreenLocation(Live()->Handle(), LocationOf(*Live(), id), left, top, width, height);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    return Live() ? Empty(focus) : Refused(focus, CO_E_OBJNOTCONNECTED);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    return Live() ? Empty(selection) : Refused(selection, CO_E_OBJNOTCONNECTED);
  }
  // First and last child from the part itself; the next and the previous child from a child.
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    long id = 0;
    if (const HRESULT checked = Check(start, id); FAILED(checked)) return Refused(end, checked);
    if (!KnownDirection(direction)) return Refused(end, E_INVALIDARG);
    const long count = ChildCount(*Live());
    long to = 0;
    if (id == CHILDID_SELF) {
      if (direction == NAVDIR_FIRSTCHILD) to = 1;
      if (direction == NAVDIR_LASTCHILD) to = count;
    } else if (direction == NAVDIR_NEXT || direction == NextDirection()) {
      to = id + 1;
    } else if (direction == NAVDIR_PREVIOUS || direction == PreviousDirection()) {
      to = id - 1;
    }
    if (to < 1 || to > count) return Empty(end);
    return ChildAnswer(end, to);
  }

 protected:
  explicit TGridPart(TGridLink grid) : grid_(std::move(grid)) {}

  // The grid, or null when this part no longer stands for any of it. Calls from elsewhere are
  // marshalled to the window's thread; one that is not is refused.
  virtual const TDrawGrid* Live() const {
    const TDrawGrid* grid = *grid_;
    return grid && OnThreadOf(grid->Handle()) ? grid : nullptr;
  }
  virtual long ChildCount(const TDrawGrid& grid) const = 0;
  virtual std::wstring NameOf(const TDrawGrid& grid, long id) const = 0;
  virtual std::wstring DescriptionOf(const TDrawGrid& grid, long id) const = 0;
  virtual long RoleOf(long id) const = 0;
  virtual long StateOf(const TDrawGrid& grid, long id) const = 0;
  virtual RECT LocationOf(const TDrawGrid& grid, long id) const = 0;
  virtual long NextDirection() const = 0;
  virtual long PreviousDirection() const = 0;
  // A child as an answer: an object of its own, or its id.
  virtual HRESULT ChildAnswer(VARIANT* out, long id) const = 0;

  HRESULT CheckChild(const VARIANT& child) const override {
    long id = 0;
    return Check(child, id);
  }
  HRESULT Check(const VARIANT& child, long& id) const {
    const TDrawGrid* grid = Live();
    if (!grid) return CO_E_OBJNOTCONNECTED;
    id = ChildOf(child);
    return id >= 0 && id <= ChildCount(*grid) ? S_OK : E_INVALIDARG;
  }
  // The cell under a screen point on the grid's client area; nothing for a point off it.
  static std::optional<TGridCell> CellUnder(const TDrawGrid& grid, long x, long y) {
    POINT point{x, y};
    RECT client;
    if (!ScreenToClient(grid.Handle(), &point) || !GetClientRect(grid.Handle(), &client) ||
        !PtInRect(&client, point))
      return std::nullopt;
    return grid.CellAt(point.x, point.y);
  }
  // The title row is a row like the others: the keyboard can be on it too.
  static long RowState(const TDrawGrid& grid, int row) {
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
    const TDrawGrid* grid = Live();
    if (!grid) return CO_E_OBJNOTCONNECTED;
    *parent = grid->AccessibleRoot();
    return *parent ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    long column = 0;
    if (const HRESULT checked = Check(child, column); FAILED(checked)) return checked;
    return column == CHILDID_SELF ? E_INVALIDARG : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* found) override {
    const TDrawGrid* grid = Live();
    if (!grid) return Refused(found, CO_E_OBJNOTCONNECTED);
    // Only points on the grid: a row scrolled out of sight lies under none.
    const std::optional<TGridCell> cell = CellUnder(*grid, x, y);
    return cell && cell->row == row_ ? Number(found, cell->column + 1) : Empty(found);
  }

 private:
  // Only while this row is still one of the grid's rows.
  const TDrawGrid* Live() const override {
    const TDrawGrid* grid = TGridPart::Live();
    return grid && grid->RowsGeneration() == generation_ && row_ < grid->RowCount() ? grid
                                                                                    : nullptr;
  }
  long ChildCount(const TDrawGrid& grid) const override { return grid.ColumnCount(); }
  std::wstring NameOf(const TDrawGrid& grid, long column) const override {
    return column == CHILDID_SELF ? grid.RowText(row_) : grid.CellText(column - 1, row_);
  }
  // A cell's description is its column's title.
  std::wstring DescriptionOf(const TDrawGrid& grid, long column) const override {
    return column == CHILDID_SELF ? std::wstring() : grid.CellText(column - 1, 0);
  }
  long RoleOf(long column) const override {
    if (column == CHILDID_SELF) return ROLE_SYSTEM_ROW;
    return row_ == 0 ? ROLE_SYSTEM_COLUMNHEADER : ROLE_SYSTEM_CELL;
  }
  long StateOf(const TDrawGrid& grid, long column) const override {
    if (column == CHILDID_SELF) return RowState(grid, row_);
    long state = STATE_SYSTEM_READONLY;
    if (!grid.CellShown(column - 1, row_)) state |= STATE_SYSTEM_OFFSCREEN | STATE_SYSTEM_INVISIBLE;
    return state;
  }
  RECT LocationOf(const TDrawGrid& grid, long column) const override {
    return ToRect(column == CHILDID_SELF ? grid.RowClientRect(row_)
                                         : grid.CellClientRect(column - 1, row_));
  }
  long NextDirection() const override { return NAVDIR_RIGHT; }
  long PreviousDirection() const override { return NAVDIR_LEFT; }
  HRESULT ChildAnswer(VARIANT* out, long column) const override { return Number(out, column); }

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
    const TDrawGrid* grid = Live();
    return grid ? WindowFrameObject(grid->Handle(), parent) : CO_E_OBJNOTCONNECTED;
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
  // The row the keyboard is on, when the grid has the focus.
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    const TDrawGrid* grid = Live();
    if (!grid) return Refused(focus, CO_E_OBJNOTCONNECTED);
    if (!grid->Focused()) return Empty(focus);
    const int row = grid->Selection().row;
    return row >= 0 ? Object(focus, NewRow(row)) : Number(focus, CHILDID_SELF);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    const TDrawGrid* grid = Live();
    if (!grid) return Refused(selection, CO_E_OBJNOTCONNECTED);
    const int row = grid->Selection().row;
    return row >= 0 ? Object(selection, NewRow(row)) : Empty(selection);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* found) override {
    const TDrawGrid* grid = Live();
    if (!grid) return Refused(found, CO_E_OBJNOTCONNECTED);
    const std::optional<TGridCell> cell = CellUnder(*grid, x, y);
    if (!cell) return Empty(found);
    return cell->row >= 0 ? Object(found, NewRow(cell->row)) : Number(found, CHILDID_SELF);
  }

 private:
  IDispatch* NewRow(int row) const {
    return new (std::nothrow) TRowAccessible(grid_, row, Live()->RowsGeneration());
  }
  long ChildCount(const TDrawGrid& grid) const override { return grid.RowCount(); }
  std::wstring NameOf(const TDrawGrid& grid, long row) const override {
    return row == CHILDID_SELF ? grid.AccessibleName() : grid.RowText(row - 1);
  }
  std::wstring DescriptionOf(const TDrawGrid&, long) const override { return {}; }
  long RoleOf(long row) const override {
    return row == CHILDID_SELF ? ROLE_SYSTEM_TABLE : ROLE_SYSTEM_ROW;
  }
  long StateOf(const TDrawGrid& grid, long row) const override {
    if (row != CHILDID_SELF) return RowState(grid, row - 1);
    long state = STATE_SYSTEM_READONLY | STATE_SYSTEM_FOCUSABLE;
    if (grid.Focused()) state |= STATE_SYSTEM_FOCUSED;
    if (!IsWindowVisible(grid.Handle())) state |= STATE_SYSTEM_INVISIBLE;
    return state;
  }
  RECT LocationOf(const TDrawGrid& grid, long row) const override {
    RECT rect{};
    if (row == CHILDID_SELF)
      GetClientRect(grid.Handle(), &rect);
    else
      rect = ToRect(grid.RowClientRect(row - 1));
    return rect;
  }
  long NextDirection() const override { return NAVDIR_DOWN; }
  long PreviousDirection() const override { return NAVDIR_UP; }
  HRESULT ChildAnswer(VARIANT* out, long row) const override {
    return Object(out, NewRow(row - 1));
  }
};

}  // namespace

IAccessible* NewGridAccessible(TGridLink grid) {
  return new (std::nothrow) TGridAccessible(std::move(grid));
}
