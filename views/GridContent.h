// What the two grids show, one column table per grid: each column's title, its width as a
// fraction of the grid's width, and its cell for a record (text, ink, weight, place). The grids'
// set-up, their drawing and what they tell a screen reader all read these tables.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "model/ComponentTable.h"
#include "model/TFileStruct.h"
#include "model/TUpdateStruct.h"
#include "views/Palette.h"

// The status texts, indexed by TUpdateStruct::Status (their colours are in the palette).
extern const wchar_t* const UpdateStatusTexts[UpdateStatusCount];
// The text and colour of a status; "" and black for a status outside the table.
std::wstring UpdateStatusText(int32_t status);
uint32_t UpdateStatusColor(int32_t status);

// One data cell as its column shows a record.
struct TCellContent {
  std::wstring Text;
  uint32_t Colour = DataTextColor;
  bool Bold = false;
  // Centred both ways, as the titles are; otherwise indented from the left and centred
  // vertically.
  bool Centred = false;
};

template <typename Record>
struct TGridColumn {
  const wchar_t* Title;
  double WidthFactor;
  TCellContent (*Content)(const Record& record);
};

// Which width a grid's column factors are fractions of, read once at set-up.
enum class TWidthBase { Client, Outer };

// dgComp: the unit's files. The factors add up to 1.03: the last column runs past the right
// edge, which has no scroll bar. Numbers in signed decimal.
inline constexpr TWidthBase CompGridWidthBase = TWidthBase::Client;
inline constexpr TGridColumn<TFileStruct> CompGridColumns[] = {
    {L"Имя", 0.35, [](const TFileStruct& r) { return TCellContent{r.Name}; }},
    {L"Атрибуты", 0.15,
     [](const TFileStruct& r) { return TCellContent{std::to_wstring(r.Attributes)}; }},
    {L"Дата", 0.16, [](const TFileStruct& r) { return TCellContent{r.Date}; }},
    {L"Время", 0.13, [](const TFileStruct& r) { return TCellContent{r.Time}; }},
    {L"Размер", 0.14, [](const TFileStruct& r) { return TCellContent{std::to_wstring(r.Size)}; }},
    {L"Версия", 0.1, [](const TFileStruct& r) { return TCellContent{r.Version}; }},
};

// dgUpdate: the update candidates; the status bold, centred, in its own colour. Status is read
// once per cell, so that text and colour always agree while the worker changes it.
inline constexpr TWidthBase UpdateGridWidthBase = TWidthBase::Outer;
inline constexpr TGridColumn<TUpdateStruct> UpdateGridColumns[] = {
    {L"Имя", 0.5,
     [](const TUpdateStruct& r) {
       // Only the scan writes Component, with rows 0 to 4; the test keeps a bad row from
       // indexing past the table.
       return TCellContent{r.Component >= 0 && r.Component < ComponentCount
                               ? ComponentDisplayNames[r.Component]
                               : L""};
     }},
    {L"Версия", 0.1, [](const TUpdateStruct& r) { return TCellContent{r.Version}; }},
    {L"Статус", 0.4,
     [](const TUpdateStruct& r) {
       const int32_t status = r.Status.load();
       return TCellContent{UpdateStatusText(status), UpdateStatusColor(status), true, true};
     }},
};

// The width factors of a table's columns, in column order.
template <typename Record>
std::vector<double> WidthFactors(std::span<const TGridColumn<Record>> columns) {
  std::vector<double> factors;
  for (const TGridColumn<Record>& column : columns) factors.push_back(column.WidthFactor);
  return factors;
}

// A data cell's text; "" for a column the table does not have.
template <typename Record>
std::wstring CellText(std::span<const TGridColumn<Record>> columns, const Record& record,
                      int column) {
  return column >= 0 && static_cast<size_t>(column) < columns.size()
             ? columns[column].Content(record).Text
             : std::wstring();
}
// The record grid row row shows: entry row - 1 of the list; null for the title row, a row past
// the list, an absent list or an absent entry.
template <typename List>
auto RecordOfRow(const List* list, int row) {
  const auto record = [](const auto& entry) {
    if constexpr (requires { entry.get(); }) {
      return entry.get();
    } else {
      return &entry;
    }
  };
  using Record = decltype(record((*list)[0]));
  if (!list || row < 1 || static_cast<size_t>(row - 1) >= list->size()) return Record{};
  return record((*list)[row - 1]);
}

// What grid row row shows in column: the title in row 0, else the cell of its record ("" where
// there is none).
template <typename Record, typename List>
std::wstring GridCellText(std::span<const TGridColumn<Record>> columns, int column, int row,
                          const List* list) {
  if (column < 0 || static_cast<size_t>(column) >= columns.size() || row < 0) return {};
  if (row == 0) return columns[column].Title;
  const Record* record = RecordOfRow(list, row);
  return record ? columns[column].Content(*record).Text : std::wstring();
}

inline std::wstring CompCellText(const TFileStruct& record, int column) {
  return CellText<TFileStruct>(CompGridColumns, record, column);
}
inline std::wstring UpdateCellText(const TUpdateStruct& record, int column) {
  return CellText<TUpdateStruct>(UpdateGridColumns, record, column);
}
