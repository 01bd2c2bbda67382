// Every colour the window draws with, in one place. COLORREF values: blue in bits 16 to 23,
// green in 8 to 15, red in 0 to 7.
#pragma once

#include <cstdint>

// The grids' cells.
inline constexpr uint32_t CellOutlineColor = 0x808080;  // grey
inline constexpr uint32_t HeaderFillColor = 0xDFDFDF;   // light grey; also a grid's designed colour
inline constexpr uint32_t HeaderTextColor = 0x800000;   // navy
inline constexpr uint32_t DataFillColor = 0xFFFFFF;     // white
inline constexpr uint32_t DataTextColor = 0x000000;     // black

// The update statuses, indexed by TUpdateStruct::Status: ready blue, succeeded green, failed
// red, in progress olive.
inline constexpr int UpdateStatusCount = 4;
inline constexpr uint32_t UpdateStatusColors[UpdateStatusCount] = {0xFF0000, 0x008000, 0x0000FF,
                                                                   0x009191};

// The status line's ink after a failure (otherwise the system's window-text colour).
inline constexpr uint32_t FailureInkColor = 0x0000FF;  // red

// The gauge: a navy bar over a white ground, the percentage in yellow.
inline constexpr uint32_t GaugeBarColor = 0x800000;
inline constexpr uint32_t GaugeGroundColor = 0xFFFFFF;
inline constexpr uint32_t GaugeTextColor = 0x00FFFF;
