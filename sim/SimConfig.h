// The stand-in's configuration: where the unit keeps its files, how fast the link is, whether
// the unit is plugged in, where the call journal goes, and the faults to stage. The format
// and every key are described in sim/README.md.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

enum class TFaultAction {
  Fail,          // the call does nothing and fails with Status and Text
  Timeout,       // a wait runs out its whole time limit and fails with SimTimeout
  Disconnect,    // the unit goes away (SendFile: after Block blocks)
  WrongCode,     // WaitData: the file-list reply starts with Code instead of 1
  Truncate,      // WaitData: the file-list reply is cut to Length bytes
  OverrunCount,  // WaitData: the entry count announces one entry more than follows
  OverrunName,   // WaitData: the last entry's name length runs past the end
};

struct TSimFault {
  std::string Method;  // an IComPort method name, as spelt there
  int Call = 0;        // the n-th call of Method (from 1); 0 is every call
  TFaultAction Action = TFaultAction::Fail;
  int32_t Status = 6;
  std::wstring Text;    // empty: the status's own text
  int32_t Block = -1;   // Disconnect in SendFile: blocks that still arrive; -1: half of them
  int32_t Code = 0;     // WrongCode
  int32_t Length = -1;  // Truncate: bytes kept; -1: half the reply
};

struct TSimConfig {
  std::filesystem::path Storage;
  int64_t Rate = 1000000;  // bytes per second; 0: no limit
  int32_t Latency = 20;    // milliseconds before each answer and each transfer
  int32_t Timeout = 5000;  // WaitAnswer(-1)'s limit until SetTimeout sets one
  bool Connected = true;
  bool Seed = true;           // an empty storage folder gets the factory set of files
  bool ContractOnly = false;  // behave like the vendor's component: nothing beyond IComPort
  // Methods inside which, in interactive mode, the component shows a dialog of its own.
  std::vector<std::string> Dialogs;
  std::filesystem::path Journal;  // empty: no journal
  // A recording to answer from instead of the unit; empty: the unit answers.
  std::filesystem::path Replay;
  double ReplaySpeed = 1;  // recorded durations divided by it; 0: no waiting
  std::vector<TSimFault> Faults;
  std::wstring Error;  // empty when the file was sound
};

// Parses a configuration text. Relative paths are taken from baseFolder; the storage defaults
// to baseFolder/unit. A text with an error keeps the values read before it and sets Error.
TSimConfig ParseSimConfig(std::string_view text, const std::filesystem::path& baseFolder);

// Reads the file; a missing file gives the defaults unless required is set.
TSimConfig LoadSimConfig(const std::filesystem::path& file, bool required);

// The names a fault may give as its method.
bool IsComPortMethod(std::string_view name);

std::filesystem::path PathFromUtf8(std::string_view text);
std::string Utf8FromPath(const std::filesystem::path& path);
