// Steps that read the program as a screen reader does, from outside, through MSAA:
//
// Widgets are named as designed (dgComp, dgUpdate, deUpdate, lbStatus, Gauge, btUpdate; browse).
//
//   acc-grid ID     the grid's object: "acc-name", "acc-role", "acc-rows" (its children), then
//                   "acc-row: NAME" for each row and "acc-cell: TEXT | DESCRIPTION" for each cell
//   acc-gauge       "acc-gauge-role", "acc-gauge-name", "acc-gauge-value"
//   acc-name ID     "acc-name: NAME" of any widget (the system's object for standard controls)
//   acc-tree        the main window's whole tree as a reader walks it: each child window in turn
//                   ("acc-window: DEPTH ID"), then its object and theirs, depth first in the
//                   order the objects give their children: "acc-tree: DEPTH ROLE | NAME | VALUE
//                   | LEFT TOP WIDTH HEIGHT" per object or simple element
//   focus-order     the widgets the Tab key visits, pressed for real (the window brought to the
//                   front), once round from the page control: "focus: ID CLASS | TEXT" each;
//                   then the same round with Shift+Tab: "focus-back: ID CLASS | TEXT" each
//   events-watch    from now on, counts the WinEvents of every window (served while the driver
//                   waits or sleeps)
//   events ID       "events ID: reorder N, namechange N, valuechange N" for widget ID
//   event-texts ID  "event-text: TEXT" for each text widget ID had when a change of its name was
//                   announced (read as the announcement arrives; repeats left out)
//   acc-stress ID SECONDS FOLDER_A FOLDER_B
//                   reads the rows of grid ID for SECONDS while another thread switches the
//                   folder field between two folders (each switch rescans, replacing the rows):
//                   "stress-reads", "stress-found" (a row's text read), "stress-gone" (a row
//                   that was replaced answers as gone),
//                   "stress-switches", and "stress-bad" (a read that failed otherwise, or
//                   gave a text no row of either folder shows, or a row whose text changed
//                   without its going), which must be 0
//   acc-fuzz IDS COUNT SEED
//                   COUNT calls with odd arguments, as a careless or hostile reader would make
//                   them, on the objects of the widgets IDS (comma-separated; dgComp, dgUpdate,
//                   Gauge, lbStatus) and on rows of the grids: child ids of every VARIANT type,
//                   negative and huge; navigation and selection flags outside the defined ones;
//                   points far off the window; AccessibleChildren with odd starts and counts.
//                   Rows are held across the driver's acc-fuzz steps, so that rows since replaced
//                   are called too. The same SEED makes the same calls. "fuzz-calls",
//                   "fuzz-ok" (S_OK), "fuzz-false" (S_FALSE), "fuzz-invalidarg", "fuzz-gone"
//                   (CO_E_OBJNOTCONNECTED: a replaced row), "fuzz-unsupported"
//                   (DISP_E_MEMBERNOTFOUND, E_NOTIMPL), "fuzz-other" (any other error, each also
//                   as "fuzz-code 0x...: N"), "fuzz-held" (rows held at the end), "fuzz-dead" (the
//                   program unreachable: RPC_E_DISCONNECTED, RPC_E_SERVER_DIED, 0x800706BA, ...)
//                   and "fuzz-accepted" (an argument surely wrong that one of our objects took,
//                   answering S_OK or S_FALSE), which must both be 0
#include <windows.h>
#include <oleacc.h>

#include <atomic>
#include <climits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Drive.h"
#include "app/WidgetIds.h"
#include "common/UniqueResource.h"
#include "views/Accessible.h"

namespace {

// A widget by its designed name (dgComp, dgUpdate, deUpdate, lbStatus, Gauge, btUpdate; and
// browse, deUpdate's browse button).
HWND Named(const std::wstring& name) {
  const std::pair<const wchar_t*, int> widgets[] = {
      {L"dgComp", idDgComp},        {L"dgUpdate", idDgUpdate}, {L"deUpdate", idDeUpdate},
      {L"lbStatus", idLbStatus},    {L"Gauge", idGauge},       {L"btUpdate", idBtUpdate},
      {L"browse", idDeUpdateBrowse}};
  for (const auto& [known, id] : widgets)
    if (name == known) return Widget(id);
  Fail(L"no widget named " + name);
}

void StartCom() {
  static const bool started = SUCCEEDED(CoInitialize(nullptr));
  (void)started;
}

std::wstring Hex(HRESULT result) {
  wchar_t text[16];
  swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(result));
  return text;
}

using accessible::Child;

ComPtr<IAccessible> ObjectOf(HWND window) {
  StartCom();
  ComPtr<IAccessible> object;
  const HRESULT result =
      AccessibleObjectFromWindow(window, OBJID_CLIENT, AccessibleInterfaceId, object.put_void());
  if (FAILED(result) || !object) Fail(L"no accessible object: " + Hex(result));
  return object;
}

// A text property; the HRESULT beside it.
template <typename Getter>
std::pair<HRESULT, std::wstring> TextOf(Getter get) {
  UniqueBstr text;
  const HRESULT result = get(text.put());
  return {result, text ? std::wstring(text.get(), SysStringLen(text.get())) : std::wstring()};
}

std::wstring NameOf(IAccessible* object, long child) {
  return TextOf([&](BSTR* out) { return object->get_accName(Child(child), out); }).second;
}

long RoleOf(IAccessible* object, long child) {
  VARIANT role;
  VariantInit(&role);
  object->get_accRole(Child(child), &role);
  const long value = role.vt == VT_I4 ? role.lVal : -1;
  VariantClear(&role);
  return value;
}

ComPtr<IAccessible> ChildObject(IAccessible* parent, long child, HRESULT& result) {
  ComPtr<IDispatch> dispatch;
  ComPtr<IAccessible> object;
  result = parent->get_accChild(Child(child), dispatch.put());
  if (result == S_OK && dispatch)
    result = dispatch->QueryInterface(AccessibleInterfaceId, object.put_void());
  return object;
}

void PrintGrid(HWND grid) {
  ComPtr<IAccessible> table = ObjectOf(grid);
  Print(L"acc-name", NameOf(table.get(), CHILDID_SELF));
  Print(L"acc-role", std::to_wstring(RoleOf(table.get(), CHILDID_SELF)));
  long rows = 0;
  table->get_accChildCount(&rows);
  Print(L"acc-rows", std::to_wstring(rows));
  for (long row = 1; row <= rows; ++row) {
    HRESULT result = S_OK;
    ComPtr<IAccessible> object = ChildObject(table.get(), row, result);
    if (!object) {
      Print(L"acc-row-error", Hex(result));
      continue;
    }
    Print(L"acc-row", NameOf(object.get(), CHILDID_SELF));
    long cells = 0;
    object->get_accChildCount(&cells);
    for (long cell = 1; cell <= cells; ++cell) {
      const std::wstring description =
          TextOf([&](BSTR* out) { return object->get_accDescription(Child(cell), out); }).second;
      Print(L"acc-cell", NameOf(object.get(), cell) + L" | " + description);
    }
  }
}

void PrintGauge(HWND gauge) {
  ComPtr<IAccessible> object = ObjectOf(gauge);
  Print(L"acc-gauge-role", std::to_wstring(RoleOf(object.get(), CHILDID_SELF)));
  Print(L"acc-gauge-name", NameOf(object.get(), CHILDID_SELF));
  Print(L"acc-gauge-value",
        TextOf([&](BSTR* out) { return object->get_accValue(Child(CHILDID_SELF), out); }).second);
}

// --- The whole tree, and the Tab order ------------------------------------------------------

std::wstring Location(IAccessible* object, long child) {
  long left = 0, top = 0, width = 0, height = 0;
  if (FAILED(object->accLocation(&left, &top, &width, &height, Child(child)))) return L"-";
  return std::to_wstring(left) + L" " + std::to_wstring(top) + L" " + std::to_wstring(width) +
         L" " + std::to_wstring(height);
}

void PrintElement(IAccessible* object, long child, int depth) {
  const std::wstring value =
      TextOf([&](BSTR* out) { return object->get_accValue(Child(child), out); }).second;
  Print(L"acc-tree", std::to_wstring(depth) + L" " + std::to_wstring(RoleOf(object, child)) +
                         L" | " + NameOf(object, child) + L" | " + value + L" | " +
                         Location(object, child));
}

// Bounded: a reader that loops (an object giving itself as its child) ends the walk, not the
// driver's time.
void PrintTree(IAccessible* object, int depth, int& left) {
  PrintElement(object, CHILDID_SELF, depth);
  long count = 0;
  if (FAILED(object->get_accChildCount(&count)) || count <= 0 || depth >= 12) return;
  std::vector<VARIANT> children(count);
  for (VARIANT& each : children) VariantInit(&each);
  long obtained = 0;
  if (SUCCEEDED(AccessibleChildren(object, 0, count, children.data(), &obtained))) {
    for (long n = 0; n < obtained && --left > 0; ++n) {
      VARIANT& each = children[n];
      ComPtr<IAccessible> inner;
      if (each.vt == VT_DISPATCH && each.pdispVal &&
          SUCCEEDED(each.pdispVal->QueryInterface(AccessibleInterfaceId, inner.put_void())))
        PrintTree(inner.get(), depth + 1, left);
      else if (each.vt == VT_I4)
        PrintElement(object, each.lVal, depth + 1);
    }
  }
  for (VARIANT& each : children) VariantClear(&each);
}

// Wine's object for a top-level window tells nothing of its children, so the walk goes by the
// child windows, in the order the system keeps them, and reads each one's own object.
void PrintWindowTrees(HWND parent, int depth, int& left) {
  for (HWND child = GetWindow(parent, GW_CHILD); child && left > 0;
       child = GetWindow(child, GW_HWNDNEXT)) {
    ComPtr<IAccessible> object;
    const HRESULT result =
        AccessibleObjectFromWindow(child, OBJID_CLIENT, AccessibleInterfaceId, object.put_void());
    Print(L"acc-window", std::to_wstring(depth) + L" " + std::to_wstring(GetDlgCtrlID(child)));
    if (SUCCEEDED(result) && object)
      PrintTree(object.get(), depth, left);
    else
      Print(L"acc-tree", std::to_wstring(depth) + L" error " + Hex(result));
    PrintWindowTrees(child, depth + 1, left);
  }
}

void PrintWholeTree() {
  StartCom();
  int left = 2000;
  PrintWindowTrees(GetAncestor(Widget(idPcMain), GA_ROOT), 0, left);
}

std::wstring WindowText(HWND window) {
  const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(length + 1, L'\0');
  text.resize(SendMessageW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
  return text;
}

// The widget that has the keyboard focus in the program's window thread.
HWND FocusIn(HWND main) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info) ? info.hwndFocus
                                                                          : nullptr;
}

// Tab, or Shift+Tab, as the keyboard sends it; returns the focus once it has moved (or after
// a second).
HWND PressTab(HWND main, bool shift) {
  const HWND before = FocusIn(main);
  std::vector<INPUT> keys;
  auto key = [&](WORD code, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = code;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    keys.push_back(input);
  };
  if (shift) key(VK_SHIFT, false);
  key(VK_TAB, false);
  key(VK_TAB, true);
  if (shift) key(VK_SHIFT, true);
  SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
  for (int waited = 0; waited < 1000 && FocusIn(main) == before; waited += 10) Sleep(10);
  return FocusIn(main);
}

void PrintFocusRound(HWND main, HWND start, bool backwards) {
  HWND at = start;
  for (int n = 0; at && n < 16; ++n) {
    wchar_t name[64] = {};
    GetClassNameW(at, name, 64);
    Print(backwards ? L"focus-back" : L"focus",
          std::to_wstring(GetDlgCtrlID(at)) + L" " + name + L" | " + WindowText(at));
    at = PressTab(main, backwards);
    if (at == start) break;
  }
}

void PrintFocusOrder() {
  const HWND pages = Widget(idPcMain);
  const HWND main = GetAncestor(pages, GA_ROOT);
  SetForegroundWindow(main);
  // From wherever the focus is to the page control, the round's start.
  for (int n = 0; n < 16 && FocusIn(main) != pages; ++n) PressTab(main, false);
  if (FocusIn(main) != pages) Fail(L"Tab never reaches the page control");
  PrintFocusRound(main, pages, false);
  PrintFocusRound(main, pages, true);
}

// --- WinEvents ------------------------------------------------------------------------------

std::map<std::pair<HWND, DWORD>, int> eventCounts;
// Each window's texts as its name changes were announced, repeats of the last left out.
std::map<HWND, std::vector<std::wstring>> namedTexts;

void CALLBACK CountEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG, DWORD, DWORD) {
  if (object != OBJID_CLIENT) return;
  ++eventCounts[{window, event}];
  if (event != EVENT_OBJECT_NAMECHANGE) return;
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  std::vector<std::wstring>& texts = namedTexts[window];
  if (texts.empty() || texts.back() != text) texts.push_back(text);
}

void WatchEvents() {
  static HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_VALUECHANGE,
                                              nullptr, &CountEvent, 0, 0, WINEVENT_OUTOFCONTEXT);
  if (!hook) Fail(L"no event hook");
  eventCounts.clear();
  namedTexts.clear();
}

void PrintEvents(const std::wstring& name) {
  Pump(300);  // what is still on its way
  const HWND window = Named(name);
  auto count = [&](DWORD event) { return std::to_wstring(eventCounts[{window, event}]); };
  Print(L"events " + name, L"reorder " + count(EVENT_OBJECT_REORDER) + L", namechange " +
                               count(EVENT_OBJECT_NAMECHANGE) + L", valuechange " +
                               count(EVENT_OBJECT_VALUECHANGE));
}

// --- Reads racing the rows' replacement -------------------------------------------------------

std::set<std::wstring> RowNames(IAccessible* table) {
  std::set<std::wstring> names;
  long rows = 0;
  table->get_accChildCount(&rows);
  for (long row = 1; row <= rows; ++row) names.insert(NameOf(table, row));
  return names;
}

void SetFolder(HWND field, const std::wstring& folder) {
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()), SMTO_NORMAL,
                      10000, &answer);
}

void Stress(HWND grid, HWND field, double seconds, const std::wstring& first,
            const std::wstring& second) {
  ComPtr<IAccessible> table = ObjectOf(grid);
  // What rows either folder gives, read while nothing moves.
  SetFolder(field, first);
  std::set<std::wstring> known = RowNames(table.get());
  SetFolder(field, second);
  known.merge(RowNames(table.get()));

  std::atomic<bool> stop{false};
  std::atomic<int> switches{0};
  // A rescan every 10 to 40 ms, about as long as a row's reads take from another process under
  // load: many reads find their rows, many find them replaced.
  std::thread switcher([&] {
    for (int n = 0; !stop; ++n) {
      SetFolder(field, n % 2 ? second : first);
      ++switches;
      Sleep(10 + n % 31);
    }
  });
  int reads = 0, found = 0, gone = 0, bad = 0;
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  while (GetTickCount64() < end) {
    long rows = 0;
    if (FAILED(table->get_accChildCount(&rows))) ++bad;
    for (long row = 1; row <= rows; ++row) {
      HRESULT result = S_OK;
      ComPtr<IAccessible> object = ChildObject(table.get(), row, result);
      if (!object) {
        (result == E_INVALIDARG || result == CO_E_OBJNOTCONNECTED ? gone : bad)++;
        continue;
      }
      // The same row read twice, the replacement free to come in between: the same text, or
      // the answer that the row is gone; never another row's text.
      const auto before =
          TextOf([&](BSTR* out) { return object->get_accName(Child(CHILDID_SELF), out); });
      const auto after =
          TextOf([&](BSTR* out) { return object->get_accName(Child(CHILDID_SELF), out); });
      for (const auto& [result, name] : {before, after}) {
        ++reads;
        if (result == CO_E_OBJNOTCONNECTED)
          ++gone;
        else if (FAILED(result) || !known.count(name))
          ++bad;
        else
          ++found;
      }
      if (SUCCEEDED(before.first) && SUCCEEDED(after.first) && before.second != after.second) ++bad;
    }
  }
  stop = true;
  switcher.join();
  Print(L"stress-reads", std::to_wstring(reads));
  Print(L"stress-found", std::to_wstring(found));
  Print(L"stress-gone", std::to_wstring(gone));
  Print(L"stress-switches", std::to_wstring(switches));
  Print(L"stress-bad", std::to_wstring(bad));
}

// --- Odd calls --------------------------------------------------------------------------------

// A child argument made to be odd; what its VARIANT points to lives as long as it does.
class OddChild {
 public:
  OddChild(std::mt19937& random, IDispatch* some) {
    VariantInit(&value);
    VariantInit(&inner_);
    const auto pick = [&](int count) { return static_cast<int>(random() % count); };
    switch (pick(20)) {
      case 0:
      case 1:
      case 2:
      case 3: I4(CHILDID_SELF); break;
      case 4:
      case 5:
      case 6:
      case 7: I4(1 + pick(12)); break;  // near or past the last child
      case 8: I4(-1 - pick(3)); break;
      case 9: I4(pick(2) ? INT_MIN : static_cast<long>(random() | 0x80000000u)); break;
      case 10: I4(pick(2) ? INT_MAX : 100001 + static_cast<long>(random() % 0x7FFE0000u)); break;
      case 11: value.vt = pick(2) ? VT_EMPTY : VT_NULL; break;
      case 12:
        value.vt = VT_I2;
        value.iVal = static_cast<SHORT>(pick(3));
        break;
      case 13:
        value.vt = pick(2) ? VT_R8 : VT_BOOL;
        if (value.vt == VT_R8)
          value.dblVal = 1.0;
        else
          value.boolVal = VARIANT_TRUE;
        break;
      case 14:
        value.vt = VT_ERROR;
        value.scode = DISP_E_PARAMNOTFOUND;
        break;
      case 15:
        value.vt = VT_BSTR;
        value.bstrVal = pick(2) ? SysAllocString(L"1") : nullptr;
        owned_ = value.bstrVal;
        break;
      case 16:
        value.vt = pick(2) ? VT_DISPATCH : VT_UNKNOWN;
        value.pdispVal = pick(2) ? some : nullptr;  // not ours to release: passed by value
        break;
      case 17:
        value.vt = VT_BYREF | VT_I4;
        value.plVal = &long_;
        break;
      case 18:
        inner_.vt = VT_I4;
        value.vt = VT_BYREF | VT_VARIANT;
        value.pvarVal = &inner_;
        break;
      default:
        value.vt = VT_UI4;
        value.ulVal = 1;
        break;
    }
  }
  OddChild(const OddChild&) = delete;
  OddChild& operator=(const OddChild&) = delete;
  ~OddChild() { SysFreeString(owned_); }

  VARIANT value;
  bool wrong = true;  // no object has such a child (no widget has 100,000 children)

 private:
  void I4(long id) {
    value.vt = VT_I4;
    value.lVal = id;
    wrong = id < 0 || id > 100000;
  }
  VARIANT inner_;
  long long_ = 1;
  BSTR owned_ = nullptr;
};

// Results by kind.
struct FuzzFigures {
  int calls = 0, ok = 0, falseResult = 0, invalid = 0, gone = 0, unsupported = 0, other = 0,
      dead = 0, accepted = 0;
  std::map<HRESULT, int> others;

  void Count(HRESULT result, bool ours, bool wrong) {
    ++calls;
    if (ours && wrong && SUCCEEDED(result)) ++accepted;
    switch (result) {
      case S_OK: ++ok; break;
      case S_FALSE: ++falseResult; break;
      case E_INVALIDARG: ++invalid; break;
      case CO_E_OBJNOTCONNECTED: ++gone; break;
      case DISP_E_MEMBERNOTFOUND:
      case E_NOTIMPL: ++unsupported; break;
      case RPC_E_DISCONNECTED:
      case RPC_E_SERVER_DIED:
      case RPC_E_SERVER_DIED_DNE:
      case HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE):
      case HRESULT_FROM_WIN32(RPC_S_CALL_FAILED):
      case HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE): ++dead; break;
      default:
        ++other;
        ++others[result];
        break;
    }
  }
  void Print() const {
    for (const auto& [key, value] : {std::pair{L"fuzz-calls", calls},
                                     {L"fuzz-ok", ok},
                                     {L"fuzz-false", falseResult},
                                     {L"fuzz-invalidarg", invalid},
                                     {L"fuzz-gone", gone},
                                     {L"fuzz-unsupported", unsupported},
                                     {L"fuzz-other", other},
                                     {L"fuzz-dead", dead},
                                     {L"fuzz-accepted", accepted}})
      ::Print(key, std::to_wstring(value));
    for (const auto& [result, count] : others)
      ::Print(L"fuzz-code " + Hex(result), std::to_wstring(count));
  }
};

// What a call handed back, released.
void Drop(VARIANT& value) { VariantClear(&value); }
void Drop(BSTR text) { SysFreeString(text); }
void Drop(IDispatch* object) {
  if (object) object->Release();
}

struct FuzzTarget {
  IAccessible* object;
  HWND window;
  bool ours;  // lbStatus is the system's object
};

// Rows of the grids, held across the driver's steps: the rows are replaced meanwhile.
std::vector<ComPtr<IAccessible>> heldRows;

void Hold(IDispatch* row, std::mt19937& random) {
  ComPtr<IAccessible> object;
  if (!row || FAILED(row->QueryInterface(AccessibleInterfaceId, object.put_void()))) return;
  if (heldRows.size() < 48)
    heldRows.push_back(std::move(object));
  else
    heldRows[random() % heldRows.size()] = std::move(object);
}

// One call of a random method with odd arguments.
void OddCall(const FuzzTarget& target, std::mt19937& random, FuzzFigures& figures) {
  IAccessible* object = target.object;
  const auto pick = [&](int count) { return static_cast<int>(random() % count); };
  OddChild child(random, object);
  const bool ours = target.ours;
  auto count = [&](HRESULT result, bool wrong) { figures.Count(result, ours, wrong); };
  VARIANT out;
  VariantInit(&out);
  BSTR text = nullptr;
  IDispatch* dispatch = nullptr;
  long numbers[4] = {};
  switch (pick(23)) {
    case 0: count(object->get_accParent(&dispatch), false); break;
    case 1: count(object->get_accChildCount(&numbers[0]), false); break;
    case 2: {
      const HRESULT result = object->get_accChild(child.value, &dispatch);
      count(result, child.wrong);
      if (result == S_OK) Hold(dispatch, random);
      break;
    }
    case 3: count(object->get_accName(child.value, &text), child.wrong); break;
    case 4: count(object->get_accValue(child.value, &text), child.wrong); break;
    case 5: count(object->get_accDescription(child.value, &text), child.wrong); break;
    case 6: count(object->get_accRole(child.value, &out), child.wrong); break;
    case 7: count(object->get_accState(child.value, &out), child.wrong); break;
    case 8: count(object->get_accHelp(child.value, &text), child.wrong); break;
    case 9: count(object->get_accHelpTopic(&text, child.value, &numbers[0]), child.wrong); break;
    case 10: count(object->get_accKeyboardShortcut(child.value, &text), child.wrong); break;
    case 11: count(object->get_accFocus(&out), false); break;
    case 12: count(object->get_accSelection(&out), false); break;
    case 13: count(object->get_accDefaultAction(child.value, &text), child.wrong); break;
    case 14: {
      const long flags = pick(2) ? pick(SELFLAG_VALID + 1) : static_cast<long>(random());
      count(object->accSelect(flags, child.value), child.wrong || (flags & ~SELFLAG_VALID));
      break;
    }
    case 15:
      count(object->accLocation(&numbers[0], &numbers[1], &numbers[2], &numbers[3], child.value),
            child.wrong);
      break;
    case 16: {
      const long direction = pick(2) ? pick(NAVDIR_MAX + 2) - 1 : static_cast<long>(random());
      count(object->accNavigate(direction, child.value, &out),
            child.wrong || direction <= NAVDIR_MIN || direction >= NAVDIR_MAX);
      break;
    }
    case 17: {
      // Around the widget, or anywhere a 32-bit point can be.
      RECT around{};
      GetWindowRect(target.window, &around);
      long x = around.left - 20 + pick(around.right - around.left + 40);
      long y = around.top - 20 + pick(around.bottom - around.top + 40);
      if (pick(2)) {
        x = pick(4) ? static_cast<long>(random()) : (pick(2) ? LONG_MIN : LONG_MAX);
        y = pick(4) ? static_cast<long>(random()) : (pick(2) ? LONG_MIN : LONG_MAX);
      }
      count(object->accHitTest(x, y, &out), false);
      break;
    }
    case 18: count(object->accDoDefaultAction(child.value), child.wrong); break;
    case 19:
    case 20: {
      UniqueBstr name(SysAllocString(L"x"));
      count(pick(2) ? object->put_accName(child.value, name.get())
                    : object->put_accValue(child.value, name.get()),
            child.wrong);
      break;
    }
    case 21: {
      // Starts before, at and far past the end; a large count only from a start that ends the
      // walk (the library asks for each child from the start on).
      long children = 0;
      object->get_accChildCount(&children);
      const long starts[] = {-1, INT_MIN, 0, 1, children - 1, children, children + 1, INT_MAX};
      const long start = starts[pick(8)];
      const long wanted =
          start >= 0 && start < 1000 && pick(4) == 0 ? 20000 + pick(80000) : pick(20) - 2;
      std::vector<VARIANT> got(std::max(wanted, 0L) + 1);
      for (VARIANT& each : got) VariantInit(&each);
      long obtained = 0;
      count(AccessibleChildren(object, start, wanted, got.data(), &obtained), false);
      for (VARIANT& each : got) VariantClear(&each);
      break;
    }
    default: {
      UINT types = 0;
      ITypeInfo* info = nullptr;
      count(pick(2) ? object->GetTypeInfoCount(&types)
                    : object->GetTypeInfo(random() % 3, LOCALE_USER_DEFAULT, &info),
            false);
      if (info) info->Release();
      break;
    }
  }
  Drop(out);
  Drop(text);
  Drop(dispatch);
}

void Fuzz(const std::wstring& names, int count, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<ComPtr<IAccessible>> objects;
  std::vector<FuzzTarget> widgets;
  for (size_t from = 0; from <= names.size();) {
    const size_t comma = std::min(names.find(L',', from), names.size());
    const std::wstring name = names.substr(from, comma - from);
    const HWND window = Named(name);
    objects.push_back(ObjectOf(window));
    widgets.push_back({objects.back().get(), window, name != L"lbStatus"});
    from = comma + 1;
  }
  // Each grid's first and last rows as they are now; the job under way replaces them.
  for (const FuzzTarget& widget : widgets) {
    long rows = 0;
    if (!widget.ours || FAILED(widget.object->get_accChildCount(&rows)) || rows < 2) continue;
    for (long row : {1L, rows}) {
      IDispatch* dispatch = nullptr;
      if (widget.object->get_accChild(Child(row), &dispatch) == S_OK) Hold(dispatch, random);
      Drop(dispatch);
    }
  }
  FuzzFigures figures;
  const ULONGLONG start = GetTickCount64();
  for (int call = 0; call < count; ++call) {
    const FuzzTarget& widget = widgets[random() % widgets.size()];
    // A third of the calls on a held row (of whichever grid), the rest on the widget's object.
    if (!heldRows.empty() && random() % 3 == 0) {
      const ComPtr<IAccessible>& row = heldRows[random() % heldRows.size()];
      OddCall({row.get(), widget.window, true}, random, figures);
    } else {
      OddCall(widget, random, figures);
    }
  }
  figures.Print();
  Print(L"fuzz-held", std::to_wstring(heldRows.size()));
  Print(L"fuzz-ms", std::to_wstring(GetTickCount64() - start));
}

}  // namespace

std::span<const TStep> AccessibleSteps() {
  static const TStep steps[] = {
      {L"acc-grid", [](const TNext& next) { PrintGrid(Named(next())); }},
      {L"acc-gauge", [](const TNext&) { PrintGauge(Named(L"Gauge")); }},
      {L"acc-name",
       [](const TNext& next) {
         Print(L"acc-name", NameOf(ObjectOf(Named(next())).get(), CHILDID_SELF));
       }},
      {L"acc-tree", [](const TNext&) { PrintWholeTree(); }},
      {L"focus-order", [](const TNext&) { PrintFocusOrder(); }},
      {L"events-watch", [](const TNext&) { WatchEvents(); }},
      {L"events", [](const TNext& next) { PrintEvents(next()); }},
      {L"event-texts",
       [](const TNext& next) {
         Pump(300);
         for (const std::wstring& text : namedTexts[Named(next())]) Print(L"event-text", text);
       }},
      {L"acc-stress",
       [](const TNext& next) {
         const HWND grid = Named(next());
         const double seconds = _wtof(next().c_str());
         const std::wstring first = next(), second = next();
         Stress(grid, Named(L"deUpdate"), seconds, first, second);
       }},
      {L"acc-fuzz",
       [](const TNext& next) {
         const std::wstring names = next();
         const int count = _wtoi(next().c_str());
         Fuzz(names, count, static_cast<unsigned>(wcstoul(next().c_str(), nullptr, 10)));
       }},
  };
  return steps;
}
