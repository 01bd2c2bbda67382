#include "GridContent.h"

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

std::wstring UpdateStatusText(int32_t status) {
  return KnownStatus(status) ? UpdateStatusTexts[status] : L"";
}

uint32_t UpdateStatusColor(int32_t status) {
  return KnownStatus(status) ? UpdateStatusColors[status] : DataTextColor;
}
