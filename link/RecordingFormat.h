// A recording of the link's calls, in one place for the recorder that writes it and the
// stand-in that replays it: one JSON object per line, the keys of its lines, numbers written
// the same whatever locale the process has set, bytes as lower-case hex.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace RecordingKey {
// The header line, and the last one.
inline constexpr std::string_view Recording = "recording", Component = "component",
                                  Started = "started", Width = "width", CreateMs = "create_ms",
                                  Ended = "ended";
// A call's line. Seq is taken as the call enters; Parent is the seq of the call this one runs
// inside on the same thread (the component pumping messages re-entered us), Depth how deep.
inline constexpr std::string_view Seq = "seq", Parent = "parent", Depth = "depth", Time = "t",
                                  Thread = "thread", Method = "method", Args = "args",
                                  Result = "result", Out = "out", Ms = "ms", Remark = "remark";
// SendFile's progress calls: an array in its line, and a line of their own ("progress" with
// Of, the transfer's seq) for those that come after its line was written.
inline constexpr std::string_view Progress = "progress", Of = "of", Total = "total",
                                  Current = "current", At = "at";
inline constexpr std::string_view CallerThread = "caller", OwnThread = "own";
// Out-values.
inline constexpr std::string_view State = "state", Text = "text", Reply = "reply";
// Arguments, in the order of the method's parameters. Window, a handle of that run, is no part
// of a call's identity when replayed.
inline constexpr std::string_view Mode = "mode", Title = "title", Window = "window", Flag = "flag",
                                  Option = "option", TimeoutMs = "ms", Kind = "kind",
                                  Length = "length", Bytes = "bytes", Size = "size", Name = "name",
                                  Sha256 = "sha256", Timeout = "timeout",
                                  Interactive = "interactive";
}  // namespace RecordingKey

// Bytes as lower-case hex digits without separators, and back (false: not such a text).
std::string HexBytes(std::span<const uint8_t> bytes);
bool BytesFromHex(std::string_view hex, std::vector<uint8_t>& bytes);

// A JSON text's quoted form: quotes and backslashes escaped, control characters as \u00XX.
void AppendJsonText(std::string& to, std::string_view utf8);

// One JSON object, its members in the order added. Texts are UTF-8.
class TJsonObject {
 public:
  TJsonObject& Number(std::string_view key, int64_t value);
  // value with three decimals (milliseconds to the microsecond), whatever the locale.
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

  const TJson* Member(std::string_view key) const;
  // The member when it is of that kind, else null.
  const TJson* Member(std::string_view key, TKind kind) const;
};

// One line as a JSON value; false when it is not one (nested deeper than a recording's lines).
bool ParseJson(std::string_view text, TJson& value);
