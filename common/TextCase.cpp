#include "TextCase.h"

#ifdef _WIN32
#include <windows.h>
#endif

std::wstring UpperCase(std::wstring_view text) {
  std::wstring upper(text);
#ifdef _WIN32
  if (!upper.empty()) CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
#else
  for (wchar_t& c : upper) {
    if ((c >= L'a' && c <= L'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x430 && c <= 0x44F))
      c = static_cast<wchar_t>(c - 0x20);
    else if (c >= 0x450 && c <= 0x45F)
      c = static_cast<wchar_t>(c - 0x50);
    else if (c == 0x491)
      c = 0x490;
    else if (c == 0xFF)
      c = 0x178;
  }
#endif
  return upper;
}

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}
