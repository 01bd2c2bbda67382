// Recordings as the recorder writes them (its line builder) read back by the stand-in's replay:
// every kind of out-value survives the trip, each thread keeps its own order, queries the
// program no longer makes are passed over, and anything else is a divergence that says what
// was expected. Also recorder.ini's reading and the hash a recording keeps of a file.
#include <gtest/gtest.h>

#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "common/Sha256.h"
#include "common/Utf8.h"
#include "link/Cp1251.h"
#include "recorder/RecorderConfig.h"
#include "recorder/Recording.h"
#include "sim/SimReplay.h"

namespace {

namespace fs = std::filesystem;

std::string Call(int seq, const char* thread, const char* method, const TJsonObject& args,
                 int result, const TJsonObject& out = {}, const std::string& progress = "") {
  TJsonObject line;
  line.Number("seq", seq).Milliseconds("t", seq).Text("thread", thread).Text("method", method);
  line.Raw("args", args.Close()).Number("result", result);
  if (!out.Empty()) line.Raw("out", out.Close());
  line.Milliseconds("ms", 0.25);
  if (!progress.empty()) line.Raw("progress", progress);
  return line.Close() + "\n";
}

const TRecordedCall* Take(TSimReplay& replay, TThreadKind thread, const std::string& call) {
  std::wstring divergence;
  std::vector<std::string> passedOver;
  return replay.Take(thread, call, divergence, passedOver);
}

// Sets a locale whose decimal point is a comma, as a component may, for the test's length.
class TDecimalComma {
 public:
  TDecimalComma() {
    for (const char* name : {"ru_RU.UTF-8", "ru_RU.utf8", "de_DE.UTF-8", "Russian_Russia.1251"})
      if (std::setlocale(LC_ALL, name)) return;
  }
  ~TDecimalComma() { std::setlocale(LC_ALL, "C"); }
  bool Set() const { return *std::localeconv()->decimal_point == ','; }
};

TEST(SimReplay, WhatTheRecorderWritesReadsBack) {
  const TDecimalComma locale;  // numbers are written the same whatever the locale
  if (!locale.Set()) std::cerr << "no locale with a decimal comma here: written in C's only\n";
  const std::string title = "Блок \"A\\B\"\t1";
  const uint8_t reply[] = {1, 0, 0xFF};
  const std::string text =
      TJsonObject().Text("recording", "ComPort").Milliseconds("create_ms", 1).Close() + "\n" +
      Call(1, "creator", "Configure",
           TJsonObject()
               .Number("mode", 5)
               .Text("title", title)
               .Number("window", 4242)
               .Bool("flag", true),
           0) +
      Call(2, "creator", "QueryState", {}, 1, TJsonObject().Number("state", 1)) +
      Call(3, "worker", "SendPacket",
           TJsonObject().Number("kind", 27).Number("length", 3).Text("bytes", HexBytes(reply)), 0) +
      Call(4, "worker", "GetReceivedData", {}, 0, TJsonObject().Text("reply", HexBytes(reply))) +
      Call(5, "worker", "GetReceivedData", {}, 0, TJsonObject().Null("reply")) +
      Call(6, "worker", "GetErrorText", {}, 0, TJsonObject().Text("text", "Нет места")) +
      Call(7, "worker", "SendFile",
           TJsonObject().Number("size", 9).Text("name", "qem.exe").Text("sha256", "ab"), 0, {},
           "[{\"thread\":\"own\",\"total\":2,\"current\":0,\"at\":1.5},"
           "{\"thread\":\"own\",\"total\":2,\"current\":1,\"at\":3}]") +
      // A progress call that came after SendFile's line was written.
      TJsonObject()
          .Milliseconds("t", 8)
          .Raw("progress", TJsonObject()
                               .Text("thread", "own")
                               .Number("total", 2)
                               .Number("current", 2)
                               .Milliseconds("at", 12.345)
                               .Close())
          .Number("of", 7)
          .Close() +
      "\n" + TJsonObject().Milliseconds("ended", 9).Close() + "\n";
  TSimReplay replay = TSimReplay::Parse(text);
  ASSERT_EQ(replay.Error(), L"");
  EXPECT_EQ(replay.CallCount(), 7u);

  // The window handle is no part of the comparison: it differs from run to run.
  const TRecordedCall* configure = Take(
      replay, TThreadKind::Creator,
      ReplayCall("Configure", {ReplayNumber(5), ReplayText(WideFromUtf8(title)), ReplayNumber(1)}));
  ASSERT_NE(configure, nullptr);
  EXPECT_DOUBLE_EQ(configure->DurationMs, 0.25);
  const TRecordedCall* query = Take(replay, TThreadKind::Creator, "QueryState()");
  ASSERT_NE(query, nullptr);
  EXPECT_EQ(query->Result, 1);
  EXPECT_EQ(query->State, 1);

  const TRecordedCall* sent =
      Take(replay, TThreadKind::Worker,
           ReplayCall("SendPacket", {ReplayNumber(27), ReplayNumber(3), ReplayHex(reply)}));
  ASSERT_NE(sent, nullptr);
  const TRecordedCall* data = Take(replay, TThreadKind::Worker, "GetReceivedData()");
  ASSERT_NE(data, nullptr);
  ASSERT_TRUE(data->Reply);
  EXPECT_EQ(*data->Reply, std::vector<uint8_t>(std::begin(reply), std::end(reply)));
  const TRecordedCall* none = Take(replay, TThreadKind::Worker, "GetReceivedData()");
  ASSERT_NE(none, nullptr);
  EXPECT_FALSE(none->Reply);
  const TRecordedCall* error = Take(replay, TThreadKind::Worker, "GetErrorText()");
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->Text, L"Нет места");
  const TRecordedCall* file =
      Take(replay, TThreadKind::Worker,
           ReplayCall("SendFile", {ReplayNumber(9), ReplayText(L"qem.exe"), ReplayText(L"ab")}));
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(file->Progress.size(), 3u);
  EXPECT_TRUE(file->Progress[1].OwnThread);
  EXPECT_EQ(file->Progress[1].Total, 2);
  EXPECT_EQ(file->Progress[1].Current, 1);
  EXPECT_DOUBLE_EQ(file->Progress[1].AtMs, 3);
  EXPECT_FALSE(file->Progress[1].Late);
  EXPECT_TRUE(file->Progress[2].Late);
  EXPECT_DOUBLE_EQ(file->Progress[2].AtMs, 12.345);
}

TEST(SimReplay, EachThreadInItsOrderQueriesPassedOverOthersDiverge) {
  const std::string text =
      Call(1, "creator", "Initialize", {}, 0) +
      Call(2, "worker", "WaitConfirm", TJsonObject().Number("kind", 27).Number("timeout", 3000),
           0) +
      Call(3, "worker", "GetErrorText", {}, 0, TJsonObject().Text("text", "x")) +
      Call(4, "worker", "SetInteractive", TJsonObject().Number("interactive", 1), 0) +
      Call(5, "creator", "Reset", {}, 0);
  TSimReplay replay = TSimReplay::Parse(text);
  ASSERT_EQ(replay.Error(), L"");
  // The worker's first call comes before the creator's: each thread has its own cursor.
  ASSERT_NE(Take(replay, TThreadKind::Worker, "WaitConfirm(27, 3000)"), nullptr);
  std::wstring divergence;
  std::vector<std::string> passedOver;
  EXPECT_EQ(replay.Take(TThreadKind::Worker, "Reset()", divergence, passedOver), nullptr);
  EXPECT_NE(divergence.find(L"worker Reset(), а записан GetErrorText() (строка 3)"),
            std::wstring::npos)
      << Utf8FromWide(divergence);
  ASSERT_NE(replay.Take(TThreadKind::Worker, "SetInteractive(1)", divergence, passedOver), nullptr);
  EXPECT_EQ(passedOver, std::vector<std::string>{"GetErrorText()"});
  ASSERT_NE(Take(replay, TThreadKind::Creator, "Initialize()"), nullptr);
  ASSERT_NE(Take(replay, TThreadKind::Creator, "Reset()"), nullptr);
  EXPECT_EQ(replay.Take(TThreadKind::Creator, "Close()", divergence, passedOver), nullptr);
  EXPECT_NE(divergence.find(L"кончились"), std::wstring::npos) << Utf8FromWide(divergence);
}

// A line cut short (a full disk) or otherwise unreadable costs that line: it is named, and the
// calls around it replay. Only a recording without a call cannot be replayed.
TEST(SimReplay, AnUnreadableLineIsNamedAndTheRestReplays) {
  TSimReplay cut = TSimReplay::Parse(
      Call(1, "worker", "Reset", {}, 0) +
      Call(2, "worker", "GetReceivedData", {}, 0, TJsonObject().Text("reply", "0g")) +
      Call(3, "worker", "Close", {}, 0) + "{\"seq\":4,\"t\":1.2");
  EXPECT_EQ(cut.Error(), L"");
  ASSERT_EQ(cut.Notes().size(), 2u);
  EXPECT_NE(cut.Notes()[0].find(L"строка 2"), std::wstring::npos);
  EXPECT_NE(cut.Notes()[1].find(L"строка 4"), std::wstring::npos);
  EXPECT_NE(Take(cut, TThreadKind::Worker, "Reset()"), nullptr);
  EXPECT_NE(Take(cut, TThreadKind::Worker, "Close()"), nullptr);
  EXPECT_NE(TSimReplay::Parse("{\"seq\":1,\n").Error().find(L"строка 1"), std::wstring::npos);
  EXPECT_NE(TSimReplay::Parse("").Error(), L"");
  EXPECT_NE(TSimReplay::Load("/nonexistent/x.jsonl").Error(), L"");
}

// A divergence fails one call; the thread then goes on from where the program and the
// recording meet again. A call made inside another (written first, numbered after) is taken in
// the order the calls entered.
TEST(SimReplay, ADivergenceIsOneFailedCallAndNestedCallsFollowTheirOuter) {
  const std::string text =
      Call(1, "worker", "SetTimeout", TJsonObject().Number("ms", 1), 0) +
      Call(2, "worker", "SetTimeout", TJsonObject().Number("ms", 2), 0) +
      Call(3, "worker", "SetTimeout", TJsonObject().Number("ms", 3), 0) +
      Call(4, "worker", "SetTimeout", TJsonObject().Number("ms", 4), 0) +
      Call(5, "worker", "SetTimeout", TJsonObject().Number("ms", 5), 0) +
      Call(7, "creator", "Reset", {}, 0) + Call(6, "creator", "WaitConfirm",
                                                TJsonObject().Number("kind", 27).Number("timeout", 9),
                                                0);
  TSimReplay replay = TSimReplay::Parse(text);
  ASSERT_EQ(replay.Error(), L"");
  std::wstring divergence, resync;
  std::vector<std::string> passedOver;
  auto take = [&](const char* call) {
    divergence.clear();
    return replay.Take(TThreadKind::Worker, call, divergence, passedOver, &resync) != nullptr;
  };
  EXPECT_TRUE(take("SetTimeout(1)"));
  // The program skipped 2: that call fails, and the cursor goes on after it.
  EXPECT_FALSE(take("SetTimeout(3)"));
  EXPECT_NE(resync.find(L"строки 3"), std::wstring::npos) << Utf8FromWide(resync);
  EXPECT_TRUE(take("SetTimeout(4)")) << Utf8FromWide(divergence);
  // A call the recording does not have: it fails, and the next one is sought from the cursor.
  EXPECT_FALSE(take("SetTimeout(99)"));
  EXPECT_NE(resync.find(L"строки 5"), std::wstring::npos) << Utf8FromWide(resync);
  EXPECT_TRUE(take("SetTimeout(5)")) << Utf8FromWide(divergence);
  EXPECT_FALSE(take("SetTimeout(6)"));
  EXPECT_NE(divergence.find(L"кончились"), std::wstring::npos);

  EXPECT_NE(Take(replay, TThreadKind::Creator, "WaitConfirm(27, 9)"), nullptr);
  EXPECT_NE(Take(replay, TThreadKind::Creator, "Reset()"), nullptr);
}

TEST(RecorderConfig, ComponentRequiredAndAbsoluteFolderBesideByDefault) {
  const fs::path here("/opt/rec");
  TRecorderConfig config = ParseRecorderConfig(
      "\xEF\xBB\xBF[other]\nx = 1\n[Recorder]\r\nComponent = \"/v/Varnel.dll\"\r\n", here);
  EXPECT_EQ(config.Error, L"");
  EXPECT_EQ(config.Component, fs::path("/v/Varnel.dll"));
  EXPECT_EQ(config.Folder, here);
  EXPECT_EQ(ParseRecorderConfig("[recorder]\ncomponent=/v/V.dll\nfolder = rec\n", here).Folder,
            here / "rec");
  for (const char* wrong : {"[recorder]\nfolder = x\n", "[recorder]\ncomponent = Varnel.dll\n",
                            "[recorder]\ncomponent = /v/V.dll\ncolour = red\n", "[recorder\n"})
    EXPECT_NE(ParseRecorderConfig(wrong, here).Error, L"") << wrong;
  EXPECT_NE(LoadRecorderConfig("/nonexistent").Error.find(L"recorder.ini"), std::wstring::npos);
}

// As Notepad saves it: UTF-16 either way round, UTF-8 with or without a mark, the ANSI code page.
TEST(RecorderConfig, ReadAsWindowsReadsText) {
  const std::wstring text = L"[recorder]\r\ncomponent = /v/Varnel.dll\r\nfolder = /r/записи\r\n";
  auto utf16 = [&](bool big) {
    std::string bytes = big ? "\xFE\xFF" : "\xFF\xFE";
    for (const wchar_t c : text) {
      const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
      bytes += big ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
  };
  for (const std::string& bytes : {utf16(false), utf16(true), Utf8FromWide(text),
                                   "\xEF\xBB\xBF" + Utf8FromWide(text), ToCp1251(text)}) {
    const TRecorderConfig config = ParseRecorderConfig(bytes, "/opt/rec", FromCp1251);
    EXPECT_EQ(config.Error, L"");
    EXPECT_EQ(config.Folder, fs::path(u8"/r/записи"));
  }
}

TEST(Sha256, KnownDigestsAcrossTheBlockEdges) {
  auto digest = [](const std::string& text) {
    return Sha256Hex({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  };
  EXPECT_EQ(digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the length no longer fits the last block.
  EXPECT_EQ(digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(digest(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
