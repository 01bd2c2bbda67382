// The file-list reply: fields into records, the extension filter, and replies that are wrong or
// end early. Every prefix of a good reply is parsed from a heap block of exactly its size, so
// that AddressSanitizer catches a read past the received bytes.
#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "support/ReplyBytes.h"
#include "link/FileListReply.h"

namespace {

TFileListOutcome Parse(const std::vector<uint8_t>& reply, TFileList& list, bool withVersions = true,
                       std::wstring_view filter = L"exe") {
  // An exactly sized copy: the vector's capacity could hide an over-read.
  std::unique_ptr<uint8_t[]> exact(new uint8_t[reply.size()]);
  std::copy(reply.begin(), reply.end(), exact.get());
  return ParseFileListReply({exact.get(), reply.size()}, withVersions, filter, list);
}

std::vector<std::wstring> Names(const TFileList& list) {
  std::vector<std::wstring> names;
  for (const TFileStruct& r : list) names.push_back(r.Name);
  return names;
}

const std::vector<TReplyEntry> UnitFiles = {
    {"a.txt", 0x20, PackTime(9, 5, 4), PackDate(2006, 1, 2), 10, "0.1"},
    {"meridox.exe", 0x21, PackTime(14, 3, 26), PackDate(2007, 5, 14), 123456, "2.10"},
    {"QEM.EXE", 0x01, PackTime(23, 59, 58), PackDate(2019, 12, 31), 65536, "1.5"},
    {"foo.exe", 0x20, 0, 0, 1, ""},
    {"noext", 0x00, 0, 0, 0, "\xE2\x31"},  // "в1"
};

TEST(FileListReply, EntriesBecomeRecordsInReplyOrderAndTheFilterDropsOtherExtensions) {
  TFileList list;
  ASSERT_EQ(Parse(ReplyBytes(UnitFiles, true), list), TFileListOutcome::Ok);
  EXPECT_EQ(Names(list),
            (std::vector<std::wstring>{L"meridox.exe", L"QEM.EXE", L"foo.exe", L"noext"}));

  const TFileStruct& meridox = list[0];
  EXPECT_EQ(meridox.Attributes, 0x21);
  EXPECT_EQ(meridox.Time, L"14:03.26");
  EXPECT_EQ(meridox.Date, L"2007.05.14");
  EXPECT_EQ(meridox.Size, 123456);
  EXPECT_EQ(meridox.Version, L"2.10");
  EXPECT_EQ(list[1].Time, L"23:59.58");
  EXPECT_EQ(list[1].Date, L"2019.12.31");
  EXPECT_EQ(list[2].Version, L"");    // version length 0
  EXPECT_EQ(list[3].Version, L"в1");  // code page 1251 text
}

TEST(FileListReply, WithoutVersionsEntriesAreShorterAndTheFilterIsCaseBlind) {
  TFileList list;
  ASSERT_EQ(Parse(ReplyBytes(UnitFiles, false), list, false, L"EXE"), TFileListOutcome::Ok);
  EXPECT_EQ(Names(list),
            (std::vector<std::wstring>{L"meridox.exe", L"QEM.EXE", L"foo.exe", L"noext"}));
  for (const TFileStruct& r : list) EXPECT_EQ(r.Version, L"");
  EXPECT_EQ(list[1].Size, 65536);

  // No filter: nothing is dropped.
  list.clear();
  ASSERT_EQ(Parse(ReplyBytes(UnitFiles, false), list, false, L""), TFileListOutcome::Ok);
  EXPECT_EQ(list.size(), UnitFiles.size());
}

TEST(FileListReply, EmptyListIsASuccessAndOtherCodesAreRefusedUnread) {
  TFileList list{TFileStruct{L"", L"", L"kept", L"", 0, 0}};
  EXPECT_EQ(Parse({0x01, 0x00}, list), TFileListOutcome::Ok);
  EXPECT_EQ(list.size(), 1u);

  for (uint8_t code : {0, 2, 0xFF}) {
    EXPECT_EQ(Parse(ReplyBytes(UnitFiles, true, code), list), TFileListOutcome::WrongCode);
    EXPECT_EQ(Parse({code}, list), TFileListOutcome::WrongCode);  // nothing after the code is read
  }
  EXPECT_EQ(Names(list), std::vector<std::wstring>{L"kept"});
}

TEST(FileListReply, OnlyTheSecondsAreCheckedInTheTimeAndNothingInTheDate) {
  EXPECT_EQ(FormatPackedTime(0), L"00:00.00");
  EXPECT_EQ(FormatPackedTime(29), L"00:00.58");
  EXPECT_EQ(FormatPackedTime(30), L"00:00.00");
  EXPECT_EQ(FormatPackedTime(31), L"00:00.00");
  EXPECT_EQ(FormatPackedTime(PackTime(7, 60, 2)), L"07:60.02");
  EXPECT_EQ(FormatPackedTime(0xFFFF), L"31:63.00");
  EXPECT_EQ(FormatPackedDate(0), L"1980.00.00");
  EXPECT_EQ(FormatPackedDate(PackDate(2007, 13, 5)), L"2007.13.05");
  EXPECT_EQ(FormatPackedDate(0xFFFF), L"2107.15.31");
}

TEST(FileListReply, SizesFromBit31AreNegativeAndDuplicatesStay) {
  TFileList list;
  const std::vector<TReplyEntry> entries = {
      {"qem.exe", 0xFF, 0, 0, 0x80000000u, "1.0"},
      {"qem.exe", 0x00, 0, 0, 0xFFFFFFFFu, "1.0"},
      {"qem.exe", 0x00, 0, 0, 0x7FFFFFFFu, "1.1"},
  };
  ASSERT_EQ(Parse(ReplyBytes(entries, true), list), TFileListOutcome::Ok);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].Size, INT32_MIN);
  EXPECT_EQ(list[0].Attributes, 255);
  EXPECT_EQ(list[1].Size, -1);
  EXPECT_EQ(list[2].Size, INT32_MAX);
  EXPECT_EQ(list[2].Version, L"1.1");
}

TEST(FileListReply, TheExtensionIsWhatFollowsTheLastPoint) {
  EXPECT_TRUE(PassesExtensionFilter(L"noext", L"exe"));
  EXPECT_TRUE(PassesExtensionFilter(L"a.b.EXE", L"exe"));
  EXPECT_FALSE(PassesExtensionFilter(L"meridox.exe.bak", L"exe"));
  EXPECT_FALSE(PassesExtensionFilter(L"trailing.", L"exe"));
  EXPECT_FALSE(PassesExtensionFilter(L".exe.", L"exe"));
  EXPECT_TRUE(PassesExtensionFilter(L".exe", L"exe"));
  EXPECT_TRUE(PassesExtensionFilter(L"отчёт.ДОК", L"док"));

  // Names arrive in code page 1251 and are compared as text.
  TFileList list;
  ASSERT_EQ(
      Parse(ReplyBytes({Named("\xEE\xF2\xF7\xB8\xF2.\xE4\xEE\xEA")}, false), list, false, L"ДОК"),
      TFileListOutcome::Ok);
  EXPECT_EQ(Names(list), std::vector<std::wstring>{L"отчёт.док"});
}

TEST(FileListReply, LongestNamesAndVersionsFit) {
  TFileList list;
  ASSERT_EQ(
      Parse(ReplyBytes({{std::string(255, 'n'), 0, 0, 0, 0, std::string(255, 'v')}}, true), list),
      TFileListOutcome::Ok);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].Name.size(), 255u);
  EXPECT_EQ(list[0].Version.size(), 255u);
}

TEST(FileListReply, EveryEarlyEndOfAGoodReplyIsRefusedAndAddsNothing) {
  for (bool withVersions : {true, false}) {
    const std::vector<uint8_t> whole = ReplyBytes(UnitFiles, withVersions);
    for (size_t length = 0; length < whole.size(); ++length) {
      SCOPED_TRACE(testing::Message() << "versions " << withVersions << ", " << length << " bytes");
      TFileList list;
      EXPECT_EQ(Parse({whole.begin(), whole.begin() + length}, list, withVersions),
                TFileListOutcome::Truncated);
      EXPECT_TRUE(list.empty());
      // A cut reply is read to its end (a recording keeps all of it).
      EXPECT_EQ(FileListReplyExtent({whole.data(), length}, withVersions), length);
    }
    // Bytes after the last entry are not looked at.
    std::vector<uint8_t> longer = whole;
    longer.push_back(0x55);
    TFileList list;
    EXPECT_EQ(Parse(longer, list, withVersions), TFileListOutcome::Ok);
    EXPECT_EQ(FileListReplyExtent(longer, withVersions), whole.size());
    EXPECT_EQ(FileListReplyExtent(ReplyBytes(UnitFiles, withVersions, 7), withVersions), 1u);
  }
  // N larger than the entries sent; and a version part asked for but not sent.
  TFileList list;
  EXPECT_EQ(Parse(ReplyBytes(UnitFiles, true, 1, 6), list), TFileListOutcome::Truncated);
  EXPECT_EQ(Parse(ReplyBytes({Named("x.exe")}, false), list, true), TFileListOutcome::Truncated);
  EXPECT_TRUE(list.empty());
}

}  // namespace
