// The window as a screen reader reads it, in process (the same objects answer from outside; the
// end-to-end tests read them there): the grids as tables of rows and cells read from the records
// the drawing reads, rows that were replaced answering as gone, the gauge as a progress bar, and
// the events a reader listens for; and odd calls, as any process may send them, refused.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleacc.h>

#include <climits>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/Application.h"
#include "app/TBF.h"
#include "app/WidgetIds.h"
#include "support/TempFolder.h"
#include "views/Accessible.h"
#include "support/WindowTestSupport.h"

namespace {

using accessible::Child;

ComPtr<IAccessible> ObjectOf(HWND window) {
  ComPtr<IAccessible> object;
  EXPECT_EQ(
      AccessibleObjectFromWindow(window, OBJID_CLIENT, AccessibleInterfaceId, object.put_void()),
      S_OK);
  return object;
}

std::wstring Name(IAccessible* object, long child, HRESULT* result = nullptr) {
  UniqueBstr name;
  const HRESULT got = object->get_accName(Child(child), name.put());
  if (result) *result = got;
  return name ? std::wstring(name.get()) : std::wstring();
}

long Long(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), IAccessible* object,
          long child) {
  VARIANT value;
  VariantInit(&value);
  (object->*get)(Child(child), &value);
  return value.vt == VT_I4 ? value.lVal : -1;
}

ComPtr<IAccessible> Row(IAccessible* table, long child) {
  ComPtr<IDispatch> dispatch;
  ComPtr<IAccessible> row;
  if (table->get_accChild(Child(child), dispatch.put()) == S_OK)
    dispatch->QueryInterface(AccessibleInterfaceId, row.put_void());
  return row;
}

TFileStruct File(const std::wstring& name, int32_t size) {
  TFileStruct file;
  file.Name = name;
  file.Date = L"2007.05.14";
  file.Time = L"14:03.26";
  file.Size = size;
  file.Attributes = 32;
  return file;
}

// The events of this process's windows, counted as they come in through the message loop.
std::map<std::pair<HWND, DWORD>, std::vector<LONG>> events;
void CALLBACK Count(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                    DWORD) {
  if (object == OBJID_CLIENT) events[{window, event}].push_back(child);
}

class AccessibilityTest : public ::testing::Test {
 protected:
  const TDeadline bound{20000, "an accessibility test"};
  FakeComPort port{GetCurrentThreadId()};
  std::unique_ptr<TBF> form = std::make_unique<TBF>();

  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    Application = TApplication{};
    ASSERT_TRUE(OpenMain(*form, TestServices(port, [](TWorkerWindow& window) {
      return std::make_unique<TThreadComPort>(true, window);
    })));
    form->SetActivePage(form->Widget(idTsComponent));
  }
  void TearDown() override {
    EXPECT_TRUE(CloseMain(*form));
    form.reset();
    CoUninitialize();
  }
  // Fifteen files: more rows than the grid shows at once.
  void ListFifteen() {
    TFileList files;
    for (int i = 0; i < 15; ++i) files.push_back(File(L"Файл " + std::to_wstring(i), i));
    form->InstallComponentList(std::move(files), 16);
  }
};

TEST_F(AccessibilityTest, AGridIsATableOfItsRowsReadFromWhatItDraws) {
  ListFifteen();
  HWND grid = GridOf(*form, idDgComp).Handle();
  ComPtr<IAccessible> table = ObjectOf(grid);
  ASSERT_TRUE(table);
  EXPECT_EQ(Name(table.get(), CHILDID_SELF), L"Компоненты, установленные в блоке диагностики");
  EXPECT_EQ(Long(&IAccessible::get_accRole, table.get(), CHILDID_SELF), ROLE_SYSTEM_TABLE);
  long rows = 0;
  EXPECT_EQ(table->get_accChildCount(&rows), S_OK);
  EXPECT_EQ(rows, 16);

  ComPtr<IAccessible> titles = Row(table.get(), 1), second = Row(table.get(), 3),
                      last = Row(table.get(), 16);
  ASSERT_TRUE(titles && second && last);
  EXPECT_EQ(Name(titles.get(), CHILDID_SELF), L"Имя, Атрибуты, Дата, Время, Размер, Версия");
  EXPECT_EQ(Long(&IAccessible::get_accRole, titles.get(), 1), ROLE_SYSTEM_COLUMNHEADER);
  // A row's name leaves out its empty cells (no version here); each cell says its column.
  EXPECT_EQ(Name(second.get(), CHILDID_SELF), L"Файл 1, 32, 2007.05.14, 14:03.26, 1");
  EXPECT_EQ(Name(table.get(), 3), Name(second.get(), CHILDID_SELF));
  EXPECT_EQ(Long(&IAccessible::get_accRole, second.get(), 5), ROLE_SYSTEM_CELL);
  UniqueBstr description;
  second->get_accDescription(Child(5), description.put());
  EXPECT_EQ(std::wstring(description.get()), L"Размер");
  long cells = 0;
  second->get_accChildCount(&cells);
  EXPECT_EQ(cells, 6);

  // Where the rows are, on the screen; the ones scrolled out of sight are marked so.
  long left = 0, top = 0, width = 0, height = 0;
  ASSERT_EQ(second->accLocation(&left, &top, &width, &height, Child(CHILDID_SELF)), S_OK);
  POINT origin{0, 36};
  ClientToScreen(grid, &origin);
  EXPECT_EQ(std::make_pair(left, top), std::make_pair(origin.x, origin.y));
  EXPECT_EQ(height, 18);
  EXPECT_EQ(Long(&IAccessible::get_accState, second.get(), CHILDID_SELF) & STATE_SYSTEM_OFFSCREEN,
            0);
  EXPECT_NE(Long(&IAccessible::get_accState, last.get(), CHILDID_SELF) & STATE_SYSTEM_OFFSCREEN, 0);

  // The keyboard's row is the focus a reader follows.
  SetFocus(grid);
  SendMessageW(grid, WM_KEYDOWN, VK_DOWN, 0);
  SendMessageW(grid, WM_KEYDOWN, VK_DOWN, 0);
  VARIANT focus;
  VariantInit(&focus);
  ASSERT_EQ(table->get_accFocus(&focus), S_OK);
  ASSERT_EQ(focus.vt, VT_DISPATCH);
  ComPtr<IAccessible> focused;
  focus.pdispVal->QueryInterface(AccessibleInterfaceId, focused.put_void());
  VariantClear(&focus);
  EXPECT_EQ(Name(focused.get(), CHILDID_SELF),
            Name(table.get(), 1 + GridOf(*form, idDgComp).Selection().row));
  EXPECT_NE(
      Long(&IAccessible::get_accState, table.get(), 1 + GridOf(*form, idDgComp).Selection().row) &
          STATE_SYSTEM_FOCUSED,
      0);

  // A new list: the old rows answer as gone, never with the new rows' texts.
  form->InstallComponentList({File(L"Один", 1)}, 2);
  HRESULT result = S_OK;
  EXPECT_EQ(Name(second.get(), CHILDID_SELF, &result), L"");
  EXPECT_EQ(result, CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(Name(table.get(), 3, &result), L"");
  EXPECT_EQ(result, E_INVALIDARG);
  EXPECT_EQ(Name(Row(table.get(), 2).get(), CHILDID_SELF), L"Один, 32, 2007.05.14, 14:03.26, 1");

  // The gauge: a progress bar whose value is what it shows.
  form->ShowGauge(57);
  ComPtr<IAccessible> gauge = ObjectOf(GaugeOf(*form).Handle());
  EXPECT_EQ(Long(&IAccessible::get_accRole, gauge.get(), CHILDID_SELF), ROLE_SYSTEM_PROGRESSBAR);
  UniqueBstr value;
  gauge->get_accValue(Child(CHILDID_SELF), value.put());
  EXPECT_EQ(std::wstring(value.get()), TextOf(GaugeOf(*form).Handle()));
  EXPECT_EQ(Name(gauge.get(), CHILDID_SELF), L"Состояние");

  // Once the window is gone, so are its objects.
  ASSERT_TRUE(CloseMain(*form));
  EXPECT_EQ(table->get_accChildCount(&rows), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(Name(gauge.get(), CHILDID_SELF, &result), L"");
  EXPECT_EQ(result, CO_E_OBJNOTCONNECTED);
}

// Every object refuses what names nothing: child ids out of range or of another type, flags
// outside the defined ones, null out-pointers (the system's object behind the renamed browse
// button dereferences them under Wine); and a row is under no point off the grid.
TEST_F(AccessibilityTest, OddArgumentsAreRefused) {
  ListFifteen();
  const TDrawGrid& grid = GridOf(*form, idDgComp);
  ComPtr<IAccessible> table = ObjectOf(grid.Handle());
  ComPtr<IAccessible> gauge = ObjectOf(GaugeOf(*form).Handle());
  ComPtr<IAccessible> browse = ObjectOf(form->Widget(idDeUpdateBrowse));
  ASSERT_TRUE(table && gauge && browse);
  // A point just below the grid, over a row scrolled out of sight.
  RECT client;
  GetClientRect(grid.Handle(), &client);
  POINT below{5, client.bottom + 4};
  const int hidden = grid.CellAt(below.x, below.y).row;
  ASSERT_GT(hidden, 0);
  ClientToScreen(grid.Handle(), &below);
  ComPtr<IAccessible> row = Row(table.get(), hidden + 1);
  ASSERT_TRUE(row);
  VARIANT found;
  EXPECT_EQ(row->accHitTest(below.x, below.y, &found), S_FALSE);
  EXPECT_EQ(found.vt, VT_EMPTY);

  long number = 0;
  VARIANT byReference = Child(0), empty = Child(0), text = Child(0), dispatch = Child(0);
  byReference.vt = VT_BYREF | VT_VARIANT;
  byReference.pvarVal = nullptr;
  empty.vt = VT_EMPTY;
  text.vt = VT_BSTR;
  text.bstrVal = nullptr;
  dispatch.vt = VT_DISPATCH;
  dispatch.pdispVal = nullptr;
  const VARIANT odd[] = {Child(-1), Child(INT_MIN), Child(INT_MAX), Child(17),
                         empty,     text,           dispatch,       byReference};
  using Call = std::function<HRESULT(IAccessible*, VARIANT)>;
  const auto textCall = [](auto get) {
    return Call([get](IAccessible* object, VARIANT child) {
      UniqueBstr out;
      return (object->*get)(child, out.put());
    });
  };
  const Call withChild[] = {
      textCall(&IAccessible::get_accName),
      textCall(&IAccessible::get_accValue),
      textCall(&IAccessible::get_accDescription),
      textCall(&IAccessible::get_accHelp),
      textCall(&IAccessible::get_accKeyboardShortcut),
      textCall(&IAccessible::get_accDefaultAction),
      [](IAccessible* object, VARIANT child) {
        VARIANT out;
        VariantInit(&out);
        const HRESULT result = object->get_accRole(child, &out);
        EXPECT_EQ(out.vt, VT_EMPTY);
        return result;
      },
      [&](IAccessible* object, VARIANT child) {
        return object->accLocation(&number, &number, &number, &number, child);
      },
      [](IAccessible* object, VARIANT child) {
        VARIANT out;
        const HRESULT result = object->accNavigate(NAVDIR_NEXT, child, &out);
        VariantClear(&out);
        return result;
      },
      [](IAccessible* object, VARIANT child) {
        return object->accSelect(SELFLAG_TAKEFOCUS, child);
      },
      [](IAccessible* object, VARIANT child) { return object->accDoDefaultAction(child); },
      [](IAccessible* object, VARIANT child) { return object->put_accName(child, nullptr); },
  };
  const VARIANT self = Child(CHILDID_SELF);
  for (IAccessible* object : {table.get(), row.get(), gauge.get()}) {
    for (const VARIANT& child : odd)
      for (size_t call = 0; call < std::size(withChild); ++call)
        EXPECT_TRUE(FAILED(withChild[call](object, child)))
            << "call " << call << ", child type " << child.vt << ", id " << child.lVal;
    for (long direction : {0L, 9L, -1L}) {
      VARIANT out;
      EXPECT_EQ(object->accNavigate(direction, self, &out), E_INVALIDARG);
      EXPECT_EQ(out.vt, VT_EMPTY);
    }
    for (long flags : {0x20L, -1L, long{SELFLAG_ADDSELECTION | SELFLAG_REMOVESELECTION}})
      EXPECT_EQ(object->accSelect(flags, self), E_INVALIDARG);
  }
  for (IAccessible* object : {table.get(), row.get(), gauge.get(), browse.get()}) {
    const HRESULT nulls[] = {
        object->get_accName(self, nullptr),
        object->get_accRole(self, nullptr),
        object->get_accState(self, nullptr),
        object->get_accChildCount(nullptr),
        object->get_accChild(Child(1), nullptr),
        object->get_accParent(nullptr),
        object->get_accFocus(nullptr),
        object->get_accSelection(nullptr),
        object->get_accHelpTopic(nullptr, self, nullptr),
        object->accLocation(nullptr, nullptr, nullptr, nullptr, self),
        object->accNavigate(NAVDIR_FIRSTCHILD, self, nullptr),
        object->accHitTest(below.x, below.y, nullptr),
    };
    for (size_t call = 0; call < std::size(nulls); ++call)
      EXPECT_EQ(nulls[call], E_POINTER) << "call " << call;
  }
}

TEST_F(AccessibilityTest, NewRowsNewTextsAndAMovingGaugeAreAnnounced) {
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_VALUECHANGE, nullptr,
                                       &Count, GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_TRUE(hook);
  events.clear();
  TempFolder folder;
  folder.File(L"meridox.exe");
  folder.File(L"salvik.exe");
  SetWindowTextW(form->Widget(idDeUpdate), folder.Path().c_str());
  form->miUpdateClick(false);  // the scan: new rows
  ListFifteen();               // a new list
  form->ShowStatusLine(L"Готово", false);
  form->ShowGauge(57);
  form->ShowGauge(57);  // no change, no event
  (*form->UpdateRecords())[1]->Status = usFailed;
  form->RepaintUpdateGrid();  // one row's status changed
  PumpUntil([] { return false; }, TServe::Everything, 300);
  UnhookWinEvent(hook);

  auto of = [](HWND window, DWORD event) { return events[{window, event}]; };
  EXPECT_FALSE(of(GridOf(*form, idDgUpdate).Handle(), EVENT_OBJECT_REORDER).empty());
  EXPECT_FALSE(of(GridOf(*form, idDgComp).Handle(), EVENT_OBJECT_REORDER).empty());
  EXPECT_EQ(of(form->Widget(idLbStatus), EVENT_OBJECT_NAMECHANGE).size(), 1u);
  EXPECT_EQ(of(GaugeOf(*form).Handle(), EVENT_OBJECT_VALUECHANGE).size(), 1u);
  // Only the row whose status changed: the second candidate, after the title row.
  EXPECT_EQ(of(GridOf(*form, idDgUpdate).Handle(), EVENT_OBJECT_NAMECHANGE), std::vector<LONG>{3});
}

}  // namespace
