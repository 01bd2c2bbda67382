#include "SimReplay.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

#include "SimJournal.h"
#include "common/Utf8.h"
#include "link/RecordingFormat.h"

namespace {

namespace Key = RecordingKey;
using TKind = TJson::TKind;

std::string Rendered(const TJson& value) {
  switch (value.Kind) {
    case TKind::Number: return ReplayNumber(static_cast<int64_t>(value.Number));
    case TKind::Bool: return value.Bool ? "1" : "0";
    case TKind::Text: return ReplayText(WideFromUtf8(value.Text));
    default: return "null";
  }
}

bool IsQuery(std::string_view method) { return method == "GetErrorText" || method == "QueryState"; }

size_t KindIndex(std::string_view name) { return name == "creator" ? 0 : name == "worker" ? 1 : 2; }

TRecordedProgress ReadProgress(const TJson& item, std::wstring& error) {
  const TJson *thread = item.Member(Key::Thread, TKind::Text),
              *total = item.Member(Key::Total, TKind::Number),
              *current = item.Member(Key::Current, TKind::Number),
              *at = item.Member(Key::At, TKind::Number);
  if (!total || !current) error = L"вызов прогресса без total и current";
  return {thread && thread->Text == Key::OwnThread, total ? static_cast<int32_t>(total->Number) : 0,
          current ? static_cast<int32_t>(current->Number) : 0, at ? at->Number : 0};
}

// One line of the recording into call; false when it is no call (the header, the end, a
// progress call of its own).
bool ReadCall(const TJson& line, TRecordedCall& call, std::wstring& error) {
  const TJson* method = line.Member(Key::Method);
  if (!method) return false;
  const TJson* args = line.Member(Key::Args, TKind::Object);
  const TJson* result = line.Member(Key::Result, TKind::Number);
  const TJson* out = line.Member(Key::Out);
  const TJson* ms = line.Member(Key::Ms, TKind::Number);
  if (method->Kind != TKind::Text || !args) {
    error = L"нет метода или аргументов";
    return true;
  }
  if (const TJson* seq = line.Member(Key::Seq, TKind::Number))
    call.Seq = static_cast<int64_t>(seq->Number);
  call.Method = method->Text;
  std::string arguments;
  for (size_t i = 0; i < args->Keys.size(); ++i) {
    if (args->Keys[i] == Key::Window) continue;  // a handle of that run's window
    arguments += (arguments.empty() ? "" : ", ") + Rendered(args->Values[i]);
  }
  call.Call = call.Method + "(" + arguments + ")";
  if (result) call.Result = static_cast<int32_t>(result->Number);
  if (ms) call.DurationMs = ms->Number;
  if (out) {
    if (const TJson* state = out->Member(Key::State, TKind::Number))
      call.State = static_cast<int32_t>(state->Number);
    if (const TJson* text = out->Member(Key::Text, TKind::Text))
      call.Text = WideFromUtf8(text->Text);
    if (const TJson* reply = out->Member(Key::Reply, TKind::Text)) {
      call.Reply.emplace();
      if (!BytesFromHex(reply->Text, *call.Reply)) error = L"ответ не в шестнадцатеричном виде";
    }
  }
  if (const TJson* progress = line.Member(Key::Progress, TKind::Array))
    for (const TJson& item : progress->Items) {
      call.Progress.push_back(ReadProgress(item, error));
      if (!error.empty()) break;
    }
  return true;
}

}  // namespace

std::string ReplayNumber(int64_t value) { return std::to_string(value); }

std::string ReplayText(std::wstring_view text) { return TSimJournal::Quote(text); }

std::string ReplayHex(std::span<const uint8_t> bytes) { return "\"" + HexBytes(bytes) + "\""; }

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
  struct TLate {
    int64_t Of;
    TRecordedProgress Progress;
  };
  std::vector<TLate> late;
  int number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    TJson json;
    std::wstring error;
    TRecordedCall call;
    call.Line = number;
    call.Seq = number;  // a recording without numbers: the order of its lines
    if (!ParseJson(line, json) || json.Kind != TKind::Object) {
      error = L"строка не является объектом JSON";
    } else if (!ReadCall(json, call, error)) {
      const TJson* progress = json.Member(Key::Progress, TKind::Object);
      const TJson* of = json.Member(Key::Of, TKind::Number);
      if (!progress || !of) continue;
      late.push_back({static_cast<int64_t>(of->Number), ReadProgress(*progress, error)});
      late.back().Progress.Late = true;
      if (error.empty()) continue;
      late.pop_back();
    }
    // A line cut short (a full disk, a crash) costs that line, not the recording.
    if (!error.empty()) {
      replay.notes_.push_back(L"Запись вызовов, строка " + std::to_wstring(number) + L": " + error +
                              L"; строка пропущена");
      continue;
    }
    const TJson* thread = json.Member(Key::Thread, TKind::Text);
    replay.calls_[KindIndex(thread ? thread->Text : "")].push_back(std::move(call));
  }
  for (std::vector<TRecordedCall>& calls : replay.calls_)
    std::stable_sort(calls.begin(), calls.end(),
                     [](const TRecordedCall& a, const TRecordedCall& b) { return a.Seq < b.Seq; });
  for (const TLate& progress : late)
    for (std::vector<TRecordedCall>& calls : replay.calls_)
      for (TRecordedCall& call : calls)
        if (call.Seq == progress.Of && call.Method == "SendFile")
          call.Progress.push_back(progress.Progress);
  if (replay.CallCount() == 0)
    replay.error_ =
        replay.notes_.empty() ? L"В записи вызовов нет ни одного вызова" : replay.notes_.front();
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
                                      std::vector<std::string>& passedOver, std::wstring* resync) {
  std::lock_guard lock(mutex_);
  const size_t kind = static_cast<size_t>(thread);
  const std::vector<TRecordedCall>& calls = calls_[kind];
  size_t& next = next_[kind];
  bool& lost = lost_[kind];
  auto take = [&](size_t at) {
    for (size_t skipped = next; skipped < at; ++skipped) passedOver.push_back(calls[skipped].Call);
    next = at + 1;
    lost = false;
    return &calls[at];
  };
  for (size_t at = next; at < calls.size(); ++at) {
    if (calls[at].Call == call) return take(at);
    if (!IsQuery(calls[at].Method)) break;
  }
  size_t again = next;
  while (again < calls.size() && calls[again].Call != call) ++again;
  // The call the last divergence left the cursor waiting for: where the two meet again.
  if (lost && again < calls.size()) return take(again);

  const std::wstring where = L"вызов потока " + WideFromUtf8(ThreadKindName(thread));
  const std::wstring line = next < calls.size() ? std::to_wstring(calls[next].Line) : L"";
  divergence = next < calls.size()
                   ? L"Воспроизведение разошлось с записью: " + where + L" " + WideFromUtf8(call) +
                         L", а записан " + WideFromUtf8(calls[next].Call) + L" (строка " + line +
                         L")"
                   : L"Воспроизведение разошлось с записью: " + where + L" " + WideFromUtf8(call) +
                         L", а записанные вызовы этого потока кончились";
  std::wstring cursor;
  if (again < calls.size()) {
    cursor = L"записанных вызовов, которых программа не сделала: " + std::to_wstring(again - next) +
             L" (со строки " + line + L"); поток продолжает после строки " +
             std::to_wstring(calls[again].Line);
    next = again + 1;
  } else if (next < calls.size()) {
    cursor = L"дальше в записи этого вызова нет; следующий вызов ищется со строки " + line;
    lost = true;
  } else {
    cursor = L"записанные вызовы этого потока кончились";
  }
  if (resync) *resync = cursor;
  return nullptr;
}
