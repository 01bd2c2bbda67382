// What the two grids show: column titles, cell texts, status texts and colours.
// Colours are COLORREF values: blue in bits 16 to 23, green in 8 to 15, red in 0 to 7.
#pragma once

#include <cstdint>
#include <string>

#include "model/TFileStruct.h"
#include "model/TUpdateStruct.h"

inline constexpr int CompGridColumns = 6;
inline constexpr int UpdateGridColumns = 3;
inline constexpr int UpdateStatusCount = 4;
// dgUpdate's column drawn bold, centred and in the colour of its status.
inline constexpr int UpdateStatusColumn = 2;

extern const wchar_t* const CompGridHeaders[CompGridColumns];
extern const wchar_t* const UpdateGridHeaders[UpdateGridColumns];
extern const wchar_t* const UpdateStatusTexts[UpdateStatusCount];
extern const uint32_t UpdateStatusColors[UpdateStatusCount];

inline constexpr uint32_t CellOutlineColor = 0x808080;
inline constexpr uint32_t HeaderFillColor = 0xDFDFDF;
inline constexpr uint32_t HeaderTextColor = 0x800000;
inline constexpr uint32_t DataFillColor = 0xFFFFFF;
inline constexpr uint32_t DataTextColor = 0x000000;

// The text of a dgComp data cell; numbers in signed decimal.
std::wstring CompCellText(const TFileStruct& record, int column);
// The text of a dgUpdate data cell; "" for a status outside the table.
std::wstring UpdateCellText(const TUpdateStruct& record, int column);
// The text and colour of a status; "" and black for a status outside the table. The painter
// reads Status once and passes it to both, so text and colour always agree.
std::wstring UpdateStatusText(int32_t status);
uint32_t UpdateStatusColor(int32_t status);
