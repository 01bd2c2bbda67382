// A recording made by the recorder (recorder/), read back so that the stand-in answers from
// it: each thread's calls in their recorded order, with their results, out-values, reply bytes,
// progress calls and durations. A live call is matched with the next one its thread recorded
// by method and arguments; the window handle, which differs from run to run, is left out.
// Queries the program no longer makes (GetErrorText, QueryState) are passed over, so that a
// recording with one result changed still replays what follows. Portable, for the tests.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/ThreadKinds.h"

struct TRecordedProgress {
  bool OwnThread = false;  // from a thread of the component's own, not the caller's
  int32_t Total = 0;
  int32_t Current = 0;
  double AtMs = 0;  // since the call began
};

struct TRecordedCall {
  int Line = 0;
  std::string Method;
  std::string Call;  // method and arguments as ReplayCall gives them
  int32_t Result = 0;
  std::optional<int32_t> State;               // QueryState
  std::optional<std::wstring> Text;           // GetErrorText; none: a null text
  std::optional<std::vector<uint8_t>> Reply;  // GetReceivedData; none: a null pointer
  std::vector<TRecordedProgress> Progress;    // SendFile
  double DurationMs = 0;
};

// A live call in the form the recording's calls are compared in: Method(argument, ...), numbers
// in decimal, texts (packets and hashes as lower-case hex texts) quoted.
std::string ReplayCall(std::string_view method, std::initializer_list<std::string> arguments);
std::string ReplayNumber(int64_t value);
std::string ReplayText(std::wstring_view text);
std::string ReplayHex(std::span<const uint8_t> bytes);

class TSimReplay {
 public:
  // Reads a recording's text; Error() tells the first line that cannot be read.
  static TSimReplay Parse(std::string_view text);
  static TSimReplay Load(const std::filesystem::path& file);

  const std::wstring& Error() const { return error_; }
  size_t CallCount() const;

  // The recorded call that answers call on a thread of that kind, which is then used up; null
  // when that thread's recording has another call at this point (or none), and divergence
  // then says what was expected. passedOver gets the recorded queries skipped on the way.
  const TRecordedCall* Take(TThreadKind thread, const std::string& call, std::wstring& divergence,
                            std::vector<std::string>& passedOver);

  TSimReplay(TSimReplay&& other) noexcept
      : calls_(std::move(other.calls_)), next_(other.next_), error_(std::move(other.error_)) {}

 private:
  TSimReplay() = default;
  std::mutex mutex_;
  std::array<std::vector<TRecordedCall>, 3> calls_;  // by thread kind
  std::array<size_t, 3> next_{};
  std::wstring error_;
};
