// A recording made by the recorder (recorder/), read back so that the stand-in answers from
// it: each thread's calls in their recorded order, with their results, out-values, reply bytes,
// progress calls and durations. A live call is matched with the next one its thread recorded
// by method and arguments; the window handle, which differs from run to run, is left out.
// Queries the program no longer makes (GetErrorText, QueryState) are passed over, so that a
// recording with one result changed still replays what follows. Calls are taken in the order
// they entered (their seq), so that a call made inside another (the component pumping messages)
// follows the call it was inside. A line that cannot be read is left out and noted; a divergence
// fails one call, and the thread's cursor goes on from where the recording and the program meet
// again. Portable, for the tests.
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
  double AtMs = 0;    // since the call began
  bool Late = false;  // made after the call's line was written (as SendFile returned, or after)
};

struct TRecordedCall {
  int Line = 0;
  int64_t Seq = 0;  // the order calls entered in
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
  // Reads a recording's text. A line that cannot be read is left out and Notes() names it;
  // Error() says why the recording cannot be replayed at all (no call in it, no file).
  static TSimReplay Parse(std::string_view text);
  static TSimReplay Load(const std::filesystem::path& file);

  const std::wstring& Error() const { return error_; }
  const std::vector<std::wstring>& Notes() const { return notes_; }
  size_t CallCount() const;

  // The recorded call that answers call on a thread of that kind, which is then used up; null
  // when that thread's recording has another call at this point (or none): divergence then
  // says what was expected, and resync where the thread's cursor went on from, or why it
  // stayed. After a divergence whose call the recording does not have, the next call is sought
  // further on: where it is found, the recording and the program meet again. passedOver gets
  // the recorded calls skipped on the way (queries the program no longer makes).
  const TRecordedCall* Take(TThreadKind thread, const std::string& call, std::wstring& divergence,
                            std::vector<std::string>& passedOver, std::wstring* resync = nullptr);

  TSimReplay(TSimReplay&& other) noexcept
      : calls_(std::move(other.calls_)),
        next_(other.next_),
        lost_(other.lost_),
        error_(std::move(other.error_)),
        notes_(std::move(other.notes_)) {}

 private:
  TSimReplay() = default;
  std::mutex mutex_;
  std::array<std::vector<TRecordedCall>, 3> calls_;  // by thread kind
  std::array<size_t, 3> next_{};
  std::array<bool, 3> lost_{};  // the last call diverged and the recording has it nowhere after
  std::wstring error_;
  std::vector<std::wstring> notes_;
};
