// The six component programs the unit runs: file name and display name per row. The row
// number goes to the unit in the update confirmation, so the order is fixed.
#pragma once

#include <string>
#include <string_view>

inline constexpr int ComponentCount = 6;
// The unit's control program: listed from the unit, never an update candidate.
inline constexpr int ControlProgramRow = 5;
inline constexpr int NoComponent = -1;

extern const char ComponentFileNames[ComponentCount][13];
extern const wchar_t* const ComponentDisplayNames[ComponentCount];

// The file name of a row as wide text.
std::wstring ComponentFileName(int row);

// The first row whose file name equals fileName when both are upper-cased, or NoComponent.
// The whole name is compared, extension included.
int FindComponentRow(std::wstring_view fileName);
