// Helpers for tests of the simulated unit: a clock that moves only when the unit sleeps, a
// scratch folder per test, and a unit made from a configuration text.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sim/SimClock.h"
#include "sim/SimConfig.h"
#include "sim/TSimUnit.h"

class TFakeClock : public TSimClock {
 public:
  std::atomic<int64_t> Now{1000000};
  TLocalTime Local{2024, 5, 17, 14, 36, 58};
  int64_t NowMicroseconds() override { return Now; }
  void SleepUntil(int64_t microseconds) override {
    if (microseconds > Now) Now = microseconds;
  }
  TLocalTime LocalNow() override { return Local; }
};

class TScratchFolder {
 public:
  TScratchFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("qem-sim-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~TScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream stream(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

inline void WriteText(const std::filesystem::path& path, std::string_view text) {
  std::ofstream stream(path, std::ios::binary | std::ios::trunc);
  stream << text;
}

inline std::vector<std::string> ReadLines(const std::filesystem::path& path) {
  std::vector<std::string> lines;
  std::ifstream stream(path);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// A unit without pacing (rate and latency 0) in its own folder; extra is appended to the
// configuration text, so it may add keys to [unit] or sections of its own.
struct TSimFixture {
  TScratchFolder Folder;
  std::shared_ptr<TFakeClock> Clock = std::make_shared<TFakeClock>();
  std::unique_ptr<TSimUnit> Unit;

  std::filesystem::path Storage() const { return Folder.Path() / "unit"; }
  std::filesystem::path Journal() const { return Folder.Path() / "journal.txt"; }

  TSimConfig Config(const std::string& extra) const {
    return ParseSimConfig("[unit]\nrate = 0\nlatency = 0\njournal = journal.txt\n" + extra,
                          Folder.Path());
  }
  TSimUnit& Make(const std::string& extra = "") {
    Unit.reset();
    Unit = std::make_unique<TSimUnit>(Config(extra), Clock);
    return *Unit;
  }
  TSimUnit& MakeReady(const std::string& extra = "") {
    Make(extra);
    Unit->Initialize();
    return *Unit;
  }

  int32_t Send(std::vector<uint8_t> packet) {
    return Unit->SendPacket(27, static_cast<int32_t>(packet.size()), packet.data());
  }
  std::vector<uint8_t> Received() {
    const uint8_t* data = Unit->GetReceivedData();
    const int32_t size = Unit->GetReceivedSize();
    return data ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>{};
  }
  // Sends 01 flag and collects the reply; empty when any step failed.
  std::vector<uint8_t> FileList(uint8_t flag = 1) {
    if (Send({1, flag}) != 0 || Unit->WaitData(2000) != 0) return {};
    return Received();
  }
  int32_t SendImage(const std::wstring& name, const std::vector<uint8_t>& image,
                    const TSimProgress& progress = {}) {
    return Unit->SendFile(static_cast<int32_t>(image.size()), image.data(), &name, progress);
  }
  int32_t Confirm(uint8_t row, uint8_t major, uint8_t minor) {
    const int32_t sent = Send({3, row, major, minor});
    return sent ? sent : Unit->WaitConfirm(27, 3000);
  }
  std::wstring ErrorText() {
    std::wstring text;
    Unit->GetErrorText(&text);
    return text;
  }
};

// One entry of a file-list reply, read back for the tests' own checks.
struct TListedFile {
  std::string Name;
  uint8_t Attributes = 0;
  uint16_t Time = 0;
  uint16_t Date = 0;
  uint32_t Size = 0;
  std::string Version;
};

inline std::vector<TListedFile> ParseList(const std::vector<uint8_t>& reply, bool versions) {
  std::vector<TListedFile> files;
  if (reply.size() < 2) return files;
  size_t at = 2;
  const auto need = [&](size_t n) { return at + n <= reply.size(); };
  for (int i = 0; i < reply[1]; ++i) {
    TListedFile f;
    if (!need(1) || !need(1 + reply[at] + 9)) return files;
    const size_t l = reply[at++];
    f.Name.assign(reply.begin() + at, reply.begin() + at + l);
    at += l;
    f.Attributes = reply[at++];
    f.Time = static_cast<uint16_t>(reply[at] | reply[at + 1] << 8);
    f.Date = static_cast<uint16_t>(reply[at + 2] | reply[at + 3] << 8);
    f.Size =
        reply[at + 4] | reply[at + 5] << 8 | reply[at + 6] << 16 | uint32_t(reply[at + 7]) << 24;
    at += 8;
    if (versions) {
      if (!need(1) || !need(1 + reply[at])) return files;
      const size_t v = reply[at++];
      f.Version.assign(reply.begin() + at, reply.begin() + at + v);
      at += v;
    }
    files.push_back(f);
  }
  return files;
}
