// Single-byte text whose characters are its bytes (ASCII names, an exception's what()) as
// UTF-16, one unit per byte, whatever the system's code page.
#pragma once

#include <string>
#include <string_view>

inline std::wstring Widen(std::string_view bytes) {
  std::wstring text;
  text.reserve(bytes.size());
  for (char byte : bytes) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));
  return text;
}
