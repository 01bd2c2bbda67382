// Control and menu command ids of the main window. Tests and the driver program find the
// widgets by them.
#pragma once

inline constexpr wchar_t MainWindowClass[] = L"TBF";

enum TWidgetId : int {
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
  idDeUpdateBrowse,
  idLabel4,
  idDgUpdate,
  idBtUpdate,
  idPl1,
  idLb1,
  idLbStatus,
  idLabel1,
  idGauge,
};
