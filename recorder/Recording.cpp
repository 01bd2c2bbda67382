#include "Recording.h"

#include <cstdio>

void TJsonObject::Key(std::string_view key) {
  if (!text_.empty()) text_ += ',';
  text_ += '"';
  text_ += key;
  text_ += "\":";
}

TJsonObject& TJsonObject::Number(std::string_view key, int64_t value) {
  Key(key);
  text_ += std::to_string(value);
  return *this;
}

TJsonObject& TJsonObject::Milliseconds(std::string_view key, double value) {
  Key(key);
  char digits[32];
  std::snprintf(digits, sizeof digits, "%.3f", value);
  text_ += digits;
  return *this;
}

TJsonObject& TJsonObject::Text(std::string_view key, std::string_view utf8) {
  Key(key);
  text_ += '"';
  for (const char c : utf8) {
    if (c == '"' || c == '\\') {
      text_ += '\\';
      text_ += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
      text_ += escape;
    } else {
      text_ += c;
    }
  }
  text_ += '"';
  return *this;
}

TJsonObject& TJsonObject::Bool(std::string_view key, bool value) {
  Key(key);
  text_ += value ? "true" : "false";
  return *this;
}

TJsonObject& TJsonObject::Null(std::string_view key) {
  Key(key);
  text_ += "null";
  return *this;
}

TJsonObject& TJsonObject::Raw(std::string_view key, std::string_view value) {
  Key(key);
  text_ += value;
  return *this;
}

TJsonObject& TJsonObject::Merge(const TJsonObject& other) {
  if (!other.text_.empty()) text_ += (text_.empty() ? "" : ",") + other.text_;
  return *this;
}

std::string HexBytes(std::span<const uint8_t> bytes) {
  static constexpr char Digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const uint8_t b : bytes) {
    hex += Digits[b >> 4];
    hex += Digits[b & 15];
  }
  return hex;
}

TRecording::TRecording(const std::filesystem::path& folder, const std::tm& localStart) noexcept {
  try {
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &localStart);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (int session = 1; session <= 1000; ++session) {
      const std::string name =
          std::string(stamp) + (session > 1 ? "_" + std::to_string(session) : "") + ".jsonl";
      const std::filesystem::path path = folder / name;
      if (std::filesystem::exists(path, error)) continue;
      stream_.open(path, std::ios::binary);
      if (stream_.is_open()) path_ = path;
      return;
    }
  } catch (...) {
    stream_.close();
  }
}

void TRecording::Write(std::string_view line) noexcept {
  try {
    std::lock_guard lock(mutex_);
    if (!stream_.is_open()) return;
    stream_ << line << '\n';
    stream_.flush();
  } catch (...) {
  }
}
