// Steps that read the program as a screen reader does, from outside, through MSAA:
//
// Widgets are named as designed (dgComp, dgUpdate, deUpdate, lbStatus, Gauge, btUpdate; browse).
//
//   acc-grid ID     the grid's object: "acc-name", "acc-role", "acc-rows" (its children), then
//                   "acc-row: NAME" for each row and "acc-cell: TEXT | DESCRIPTION" for each cell
//   acc-gauge       "acc-gauge-role", "acc-gauge-name", "acc-gauge-value"
//   acc-name ID     "acc-name: NAME" of any widget (the system's object for standard controls)
//   events-watch    from now on, counts the WinEvents of every window (served while the driver
//                   waits or sleeps)
//   events ID       "events ID: reorder N, namechange N, valuechange N" for widget ID
//   acc-stress ID SECONDS FOLDER_A FOLDER_B
//                   reads the rows of grid ID for SECONDS while another thread switches the
//                   folder field between two folders (each switch rescans, replacing the rows):
//                   "stress-reads", "stress-found" (a row's text read), "stress-gone" (a row
//                   that was replaced answers as gone),
//                   "stress-switches", and "stress-bad" (a read that failed otherwise, or
//                   gave a text no row of either folder shows, or a row whose text changed
//                   without its going), which must be 0
#include <windows.h>
#include <oleacc.h>

#include <atomic>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>

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

// --- WinEvents ------------------------------------------------------------------------------

std::map<std::pair<HWND, DWORD>, int> eventCounts;

void CALLBACK CountEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG, DWORD, DWORD) {
  if (object == OBJID_CLIENT) ++eventCounts[{window, event}];
}

void WatchEvents() {
  static HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_VALUECHANGE,
                                              nullptr, &CountEvent, 0, 0, WINEVENT_OUTOFCONTEXT);
  if (!hook) Fail(L"no event hook");
  eventCounts.clear();
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
  // A rescan every few milliseconds: most reads find their rows, some find them replaced.
  std::thread switcher([&] {
    for (int n = 0; !stop; ++n) {
      SetFolder(field, n % 2 ? second : first);
      ++switches;
      Sleep(n % 7);
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

}  // namespace

bool AccessibleStep(const std::wstring& step, const std::function<std::wstring()>& next) {
  if (step == L"acc-grid") {
    PrintGrid(Named(next()));
  } else if (step == L"acc-gauge") {
    PrintGauge(Named(L"Gauge"));
  } else if (step == L"acc-name") {
    Print(L"acc-name", NameOf(ObjectOf(Named(next())).get(), CHILDID_SELF));
  } else if (step == L"events-watch") {
    WatchEvents();
  } else if (step == L"events") {
    PrintEvents(next());
  } else if (step == L"acc-stress") {
    const HWND grid = Named(next());
    const double seconds = _wtof(next().c_str());
    const std::wstring first = next(), second = next();
    Stress(grid, Named(L"deUpdate"), seconds, first, second);
  } else {
    return false;
  }
  return true;
}
