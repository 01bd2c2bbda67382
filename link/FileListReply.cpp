#include "FileListReply.h"

#include <cstdio>

#include "Cp1251.h"
#include "common/TextCase.h"
#include "common/Widen.h"

namespace {

inline constexpr uint8_t FileListReplyCode = 1;

// Every read checks what is left first; a failed read leaves the position where it was.
class TReplyReader {
 public:
  explicit TReplyReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  bool Byte(uint8_t& out) {
    if (Left() < 1) return false;
    out = bytes_[position_++];
    return true;
  }
  bool Word(uint16_t& out) {
    if (Left() < 2) return false;
    out = static_cast<uint16_t>(bytes_[position_] | bytes_[position_ + 1] << 8);
    position_ += 2;
    return true;
  }
  bool DoubleWord(uint32_t& out) {
    if (Left() < 4) return false;
    out = 0;
    for (size_t i = 4; i-- > 0;) out = out << 8 | bytes_[position_ + i];
    position_ += 4;
    return true;
  }
  // length bytes of code page 1251 text
  bool Text(size_t length, std::wstring& out) {
    if (Left() < length) return false;
    out = FromCp1251({reinterpret_cast<const char*>(bytes_.data() + position_), length});
    position_ += length;
    return true;
  }

  size_t Position() const { return position_; }

 private:
  size_t Left() const { return bytes_.size() - position_; }

  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
};

bool ReadEntry(TReplyReader& reader, bool withVersions, TFileStruct& record) {
  uint8_t nameLength = 0, attributes = 0, versionLength = 0;
  uint16_t time = 0, date = 0;
  uint32_t size = 0;
  if (!reader.Byte(nameLength) || !reader.Text(nameLength, record.Name) ||
      !reader.Byte(attributes) || !reader.Word(time) || !reader.Word(date) ||
      !reader.DoubleWord(size))
    return false;
  if (withVersions && (!reader.Byte(versionLength) || !reader.Text(versionLength, record.Version)))
    return false;
  record.Attributes = attributes;
  record.Time = FormatPackedTime(time);
  record.Date = FormatPackedDate(date);
  record.Size = static_cast<int32_t>(size);  // 2^31 and above are held as negative sizes
  return true;
}

}  // namespace

std::wstring FormatPackedTime(uint16_t time) {
  const int hour = time >> 11, minute = time >> 5 & 0x3F;
  int second = 2 * (time & 0x1F);
  if (second > 59) second = 0;
  char text[16];
  std::snprintf(text, sizeof text, "%.2i:%.2i.%.2i", hour, minute, second);
  return Widen(text);
}

std::wstring FormatPackedDate(uint16_t date) {
  const unsigned year = (date >> 9) + 1980u;
  const int month = date >> 5 & 0x0F, day = date & 0x1F;
  char text[24];
  std::snprintf(text, sizeof text, "%.4u.%.2i.%.2i", year, month, day);
  return Widen(text);
}

bool PassesExtensionFilter(std::wstring_view name, std::wstring_view filter) {
  const size_t point = name.rfind(L'.');
  if (point == std::wstring_view::npos) return true;
  return UpperCase(name.substr(point + 1)) == UpperCase(filter);
}

size_t FileListReplyExtent(std::span<const uint8_t> reply, bool withVersions) {
  TReplyReader reader(reply);
  uint8_t code = 0, count = 0;
  if (!reader.Byte(code)) return 0;
  if (code != FileListReplyCode) return 1;
  if (!reader.Byte(count)) return reply.size();
  for (int entry = 0; entry < count; ++entry) {
    TFileStruct record;
    if (!ReadEntry(reader, withVersions, record)) return reply.size();
  }
  return reader.Position();
}

TFileListOutcome ParseFileListReply(std::span<const uint8_t> reply, bool withVersions,
                                    std::wstring_view filter, TFileList& list) {
  TReplyReader reader(reply);
  uint8_t code = 0, count = 0;
  if (!reader.Byte(code)) return TFileListOutcome::Truncated;
  if (code != FileListReplyCode) return TFileListOutcome::WrongCode;
  if (!reader.Byte(count)) return TFileListOutcome::Truncated;

  // Records go to list only once the whole reply has parsed: a broken reply adds nothing.
  TFileList parsed;
  parsed.reserve(count);
  for (int entry = 0; entry < count; ++entry) {
    TFileStruct record;
    if (!ReadEntry(reader, withVersions, record)) return TFileListOutcome::Truncated;
    if (!filter.empty() && !PassesExtensionFilter(record.Name, filter)) continue;
    parsed.push_back(std::move(record));
  }
  list.insert(list.end(), std::make_move_iterator(parsed.begin()),
              std::make_move_iterator(parsed.end()));
  return TFileListOutcome::Ok;
}
