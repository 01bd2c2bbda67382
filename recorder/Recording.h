// A session's recording: one JSON object per line (link/RecordingFormat.h), each written and
// flushed to the system as its call returns, so that a crash loses at most the calls in flight.
// Writing never throws and never changes what the program is answered: a recording that cannot
// be written is simply not made.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string_view>

#include "link/RecordingFormat.h"

class TRecording {
 public:
  // Creates folder/<local start time>.jsonl ("2026-12-08_09-42-26.jsonl", "..._2.jsonl" when a
  // session of the same second has one), always a file of its own: created only where none is,
  // so that two sessions starting at once never share one. Not open when that fails.
  TRecording(const std::filesystem::path& folder, const std::tm& localStart) noexcept;
  ~TRecording();
  TRecording(const TRecording&) = delete;
  TRecording& operator=(const TRecording&) = delete;

  bool IsOpen() const { return file_ != Closed; }
  const std::filesystem::path& Path() const { return path_; }
  void Write(std::string_view line) noexcept;

 private:
  static constexpr intptr_t Closed = -1;
  std::mutex mutex_;
  std::filesystem::path path_;
  intptr_t file_ = Closed;  // a HANDLE on Windows, a descriptor elsewhere
};
