// Control and menu command ids of the main window, and its menu. Tests and the driver program
// find the widgets by them.
#pragma once

inline constexpr wchar_t MainWindowClass[] = L"TBF";

enum TWidgetId : int {
  // The main window itself, as the parent of the widgets placed straight on it.
  idTBF = 0,
  // Menu commands (never IDOK or IDCANCEL: the dialog-style navigation sends those).
  idMiComp = 101,
  idMiUpdate = 102,
  idMiExit = 103,
  // Widgets.
  idPcMain = 200,
  idTsComponent,
  idTsUpdate,
  idLb2,
  idDgComp,
  idLabel2,
  idLabel3,
  idDeUpdate,
  idDeUpdateBrowse,  // deUpdate's browse button: the id after the field's
  idLabel4,
  idDgUpdate,
  idBtUpdate,
  idPl1,
  idLb1,
  idLbStatus,
  idLabel1,
  idGauge,
};

struct TMenuItem {
  TWidgetId id;
  const wchar_t* caption;
};

// The menu bar, left to right: three items, no submenus.
inline constexpr TMenuItem MainMenu[] = {
    {idMiComp, L"Компоненты"},
    {idMiUpdate, L"Обновление"},
    {idMiExit, L"Выход"},
};
