// The form of TBF: the window and every widget at its designed place, 96 pixels per inch, not
// rescaled; one row per widget, made by one loop.
#include "TBF_Form.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "common/Scopes.h"
#include "common/WindowRouting.h"
#include "views/Accessible.h"

namespace {

constexpr wchar_t ContainerClass[] = L"QemUtil.Container";
constexpr DWORD MainStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD MainExStyle = WS_EX_CONTROLPARENT;
constexpr int BrowseButtonWidth = 21;
static_assert(idDeUpdateBrowse == idDeUpdate + 1);

HMENU MenuId(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }

// Pages and the status panel are plain containers: they pass their children's notifications
// and colour requests on to the main window, where the handlers live.
LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN: return SendMessageW(GetAncestor(window, GA_ROOT), message, wParam, lParam);
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
}

HFONT MakeFont(const wchar_t* face, bool bold) {
  // Character height 11 pixels: 8 point at 96 pixels per inch.
  return CreateFontW(-11, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face);
}

SIZE TextSize(HDC measure, HFONT font, const wchar_t* text) {
  SIZE size{};
  SelectedObject selected(measure, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(measure, &metrics);
  GetTextExtentPoint32W(measure, text, lstrlenW(text), &size);
  size.cy = metrics.tmHeight;
  return size;
}

HWND Make(DWORD exStyle, const wchar_t* windowClass, const wchar_t* text, DWORD style, int left,
          int top, int width, int height, HWND parent, int id) {
  return CreateWindowExW(exStyle, windowClass, text, style, left, top, width, height, parent,
                         MenuId(id), GetModuleHandleW(nullptr), nullptr);
}

// A widget of ours with that id anywhere under the window.
HWND Descendant(HWND window, int id) {
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetDlgCtrlID(child) == id) return child;
    if (HWND found = Descendant(child, id)) return found;
  }
  return nullptr;
}

}  // namespace

// The form as designed. Creation order is the Tab order: on tsUpdate deUpdate, btUpdate, then
// dgUpdate; each field comes right after its label, since readers name a field by the label
// before it.
using K = TWidgetKind;
using F = TFontRole;
constexpr int PageArea = 0;  // a page's rectangle: its page control's display area
const TBFForm::TRow TBFForm::Rows[] = {
    // id, kind, parent, left, top, width, height, text, font, member, name for readers
    {idPcMain, K::PageControl, idTBF, 0, 0, ClientWidth, 362, L"", F::Window, &TBFForm::pcMain},
    {idTsComponent, K::Page, idPcMain, PageArea, PageArea, PageArea, PageArea, L"Компоненты",
     F::None, &TBFForm::tsComponent},
    {idLb2, K::Label, idTsComponent, 8, 8, 0, 0,
     L"Данная таблица содержит список установленных компонентов блока диагностики.", F::Window,
     &TBFForm::lb2},
    {idDgComp, K::Grid, idTsComponent, 8, 27, 509, 182, L"", F::Window, &TBFForm::dgComp,
     L"Компоненты, установленные в блоке диагностики"},
    {idTsUpdate, K::Page, idPcMain, PageArea, PageArea, PageArea, PageArea, L"Обновление", F::None,
     &TBFForm::tsUpdate},
    {idLabel2, K::Label, idTsUpdate, 8, 7, 444, 39,
     L"Данная процедура позволяет обновить программные компоненты блока диагностики.\r\n"
     L"Внимание! После успешного обновления, файлы из директории будут удалены.\r\n"
     L"Для выполнения обновления файлов нажмите кнопку \"Обновить\".",
     F::Window, &TBFForm::Label2},
    {idLabel3, K::Label, idTsUpdate, 8, 55, 0, 0, L"Директория с обновляемыми файлами:", F::Window,
     &TBFForm::Label3},
    {idDeUpdate, K::FolderEdit, idTsUpdate, 219, 52, 300, 21, L"", F::Window, &TBFForm::deUpdate,
     L"Выбрать папку с обновляемыми файлами"},  // the browse button's
    {idLabel4, K::Label, idTsUpdate, 8, 75, 0, 0, L"Компоненты, готовые к обновлению:", F::Window,
     &TBFForm::Label4},
    {idBtUpdate, K::Button, idTsUpdate, 444, 257, 75, 25, L"Обновить", F::BoldTahoma,
     &TBFForm::btUpdate},
    {idDgUpdate, K::Grid, idTsUpdate, 8, 95, 511, 154, L"", F::Window, &TBFForm::dgUpdate,
     L"Компоненты, готовые к обновлению"},
    {idPl1, K::Panel, idTBF, 0, 362, ClientWidth, 54, L"", F::None, &TBFForm::pl1},
    {idLb1, K::Label, idPl1, 8, 8, 0, 0, L"Статус:", F::Window, &TBFForm::lb1},
    // Wide enough for any status up to the panel's edge; a longer one is cut there.
    {idLbStatus, K::Label, idPl1, 71, 8, ClientWidth - 71, 0, L"lbStatus", F::BoldTahoma,
     &TBFForm::lbStatus},
    {idLabel1, K::Label, idPl1, 8, 31, 0, 0, L"Состояние:", F::Window, &TBFForm::Label1},
    {idGauge, K::Gauge, idPl1, 72, 29, 190, 15, L"", F::WindowBold, &TBFForm::Gauge, L"Состояние"},
};

// What the loop carries from row to row.
struct TBFForm::TBuild {
  HWND main;
  // The error of the first widget that could not be made, read before later calls overwrite it.
  FirstError made;
  // Labels are measured in one memory DC: it has the screen's resolution, and unlike a
  // window's DC it costs no trip to the window system per label.
  UniqueMemoryDC measure{CreateCompatibleDC(nullptr)};
  RECT pageArea{};
};

HFONT TBFForm::Font(TFontRole role) const {
  switch (role) {
    case F::Window: return windowFont_.get();
    case F::WindowBold: return windowBoldFont_.get();
    case F::BoldTahoma: return boldTahoma_.get();
    default: return nullptr;
  }
}

HWND TBFForm::Widget(TWidgetId id) const {
  for (const TRow& row : Rows) {
    if (row.id != id) continue;
    return std::visit(
        [this](auto member) -> HWND {
          using T = decltype(member);
          if constexpr (std::is_same_v<T, HWND TBFForm::*>)
            return this->*member;
          else if constexpr (std::is_same_v<T, std::monostate>)
            return nullptr;
          else
            return (this->*member).Handle();
        },
        row.member);
  }
  // Made with its row's widget, as the browse button is with deUpdate.
  return pcMain ? Descendant(GetAncestor(pcMain, GA_ROOT), id) : nullptr;
}

DWORD TBFForm::BuildWidgets(void* owner) {
  TBuild build{};
  FirstError& made = build.made;
  RegisterWindowClass(ContainerClass, ContainerProc,
                      {.background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)});
  windowFont_.reset(MakeFont(L"MS Sans Serif", false));
  windowBoldFont_.reset(MakeFont(L"MS Sans Serif", true));
  boldTahoma_.reset(MakeFont(L"Tahoma", true));

  HMENU menu = CreateMenu();
  for (const TMenuItem& item : MainMenu) AppendMenuW(menu, MF_STRING, item.id, item.caption);
  RECT frame{0, 0, ClientWidth, ClientHeight};
  AdjustWindowRectEx(&frame, MainStyle, TRUE, MainExStyle);
  // The menu belongs to the window from here on.
  HWND main = made(CreateWindowExW(MainExStyle, MainWindowClass, L"", MainStyle, DesignedLeft,
                                   DesignedTop, frame.right - frame.left, frame.bottom - frame.top,
                                   nullptr, menu, GetModuleHandleW(nullptr), owner));
  if (!main) {
    DestroyMenu(menu);
    return made.Code();
  }
  // A menu bar of another height than the one assumed (or one that wraps) still leaves the
  // designed client area.
  RECT client;
  GetClientRect(main, &client);
  if (client.right != ClientWidth || client.bottom != ClientHeight) {
    RECT outer;
    GetWindowRect(main, &outer);
    SetWindowPos(main, nullptr, 0, 0, outer.right - outer.left + ClientWidth - client.right,
                 outer.bottom - outer.top + ClientHeight - client.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  SendMessageW(main, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_.get()), FALSE);

  build.main = main;
  for (const TRow& row : Rows) {
    HWND widget = made(MakeWidget(row, build));
    if (auto* member = std::get_if<HWND TBFForm::*>(&row.member)) this->** member = widget;
  }
  return made.Code();
}

// One widget of any kind; nullptr when it could not be made (its caller reads why from
// GetLastError), and then nothing more is done to it.
HWND TBFForm::MakeWidget(const TRow& row, TBuild& build) {
  const HWND parent = row.parent == idTBF ? build.main : Widget(row.parent);
  const HFONT font = Font(row.font);
  int left = row.left, top = row.top, width = row.width, height = row.height;
  HWND widget = nullptr;
  switch (row.kind) {
    case K::PageControl: {
      widget = Make(0, WC_TABCONTROLW, row.text,
                    WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP |
                        TCS_MULTILINE | TCS_FIXEDWIDTH,
                    left, top, width, height, parent, row.id);
      if (!widget) return nullptr;
      SendMessageW(widget, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
      SendMessageW(widget, TCM_SETITEMSIZE, 0, MAKELPARAM(1, 1));
      // A tab for each of its pages, all before the display area is read.
      int index = 0;
      for (const TRow& page : Rows) {
        if (page.kind != K::Page || page.parent != row.id) continue;
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(page.text);
        SendMessageW(widget, TCM_INSERTITEMW, index++, reinterpret_cast<LPARAM>(&item));
      }
      GetClientRect(widget, &build.pageArea);
      SendMessageW(widget, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&build.pageArea));
      return widget;
    }
    case K::Page:
    case K::Panel: {
      if (row.kind == K::Page) {
        const RECT& area = build.pageArea;
        left = area.left, top = area.top;
        width = area.right - area.left, height = area.bottom - area.top;
      }
      return Make(WS_EX_CONTROLPARENT, ContainerClass, row.text,
                  WS_CHILD | WS_CLIPSIBLINGS | (row.kind == K::Panel ? WS_VISIBLE : 0), left, top,
                  width, height, parent, row.id);
    }
    case K::Label:
      if (width == 0 || height == 0) {
        // Sized to its text, as an auto-sized label.
        const SIZE size = TextSize(build.measure.get(), font, row.text);
        if (width == 0) width = size.cx;
        if (height == 0) height = size.cy;
      }
      widget = Make(0, L"STATIC", row.text, WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX,
                    left, top, width, height, parent, row.id);
      break;
    case K::FolderEdit: {
      // The field and its browse button at its right end, together in the designed rectangle.
      widget = Make(WS_EX_CLIENTEDGE, L"EDIT", row.text,
                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, left, top,
                    width - BrowseButtonWidth, height, parent, row.id);
      if (!widget) return nullptr;
      SendMessageW(widget, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
      HWND browse = build.made(Make(
          0, L"BUTTON", L"...", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
          left + width - BrowseButtonWidth, top, BrowseButtonWidth, height, parent, row.id + 1));
      if (browse) {
        SendMessageW(browse, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (row.readerName) NameForReaders(browse, row.readerName);
      }
      return widget;
    }
    case K::Button:
      widget = Make(0, L"BUTTON", row.text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                    left, top, width, height, parent, row.id);
      break;
    case K::Grid: {
      TDrawGrid& grid = this->*std::get<TDrawGrid TBFForm::*>(row.member);
      if (!grid.Create(parent, row.id, left, top, width, height)) return nullptr;
      grid.SetFont(font);
      if (row.readerName) grid.SetAccessibleName(row.readerName);
      return grid.Handle();
    }
    case K::Gauge: {
      TGauge& gauge = this->*std::get<TGauge TBFForm::*>(row.member);
      if (!gauge.Create(parent, row.id, left, top, width, height)) return nullptr;
      gauge.SetFont(font);
      if (row.readerName) gauge.SetAccessibleName(row.readerName);
      return gauge.Handle();
    }
  }
  // Nothing more for a widget that failed: its caller reads why from GetLastError.
  if (widget) SendMessageW(widget, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return widget;
}

HWND TBFForm::NextTabStop(HWND from, bool backwards) const {
  // The rows' widgets in Tab order; the browse button comes right after its field.
  std::vector<HWND> stops;
  for (const TRow& row : Rows) {
    HWND widget = Widget(row.id);
    if (widget && (GetWindowLongW(widget, GWL_STYLE) & WS_TABSTOP)) stops.push_back(widget);
    if (row.kind == K::FolderEdit) stops.push_back(Widget(TWidgetId(row.id + 1)));
  }
  std::erase_if(
      stops, [](HWND stop) { return !stop || !IsWindowVisible(stop) || !IsWindowEnabled(stop); });
  if (stops.empty()) return nullptr;
  if (backwards) std::reverse(stops.begin(), stops.end());
  const auto at = std::find(stops.begin(), stops.end(), from);
  return at == stops.end() || at + 1 == stops.end() ? stops.front() : *(at + 1);
}

bool TBFForm::TranslateFormKey(const MSG& message) {
  if (message.message != WM_KEYDOWN || !pcMain) return false;
  const HWND main = GetAncestor(pcMain, GA_ROOT);
  if (message.hwnd != main && !IsChild(main, message.hwnd)) return false;
  if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
  const HWND focus = GetFocus();
  if (message.wParam == VK_TAB) {
    const HWND next = NextTabStop(focus, GetKeyState(VK_SHIFT) < 0);
    if (!next) return true;
    SetFocus(next);
    // As the dialog navigation does: a field entered by Tab has its text selected.
    if (SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
      SendMessageW(next, EM_SETSEL, 0, -1);
    return true;
  }
  // The page's buttons are no dialog's default button, for which the dialog navigation would
  // send IDOK: Enter presses the focused one as its click does.
  if (message.wParam == VK_RETURN && focus && IsChild(main, focus) &&
      (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & (DLGC_UNDEFPUSHBUTTON | DLGC_DEFPUSHBUTTON))) {
    SendMessageW(GetParent(focus), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED),
                 reinterpret_cast<LPARAM>(focus));
    return true;
  }
  return false;
}

void SetUpGrid(TDrawGrid& grid, const std::vector<double>& factors, TWidthBase base) {
  grid.Show(false);
  grid.SetColor(GetSysColor(COLOR_BTNFACE));
  grid.SetRowCount(1);
  grid.SetColumnCount(static_cast<int>(factors.size()));
  grid.SetDefaultRowHeight(18);
  // Read once, before any column changes.
  const std::vector<int> widths = ColumnWidthsFromFactors(
      base == TWidthBase::Outer ? grid.Width() : grid.ClientWidth(), factors);
  for (size_t column = 0; column < widths.size(); ++column)
    grid.SetColumnWidth(static_cast<int>(column), widths[column]);
  grid.Show(true);
}
