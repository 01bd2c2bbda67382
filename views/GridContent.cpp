#include "GridContent.h"

#include "model/ComponentTable.h"

const wchar_t* const CompGridHeaders[CompGridColumns] = {
    L"Имя", L"Атрибуты", L"Дата", L"Время", L"Размер", L"Версия",
};

const wchar_t* const UpdateGridHeaders[UpdateGridColumns] = {L"Имя", L"Версия", L"Статус"};

const wchar_t* const UpdateStatusTexts[UpdateStatusCount] = {
    L"готов к обновлению",
    L"обновление выполнено успешно",
    L"обновление не удалось",
    L"выполняется обновление",
};

const uint32_t UpdateStatusColors[UpdateStatusCount] = {0xFF0000, 0x008000, 0x0000FF, 0x009191};

namespace {
bool KnownStatus(int32_t status) { return status >= 0 && status < UpdateStatusCount; }
}  // namespace

std::wstring CompCellText(const TFileStruct& record, int column) {
  switch (column) {
    case 0: return record.Name;
    case 1: return std::to_wstring(record.Attributes);
    case 2: return record.Date;
    case 3: return record.Time;
    case 4: return std::to_wstring(record.Size);
    case 5: return record.Version;
    default: return {};
  }
}

std::wstring UpdateCellText(const TUpdateStruct& record, int column) {
  switch (column) {
    case 0:
      // Only the scan writes Component, with rows 0 to 4; the test keeps a bad row from
      // indexing past the table.
      return record.Component >= 0 && record.Component < ComponentCount
                 ? ComponentDisplayNames[record.Component]
                 : L"";
    case 1: return record.Version;
    case UpdateStatusColumn: return UpdateStatusText(record.Status.load());
    default: return {};
  }
}

std::wstring UpdateStatusText(int32_t status) {
  return KnownStatus(status) ? UpdateStatusTexts[status] : L"";
}

uint32_t UpdateStatusColor(int32_t status) {
  return KnownStatus(status) ? UpdateStatusColors[status] : DataTextColor;
}
