#include "GridCells.h"

#include <span>
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
  CellPainter(HDC dc, const TGridRect& outline, COLORREF fill)
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
  TGridRect outline_;
  COLORREF fill_;
  UniquePen pen_;
  UniqueBrush brush_;
  SavedTextState textState_;
  SelectedObject selectedPen_;
  SelectedObject selectedBrush_;
};

void DrawHeader(HDC dc, const TCellFonts& fonts, const TGridRect& outline, const wchar_t* title) {
  CellPainter painter(dc, outline, HeaderFillColor);
  painter.Text(title, fonts.Bold, HeaderTextColor, TextPlace::Centred);
}

// Row 0 shows the column titles, row r the record of entry r - 1 (null: none, only the outline
// and fill are drawn). The row count is kept at the list's count plus one, so a drawn row finds
// its record; the tests below only keep a broken invariant from reading past a table.
template <typename Record>
void DrawCell(HDC dc, const TCellFonts& fonts, std::span<const TGridColumn<Record>> columns,
              int column, int row, const RECT& cell, int columnCount, int rowCount,
              const Record* record) {
  const TGridRect outline = OutlineRect({cell.left, cell.top, cell.right, cell.bottom}, column, row,
                                        columnCount, rowCount);
  const bool known = column >= 0 && static_cast<size_t>(column) < columns.size();
  if (row == 0) {
    DrawHeader(dc, fonts, outline, known ? columns[column].Title : L"");
    return;
  }
  CellPainter painter(dc, outline, DataFillColor);
  if (!record || !known) return;
  const TCellContent content = columns[column].Content(*record);
  painter.Text(content.Text, content.Bold ? fonts.Bold : fonts.Regular, content.Colour,
               content.Centred ? TextPlace::Centred : TextPlace::Indented);
}

}  // namespace

void DrawCompCell(HDC dc, const TCellFonts& fonts, int column, int row, const RECT& cell,
                  int columnCount, int rowCount, const TFileList* list) {
  DrawCell<TFileStruct>(dc, fonts, CompGridColumns, column, row, cell, columnCount, rowCount,
                        RecordOfRow(list, row));
}

void DrawUpdateCell(HDC dc, const TCellFonts& fonts, int column, int row, const RECT& cell,
                    int columnCount, int rowCount, const TUpdateList* list) {
  DrawCell<TUpdateStruct>(dc, fonts, UpdateGridColumns, column, row, cell, columnCount, rowCount,
                          RecordOfRow(list, row));
}
