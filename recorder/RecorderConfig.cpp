#include "RecorderConfig.h"

#include <cctype>
#include <fstream>
#include <iterator>

#include "common/Utf8.h"

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::filesystem::path PathOf(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace

TRecorderConfig ParseRecorderConfig(std::string_view bytes,
                                    const std::filesystem::path& recorderFolder,
                                    TAnsiDecoder ansi) {
  TRecorderConfig config;
  config.Folder = recorderFolder;
  // Sound UTF-8 from here on, whatever the file was saved in: paths are made from it.
  const std::string utf8 = Utf8FromWide(WideFromText(bytes, ansi));
  std::string_view text = utf8;
  auto fail = [&](int line, const std::wstring& message) {
    if (config.Error.empty())
      config.Error = L"recorder.ini, строка " + std::to_wstring(line) + L": " + message;
  };
  std::string section;
  bool componentGiven = false;
  int number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') fail(number, L"раздел без закрывающей скобки");
      section = Lower(Trim(line.substr(1, line.size() - 2)));
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      fail(number, L"нужна строка вида ключ = значение");
      continue;
    }
    if (section != "recorder") continue;  // other sections are for other tools
    const std::string key = Lower(Trim(line.substr(0, equals)));
    std::string_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (key == "component") {
      config.Component = PathOf(value);
      componentGiven = true;
      // A \\?\ path is full, though the library does not count it so.
      if (value.empty() || !(config.Component.is_absolute() || value.starts_with("\\\\?\\")))
        fail(number, L"component: нужен полный путь к Varnel.dll производителя, а не \"" +
                         WideFromUtf8(value) + L"\"");
    } else if (key == "folder") {
      if (!value.empty()) config.Folder = recorderFolder / PathOf(value);
    } else {
      fail(number, L"неизвестный ключ \"" + WideFromUtf8(key) + L"\" в разделе [recorder]");
    }
  }
  if (!componentGiven && config.Error.empty())
    config.Error =
        L"recorder.ini: в разделе [recorder] не задан component (полный путь к "
        L"Varnel.dll производителя)";
  return config;
}

TRecorderConfig LoadRecorderConfig(const std::filesystem::path& recorderFolder) {
  const std::filesystem::path file = recorderFolder / RecorderConfigName;
  std::ifstream stream(file, std::ios::binary);
  if (!stream) {
    TRecorderConfig config;
    config.Folder = recorderFolder;
    const std::u8string name = file.u8string();
    config.Error =
        L"Не найден файл настройки записи " + WideFromUtf8(std::string(name.begin(), name.end()));
    return config;
  }
  const std::string text((std::istreambuf_iterator<char>(stream)),
                         std::istreambuf_iterator<char>());
  return ParseRecorderConfig(text, recorderFolder);
}
