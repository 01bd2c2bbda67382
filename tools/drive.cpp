// Drives the real QemUtil.exe from outside, as a user would: starts it, waits for its window or
// a message box, picks menu items, types the folder, presses the button, reads the status
// line, closes it and reports its exit code. One line "key: value" (UTF-8) per reading.
//
//   drive.exe start PATH window 30 menu Компоненты wait-status-not Инициализация... 20 status close
//   exit 30
//
// Steps: start PATH | attach SECS | window SECS | box SECS | answer ok|yes|no|cancel | browse |
// dialog SECS | menu TEXT | folder-set TEXT | folder | click-update | status | wait-status TEXT
// SECS | wait-status-not TEXT SECS | page | client | frame | gauge | comp-rows | sleep MS | close |
// exit SECS | shown | await-status TEXT SECS | await-journal PATH TEXT SECS | responsive SECS |
// status-colour | hold PATH | share PATH | delete PATH | suspend | resume | close-sent | resources
// | cycles COUNT SOURCE FOLDER SECS | query-end-session | end-session SECS | acc-grid NAME |
// acc-gauge | acc-name NAME | acc-tree | focus-order | widgets | events-watch | events NAME |
// event-texts NAME |
// acc-stress NAME SECS A B (the window as a screen reader reads it: AccessibleSteps.cpp) A step
// that times out prints "error: ..." and ends the driver with exit code 2; a program that does not
// end within `exit`'s time is killed, so a hang never outlives its driver.
#include <windows.h>

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "Drive.h"
#include "app/WidgetIds.h"
#include "common/Scopes.h"
#include "common/UniqueResource.h"
#include "common/Utf8.h"

namespace {

HANDLE process = nullptr;
DWORD processId = 0;
bool everShown = false;
// Files held open without sharing until the driver ends (a locked file, as another program
// would hold it), and the window thread while it is suspended.
std::vector<HANDLE> heldFiles;
HANDLE suspendedThread = nullptr;

}  // namespace

void Print(const std::wstring& key, const std::wstring& value) {
  const std::string bytes = Utf8FromWide(key + L": " + value + L"\n");
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

[[noreturn]] void Fail(const std::wstring& what) {
  Print(L"error", what);
  if (suspendedThread) ResumeThread(suspendedThread);
  // A program this driver started does not outlive a failed step.
  if (process) TerminateProcess(process, 99);
  ExitProcess(2);
}

void Pump(DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
  }
}

namespace {

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  // WM_GETTEXT works across processes, also for controls of another program.
  const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(length + 1, L'\0');
  text.resize(SendMessageW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
  return text;
}

struct Found {
  const wchar_t* className;
  bool visibleOnly;
  HWND window;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM data) {
  auto* f = reinterpret_cast<Found*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != processId || ClassOf(window) != f->className) return TRUE;
  if (f->visibleOnly && !IsWindowVisible(window)) return TRUE;
  f->window = window;
  return FALSE;
}

// A top-level window of the driven process with that class.
HWND FindTopLevel(const wchar_t* className, bool visibleOnly) {
  Found found{className, visibleOnly, nullptr};
  EnumWindows(&MatchTopLevel, reinterpret_cast<LPARAM>(&found));
  return found.window;
}

struct Search {
  int id;
  HWND window;
};

BOOL CALLBACK MatchId(HWND window, LPARAM data) {
  auto* s = reinterpret_cast<Search*>(data);
  if (GetDlgCtrlID(window) != s->id) return TRUE;
  s->window = window;
  return FALSE;
}

HWND MainWindow() {
  HWND window = FindTopLevel(MainWindowClass, false);
  if (window && IsWindowVisible(window)) everShown = true;
  return window;
}

}  // namespace

HWND Widget(int id) {
  HWND main = MainWindow();
  if (!main) Fail(L"no main window");
  Search search{id, nullptr};
  EnumChildWindows(main, &MatchId, reinterpret_cast<LPARAM>(&search));
  if (!search.window) Fail(L"no widget " + std::to_wstring(id));
  return search.window;
}

namespace {

// Polls until done() or the time is up; keeps noting whether the main window showed.
template <typename Done>
bool WaitUntil(double seconds, Done done) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  for (;;) {
    MainWindow();
    if (done()) return true;
    if (GetTickCount64() > end) return false;
    Pump(20);
  }
}

double Seconds(const std::wstring& text) { return _wtof(text.c_str()); }

// A message box or dialog of the program (class #32770) shown within the time; else the
// driver fails saying what was missing.
HWND ShownDialog(double seconds, const wchar_t* missing) {
  HWND dialog = nullptr;
  if (!WaitUntil(seconds, [&] { return (dialog = FindTopLevel(L"#32770", true)) != nullptr; }))
    Fail(missing);
  return dialog;
}

int MenuCommand(const std::wstring& caption) {
  HMENU menu = GetMenu(MainWindow());
  for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, i, text, 128, MF_BYPOSITION);
    if (caption == text) return static_cast<int>(GetMenuItemID(menu, i));
  }
  // Wine keeps menus inside their process: another process cannot read them. The captions
  // are the program's own, so the driver knows them.
  for (const TMenuItem& item : MainMenu)
    if (caption == item.caption) return item.id;
  Fail(L"no menu item " + caption);
}

// Every child window of the main window, depth first in the order the system keeps them (the
// order they were made, which the Tab key follows): what the form is made of.
void PrintWidgets(HWND parent, int depth) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT box;
    GetWindowRect(child, &box);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&box), 2);
    wchar_t line[160];
    swprintf(line, 160, L"%d %d %ls %08lX %08lX %ld %ld %ld %ld | ", depth, GetDlgCtrlID(child),
             ClassOf(child).c_str(), static_cast<unsigned long>(GetWindowLongW(child, GWL_STYLE)),
             static_cast<unsigned long>(GetWindowLongW(child, GWL_EXSTYLE)), box.left, box.top,
             box.right - box.left, box.bottom - box.top);
    Print(L"widget", line + TextOf(child));
    PrintWidgets(child, depth + 1);
  }
}

// The status line's ink as it is on the screen: "red" (255, 0, 0), "normal" (the system
// window-text colour), "none" (no ink: an empty or not yet painted text) or "mixed".
std::wstring StatusInk() {
  HWND status = Widget(idLbStatus);
  RECT box;
  GetWindowRect(status, &box);
  const int width = box.right - box.left, height = box.bottom - box.top;
  if (width <= 0 || height <= 0) return L"none";
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  const WindowDC screen(nullptr);
  const UniqueMemoryDC memory(CreateCompatibleDC(screen.get()));
  const UniqueBitmap bitmap(
      CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!memory || !bitmap) Fail(L"cannot copy the status line from the screen");
  SelectedObject selected(memory.get(), bitmap.get());
  BitBlt(memory.get(), 0, 0, width, height, screen.get(), box.left, box.top, SRCCOPY);
  GdiFlush();
  const COLORREF normal = GetSysColor(COLOR_WINDOWTEXT);
  size_t red = 0, ink = 0;
  const auto* pixel = static_cast<const uint32_t*>(bits);
  for (int n = 0; n < width * height; ++n) {
    const uint32_t p = pixel[n] & 0xFFFFFF;  // 0x00RRGGBB
    if (p == 0xFF0000)
      ++red;
    else if (p == ((uint32_t{GetRValue(normal)} << 16) | (uint32_t{GetGValue(normal)} << 8) |
                   GetBValue(normal)))
      ++ink;
  }
  return red && ink ? L"mixed" : red ? L"red" : ink ? L"normal" : L"none";
}

DWORD WindowThread() { return GetWindowThreadProcessId(MainWindow(), nullptr); }

// A reading of the screen once it has settled: the screen may lag the window's own painting,
// so read until two readings in a row, pauseMs apart, agree (50 readings at the most).
template <typename Read>
auto Settled(DWORD pauseMs, Read read) {
  auto value = read();
  for (int tries = 0; tries < 50; ++tries) {
    Sleep(pauseMs);
    auto again = read();
    if (again == value) break;
    value = std::move(again);
  }
  return value;
}

// The data rows dgComp shows, counted on the screen: each row is filled white, the title row
// light grey, the ground below the last row in the grid's own colour. The rows arrive in a
// hand-off just after the closing status.
int ComponentRowsOnScreen() {
  HWND grid = Widget(idDgComp);
  return Settled(100, [&] {
    RECT box;
    GetWindowRect(grid, &box);
    const WindowDC screen(nullptr);
    int rows = 0;
    // Four pixels into the first column, in the middle of each 18-pixel row after the title.
    for (int y = box.top + 18 + 9; y < box.bottom; y += 18, ++rows)
      if ((GetPixel(screen.get(), box.left + 4, y) & 0xFFFFFF) != 0xFFFFFF) break;
    return rows;
  });
}

// Whether a file (the stand-in's journal, UTF-8) holds a text; it is read as the stand-in
// appends to it.
bool FileHolds(const std::wstring& path, const std::wstring& text) {
  const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got)
    bytes.append(buffer, got);
  return bytes.find(Utf8FromWide(text)) != std::string::npos;
}

// --- Soak: the program's resource figures, and update-and-list cycles --------------------------

// What a resource figure came from: the plain Windows call, or the way around that Wine needs.
struct Figure {
  unsigned long long value;
  const wchar_t* source;
};

UniqueHandle Inspect() {
  UniqueHandle handle(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!handle) Fail(L"cannot open the program's process for reading");
  return handle;
}

// Wine's GetProcessHandleCount answers 0 for every process; its server lists every handle of
// every process through SystemHandleInformation, so the program's own are counted there.
Figure HandleCount(HANDLE target) {
  DWORD count = 0;
  if (GetProcessHandleCount(target, &count) && count) return {count, L"GetProcessHandleCount"};
  struct Entry {
    ULONG OwnerPid;
    BYTE ObjectType;
    BYTE HandleFlags;
    USHORT HandleValue;
    PVOID ObjectPointer;
    ULONG AccessMask;
  };
  std::vector<unsigned char> buffer(1 << 16);
  for (;;) {
    ULONG needed = 0;
    const NTSTATUS status = NtQuerySystemInformation(SystemHandleInformation, buffer.data(),
                                                     static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<NTSTATUS>(0xC0000004L) /* STATUS_INFO_LENGTH_MISMATCH */) {
      buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
      continue;
    }
    if (status < 0) Fail(L"SystemHandleInformation failed");
    break;
  }
  ULONG total = 0;
  std::memcpy(&total, buffer.data(), sizeof total);
  const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
  unsigned long long own = 0;
  for (ULONG k = 0; k < total; ++k)
    if (entries[k].OwnerPid == processId) ++own;
  return {own, L"SystemHandleInformation"};
}

// Wine's GetGuiResources is a stub that answers 0. Its GDI keeps each process's objects in a
// handle table of its own, named in the process's PEB as on Windows; an entry in use has a
// nonzero type. The table is read out of the program and its live entries counted: every
// GDI object the program holds, the stock objects (a constant number) included.
Figure GdiObjectCount(HANDLE target) {
  if (const DWORD count = GetGuiResources(target, GR_GDIOBJECTS))
    return {count, L"GetGuiResources"};
  struct Entry {  // Wine's GDI_HANDLE_ENTRY, the same layout for 32 and 64 bits
    UINT64 Object;
    ULONG Owner;
    USHORT Unique;
    UCHAR Type;
    UCHAR Flags;
    UINT64 UserPointer;
  };
  static_assert(sizeof(Entry) == 24);
  constexpr size_t TableEntries = 0x10000;
  // The driver and the program come from the same build, so the PEB is of the driver's width.
  constexpr size_t PebGdiSharedHandleTable = sizeof(void*) == 8 ? 0xF8 : 0x94;
  PROCESS_BASIC_INFORMATION basic{};
  if (NtQueryInformationProcess(target, ProcessBasicInformation, &basic, sizeof basic, nullptr) < 0)
    Fail(L"no PEB address of the program");
  ULONG_PTR table = 0;
  if (!ReadProcessMemory(
          target,
          reinterpret_cast<const unsigned char*>(basic.PebBaseAddress) + PebGdiSharedHandleTable,
          &table, sizeof table, nullptr) ||
      !table)
    Fail(L"no GDI handle table in the program");
  std::vector<Entry> entries(TableEntries);
  if (!ReadProcessMemory(target, reinterpret_cast<const void*>(table), entries.data(),
                         entries.size() * sizeof(Entry), nullptr))
    Fail(L"cannot read the program's GDI handle table");
  unsigned long long live = 0;
  for (const Entry& entry : entries)
    if (entry.Type) ++live;
  return {live, L"GdiSharedHandleTable"};
}

// Private bytes. Windows gives the same figure as PrivateUsage and as PagefileUsage (the commit
// charge); Wine fills only the latter for another process, from the resident anonymous memory
// and swap that Linux counts for it.
Figure PrivateBytes(HANDLE target) {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(target, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof counters))
    Fail(L"GetProcessMemoryInfo failed");
  if (counters.PrivateUsage) return {counters.PrivateUsage, L"PrivateUsage"};
  if (counters.PagefileUsage) return {counters.PagefileUsage, L"PagefileUsage"};
  Fail(L"GetProcessMemoryInfo gives no private bytes");
}

void PrintResources() {
  UniqueHandle target = Inspect();
  const Figure handles = HandleCount(target.get());
  const Figure gdi = GdiObjectCount(target.get());
  const Figure memory = PrivateBytes(target.get());
  Print(L"handles", std::to_wstring(handles.value));
  Print(L"handles-from", handles.source);
  Print(L"gdi", std::to_wstring(gdi.value));
  Print(L"gdi-from", gdi.source);
  Print(L"private", std::to_wstring(memory.value));
  Print(L"private-from", memory.source);
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry{};
  UniqueFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (!search) return names;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
  } while (FindNextFileW(search.get(), &entry));
  return names;
}

// Gives a command through the menu and waits for its closing status. A command given in the
// instant between the worker's last status and its return to waiting is lost (the worker then
// only initialises the link); that shows as "Инициализация..." staying, and the command is
// given once more. Such repeats are counted, not hidden.
int lostCommands = 0;

void CommandUntil(const std::wstring& menuOrButton, const std::wstring& done, double seconds) {
  for (int attempt = 0;; ++attempt) {
    if (menuOrButton == L"button")
      PostMessageW(Widget(idBtUpdate), BM_CLICK, 0, 0);
    else
      PostMessageW(MainWindow(), WM_COMMAND, MenuCommand(menuOrButton), 0);
    if (WaitUntil(seconds, [&] { return TextOf(Widget(idLbStatus)) == done; })) return;
    if (attempt == 0 && TextOf(Widget(idLbStatus)) == L"Инициализация...") {
      ++lostCommands;
      continue;
    }
    Fail(L"status stays \"" + TextOf(Widget(idLbStatus)) + L"\" instead of \"" + done + L"\"");
  }
}

// COUNT update-and-list cycles: the files of SOURCE copied into FOLDER, "Обновить" pressed with
// FOLDER in the field, the update's success awaited, then "Компоненты" and the list's success.
// Every cycle must leave FOLDER empty: the unit confirmed every file.
void RunCycles(int count, const std::wstring& source, const std::wstring& folder, double seconds) {
  const std::vector<std::wstring> files = FilesIn(source);
  if (files.empty()) Fail(L"nothing to stage in " + source);
  const ULONGLONG start = GetTickCount64();
  for (int cycle = 1; cycle <= count; ++cycle) {
    for (const std::wstring& name : files)
      if (!CopyFileW((source + L"\\" + name).c_str(), (folder + L"\\" + name).c_str(), FALSE))
        Fail(L"cannot stage " + name);
    PostMessageW(MainWindow(), WM_COMMAND, MenuCommand(L"Обновление"), 0);
    SendMessageW(Widget(idDeUpdate), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
    CommandUntil(L"button", L"Обновление файлов завершено успешно", seconds);
    // Let the worker get back to waiting before the next command (see CommandUntil).
    Sleep(50);
    CommandUntil(L"Компоненты", L"Запрос списка файлов завершен успешно", seconds);
    Sleep(50);
    const std::vector<std::wstring> left = FilesIn(folder);
    if (!left.empty())
      Fail(L"cycle " + std::to_wstring(cycle) + L" left " + left.front() + L" in the folder");
  }
  Print(L"cycles", std::to_wstring(count));
  Print(L"cycles-ms", std::to_wstring(GetTickCount64() - start));
  Print(L"lost-commands", std::to_wstring(lostCommands));
}

// --- The steps, one function each ------------------------------------------------------------

void Start(const TNext& next) {
  std::wstring command = L"\"" + next() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info))
    Fail(L"cannot start " + command);
  CloseHandle(info.hThread);
  process = info.hProcess;
  processId = info.dwProcessId;
}

// To a program that another driver started and waits for (it alone sees the exit code).
void Attach(const TNext& next) {
  HWND found = nullptr;
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(Seconds(next()) * 1000);
  while (!(found = FindWindowW(MainWindowClass, nullptr)) || !IsWindowVisible(found)) {
    if (GetTickCount64() > end) Fail(L"no main window to attach to");
    Sleep(20);
  }
  GetWindowThreadProcessId(found, &processId);
}

void AwaitWindow(const TNext& next) {
  if (!WaitUntil(Seconds(next()), [] { return everShown; })) Fail(L"the main window did not show");
  Print(L"window", L"shown");
}

void Shown(const TNext&) { Print(L"shown", everShown ? L"1" : L"0"); }

void Box(const TNext& next) {
  HWND box = ShownDialog(Seconds(next()), L"no message box");
  Print(L"box-caption", TextOf(box));
  Print(L"box-text", TextOf(GetDlgItem(box, 0xFFFF)));
}

void Browse(const TNext&) { PostMessageW(Widget(idDeUpdateBrowse), BM_CLICK, 0, 0); }

// A dialog of the program: every static text in it, then closed with Cancel.
void Dialog(const TNext& next) {
  HWND dialog = ShownDialog(Seconds(next()), L"no dialog");
  Print(L"dialog-caption", TextOf(dialog));
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (ClassOf(child) == L"Static" && !TextOf(child).empty()) Print(L"dialog-text", TextOf(child));
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  if (!WaitUntil(10, [&] { return !IsWindow(dialog); })) Fail(L"the dialog stays");
}

void Answer(const TNext& next) {
  const std::wstring button = next();
  const int id = button == L"yes"      ? IDYES
                 : button == L"no"     ? IDNO
                 : button == L"cancel" ? IDCANCEL
                                       : IDOK;
  HWND box = FindTopLevel(L"#32770", true);
  if (!box) Fail(L"no message box to answer");
  PostMessageW(GetDlgItem(box, id), BM_CLICK, 0, 0);
  if (!WaitUntil(10, [&] { return !IsWindow(box) || !IsWindowVisible(box); }))
    Fail(L"the box stays");
}

void Menu(const TNext& next) {
  const int command = MenuCommand(next());
  PostMessageW(MainWindow(), WM_COMMAND, command, 0);
}

void FolderSet(const TNext& next) {
  const std::wstring text = next();
  SendMessageW(Widget(idDeUpdate), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Folder(const TNext&) { Print(L"folder", TextOf(Widget(idDeUpdate))); }
void ClickUpdate(const TNext&) { PostMessageW(Widget(idBtUpdate), BM_CLICK, 0, 0); }
void Status(const TNext&) { Print(L"status", TextOf(Widget(idLbStatus))); }
void CompRows(const TNext&) { Print(L"comp-rows", std::to_wstring(ComponentRowsOnScreen())); }
void GaugeText(const TNext&) { Print(L"gauge", TextOf(Widget(idGauge))); }

void WaitStatus(const TNext& next, bool equal) {
  const std::wstring text = next();
  if (!WaitUntil(Seconds(next()), [&] { return (TextOf(Widget(idLbStatus)) == text) == equal; }))
    Fail(L"status stays \"" + TextOf(Widget(idLbStatus)) + L"\"");
  Print(L"status", TextOf(Widget(idLbStatus)));
}

// Like wait-status, but a status that never comes is a reading, not the driver's end: the run
// goes on to close the program and look at what it left.
void AwaitStatus(const TNext& next) {
  const std::wstring text = next();
  const bool came = WaitUntil(Seconds(next()), [&] { return TextOf(Widget(idLbStatus)) == text; });
  Print(L"awaited", came ? L"1" : L"0");
  Print(L"status", TextOf(Widget(idLbStatus)));
}

void AwaitJournal(const TNext& next) {
  const std::wstring path = next(), text = next();
  Print(L"journal",
        WaitUntil(Seconds(next()), [&] { return FileHolds(path, text); }) ? L"1" : L"0");
}

void Responsive(const TNext& next) {
  DWORD_PTR answer = 0;
  const UINT limit = static_cast<UINT>(Seconds(next()) * 1000);
  const bool answered =
      SendMessageTimeoutW(MainWindow(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, limit, &answer) != 0;
  Print(L"responsive", answered ? L"1" : L"0");
}

void StatusColour(const TNext&) { Print(L"status-colour", Settled(20, StatusInk)); }

void Hold(const TNext& next) {
  const std::wstring path = next();
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail(L"cannot hold " + path);
  heldFiles.push_back(file);
  Print(L"held", path);
}

// Held open for reading by another program that lets others read but not delete it.
void Share(const TNext& next) {
  const std::wstring path = next();
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail(L"cannot open " + path);
  heldFiles.push_back(file);
  Print(L"shared", path);
}

void Delete(const TNext& next) {
  const std::wstring path = next();
  Print(L"deleted", DeleteFileW(path.c_str()) ? L"1" : L"0");
}

void Suspend(const TNext&) {
  suspendedThread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, WindowThread());
  if (!suspendedThread || SuspendThread(suspendedThread) == static_cast<DWORD>(-1))
    Fail(L"cannot suspend the window thread");
}

void Resume(const TNext&) {
  if (!suspendedThread) Fail(L"nothing suspended");
  ResumeThread(suspendedThread);
  CloseHandle(suspendedThread);
  suspendedThread = nullptr;
}

void Page(const TNext&) {
  const bool components = IsWindowVisible(Widget(idTsComponent));
  const bool update = IsWindowVisible(Widget(idTsUpdate));
  Print(L"page", components && update ? L"both"
                 : components         ? L"components"
                 : update             ? L"update"
                                      : L"none");
}

void Client(const TNext&) {
  HWND main = MainWindow();
  RECT client;
  GetClientRect(main, &client);
  POINT origin{0, 0};
  ClientToScreen(main, &origin);
  Print(L"client", std::to_wstring(origin.x) + L" " + std::to_wstring(origin.y) + L" " +
                       std::to_wstring(client.right) + L" " + std::to_wstring(client.bottom));
}

void Frame(const TNext&) {
  RECT frame;
  GetWindowRect(MainWindow(), &frame);
  Print(L"frame", std::to_wstring(frame.left) + L" " + std::to_wstring(frame.top) + L" " +
                      std::to_wstring(frame.right - frame.left) + L" " +
                      std::to_wstring(frame.bottom - frame.top));
}

void Widgets(const TNext&) { PrintWidgets(MainWindow(), 0); }
void SleepFor(const TNext& next) { Pump(static_cast<DWORD>(_wtoi(next().c_str()))); }

// A close request sent, not posted: served even while the window waits for the worker.
void CloseSent(const TNext&) {
  DWORD_PTR answer = 0;
  const bool answered =
      SendMessageTimeoutW(MainWindow(), WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &answer) != 0;
  Print(L"close-sent", answered ? L"1" : L"0");
}

void Close(const TNext&) { PostMessageW(MainWindow(), WM_CLOSE, 0, 0); }

void Exit(const TNext& next) {
  if (!process) Fail(L"nothing started");
  const DWORD limit = static_cast<DWORD>(Seconds(next()) * 1000);
  DWORD waited = 0;
  // Keep noting the window while waiting, in steps.
  while (WaitForSingleObject(process, 20) == WAIT_TIMEOUT) {
    MainWindow();
    if ((waited += 20) > limit) Fail(L"the program did not end");
  }
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  Print(L"shown", everShown ? L"1" : L"0");
  Print(L"exit", std::to_wstring(code));
}

void Resources(const TNext&) { PrintResources(); }

void Cycles(const TNext& next) {
  const int count = _wtoi(next().c_str());
  const std::wstring source = next();
  const std::wstring folder = next();
  RunCycles(count, source, folder, Seconds(next()));
}

// The question (1: the program lets the session end, 0: it asks to wait).
void QueryEndSession(const TNext&) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(MainWindow(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 10000, &answer))
    Fail(L"the session's end was not answered");
  Print(L"query-end-session", answer ? L"1" : L"0");
}

// The end itself, whose answer the system waits for before it ends the process.
void EndSession(const TNext& next) {
  DWORD_PTR answer = 0;
  const UINT limit = static_cast<UINT>(Seconds(next()) * 1000);
  const bool answered =
      SendMessageTimeoutW(MainWindow(), WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, limit, &answer) != 0;
  Print(L"end-session", answered ? L"1" : L"0");
}

const TStep Steps[] = {
    {L"start", Start},
    {L"attach", Attach},
    {L"window", AwaitWindow},
    {L"shown", Shown},
    {L"box", Box},
    {L"browse", Browse},
    {L"dialog", Dialog},
    {L"answer", Answer},
    {L"menu", Menu},
    {L"folder-set", FolderSet},
    {L"folder", Folder},
    {L"click-update", ClickUpdate},
    {L"status", Status},
    {L"comp-rows", CompRows},
    {L"gauge", GaugeText},
    {L"wait-status", [](const TNext& next) { WaitStatus(next, true); }},
    {L"wait-status-not", [](const TNext& next) { WaitStatus(next, false); }},
    {L"await-status", AwaitStatus},
    {L"await-journal", AwaitJournal},
    {L"responsive", Responsive},
    {L"status-colour", StatusColour},
    {L"hold", Hold},
    {L"share", Share},
    {L"delete", Delete},
    {L"suspend", Suspend},
    {L"resume", Resume},
    {L"page", Page},
    {L"client", Client},
    {L"frame", Frame},
    {L"widgets", Widgets},
    {L"sleep", SleepFor},
    {L"close-sent", CloseSent},
    {L"close", Close},
    {L"exit", Exit},
    // The soak's.
    {L"resources", Resources},
    {L"cycles", Cycles},
    // The session's end, as the system announces it.
    {L"query-end-session", QueryEndSession},
    {L"end-session", EndSession},
};

const TStep* FindStep(const std::wstring& name) {
  for (const std::span<const TStep> table : {std::span<const TStep>(Steps), AccessibleSteps()})
    for (const TStep& step : table)
      if (name == step.name) return &step;
  return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::vector<std::wstring> args(argv + 1, argv + argc);
  size_t i = 0;
  const TNext next = [&]() -> std::wstring {
    if (i >= args.size()) Fail(L"missing argument");
    return args[i++];
  };
  while (i < args.size()) {
    const std::wstring name = next();
    const TStep* step = FindStep(name);
    if (!step) Fail(L"unknown step " + name);
    step->run(next);
  }
  return 0;
}
