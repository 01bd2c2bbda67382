// Fuzzes the simulated unit's request handling: an input is a script of link calls (packets,
// waits, file transfers, resets) run against one unit whose clock never sleeps. Besides the
// sanitizers it checks that every file-list reply the unit gives is well formed.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "sim/SimClock.h"
#include "sim/SimConfig.h"
#include "sim/TSimUnit.h"
#include "model/ComponentTable.h"

namespace {

class TInstantClock : public TSimClock {
 public:
  int64_t NowMicroseconds() override { return now_; }
  void SleepUntil(int64_t microseconds) override { now_ = std::max(now_, microseconds); }
  TLocalTime LocalNow() override { return {2025, 2, 3, 4, 5, 6}; }

 private:
  int64_t now_ = 0;
};

// One storage for the whole run, removed when the process ends.
struct TFuzzStorage {
  std::filesystem::path Path =
      std::filesystem::temp_directory_path() / ("qem-sim-fuzz-" + std::to_string(getpid()));
  TFuzzStorage() { std::filesystem::remove_all(Path); }
  ~TFuzzStorage() {
    std::error_code ignored;
    std::filesystem::remove_all(Path, ignored);
  }
};

const std::filesystem::path& Storage() {
  static const TFuzzStorage storage;
  return storage.Path;
}

// A reply of code 1 must hold exactly the entries it announces, nothing more or less.
void CheckFileList(const uint8_t* reply, int32_t size, bool versions) {
  if (!reply || size < 2 || reply[0] != 1) std::abort();
  size_t at = 2;
  for (int i = 0; i < reply[1]; ++i) {
    if (at >= size_t(size)) std::abort();
    at += 1 + reply[at] + 9;
    if (versions) {
      if (at >= size_t(size)) std::abort();
      at += 1 + reply[at];
    }
  }
  if (at != size_t(size)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Odd-length inputs run in contract-only mode: the same scripts then reach its fixed buffer.
  const std::string mode = size % 2 ? "contract-only = 1\n" : "";
  TSimConfig config =
      ParseSimConfig("[unit]\nrate = 0\nlatency = 0\nseed = 0\n" + mode, Storage().parent_path());
  config.Storage = Storage();
  TSimUnit unit(std::move(config), std::make_shared<TInstantClock>());
  unit.Initialize();
  size_t at = 0;
  const auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  bool versions = false;
  // Enough calls for any sequence worth finding; more only slow each run down.
  for (int calls = 0; calls < 40 && at < size; ++calls) {
    switch (next() % 7) {
      case 0: {
        const size_t length = std::min<size_t>(next(), size - at);
        if (length >= 2 && data[at] == 1) versions = data[at + 1] == 1;
        unit.SendPacket(27, static_cast<int32_t>(length), length ? data + at : nullptr);
        at += length;
        break;
      }
      case 1:
        if (unit.WaitData(next()) == 0) {
          const uint8_t* reply = unit.GetReceivedData();
          CheckFileList(reply, unit.GetReceivedSize(), versions);
        }
        break;
      case 2: unit.WaitAnswer(27, next() % 2 ? -1 : 5); break;
      case 3: unit.WaitConfirm(next() % 4 ? 27 : 26, 3000); break;
      case 4: {
        const uint8_t row = next();
        const std::vector<uint8_t> image(size_t(next()) * 33 + 1, row);  // up to three blocks
        const std::string file = row < 6 ? ComponentFileNames[row] : "other.exe";
        const std::wstring name(file.begin(), file.end());
        unit.SendFile(static_cast<int32_t>(image.size()), image.data(), &name,
                      [&](int32_t total, int32_t current) {
                        if (current < 0 || current >= total) std::abort();
                        if (next() == 0xEE) unit.Reset();
                      });
        break;
      }
      case 5: unit.Reset(); break;
      default: unit.Initialize(); break;
    }
  }
  return 0;
}
