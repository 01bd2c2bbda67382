// The configuration file: every key, and errors that name their line.
#include <gtest/gtest.h>

#include "SimTestSupport.h"
#include "sim/SimIni.h"
#include "sim/SimStatus.h"
#include "common/Utf8.h"

namespace {

namespace fs = std::filesystem;

TEST(SimConfig, EveryKeyIsRead) {
  const TSimConfig config = ParseSimConfig(
      "\xEF\xBB\xBF; the unit\r\n[Unit]\r\nStorage = store\r\nrate = 250000\r\nlatency = 15\r\ntimeout=700\r\n"
      "connected = no\r\nseed = off\r\ncontract-only = yes\r\njournal = \"/tmp/a b/j.txt\"\r\n"
      "# a fault\r\n[fault]\r\nmethod = WaitConfirm\r\ncall = 3\r\nstatus = 6\r\ntext = Отказ; код 12\r\n"
      "[FAULT]\r\nmethod = SendFile\r\naction = disconnect\r\nblock = 4\r\n"
      "[fault]\r\nmethod = WaitData\r\naction = wrong-code\r\ncode = 255\r\ncall = always\r\n"
      "[fault]\r\nmethod = WaitData\r\naction = truncate\r\nlength = 0\r\n",
      fs::path("/base"));
  EXPECT_EQ(config.Error, L"");
  EXPECT_EQ(config.Storage, fs::path("/base/store"));
  EXPECT_EQ(config.Rate, 250000);
  EXPECT_EQ(config.Latency, 15);
  EXPECT_EQ(config.Timeout, 700);
  EXPECT_FALSE(config.Connected);
  EXPECT_FALSE(config.Seed);
  EXPECT_TRUE(config.ContractOnly);
  EXPECT_EQ(config.Journal, fs::path("/tmp/a b/j.txt"));
  ASSERT_EQ(config.Faults.size(), 4u);
  EXPECT_EQ(config.Faults[0].Method, "WaitConfirm");
  EXPECT_EQ(config.Faults[0].Call, 3);
  EXPECT_EQ(config.Faults[0].Status, 6);
  EXPECT_EQ(config.Faults[0].Text, L"Отказ; код 12");
  EXPECT_EQ(config.Faults[1].Action, TFaultAction::Disconnect);
  EXPECT_EQ(config.Faults[1].Block, 4);
  EXPECT_EQ(config.Faults[2].Action, TFaultAction::WrongCode);
  EXPECT_EQ(config.Faults[2].Code, 255);
  EXPECT_EQ(config.Faults[2].Call, 0);
  EXPECT_EQ(config.Faults[3].Length, 0);
}

TEST(SimConfig, DefaultsAreAFullSpeedLinkWithStorageBesideTheFile) {
  const TSimConfig config = ParseSimConfig("", fs::path("/opt/sim"));
  EXPECT_EQ(config.Error, L"");
  EXPECT_EQ(config.Storage, fs::path("/opt/sim/unit"));
  EXPECT_EQ(config.Rate, 1000000);
  EXPECT_EQ(config.Latency, 20);
  EXPECT_TRUE(config.Connected);
  EXPECT_FALSE(config.ContractOnly);
  EXPECT_TRUE(config.Journal.empty());
  EXPECT_TRUE(config.Faults.empty());
}

TEST(SimConfig, TheShippedExampleParsesAsIsAndUncommented) {
  const std::string example = ReadText(SIM_EXAMPLE_CONFIG);
  ASSERT_FALSE(example.empty());
  EXPECT_EQ(ParseSimConfig(example, "/x").Error, L"");
  std::string uncommented;
  for (size_t at = 0; at < example.size();) {
    const size_t end = std::min(example.find('\n', at), example.size());
    std::string line = example.substr(at, end - at);
    if (line.starts_with("; ") &&
        (line.find(" = ") != std::string::npos || line.starts_with("; [")))
      line.erase(0, 2);
    uncommented += line + "\n";
    at = end + 1;
  }
  const TSimConfig config = ParseSimConfig(uncommented, "/x");
  EXPECT_EQ(config.Error, L"");
  EXPECT_EQ(config.Journal, fs::path("/x/journal.txt"));
  ASSERT_EQ(config.Faults.size(), 1u);
  EXPECT_EQ(config.Faults[0].Call, 2);
}

TEST(SimConfig, ErrorsNameTheFirstBadLine) {
  const std::pair<std::string, std::wstring> cases[] = {
      {"[unit]\nrate = fast\n", L"строка 2: rate"},
      {"[unit]\nlatency = -1\n", L"строка 2: latency"},
      {"[unit]\ncontract-only = maybe\n", L"строка 2: contract-only"},
      {"[unit]\ndialog = Initialize, Dial\n", L"строка 2: dialog: неизвестный метод \"Dial\""},
      {"[unit]\nspeed = 1\n", L"строка 2: неизвестный ключ \"speed\""},
      {"rate = 1\n", L"строка 1: ключ вне раздела"},
      {"[unit]\n[bogus]\n", L"строка 2: неизвестный раздел [bogus]"},
      {"[unit\n", L"строка 1: заголовок"},
      {"[unit]\nrate 5\n", L"строка 2: строка должна иметь вид"},
      {"[fault]\nmethod = Open\n", L"строка 2: неизвестный метод \"Open\""},
      {"[fault]\nstatus = 3\n", L"строка 1: в разделе [fault] не задан method"},
      {"[fault]\nmethod = WaitAnswer\naction = truncate\n", L"строка 1: искажение ответа"},
      {"[fault]\nmethod = SendPacket\naction = timeout\n", L"строка 1: timeout задаётся"},
      {"[fault]\nmethod = SendFile\naction = disconnect\nstatus = 6\n",
       L"строка 1: status задаётся"},
      {"[fault]\nmethod = SendFile\ncall = 0\n", L"строка 3: call"},
      {"[fault]\nmethod = SendFile\naction = explode\n", L"строка 3: неизвестное действие"},
  };
  for (const auto& [text, expected] : cases) {
    const TSimConfig config = ParseSimConfig(text, fs::path("/x"));
    EXPECT_NE(config.Error.find(expected), std::wstring::npos)
        << text << " gave " << Utf8FromWide(config.Error);
  }
}

TEST(SimConfig, ABadFileKeepsEveryLinkOperationFromRunning) {
  TSimFixture f;
  TSimUnit unit(f.Config("[unit]\nrate = ?\n"), f.Clock);
  EXPECT_EQ(unit.Initialize(), SimConfigError);
  std::wstring text;
  unit.GetErrorText(&text);
  EXPECT_NE(text.find(L"строка 6"), std::wstring::npos);
  const auto lines = ReadLines(f.Journal());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_TRUE(lines[1].starts_with("# config: ")) << lines[1];
}

TEST(SimConfig, AFileThatMustBeThereButIsNotIsAnError) {
  TScratchFolder folder;
  EXPECT_EQ(LoadSimConfig(folder.Path() / "missing.ini", false).Error, L"");
  EXPECT_NE(LoadSimConfig(folder.Path() / "missing.ini", true).Error, L"");
  WriteText(folder.Path() / "sim.ini", "[unit]\nstorage = here\n");
  const TSimConfig config = LoadSimConfig(folder.Path() / "sim.ini", true);
  EXPECT_EQ(config.Error, L"");
  EXPECT_EQ(config.Storage, folder.Path() / "here");
}

TEST(SimConfig, Utf8RoundTripsAndBadBytesBecomeReplacementCharacters) {
  const std::wstring text = L"Блок \u20AC";
  EXPECT_EQ(WideFromUtf8(Utf8FromWide(text)), text);
  EXPECT_EQ(WideFromUtf8("a\xFF"
                         "b\xC3"),
            L"a\uFFFDb\uFFFD");
  EXPECT_EQ(WideFromUtf8("\xC0\x80"), L"\uFFFD");  // an overlong NUL is no NUL
  EXPECT_EQ(WideFromUtf8("\xF0\x9F\x98\x80").size(), sizeof(wchar_t) == 2 ? 2u : 1u);
}

}  // namespace
