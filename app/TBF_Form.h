// The form of TBF as data: one row per widget in the order they are made, which is also the
// order the Tab key visits them. TBFForm holds the widgets under their designed names, builds
// the window from the rows, and moves the keyboard focus along them.
#pragma once

#include <windows.h>

#include <variant>
#include <vector>

#include "WidgetIds.h"
#include "common/UniqueResource.h"
#include "views/DrawGrid.h"
#include "views/Gauge.h"
#include "views/GridCells.h"
#include "views/GridContent.h"

enum class TWidgetKind {
  PageControl,  // tabs of 1 by 1 pixel: pages change through the menu only
  Page,         // fills its page control's display area; hidden until chosen
  Panel,
  Label,       // a width or height of 0 is that of its text in its font
  FolderEdit,  // an edit field with a browse button at its right end
  Button,
  Grid,
  Gauge,
};

enum class TFontRole { None, Window, WindowBold, BoldTahoma };

// A grid as it starts: hidden while it changes, one row (the titles) of 18 pixels, the
// background in the button face, the columns as fractions of its width read once.
void SetUpGrid(TDrawGrid& grid, const std::vector<double>& factors, TWidthBase base);

class TBFForm {
 public:
  static constexpr int ClientWidth = 534;
  static constexpr int ClientHeight = 416;
  static constexpr int DesignedLeft = 256;
  static constexpr int DesignedTop = 230;

  // Any widget by its id (browse: idDeUpdateBrowse), for whoever reads the window, its tests
  // among them; nullptr before the form is built.
  HWND Widget(TWidgetId id) const;
  // The widget Tab (or Shift+Tab: backwards) moves the focus to from `from`: the next one of the
  // rows that takes the focus and can be seen, so never one on a hidden page; from the window
  // itself, the first (the last). nullptr when none can be seen.
  HWND NextTabStop(HWND from, bool backwards) const;
  // The keys the form handles itself before the dialog navigation sees them: Tab and Shift+Tab
  // along the rows (the pages lie inside the page control, where that navigation never looks),
  // and Enter on a focused button, which presses it. True when the message was handled.
  bool TranslateFormKey(const MSG& message);
  // The window's font ("MS Sans Serif", 8 point, Cyrillic) and its bold twin: the cells' fonts.
  TCellFonts CellFonts() const { return {windowFont_.get(), windowBoldFont_.get()}; }

 protected:
  using TMember =
      std::variant<std::monostate, HWND TBFForm::*, TDrawGrid TBFForm::*, TGauge TBFForm::*>;
  struct TRow {
    TWidgetId id;
    TWidgetKind kind;
    TWidgetId parent;
    int left, top, width, height;
    const wchar_t* text;
    TFontRole font;
    TMember member;
    const wchar_t* readerName = nullptr;  // nullptr: the one the system gives
  };
  static const TRow Rows[];

  TBFForm() = default;
  ~TBFForm() = default;
  TBFForm(const TBFForm&) = delete;
  TBFForm& operator=(const TBFForm&) = delete;

  // The main window of class MainWindowClass (owner: its lpCreateParams) with its menu, then
  // every widget of the rows. The error of the first that could not be made; ERROR_SUCCESS
  // when all were.
  DWORD BuildWidgets(void* owner);

  // Widgets, named as designed.
  HWND pcMain = nullptr;
  HWND tsComponent = nullptr;
  HWND tsUpdate = nullptr;
  HWND lb2 = nullptr;
  TDrawGrid dgComp;
  HWND Label2 = nullptr;
  HWND Label3 = nullptr;
  HWND deUpdate = nullptr;
  HWND Label4 = nullptr;
  TDrawGrid dgUpdate;
  HWND btUpdate = nullptr;
  HWND pl1 = nullptr;
  HWND lb1 = nullptr;
  HWND lbStatus = nullptr;
  HWND Label1 = nullptr;
  TGauge Gauge;

 private:
  struct TBuild;
  HWND MakeWidget(const TRow& row, TBuild& build);
  HFONT Font(TFontRole role) const;

  UniqueFont windowFont_, windowBoldFont_, boldTahoma_;
};
