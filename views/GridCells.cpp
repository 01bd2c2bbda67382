#include "GridCells.h"

#include <string>
#include <utility>

#include "common/Scopes.h"
#include "common/UniqueResource.h"
#include "views/CellGeometry.h"
#include "views/GridContent.h"

namespace {

// Keeps the text colour, background colour and background mode of the caller.
class SavedTextState {
 public:
  explicit SavedTextState(HDC dc)
      : dc_(dc), text_(GetTextColor(dc)), background_(GetBkColor(dc)), mode_(GetBkMode(dc)) {}
  SavedTextState(const SavedTextState&) = delete;
  SavedTextState& operator=(const SavedTextState&) = delete;
  ~SavedTextState() {
    SetTextColor(dc_, text_);
    SetBkColor(dc_, background_);
    SetBkMode(dc_, mode_);
  }

 private:
  HDC dc_;
  COLORREF text_;
  COLORREF background_;
  int mode_;
};

enum class TextPlace { Indented, Centred };

// One cell in progress: outline and fill drawn on construction, then its text.
class CellPainter {
 public:
  CellPainter(HDC dc, const TCellRect& outline, COLORREF fill)
      : dc_(dc),
        outline_(outline),
        fill_(fill),
        pen_(CreatePen(PS_SOLID, 1, CellOutlineColor)),
        brush_(CreateSolidBrush(fill)),
        textState_(dc),
        selectedPen_(dc, pen_.get()),
        selectedBrush_(dc, brush_.get()) {
    Rectangle(dc_, outline_.Left, outline_.Top, outline_.Right, outline_.Bottom);
  }

  // Text is drawn unclipped: wider than its cell it runs over the neighbours.
  void Text(const std::wstring& text, HFONT font, COLORREF colour, TextPlace place) {
    SelectedObject selectedFont(dc_, font);
    SetTextColor(dc_, colour);
    SetBkMode(dc_, OPAQUE);
    SetBkColor(dc_, fill_);
    const int length = static_cast<int>(text.size());
    SIZE extent{};
    GetTextExtentPoint32W(dc_, text.c_str(), length, &extent);
    const TTextOrigin origin = place == TextPlace::Centred
                                   ? CentredText(outline_, extent.cx, extent.cy)
                                   : IndentedText(outline_, extent.cy);
    TextOutW(dc_, origin.X, origin.Y, text.c_str(), length);
  }

 private:
  HDC dc_;
  TCellRect outline_;
  COLORREF fill_;
  UniquePen pen_;
  UniqueBrush brush_;
  SavedTextState textState_;
  SelectedObject selectedPen_;
  SelectedObject selectedBrush_;
};

TCellRect Outline(const RECT& cell, int column, int row, int columnCount, int rowCount) {
  return OutlineRect({cell.left, cell.top, cell.right, cell.bottom}, column, row, columnCount,
                     rowCount);
}

void DrawHeader(HDC dc, const TCellFonts& fonts, const TCellRect& outline, const wchar_t* title) {
  CellPainter painter(dc, outline, HeaderFillColor);
  painter.Text(title, fonts.Bold, HeaderTextColor, TextPlace::Centred);
}

template <size_t Count>
const wchar_t* TitleOf(const wchar_t* const (&titles)[Count], int column) {
  return column >= 0 && static_cast<size_t>(column) < Count ? titles[column] : L"";
}

// The record of a data row. The row count is kept at the list's count plus one, so it is there;
// the test only keeps a broken invariant from reading past the list.
template <typename List>
const typename List::value_type* RecordOf(const List* list, int row) {
  if (!list || row < 1 || static_cast<size_t>(row - 1) >= list->size()) return nullptr;
  return &(*list)[row - 1];
}

}  // namespace

void DrawCompCell(HDC dc, const TCellFonts& fonts, int column, int row, const RECT& cell,
                  int columnCount, int rowCount, const TFileList* list) {
  const TCellRect outline = Outline(cell, column, row, columnCount, rowCount);
  if (row == 0) {
    DrawHeader(dc, fonts, outline, TitleOf(CompGridHeaders, column));
    return;
  }
  CellPainter painter(dc, outline, DataFillColor);
  if (const TFileStruct* record = RecordOf(list, row))
    painter.Text(CompCellText(*record, column), fonts.Regular, DataTextColor, TextPlace::Indented);
}

void DrawUpdateCell(HDC dc, const TCellFonts& fonts, int column, int row, const RECT& cell,
                    int columnCount, int rowCount, const TUpdateList* list) {
  const TCellRect outline = Outline(cell, column, row, columnCount, rowCount);
  if (row == 0) {
    DrawHeader(dc, fonts, outline, TitleOf(UpdateGridHeaders, column));
    return;
  }
  CellPainter painter(dc, outline, DataFillColor);
  const auto* entry = RecordOf(list, row);
  if (!entry || !*entry) return;
  const TUpdateStruct& record = **entry;
  if (column == UpdateStatusColumn) {
    // The worker may change Status meanwhile: read it once so that text and colour agree.
    const int32_t status = record.Status.load();
    painter.Text(UpdateStatusText(status), fonts.Bold, UpdateStatusColor(status),
                 TextPlace::Centred);
  } else {
    painter.Text(UpdateCellText(record, column), fonts.Regular, DataTextColor,
                 TextPlace::Indented);
  }
}
