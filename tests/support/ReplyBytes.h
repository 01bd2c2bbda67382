// Builds file-list replies as the unit sends them, for tests, seeds and benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TReplyEntry {
  std::string Name;  // code page 1251 bytes
  uint8_t Attributes = 0x20;
  uint16_t Time = 0;
  uint16_t Date = 0;
  uint32_t Size = 0;
  std::string Version;  // written only in a reply with versions
};

inline TReplyEntry Named(std::string name) {
  TReplyEntry entry;
  entry.Name = std::move(name);
  return entry;
}

inline uint16_t PackTime(int hour, int minute, int second) {
  return static_cast<uint16_t>(hour << 11 | minute << 5 | second / 2);
}
inline uint16_t PackDate(int year, int month, int day) {
  return static_cast<uint16_t>((year - 1980) << 9 | month << 5 | day);
}

// N is the number of entries unless count says otherwise.
inline std::vector<uint8_t> ReplyBytes(const std::vector<TReplyEntry>& entries, bool withVersions,
                                       uint8_t code = 1, int count = -1) {
  std::vector<uint8_t> bytes{code, static_cast<uint8_t>(count < 0 ? entries.size() : count)};
  auto text = [&](const std::string& t) {
    bytes.push_back(static_cast<uint8_t>(t.size()));
    bytes.insert(bytes.end(), t.begin(), t.end());
  };
  for (const TReplyEntry& e : entries) {
    text(e.Name);
    bytes.push_back(e.Attributes);
    bytes.push_back(static_cast<uint8_t>(e.Time));
    bytes.push_back(static_cast<uint8_t>(e.Time >> 8));
    bytes.push_back(static_cast<uint8_t>(e.Date));
    bytes.push_back(static_cast<uint8_t>(e.Date >> 8));
    for (int shift = 0; shift < 32; shift += 8)
      bytes.push_back(static_cast<uint8_t>(e.Size >> shift));
    if (withVersions) text(e.Version);
  }
  return bytes;
}
