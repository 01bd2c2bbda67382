#include "RecordingFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

constexpr char HexDigits[] = "0123456789abcdef";

// UTF-8 of one UTF-16 unit (a \u escape of a recording is never a surrogate half: the writer
// escapes control characters only).
void AppendUtf8(std::string& to, unsigned code) {
  if (code < 0x80) {
    to += static_cast<char>(code);
  } else if (code < 0x800) {
    to += static_cast<char>(0xC0 | (code >> 6));
    to += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    to += static_cast<char>(0xE0 | (code >> 12));
    to += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    to += static_cast<char>(0x80 | (code & 0x3F));
  }
}

class TJsonReader {
 public:
  explicit TJsonReader(std::string_view text) : text_(text) {}

  bool Document(TJson& value) {
    if (!Value(value, 0)) return false;
    Blanks();
    return at_ == text_.size();
  }

 private:
  void Blanks() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r'))
      ++at_;
  }
  bool Eat(char c) {
    Blanks();
    if (at_ < text_.size() && text_[at_] == c) return ++at_, true;
    return false;
  }
  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  bool Value(TJson& value, int depth) {
    if (depth > 8) return false;
    Blanks();
    if (at_ >= text_.size()) return false;
    const char c = text_[at_];
    if (c == '{') return Object(value, depth);
    if (c == '[') return Array(value, depth);
    if (c == '"') return value.Kind = TJson::TKind::Text, String(value.Text);
    if (Word("null")) return value.Kind = TJson::TKind::Null, true;
    if (Word("true")) return value.Kind = TJson::TKind::Bool, value.Bool = true, true;
    if (Word("false")) return value.Kind = TJson::TKind::Bool, value.Bool = false, true;
    const auto [end, error] =
        std::from_chars(text_.data() + at_, text_.data() + text_.size(), value.Number);
    if (error != std::errc()) return false;
    at_ = end - text_.data();
    value.Kind = TJson::TKind::Number;
    return true;
  }
  bool Object(TJson& value, int depth) {
    value.Kind = TJson::TKind::Object;
    ++at_;
    if (Eat('}')) return true;
    do {
      std::string key;
      TJson member;
      Blanks();
      if (!String(key) || !Eat(':') || !Value(member, depth + 1)) return false;
      value.Keys.push_back(std::move(key));
      value.Values.push_back(std::move(member));
    } while (Eat(','));
    return Eat('}');
  }
  bool Array(TJson& value, int depth) {
    value.Kind = TJson::TKind::Array;
    ++at_;
    if (Eat(']')) return true;
    do {
      value.Items.emplace_back();
      if (!Value(value.Items.back(), depth + 1)) return false;
    } while (Eat(','));
    return Eat(']');
  }
  bool String(std::string& out) {
    if (at_ >= text_.size() || text_[at_] != '"') return false;
    ++at_;
    while (at_ < text_.size() && text_[at_] != '"') {
      char c = text_[at_++];
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return false;
      c = text_[at_++];
      switch (c) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          unsigned code = 0;
          const auto [end, error] = std::from_chars(
              text_.data() + at_, text_.data() + std::min(at_ + 4, text_.size()), code, 16);
          if (error != std::errc() || end != text_.data() + at_ + 4) return false;
          at_ += 4;
          AppendUtf8(out, code);
          break;
        }
        default: out += c;
      }
    }
    return at_++ < text_.size();
  }

  std::string_view text_;
  size_t at_ = 0;
};

}  // namespace

std::string HexBytes(std::span<const uint8_t> bytes) {
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const uint8_t b : bytes) {
    hex += HexDigits[b >> 4];
    hex += HexDigits[b & 15];
  }
  return hex;
}

bool BytesFromHex(std::string_view hex, std::vector<uint8_t>& bytes) {
  if (hex.size() % 2) return false;
  for (size_t i = 0; i < hex.size(); i += 2) {
    unsigned byte = 0;
    const auto [end, error] = std::from_chars(hex.data() + i, hex.data() + i + 2, byte, 16);
    if (error != std::errc() || end != hex.data() + i + 2) return false;
    bytes.push_back(static_cast<uint8_t>(byte));
  }
  return true;
}

void AppendJsonText(std::string& to, std::string_view utf8) {
  to += '"';
  for (const char c : utf8) {
    const auto code = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      to += '\\';
      to += c;
    } else if (code < 0x20) {
      to += "\\u00";
      to += HexDigits[code >> 4];
      to += HexDigits[code & 15];
    } else {
      to += c;
    }
  }
  to += '"';
}

void TJsonObject::Key(std::string_view key) {
  if (!text_.empty()) text_ += ',';
  text_ += '"';
  text_ += key;
  text_ += "\":";
}

TJsonObject& TJsonObject::Number(std::string_view key, int64_t value) {
  Key(key);
  char digits[24];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  text_.append(digits, error == std::errc() ? end : digits);
  return *this;
}

// printf and iostreams take the decimal point from the locale, which the component may set:
// the digits are made from whole microseconds.
TJsonObject& TJsonObject::Milliseconds(std::string_view key, double value) {
  Key(key);
  if (!std::isfinite(value) || std::fabs(value) >= 1e15) {
    text_ += "null";
    return *this;
  }
  const long long microseconds = std::llround(value * 1000);
  const unsigned long long magnitude = microseconds < 0
                                           ? 0ULL - static_cast<unsigned long long>(microseconds)
                                           : static_cast<unsigned long long>(microseconds);
  char digits[24];
  char* end = std::to_chars(digits, digits + sizeof digits, magnitude / 1000).ptr;
  if (microseconds < 0) text_ += '-';
  text_.append(digits, end);
  const unsigned fraction = static_cast<unsigned>(magnitude % 1000);
  text_ += '.';
  text_ += static_cast<char>('0' + fraction / 100);
  text_ += static_cast<char>('0' + fraction / 10 % 10);
  text_ += static_cast<char>('0' + fraction % 10);
  return *this;
}

TJsonObject& TJsonObject::Text(std::string_view key, std::string_view utf8) {
  Key(key);
  AppendJsonText(text_, utf8);
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

const TJson* TJson::Member(std::string_view key) const {
  for (size_t i = 0; i < Keys.size(); ++i)
    if (Keys[i] == key) return &Values[i];
  return nullptr;
}

const TJson* TJson::Member(std::string_view key, TKind kind) const {
  const TJson* member = Member(key);
  return member && member->Kind == kind ? member : nullptr;
}

bool ParseJson(std::string_view text, TJson& value) { return TJsonReader(text).Document(value); }
