// The form resource of TBF: the window and every widget at its designed place, 96 pixels per
// inch, not rescaled.
#include <windows.h>
#include <commctrl.h>

#include "TBF.h"
#include "WidgetIds.h"
#include "common/Scopes.h"
#include "common/WindowRouting.h"
#include "views/Accessible.h"

namespace {

constexpr wchar_t ContainerClass[] = L"QemUtil.Container";
constexpr DWORD MainStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD MainExStyle = WS_EX_CONTROLPARENT;
constexpr int BrowseButtonWidth = 21;

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

void RegisterClasses(WNDPROC mainProc) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW container{};
  container.cbSize = sizeof container;
  container.lpfnWndProc = ContainerProc;
  container.hInstance = instance;
  container.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  container.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  container.lpszClassName = ContainerClass;
  RegisterClassExW(&container);  // fails harmlessly when already registered

  WNDCLASSEXW main{};
  main.cbSize = sizeof main;
  main.lpfnWndProc = mainProc;
  main.hInstance = instance;
  main.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  main.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
  main.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  main.lpszClassName = MainWindowClass;
  RegisterClassExW(&main);
}

HWND CreateContainer(HWND parent, int id, const wchar_t* caption, int left, int top, int width,
                     int height, bool visible) {
  return CreateWindowExW(WS_EX_CONTROLPARENT, ContainerClass, caption,
                         WS_CHILD | WS_CLIPSIBLINGS | (visible ? WS_VISIBLE : 0), left, top, width,
                         height, parent, MenuId(id), GetModuleHandleW(nullptr), nullptr);
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

}  // namespace

void TBF::CreateFonts() {
  windowFont_.reset(MakeFont(L"MS Sans Serif", false));
  windowBoldFont_.reset(MakeFont(L"MS Sans Serif", true));
  boldTahoma_.reset(MakeFont(L"Tahoma", true));
}

HWND TBF::CreateLabel(HDC measure, HWND parent, int id, int left, int top, const wchar_t* text,
                      int width, int height) {
  HFONT font = windowFont_.get();
  if (width == 0 || height == 0) {
    // Sized to its text, as an auto-sized label.
    const SIZE size = TextSize(measure, font, text);
    if (width == 0) width = size.cx;
    if (height == 0) height = size.cy;
  }
  HWND label = CreateWindowExW(
      0, L"STATIC", text, WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, left, top, width,
      height, parent, MenuId(id), GetModuleHandleW(nullptr), nullptr);
  // Nothing more for a label that failed: its caller reads why from GetLastError.
  if (label) SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return label;
}

DWORD TBF::BuildWidgets() {
  // The error of the first widget that could not be made, read before later calls overwrite it.
  FirstError made;
  RegisterClasses(&TWindowRouting::WindowProc<TBF>);
  CreateFonts();
  HINSTANCE instance = GetModuleHandleW(nullptr);
  const WPARAM font = reinterpret_cast<WPARAM>(windowFont_.get());
  // Labels are measured in one memory DC: it has the screen's resolution, and unlike a
  // window's DC it costs no trip to the window system per label.
  const UniqueMemoryDC measure(CreateCompatibleDC(nullptr));

  HMENU menu = CreateMenu();
  AppendMenuW(menu, MF_STRING, idMiComp, L"Компоненты");
  AppendMenuW(menu, MF_STRING, idMiUpdate, L"Обновление");
  AppendMenuW(menu, MF_STRING, idMiExit, L"Выход");

  RECT frame{0, 0, ClientWidth, ClientHeight};
  AdjustWindowRectEx(&frame, MainStyle, TRUE, MainExStyle);
  // window_ is set at WM_NCCREATE; the menu belongs to the window from here on.
  if (!made(CreateWindowExW(MainExStyle, MainWindowClass, L"", MainStyle, DesignedLeft, DesignedTop,
                            frame.right - frame.left, frame.bottom - frame.top, nullptr, menu,
                            instance, this))) {
    DestroyMenu(menu);
    return made.Code();
  }
  HWND main = window_.get();
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
  SendMessageW(main, WM_SETFONT, font, FALSE);

  // pcMain: a tab control whose tabs are 1 by 1 pixel, so pages change through the menu only.
  pcMain = made(CreateWindowExW(0, WC_TABCONTROLW, L"",
                                WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN |
                                    WS_TABSTOP | TCS_MULTILINE | TCS_FIXEDWIDTH,
                                0, 0, ClientWidth, 362, main, MenuId(idPcMain), instance, nullptr));
  SendMessageW(pcMain, WM_SETFONT, font, FALSE);
  SendMessageW(pcMain, TCM_SETITEMSIZE, 0, MAKELPARAM(1, 1));
  const wchar_t* captions[] = {L"Компоненты", L"Обновление"};
  for (int i = 0; i < 2; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(captions[i]);
    SendMessageW(pcMain, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  RECT pageArea;
  GetClientRect(pcMain, &pageArea);
  SendMessageW(pcMain, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&pageArea));
  const int pageWidth = pageArea.right - pageArea.left, pageHeight = pageArea.bottom - pageArea.top;

  tsComponent = made(CreateContainer(pcMain, idTsComponent, captions[0], pageArea.left,
                                     pageArea.top, pageWidth, pageHeight, false));
  lb2 = made(
      CreateLabel(measure.get(), tsComponent, idLb2, 8, 8,
                  L"Данная таблица содержит список установленных компонентов блока диагностики."));
  made(dgComp.Create(tsComponent, idDgComp, 8, 27, 509, 182));

  tsUpdate = made(CreateContainer(pcMain, idTsUpdate, captions[1], pageArea.left, pageArea.top,
                                  pageWidth, pageHeight, false));
  Label2 = made(CreateLabel(
      measure.get(), tsUpdate, idLabel2, 8, 7,
      L"Данная процедура позволяет обновить программные компоненты блока диагностики.\r\n"
      L"Внимание! После успешного обновления, файлы из директории будут удалены.\r\n"
      L"Для выполнения обновления файлов нажмите кнопку \"Обновить\".",
      444, 39));
  Label3 = made(
      CreateLabel(measure.get(), tsUpdate, idLabel3, 8, 55, L"Директория с обновляемыми файлами:"));
  // Focus order on the page: deUpdate, btUpdate, dgUpdate.
  // The folder field with its browse button at the right end, together in the designed
  // rectangle. The field comes right after its label: readers name a field by the label
  // before it.
  constexpr int FolderLeft = 219, FolderTop = 52, FolderWidth = 300, FolderHeight = 21;
  deUpdate = made(CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, FolderLeft,
                                  FolderTop, FolderWidth - BrowseButtonWidth, FolderHeight,
                                  tsUpdate, MenuId(idDeUpdate), instance, nullptr));
  SendMessageW(deUpdate, WM_SETFONT, font, FALSE);
  HWND browse = made(CreateWindowExW(0, L"BUTTON", L"...", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                     FolderLeft + FolderWidth - BrowseButtonWidth, FolderTop,
                                     BrowseButtonWidth, FolderHeight, tsUpdate,
                                     MenuId(idDeUpdateBrowse), instance, nullptr));
  SendMessageW(browse, WM_SETFONT, font, FALSE);
  if (browse) NameForReaders(browse, L"Выбрать папку с обновляемыми файлами");
  Label4 = made(
      CreateLabel(measure.get(), tsUpdate, idLabel4, 8, 75, L"Компоненты, готовые к обновлению:"));
  btUpdate = made(CreateWindowExW(0, L"BUTTON", L"Обновить",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 444, 257, 75,
                                  25, tsUpdate, MenuId(idBtUpdate), instance, nullptr));
  SendMessageW(btUpdate, WM_SETFONT, reinterpret_cast<WPARAM>(boldTahoma_.get()), FALSE);
  made(dgUpdate.Create(tsUpdate, idDgUpdate, 8, 95, 511, 154));

  // pl1: the status panel along the bottom, no bevel.
  pl1 = made(CreateContainer(main, idPl1, L"", 0, 362, ClientWidth, 54, true));
  lb1 = made(CreateLabel(measure.get(), pl1, idLb1, 8, 8, L"Статус:"));
  const SIZE statusSize = TextSize(measure.get(), boldTahoma_.get(), L"lbStatus");
  // Wide enough for any status up to the panel's edge; a longer one is cut there.
  lbStatus = made(CreateWindowExW(
      0, L"STATIC", L"lbStatus", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 71, 8,
      ClientWidth - 71, statusSize.cy, pl1, MenuId(idLbStatus), instance, nullptr));
  SendMessageW(lbStatus, WM_SETFONT, reinterpret_cast<WPARAM>(boldTahoma_.get()), FALSE);
  Label1 = made(CreateLabel(measure.get(), pl1, idLabel1, 8, 31, L"Состояние:"));
  made(Gauge.Create(pl1, idGauge, 72, 29, 190, 15));
  Gauge.SetFont(windowBoldFont_.get());

  return made.Code();
}
