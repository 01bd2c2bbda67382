#include "SimConfig.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#include "SimIni.h"
#include "common/Utf8.h"

namespace {

constexpr std::string_view ComPortMethods[] = {
    "Configure", "Reset", "Shutdown", "SetErrorOption", "Close", "SetTimeout", "Reserved9",
    "Reserved10", "Reserved11", "SendPacket", "Reserved13", "SendFile", "WaitData", "WaitAnswer",
    "WaitConfirm", "Reserved18", "GetReceivedData", "Reserved20", "Reserved21", "Reserved22",
    "GetErrorText", "SetInteractive", "Reserved25", "Reserved26", "Reserved27", "Initialize",
    "QueryState",
    // IReceivedSize, the stand-in's own second interface.
    "GetReceivedSize"};

bool IsWait(std::string_view method) {
  return method == "WaitData" || method == "WaitAnswer" || method == "WaitConfirm";
}

bool ParseInteger(std::string_view text, int64_t low, int64_t high, int64_t& value) {
  int64_t parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size() || parsed < low || parsed > high)
    return false;
  value = parsed;
  return true;
}

bool ParseBoolean(std::string_view text, bool& value) {
  const std::string lower = AsciiLower(text);
  if (lower == "1" || lower == "yes" || lower == "true" || lower == "on") return value = true, true;
  if (lower == "0" || lower == "no" || lower == "false" || lower == "off")
    return value = false, true;
  return false;
}

bool ParseAction(std::string_view text, TFaultAction& action) {
  static const std::pair<std::string_view, TFaultAction> names[] = {
      {"fail", TFaultAction::Fail},
      {"timeout", TFaultAction::Timeout},
      {"disconnect", TFaultAction::Disconnect},
      {"wrong-code", TFaultAction::WrongCode},
      {"truncate", TFaultAction::Truncate},
      {"overrun-count", TFaultAction::OverrunCount},
      {"overrun-name", TFaultAction::OverrunName}};
  const std::string lower = AsciiLower(text);
  for (const auto& [name, value] : names)
    if (lower == name) return action = value, true;
  return false;
}

class TConfigReader {
 public:
  TConfigReader(TSimConfig& config, const std::filesystem::path& base)
      : config_(config), base_(base) {}

  void Fail(int line, const std::wstring& message) {
    if (config_.Error.empty())
      config_.Error =
          L"Ошибка в файле настройки имитатора, строка " + std::to_wstring(line) + L": " + message;
  }

  // key = a whole number from low to high, else the line is wrong and message says why.
  template <typename Number>
  void Integer(const TIniEntry& e, int64_t low, int64_t high, Number& value,
               const wchar_t* message) {
    int64_t number = 0;
    if (ParseInteger(e.Value, low, high, number))
      value = static_cast<Number>(number);
    else
      Fail(e.Line, message);
  }
  // key = 1 or 0 (yes/no, true/false, on/off).
  void Boolean(const TIniEntry& e, bool& value) {
    if (!ParseBoolean(e.Value, value)) Fail(e.Line, WideFromUtf8(e.Key) + L": нужно 1 или 0");
  }

  std::filesystem::path Path(std::string_view text) const {
    const std::filesystem::path path = PathFromUtf8(text);
    return path.is_absolute() || text.empty() ? path : base_ / path;
  }

  // A factor: 1 as recorded, 2 twice as fast, 0 without waiting.
  void Speed(const TIniEntry& e) {
    double speed = -1;
    const auto [end, error] =
        std::from_chars(e.Value.data(), e.Value.data() + e.Value.size(), speed);
    if (error != std::errc() || end != e.Value.data() + e.Value.size() || speed < 0 || speed > 1000)
      return Fail(e.Line,
                  L"replay-speed: нужно число от 0 до 1000 (1 - как записано, 0 - без "
                  L"ожидания)");
    config_.ReplaySpeed = speed;
  }

  // A list of method names, separated by commas or spaces.
  void Dialogs(const TIniEntry& e) {
    config_.Dialogs.clear();
    std::string name;
    for (const char c : e.Value + ",") {
      if (c != ',' && c != ' ' && c != '\t') {
        name += c;
        continue;
      }
      if (name.empty()) continue;
      // "Create": from the component's constructor, while the program waits for its creation;
      // "Release": as its last reference goes.
      if (!IsComPortMethod(name) && name != "Create" && name != "Release")
        return Fail(e.Line, L"dialog: неизвестный метод \"" + WideFromUtf8(name) + L"\"");
      config_.Dialogs.push_back(std::exchange(name, {}));
    }
  }

  void ReadUnit(const TIniSection& section) {
    for (const TIniEntry& e : section.Entries) {
      if (e.Key == "storage") {
        if (e.Value.empty())
          Fail(e.Line, L"пустой путь хранилища");
        else
          config_.Storage = Path(e.Value);
      } else if (e.Key == "journal") {
        config_.Journal = Path(e.Value);
      } else if (e.Key == "rate") {
        Integer(e, 0, int64_t{1} << 40, config_.Rate,
                L"rate: нужно целое число байт в секунду, 0 - без ограничения");
      } else if (e.Key == "latency") {
        Integer(e, 0, 600000, config_.Latency,
                L"latency: нужно целое число миллисекунд от 0 до 600000");
      } else if (e.Key == "timeout") {
        Integer(e, 0, 600000, config_.Timeout,
                L"timeout: нужно целое число миллисекунд от 0 до 600000");
      } else if (e.Key == "connected") {
        Boolean(e, config_.Connected);
      } else if (e.Key == "seed") {
        Boolean(e, config_.Seed);
      } else if (e.Key == "contract-only") {
        Boolean(e, config_.ContractOnly);
      } else if (e.Key == "dialog") {
        Dialogs(e);
      } else if (e.Key == "replay") {
        config_.Replay = Path(e.Value);
      } else if (e.Key == "replay-speed") {
        Speed(e);
      } else {
        Fail(e.Line, L"неизвестный ключ \"" + WideFromUtf8(e.Key) + L"\" в разделе [unit]");
      }
    }
  }

  void ReadFault(const TIniSection& section) {
    TSimFault fault;
    bool statusGiven = false;
    for (const TIniEntry& e : section.Entries) {
      int64_t number = 0;
      if (e.Key == "method") {
        if (IsComPortMethod(e.Value))
          fault.Method = e.Value;
        else
          Fail(e.Line, L"неизвестный метод \"" + WideFromUtf8(e.Value) + L"\"");
      } else if (e.Key == "call") {
        if (AsciiLower(e.Value) == "always")
          fault.Call = 0;
        else if (ParseInteger(e.Value, 1, 1000000000, number))
          fault.Call = static_cast<int>(number);
        else
          Fail(e.Line, L"call: нужен номер вызова от 1 или always");
      } else if (e.Key == "action") {
        if (!ParseAction(e.Value, fault.Action))
          Fail(e.Line, L"неизвестное действие \"" + WideFromUtf8(e.Value) + L"\"");
      } else if (e.Key == "status") {
        if (ParseInteger(e.Value, INT32_MIN, INT32_MAX, number))
          fault.Status = static_cast<int32_t>(number), statusGiven = true;
        else
          Fail(e.Line, L"status: нужно целое число");
      } else if (e.Key == "text") {
        fault.Text = WideFromUtf8(e.Value);
      } else if (e.Key == "block") {
        Integer(e, 0, INT32_MAX, fault.Block, L"block: нужен номер блока от 0");
      } else if (e.Key == "code") {
        Integer(e, 0, 255, fault.Code, L"code: нужен байт от 0 до 255");
      } else if (e.Key == "length") {
        Integer(e, 0, INT32_MAX, fault.Length, L"length: нужно число байт от 0");
      } else {
        Fail(e.Line, L"неизвестный ключ \"" + WideFromUtf8(e.Key) + L"\" в разделе [fault]");
      }
    }
    if (fault.Method.empty()) return Fail(section.Line, L"в разделе [fault] не задан method");
    const bool replyShape =
        fault.Action == TFaultAction::WrongCode || fault.Action == TFaultAction::Truncate ||
        fault.Action == TFaultAction::OverrunCount || fault.Action == TFaultAction::OverrunName;
    if (replyShape && fault.Method != "WaitData")
      return Fail(section.Line, L"искажение ответа задаётся только для WaitData");
    if (fault.Action == TFaultAction::Timeout && !IsWait(fault.Method))
      return Fail(section.Line, L"timeout задаётся только для WaitData, WaitAnswer и WaitConfirm");
    if (fault.Action != TFaultAction::Fail && statusGiven)
      return Fail(section.Line, L"status задаётся только для action = fail");
    config_.Faults.push_back(std::move(fault));
  }

 private:
  TSimConfig& config_;
  std::filesystem::path base_;
};

}  // namespace

bool IsComPortMethod(std::string_view name) {
  for (std::string_view method : ComPortMethods)
    if (method == name) return true;
  return false;
}

std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

TSimConfig ParseSimConfig(std::string_view text, const std::filesystem::path& baseFolder) {
  TSimConfig config;
  config.Storage = baseFolder / "unit";
  TConfigReader reader(config, baseFolder);
  const TIniDocument document = ParseIni(text);
  if (document.ErrorLine) reader.Fail(document.ErrorLine, document.Error);
  for (const TIniSection& section : document.Sections) {
    if (section.Name == "unit") {
      reader.ReadUnit(section);
    } else if (section.Name == "fault") {
      reader.ReadFault(section);
    } else if (section.Name.empty()) {
      if (!section.Entries.empty()) reader.Fail(section.Entries.front().Line, L"ключ вне раздела");
    } else {
      reader.Fail(section.Line, L"неизвестный раздел [" + WideFromUtf8(section.Name) + L"]");
    }
  }
  return config;
}

TSimConfig LoadSimConfig(const std::filesystem::path& file, bool required) {
  const std::filesystem::path base = file.parent_path();
  std::ifstream stream(file, std::ios::binary);
  if (!stream) {
    TSimConfig config = ParseSimConfig("", base);
    if (required)
      config.Error = L"Не найден файл настройки имитатора: " + WideFromUtf8(Utf8FromPath(file));
    return config;
  }
  const std::string text((std::istreambuf_iterator<char>(stream)),
                         std::istreambuf_iterator<char>());
  return ParseSimConfig(text, base);
}
