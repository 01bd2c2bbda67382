#include "Packets.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// A whole decimal integer with an optional sign; anything else (empty text included) is 0.
int32_t WholeIntegerOrZero(std::wstring_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  if (i == text.size()) return 0;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < L'0' || text[i] > L'9') return 0;
    value = value * 10 + (text[i] - L'0');
    if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) return 0;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return 0;
  return static_cast<int32_t>(value);
}

}  // namespace

int32_t BuildSetDirectory(uint8_t* packet, std::string_view nameCp1251) {
  const size_t n = std::min<size_t>(nameCp1251.size(), 255);
  packet[0] = rqSetDirectory;
  packet[1] = static_cast<uint8_t>(n);
  if (n) std::memcpy(packet + 2, nameCp1251.data(), n);
  return static_cast<int32_t>(n + 2);
}

bool WantsVersions(std::wstring_view filter) { return filter == L"exe"; }

int32_t BuildFileListRequest(uint8_t* packet, std::wstring_view filter) {
  packet[0] = rqFileList;
  packet[1] = WantsVersions(filter) ? 1 : 0;
  return 2;
}

TVersionBytes VersionBytes(std::wstring_view version) {
  const size_t point = version.find(L'.');
  if (point == std::wstring_view::npos) return {0, 0};
  return {static_cast<uint8_t>(WholeIntegerOrZero(version.substr(0, point))),
          static_cast<uint8_t>(WholeIntegerOrZero(version.substr(point + 1)))};
}

int32_t BuildConfirmUpdate(uint8_t* packet, int32_t component, std::wstring_view version) {
  const TVersionBytes bytes = VersionBytes(version);
  packet[0] = rqConfirmUpdate;
  packet[1] = static_cast<uint8_t>(component);
  packet[2] = bytes.Major;
  packet[3] = bytes.Minor;
  return 4;
}
