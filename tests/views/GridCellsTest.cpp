// The cell painting into a 32-bit memory bitmap with the real "MS Sans Serif" faces, checked at
// the pixels that make the look: shared borders, the line under the header, fills, text colours.
#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "common/Scopes.h"
#include "common/UniqueResource.h"
#include "views/GridCells.h"
#include "views/GridContent.h"

namespace {

constexpr COLORREF Background = RGB(0x12, 0x34, 0x56);  // the grid's own background
constexpr COLORREF Grey = CellOutlineColor;
constexpr COLORREF HeaderFill = HeaderFillColor;
constexpr COLORREF Navy = HeaderTextColor;
constexpr COLORREF White = DataFillColor;
constexpr COLORREF Black = DataTextColor;
constexpr int RowHeight = 18;

const std::vector<int> CompWidths{178, 76, 81, 66, 71, 50};
const std::vector<int> UpdateWidths{255, 51, 204};

UniqueFont MakeFont(int weight) {
  return UniqueFont(CreateFontW(-11, 0, 0, 0, weight, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif"));
}

using CellFn = std::function<void(HDC, const TCellFonts&, int column, int row, const RECT&)>;

class Canvas {
 public:
  Canvas(int width, int height)
      : width_(width),
        height_(height),
        dc_(CreateCompatibleDC(nullptr)),
        bitmap_(TopDownBitmap(width, height, bits_)),
        regular_(MakeFont(FW_NORMAL)),
        bold_(MakeFont(FW_BOLD)),
        selectedBitmap_(dc_.get(), bitmap_.get()),
        // The grid selects its font before each call; so does this canvas.
        selectedFont_(dc_.get(), regular_.get()) {
    for (int i = 0; i < width * height; ++i) bits_[i] = ToPixel(Background);
  }

  HDC Dc() const { return dc_.get(); }
  TCellFonts Fonts() const { return {regular_.get(), bold_.get()}; }
  std::wstring FaceOf(HFONT font) const {
    SelectedObject selected(dc_.get(), font);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc_.get(), LF_FACESIZE, face);
    return face;
  }
  int ExtentOf(HFONT font, const std::wstring& text) const {
    SelectedObject selected(dc_.get(), font);
    SIZE size{};
    GetTextExtentPoint32W(dc_.get(), text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
  }

  // Every cell of a grid with these column widths, row by row, as the grid paints them.
  void Grid(const std::vector<int>& widths, int rowCount, const CellFn& draw) {
    for (int row = 0; row < rowCount; ++row) {
      int left = 0;
      for (int column = 0; column < static_cast<int>(widths.size()); ++column) {
        Cell(column, row, {left, row * RowHeight, left + widths[column], (row + 1) * RowHeight},
             draw);
        left += widths[column];
      }
    }
  }
  void Cell(int column, int row, const RECT& cell, const CellFn& draw) {
    SelectObject(dc_.get(), regular_.get());
    draw(dc_.get(), Fonts(), column, row, cell);
    GdiFlush();
  }

  COLORREF At(int x, int y) const {
    const uint32_t pixel = bits_[y * width_ + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
  }
  // The box of the pixels of one colour inside [left, right) x [top, bottom).
  RECT Ink(COLORREF colour, const RECT& area) const {
    RECT box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (int y = std::max(0, int(area.top)); y < std::min(height_, int(area.bottom)); ++y)
      for (int x = std::max(0, int(area.left)); x < std::min(width_, int(area.right)); ++x)
        if (At(x, y) == colour) {
          box.left = std::min(box.left, LONG(x));
          box.top = std::min(box.top, LONG(y));
          box.right = std::max(box.right, LONG(x + 1));
          box.bottom = std::max(box.bottom, LONG(y + 1));
        }
    return box;
  }
  bool Has(COLORREF colour, const RECT& area) const { return Ink(colour, area).left != INT_MAX; }
  std::vector<COLORREF> Region(const RECT& area) const {
    std::vector<COLORREF> pixels;
    for (int y = area.top; y < area.bottom; ++y)
      for (int x = area.left; x < area.right; ++x) pixels.push_back(At(x, y));
    return pixels;
  }

 private:
  static uint32_t ToPixel(COLORREF colour) {
    return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
  }

  // A 32-bit top-down DIB: row y starts at y * width.
  static HBITMAP TopDownBitmap(int width, int height, uint32_t*& bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* memory = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
    bits = static_cast<uint32_t*>(memory);
    return bitmap;
  }

  int width_;
  int height_;
  uint32_t* bits_ = nullptr;
  UniqueMemoryDC dc_;
  UniqueBitmap bitmap_;
  UniqueFont regular_;
  UniqueFont bold_;
  SelectedObject selectedBitmap_;
  SelectedObject selectedFont_;
};

CellFn Comp(const TFileList* list, int rowCount) {
  return [=](HDC dc, const TCellFonts& fonts, int column, int row, const RECT& cell) {
    DrawCompCell(dc, fonts, column, row, cell, std::size(CompGridColumns), rowCount, list);
  };
}

CellFn Update(const TUpdateList* list, int rowCount,
              int columnCount = std::size(UpdateGridColumns)) {
  return [=](HDC dc, const TCellFonts& fonts, int column, int row, const RECT& cell) {
    DrawUpdateCell(dc, fonts, column, row, cell, columnCount, rowCount, list);
  };
}

TFileStruct FileRecord(const std::wstring& name, int32_t size) {
  TFileStruct record;
  record.Name = name;
  record.Date = L"2007.05.14";
  record.Time = L"14:03.26";
  record.Version = L"2.15";
  record.Size = size;
  record.Attributes = 32;
  return record;
}

std::shared_ptr<TUpdateStruct> Candidate(int component, int32_t status,
                                         const std::wstring& version) {
  auto record = std::make_shared<TUpdateStruct>();
  record->Component = component;
  record->Status = status;
  record->Version = version;
  return record;
}

int CentreOf(const RECT& box) { return (box.left + box.right) / 2; }

TEST(GridCells, TheRealFacesAreInstalled) {
  Canvas canvas(10, 10);
  EXPECT_EQ(canvas.FaceOf(canvas.Fonts().Regular), L"MS Sans Serif");
  EXPECT_EQ(canvas.FaceOf(canvas.Fonts().Bold), L"MS Sans Serif");
}

TEST(GridCells, HeaderOnlyGridReadsNoListAndCentresNavyTitles) {
  Canvas canvas(540, 40);
  canvas.Grid(UpdateWidths, 1, Update(nullptr, 1));
  // Outline around the header, borders shared at 255 and 306, last column not extended.
  EXPECT_EQ(canvas.At(0, 0), Grey);
  EXPECT_EQ(canvas.At(0, 17), Grey);
  EXPECT_EQ(canvas.At(100, 17), Grey);
  EXPECT_EQ(canvas.At(255, 9), Grey);
  EXPECT_EQ(canvas.At(254, 9), HeaderFill);
  EXPECT_EQ(canvas.At(256, 9), HeaderFill);
  EXPECT_EQ(canvas.At(306, 9), Grey);
  EXPECT_EQ(canvas.At(509, 9), Grey);
  EXPECT_EQ(canvas.At(508, 9), HeaderFill);
  EXPECT_EQ(canvas.At(510, 9), Background);
  EXPECT_EQ(canvas.At(100, 18), Background);
  EXPECT_EQ(canvas.At(1, 1), HeaderFill);
  // Each title in navy, centred in its outline (ink may differ from the extent by a pixel).
  const int lefts[] = {0, 255, 306}, rights[] = {256, 307, 510};
  for (int column = 0; column < 3; ++column) {
    const RECT ink = canvas.Ink(Navy, {lefts[column], 0, rights[column], 18});
    ASSERT_NE(ink.left, INT_MAX) << "column " << column;
    EXPECT_NEAR(CentreOf(ink), (lefts[column] + rights[column]) / 2, 2) << "column " << column;
    EXPECT_NEAR((ink.top + ink.bottom) / 2, 9, 2);
    EXPECT_FALSE(canvas.Has(Black, {lefts[column], 0, rights[column], 18}));
  }
}

TEST(GridCells, CompRowsShareBordersAndShowTheirRecords) {
  const TFileList list{FileRecord(L"Тест контактов PELIKAR", INT32_MIN), FileRecord(L"x", 0)};
  Canvas canvas(560, 80);
  canvas.Grid(CompWidths, 3, Comp(&list, 3));
  // Two-pixel line under the header: its own bottom outline and row 1's top.
  EXPECT_EQ(canvas.At(5, 16), HeaderFill);
  EXPECT_EQ(canvas.At(5, 17), Grey);
  EXPECT_EQ(canvas.At(5, 18), Grey);
  EXPECT_EQ(canvas.At(5, 19), White);
  // One shared pixel between data rows 1 and 2.
  EXPECT_EQ(canvas.At(5, 35), White);
  EXPECT_EQ(canvas.At(5, 36), Grey);
  EXPECT_EQ(canvas.At(5, 37), White);
  // The last row's bottom and the last column's right stay inside their cells.
  EXPECT_EQ(canvas.At(5, 53), Grey);
  EXPECT_EQ(canvas.At(5, 54), Background);
  EXPECT_EQ(canvas.At(521, 30), Grey);
  EXPECT_EQ(canvas.At(520, 30), White);
  EXPECT_EQ(canvas.At(522, 30), Background);
  // Shared border between columns 0 and 1 in a data row.
  EXPECT_EQ(canvas.At(177, 27), White);
  EXPECT_EQ(canvas.At(178, 27), Grey);
  EXPECT_EQ(canvas.At(179, 27), White);
  // Data text: black, regular, 6 pixels in, never navy.
  const RECT name = canvas.Ink(Black, {0, 19, 178, 36});
  ASSERT_NE(name.left, INT_MAX);
  EXPECT_GE(name.left, 6);
  EXPECT_LE(name.left, 8);
  EXPECT_FALSE(canvas.Has(Navy, {0, 18, 560, 80}));
  const int nameWidth = name.right - name.left;
  const std::wstring nameText = L"Тест контактов PELIKAR";
  EXPECT_LT(std::abs(nameWidth - canvas.ExtentOf(canvas.Fonts().Regular, nameText)),
            std::abs(nameWidth - canvas.ExtentOf(canvas.Fonts().Bold, nameText)))
      << "the name is drawn in the regular weight";
  // The negative size is a longer text than "0" in the row below.
  const RECT negative = canvas.Ink(Black, {178 + 76 + 81 + 66, 19, 472, 36});
  const RECT zero = canvas.Ink(Black, {178 + 76 + 81 + 66, 37, 472, 54});
  ASSERT_NE(negative.left, INT_MAX);
  ASSERT_NE(zero.left, INT_MAX);
  EXPECT_GT(negative.right - negative.left, 4 * (zero.right - zero.left));
}

TEST(GridCells, StatusesShowInTheirColoursBoldAndCentred) {
  const TUpdateList list{Candidate(0, usReady, L"1.2"), Candidate(1, usSucceeded, L"???"),
                         Candidate(2, usFailed, L"3.0"), Candidate(4, usInProgress, L"9.9")};
  Canvas canvas(540, 100);
  canvas.Grid(UpdateWidths, 5, Update(&list, 5));
  for (int row = 1; row <= 4; ++row) {
    const int32_t status = list[row - 1]->Status;
    const COLORREF colour = UpdateStatusColors[status];
    const RECT cell{306, row * RowHeight + 1, 509, row * RowHeight + RowHeight};
    const RECT ink = canvas.Ink(colour, cell);
    ASSERT_NE(ink.left, INT_MAX) << "row " << row;
    EXPECT_NEAR(CentreOf(ink), (306 + 510) / 2, 2) << "row " << row;
    EXPECT_FALSE(canvas.Has(Black, cell)) << "row " << row;
    // Bold: the ink is as wide as the bold extent, clearly wider than the regular one.
    const std::wstring text = UpdateStatusTexts[status];
    const int bold = canvas.ExtentOf(canvas.Fonts().Bold, text);
    const int regular = canvas.ExtentOf(canvas.Fonts().Regular, text);
    ASSERT_GT(bold, regular);
    EXPECT_LT(std::abs((ink.right - ink.left) - bold), std::abs((ink.right - ink.left) - regular))
        << "row " << row;
    // Name and version black, left-aligned at 6 pixels.
    const RECT nameInk = canvas.Ink(Black, {0, cell.top, 255, cell.bottom});
    const RECT versionInk = canvas.Ink(Black, {255, cell.top, 306, cell.bottom});
    ASSERT_NE(nameInk.left, INT_MAX);
    ASSERT_NE(versionInk.left, INT_MAX);
    EXPECT_LE(nameInk.left - 6, 2);
    EXPECT_LE(versionInk.left - (255 + 6), 2);
    EXPECT_GE(versionInk.left, 255 + 6);
    EXPECT_EQ(canvas.At(300, cell.top + 1), White);
  }
  EXPECT_EQ(canvas.At(100, 89), Grey);  // last row, not extended
  EXPECT_EQ(canvas.At(100, 90), Background);
}

TEST(GridCells, NoCellDependsOnWhatTheCellBeforeLeft) {
  const TUpdateList list{Candidate(3, usFailed, L"2.15"), Candidate(1, usReady, L"1.0")};
  const RECT nameCell{0, 18, 255, 36};
  Canvas fresh(300, 60);
  fresh.Cell(0, 1, nameCell, Update(&list, 3));
  Canvas after(300, 60);
  after.Cell(0, 0, {0, 0, 255, 18}, Update(&list, 3));
  after.Cell(2, 2, {0, 18, 255, 36}, Update(&list, 3));  // bold red status where the name goes
  SetTextColor(after.Dc(), RGB(255, 0, 255));
  SetBkMode(after.Dc(), TRANSPARENT);
  SelectObject(after.Dc(), after.Fonts().Bold);
  DrawUpdateCell(after.Dc(), after.Fonts(), 0, 1, nameCell, 3, 3, &list);
  GdiFlush();
  EXPECT_EQ(fresh.Region({0, 18, 256, 37}), after.Region({0, 18, 256, 37}));
  // And the caller's state comes back.
  EXPECT_EQ(GetTextColor(after.Dc()), RGB(255, 0, 255));
  EXPECT_EQ(GetBkMode(after.Dc()), TRANSPARENT);
  EXPECT_EQ(GetCurrentObject(after.Dc(), OBJ_FONT), after.Fonts().Bold);
}

TEST(GridCells, WideTextRunsOverItsCellWithItsFill) {
  const TFileList list{FileRecord(L"Диагностический тест MERIDOX и ещё длинный хвост", 1)};
  Canvas canvas(400, 40);
  // A narrow cell alone: the text goes on past its outline, over the background.
  canvas.Cell(0, 1, {100, 18, 140, 36}, Comp(&list, 2));
  const RECT ink = canvas.Ink(Black, {100, 18, 400, 36});
  EXPECT_GT(ink.right, 200);
  EXPECT_EQ(canvas.At(140, 19), Grey);  // above the text, the outline is still there
  EXPECT_TRUE(canvas.Has(White, {141, 19, 200, 36})) << "text background is the fill, opaque";
  // A centred title wider than its cell starts left of it.
  canvas.Cell(1, 0, {300, 0, 310, 18}, Comp(nullptr, 1));
  const RECT title = canvas.Ink(Navy, {200, 0, 400, 18});
  ASSERT_NE(title.left, INT_MAX);
  EXPECT_LT(title.left, 300);
  EXPECT_GT(title.right, 311);
}

}  // namespace
