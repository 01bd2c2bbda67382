#include "SimReplay.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

#include "SimJournal.h"
#include "common/Utf8.h"

namespace {

// Just enough JSON for a recording's lines: objects, arrays, texts, numbers, true/false/null.
struct TJson {
  enum class TKind { Null, Bool, Number, Text, Array, Object } Kind = TKind::Null;
  bool Bool = false;
  double Number = 0;
  std::string Text;
  std::vector<TJson> Items;
  // An object's members: Keys[i] names Values[i] (a vector of pairs would need TJson whole).
  std::vector<std::string> Keys;
  std::vector<TJson> Values;

  const TJson* Member(std::string_view key) const {
    for (size_t i = 0; i < Keys.size(); ++i)
      if (Keys[i] == key) return &Values[i];
    return nullptr;
  }
};

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
          out += Utf8FromWide(std::wstring(1, static_cast<wchar_t>(code)));
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

bool HexToBytes(std::string_view hex, std::vector<uint8_t>& bytes) {
  if (hex.size() % 2) return false;
  for (size_t i = 0; i < hex.size(); i += 2) {
    unsigned byte = 0;
    const auto [end, error] = std::from_chars(hex.data() + i, hex.data() + i + 2, byte, 16);
    if (error != std::errc() || end != hex.data() + i + 2) return false;
    bytes.push_back(static_cast<uint8_t>(byte));
  }
  return true;
}

std::string Rendered(const TJson& value) {
  switch (value.Kind) {
    case TJson::TKind::Number: return ReplayNumber(static_cast<int64_t>(value.Number));
    case TJson::TKind::Bool: return value.Bool ? "1" : "0";
    case TJson::TKind::Text: return ReplayText(WideFromUtf8(value.Text));
    default: return "null";
  }
}

bool IsQuery(std::string_view method) { return method == "GetErrorText" || method == "QueryState"; }

size_t KindIndex(std::string_view name) { return name == "creator" ? 0 : name == "worker" ? 1 : 2; }

// One line of the recording into call; false when it is no call (the header, the end).
bool ReadCall(const TJson& line, TRecordedCall& call, std::wstring& error) {
  const TJson* method = line.Member("method");
  if (!method) return false;
  const TJson* args = line.Member("args");
  const TJson* result = line.Member("result");
  const TJson* out = line.Member("out");
  const TJson* ms = line.Member("ms");
  if (method->Kind != TJson::TKind::Text || !args || args->Kind != TJson::TKind::Object) {
    error = L"нет метода или аргументов";
    return true;
  }
  call.Method = method->Text;
  std::string arguments;
  for (size_t i = 0; i < args->Keys.size(); ++i) {
    if (args->Keys[i] == "window") continue;  // a handle of that run's window
    arguments += (arguments.empty() ? "" : ", ") + Rendered(args->Values[i]);
  }
  call.Call = call.Method + "(" + arguments + ")";
  if (result && result->Kind == TJson::TKind::Number)
    call.Result = static_cast<int32_t>(result->Number);
  if (ms && ms->Kind == TJson::TKind::Number) call.DurationMs = ms->Number;
  if (out) {
    if (const TJson* state = out->Member("state"); state && state->Kind == TJson::TKind::Number)
      call.State = static_cast<int32_t>(state->Number);
    if (const TJson* text = out->Member("text"); text && text->Kind == TJson::TKind::Text)
      call.Text = WideFromUtf8(text->Text);
    if (const TJson* reply = out->Member("reply"); reply && reply->Kind == TJson::TKind::Text) {
      call.Reply.emplace();
      if (!HexToBytes(reply->Text, *call.Reply)) error = L"ответ не в шестнадцатеричном виде";
    }
  }
  if (const TJson* progress = line.Member("progress");
      progress && progress->Kind == TJson::TKind::Array) {
    for (const TJson& item : progress->Items) {
      const TJson *thread = item.Member("thread"), *total = item.Member("total"),
                  *current = item.Member("current"), *at = item.Member("at");
      if (!total || !current || total->Kind != TJson::TKind::Number ||
          current->Kind != TJson::TKind::Number) {
        error = L"вызов прогресса без total и current";
        break;
      }
      call.Progress.push_back({thread && thread->Text == "own", static_cast<int32_t>(total->Number),
                               static_cast<int32_t>(current->Number),
                               at && at->Kind == TJson::TKind::Number ? at->Number : 0});
    }
  }
  return true;
}

}  // namespace

std::string ReplayNumber(int64_t value) { return std::to_string(value); }

std::string ReplayText(std::wstring_view text) { return TSimJournal::Quote(text); }

std::string ReplayHex(std::span<const uint8_t> bytes) {
  static constexpr char Digits[] = "0123456789abcdef";
  std::string hex = "\"";
  for (const uint8_t b : bytes) {
    hex += Digits[b >> 4];
    hex += Digits[b & 15];
  }
  return hex + "\"";
}

std::string ReplayCall(std::string_view method, std::initializer_list<std::string> arguments) {
  std::string call(method);
  call += '(';
  bool first = true;
  for (const std::string& argument : arguments) {
    if (!first) call += ", ";
    call += argument;
    first = false;
  }
  return call + ")";
}

TSimReplay TSimReplay::Parse(std::string_view text) {
  TSimReplay replay;
  int number = 0;
  while (!text.empty() && replay.error_.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    TJson json;
    std::wstring error;
    TRecordedCall call;
    call.Line = number;
    if (!TJsonReader(line).Document(json) || json.Kind != TJson::TKind::Object)
      error = L"строка не является объектом JSON";
    else if (!ReadCall(json, call, error))
      continue;
    if (!error.empty()) {
      replay.error_ = L"Запись вызовов, строка " + std::to_wstring(number) + L": " + error;
      break;
    }
    const TJson* thread = json.Member("thread");
    replay.calls_[KindIndex(thread ? thread->Text : "")].push_back(std::move(call));
  }
  if (replay.error_.empty() && replay.CallCount() == 0)
    replay.error_ = L"В записи вызовов нет ни одного вызова";
  return replay;
}

TSimReplay TSimReplay::Load(const std::filesystem::path& file) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream) {
    TSimReplay replay = Parse("");
    const std::u8string name = file.u8string();
    replay.error_ =
        L"Не найдена запись вызовов " + WideFromUtf8(std::string(name.begin(), name.end()));
    return replay;
  }
  return Parse(
      std::string((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>()));
}

size_t TSimReplay::CallCount() const {
  return calls_[0].size() + calls_[1].size() + calls_[2].size();
}

const TRecordedCall* TSimReplay::Take(TThreadKind thread, const std::string& call,
                                      std::wstring& divergence,
                                      std::vector<std::string>& passedOver) {
  std::lock_guard lock(mutex_);
  const size_t kind = static_cast<size_t>(thread);
  const std::vector<TRecordedCall>& calls = calls_[kind];
  size_t& next = next_[kind];
  for (size_t at = next; at < calls.size(); ++at) {
    if (calls[at].Call == call) {
      for (size_t skipped = next; skipped < at; ++skipped)
        passedOver.push_back(calls[skipped].Call);
      next = at + 1;
      return &calls[at];
    }
    if (!IsQuery(calls[at].Method)) break;
  }
  const std::wstring where = L"вызов потока " + WideFromUtf8(ThreadKindName(thread));
  divergence = next < calls.size()
                   ? L"Воспроизведение разошлось с записью: " + where + L" " + WideFromUtf8(call) +
                         L", а записан " + WideFromUtf8(calls[next].Call) + L" (строка " +
                         std::to_wstring(calls[next].Line) + L")"
                   : L"Воспроизведение разошлось с записью: " + where + L" " + WideFromUtf8(call) +
                         L", а записанные вызовы этого потока кончились";
  return nullptr;
}
