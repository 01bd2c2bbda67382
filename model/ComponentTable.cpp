#include "ComponentTable.h"

#include <string>

#include "common/TextCase.h"
#include "common/Widen.h"

const char ComponentFileNames[ComponentCount][13] = {
    "meridox.exe", "salvik.exe", "tormund.exe", "pelikar.exe", "volnikar.exe", "qem.exe",
};

const wchar_t* const ComponentDisplayNames[ComponentCount] = {
    L"Диагностический тест MERIDOX", L"Диагностика системы SALVIK", L"Сигнатурный тест TORMUND",
    L"Тест контактов PELIKAR",       L"Тест памяти ZELMORA",        L"Программа управления QEM",
};

std::wstring ComponentFileName(int row) { return Widen(ComponentFileNames[row]); }

int FindComponentRow(std::wstring_view fileName) {
  const std::wstring name = UpperCase(fileName);
  for (int row = 0; row < ComponentCount; ++row)
    if (name == UpperCase(ComponentFileName(row))) return row;
  return NoComponent;
}
