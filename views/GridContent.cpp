#include "GridContent.h"

const wchar_t* const UpdateStatusTexts[UpdateStatusCount] = {
    L"готов к обновлению",
    L"обновление выполнено успешно",
    L"обновление не удалось",
    L"выполняется обновление",
};

namespace {
bool KnownStatus(int32_t status) { return status >= 0 && status < UpdateStatusCount; }
}  // namespace

std::wstring UpdateStatusText(int32_t status) {
  return KnownStatus(status) ? UpdateStatusTexts[status] : L"";
}

uint32_t UpdateStatusColor(int32_t status) {
  return KnownStatus(status) ? UpdateStatusColors[status] : DataTextColor;
}
