#include "SimIni.h"

namespace {

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

TIniDocument ParseIni(std::string_view text) {
  TIniDocument document;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  document.Sections.push_back({"", 0, {}});
  int lineNumber = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNumber;
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    const auto fail = [&](const wchar_t* message) {
      if (document.ErrorLine == 0) {
        document.ErrorLine = lineNumber;
        document.Error = message;
      }
    };
    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3) {
        fail(L"заголовок раздела должен иметь вид [имя]");
        continue;
      }
      document.Sections.push_back(
          {AsciiLower(Trim(line.substr(1, line.size() - 2))), lineNumber, {}});
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || Trim(line.substr(0, equals)).empty()) {
      fail(L"строка должна иметь вид ключ = значение");
      continue;
    }
    std::string_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    document.Sections.back().Entries.push_back(
        {AsciiLower(Trim(line.substr(0, equals))), std::string(value), lineNumber});
  }
  return document;
}
