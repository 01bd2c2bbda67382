// A session's recording: one JSON object per line, each written and flushed as its call
// returns, so that a crash loses at most the call in flight. Writing never throws and never
// changes what the program is answered: a recording that cannot be written is simply not made.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

// One JSON object, its members in the order added. Texts are UTF-8.
class TJsonObject {
 public:
  TJsonObject& Number(std::string_view key, int64_t value);
  // value with three decimals (milliseconds to the microsecond).
  TJsonObject& Milliseconds(std::string_view key, double value);
  TJsonObject& Text(std::string_view key, std::string_view utf8);
  TJsonObject& Bool(std::string_view key, bool value);
  TJsonObject& Null(std::string_view key);
  // value: JSON already (an object or an array).
  TJsonObject& Raw(std::string_view key, std::string_view value);
  // other's members after ours.
  TJsonObject& Merge(const TJsonObject& other);
  bool Empty() const { return text_.empty(); }
  std::string Close() const { return "{" + text_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string text_;
};

// Bytes as lower-case hex digits without separators.
std::string HexBytes(std::span<const uint8_t> bytes);

class TRecording {
 public:
  // Creates folder/<local start time>.jsonl ("2026-12-08_09-42-26.jsonl", "..._2.jsonl" when a
  // session of the same second has one). Not open when that fails.
  TRecording(const std::filesystem::path& folder, const std::tm& localStart) noexcept;
  bool IsOpen() const { return stream_.is_open(); }
  const std::filesystem::path& Path() const { return path_; }
  void Write(std::string_view line) noexcept;

 private:
  std::mutex mutex_;
  std::filesystem::path path_;
  std::ofstream stream_;
};
