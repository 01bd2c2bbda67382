// The owner-drawn grid under Wine: which cells it asks for and where, the clip to each
// cell's row, the background beyond the cells, and row-wise scrolling with its scroll bar.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "common/Scopes.h"
#include "views/DrawGrid.h"

namespace {

struct Call {
  int column, row;
  RECT cell;
  HGDIOBJ font;
};

class DrawGridTest : public ::testing::Test {
 protected:
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 50, 50, 600, 300, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  TDrawGrid grid;
  std::vector<Call> calls;
  HFONT font = CreateFontW(-11, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
  // What the handler paints: a white cell in a grey outline one pixel wider and taller.
  std::function<void(HDC, const RECT&)> paint = [](HDC dc, const RECT& cell) {
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    RECT wide{cell.left, cell.top, cell.right + 1, cell.bottom + 1};
    FillRect(dc, &wide, white);
    DeleteObject(white);
  };

  void SetUp() override {
    ASSERT_TRUE(grid.Create(parent, 7, 8, 27, 509, 182));
    grid.SetColumnCount(6);
    const int widths[] = {178, 76, 81, 66, 71, 50};
    for (int c = 0; c < 6; ++c) grid.SetColumnWidth(c, widths[c]);
    grid.SetDefaultRowHeight(18);
    grid.SetColor(RGB(0xDF, 0xDF, 0xDF));
    grid.SetFont(font);
    grid.SetDrawCellHandler([this](HDC dc, int column, int row, const RECT& cell) {
      calls.push_back({column, row, cell, GetCurrentObject(dc, OBJ_FONT)});
      paint(dc, cell);
    });
  }
  void TearDown() override {
    DestroyWindow(parent);
    DeleteObject(font);
  }
  void Repaint() {
    calls.clear();
    grid.RepaintNow();
  }
  COLORREF Pixel(int x, int y) { return GetPixel(WindowDC(grid.Handle()).get(), x, y); }
  bool ScrollBarShown() {
    SCROLLBARINFO info{};
    info.cbSize = sizeof info;
    GetScrollBarInfo(grid.Handle(), OBJID_VSCROLL, &info);
    return !(info.rgstate[0] & STATE_SYSTEM_INVISIBLE);
  }
};

TEST_F(DrawGridTest, AsksForEveryVisibleCellWithItsRectangleAndTheFont) {
  grid.SetRowCount(3);
  Repaint();
  ASSERT_EQ(calls.size(), 18u);
  EXPECT_EQ(calls[0].column, 0);
  EXPECT_EQ(calls[0].row, 0);
  const Call& last = calls.back();
  EXPECT_EQ(last.column, 5);
  EXPECT_EQ(last.row, 2);
  // Right and bottom exclusive; the last column reaches past the 509-pixel client area.
  EXPECT_EQ(last.cell.left, 472);
  EXPECT_EQ(last.cell.right, 522);
  EXPECT_EQ(last.cell.top, 36);
  EXPECT_EQ(last.cell.bottom, 54);
  for (const Call& call : calls) EXPECT_EQ(call.font, font);
  EXPECT_EQ(grid.ClientWidth(), 509);  // no scroll bar while every row fits
  EXPECT_FALSE(ScrollBarShown());
}

TEST_F(DrawGridTest, SpillStaysInItsRowAndLaterCellsCoverIt) {
  grid.SetRowCount(2);
  paint = [](HDC dc, const RECT& cell) {
    HBRUSH brush =
        CreateSolidBrush(cell.left == 178 && cell.top == 0 ? RGB(255, 0, 0) : RGB(255, 255, 255));
    // Cell (1, 0) paints far too much; every other cell its own area and one pixel beyond.
    RECT area = cell.left == 178 && cell.top == 0
                    ? RECT{-100, -100, 1000, 1000}
                    : RECT{cell.left, cell.top, cell.right + 1, cell.bottom + 1};
    FillRect(dc, &area, brush);
    DeleteObject(brush);
  };
  Repaint();
  EXPECT_EQ(Pixel(5, 5), RGB(255, 0, 0));           // over the cell drawn before it, in its row
  EXPECT_EQ(Pixel(260, 5), RGB(255, 255, 255));     // the cell drawn after it covers the spill
  EXPECT_EQ(Pixel(5, 18), RGB(255, 255, 255));      // the next row paints over the shared pixel
  EXPECT_EQ(Pixel(5, 100), RGB(0xDF, 0xDF, 0xDF));  // below the last row: the grid's colour
}

TEST_F(DrawGridTest, ScrollsByWholeRowsAndTheHeaderScrollsAway) {
  grid.SetRowCount(20);
  EXPECT_TRUE(ScrollBarShown());
  EXPECT_EQ(grid.ClientWidth(), 509 - GetSystemMetrics(SM_CXVSCROLL));
  SendMessageW(grid.Handle(), WM_VSCROLL, SB_LINEDOWN, 0);
  SendMessageW(grid.Handle(), WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(grid.TopRow(), 2);
  Repaint();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front().row, 2);
  EXPECT_EQ(calls.front().cell.top, 0);
  // 182 pixels show ten whole rows: the last top row is 10, and row 19 is the last drawn.
  SendMessageW(grid.Handle(), WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(grid.TopRow(), 10);
  Repaint();
  EXPECT_EQ(calls.back().row, 19);
  // Fewer rows pull the scroll position back and hide the bar.
  grid.SetRowCount(4);
  EXPECT_EQ(grid.TopRow(), 0);
  EXPECT_FALSE(ScrollBarShown());
}

TEST_F(DrawGridTest, AClickSelectsACellWithoutChangingTheDrawing) {
  grid.SetRowCount(3);
  SendMessageW(grid.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 20));
  EXPECT_EQ(grid.Selection(), (TGridCell{1, 1}));
  Repaint();
  EXPECT_EQ(calls.size(), 18u);
}

}  // namespace
