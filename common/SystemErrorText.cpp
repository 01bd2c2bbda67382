#include "SystemErrorText.h"

#include "common/UniqueResource.h"

std::wstring SystemErrorText(DWORD code, DWORD language) {
  UniqueLocalMemory<wchar_t> text;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, language, reinterpret_cast<wchar_t*>(text.put()), 0, nullptr);
  return length && text ? std::wstring(text.get(), length) : std::wstring();
}
