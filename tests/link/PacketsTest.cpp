// Request packets, byte for byte, and that a builder writes nothing past its own length (the
// buffer is reused by every request).
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "link/Cp1251.h"
#include "link/Packets.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Built {
  int32_t length;
  Bytes bytes;  // the first length bytes
  bool restUntouched;
};

template <typename Build>
Built BuildInto(Build build) {
  std::array<uint8_t, 4100> packet;
  packet.fill(0xAA);
  const int32_t length = build(packet.data());
  Built built{length, Bytes(packet.begin(), packet.begin() + length), true};
  for (size_t i = length; i < packet.size(); ++i) built.restUntouched &= packet[i] == 0xAA;
  return built;
}

TEST(Packets, SetDirectoryIsCodeLengthAndName) {
  Built empty = BuildInto([](uint8_t* p) { return BuildSetDirectory(p, ""); });
  EXPECT_EQ(empty.length, 2);
  EXPECT_EQ(empty.bytes, (Bytes{0x02, 0x00}));
  EXPECT_TRUE(empty.restUntouched);

  Built named = BuildInto([](uint8_t* p) { return BuildSetDirectory(p, ToCp1251(L"Тест\\a")); });
  EXPECT_EQ(named.bytes, (Bytes{0x02, 0x06, 0xD2, 0xE5, 0xF1, 0xF2, '\\', 'a'}));
  EXPECT_TRUE(named.restUntouched);

  // The length is one byte: a longer name is cut at 255, never wrapped around.
  Built longest = BuildInto([](uint8_t* p) { return BuildSetDirectory(p, std::string(300, 'x')); });
  EXPECT_EQ(longest.length, 257);
  EXPECT_EQ(longest.bytes[1], 255);
  EXPECT_TRUE(longest.restUntouched);
}

TEST(Packets, FileListAsksForVersionsOnlyForExactlyLowerCaseExe) {
  EXPECT_EQ(BuildInto([](uint8_t* p) { return BuildFileListRequest(p, L"exe"); }).bytes,
            (Bytes{0x01, 0x01}));
  for (const wchar_t* other : {L"EXE", L"Exe", L"", L"ex", L"exe ", L".exe", L"com"}) {
    Built built = BuildInto([&](uint8_t* p) { return BuildFileListRequest(p, other); });
    SCOPED_TRACE(testing::PrintToString(std::wstring(other)));
    EXPECT_EQ(built.bytes, (Bytes{0x01, 0x00}));
    EXPECT_TRUE(built.restUntouched);
    EXPECT_FALSE(WantsVersions(other));
  }
  EXPECT_TRUE(WantsVersions(L"exe"));
}

TEST(Packets, ConfirmationCarriesRowAndTheLowBytesOfBothVersionNumbers) {
  const struct {
    const wchar_t* version;
    uint8_t major, minor;
  } cases[] = {
      {L"1.5", 1, 5},  {L"2.10", 2, 10},  {L"???", 0, 0},           {L"1.2.3", 1, 0}, {L"4.", 4, 0},
      {L".7", 0, 7},   {L"300.1", 44, 1}, {L"-1.0", 255, 0},        {L"", 0, 0},      {L"7", 0, 0},
      {L"1 .5", 0, 5}, {L"a.1", 0, 1},    {L"99999999999.3", 0, 3},
  };
  for (const auto& c : cases) {
    Built built = BuildInto([&](uint8_t* p) { return BuildConfirmUpdate(p, 4, c.version); });
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.version)));
    EXPECT_EQ(built.bytes, (Bytes{0x03, 0x04, c.major, c.minor}));
    EXPECT_TRUE(built.restUntouched);
  }
}

}  // namespace
