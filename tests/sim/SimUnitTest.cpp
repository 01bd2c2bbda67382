// The simulated unit's requests and replies, byte for byte, and its storage.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "SimTestSupport.h"
#include "sim/SimStatus.h"
#include "model/ComponentTable.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A storage laid out by hand: two files with known stamps, one of them not a component.
void MakeHandStorage(const fs::path& folder) {
  fs::create_directories(folder);
  WriteText(folder / "meridox.exe", "MZ!");
  WriteText(folder / "notes.txt", std::string(300, 'n'));
  WriteText(
      folder / "storage.ini",
      "[file]\nname = meridox.exe\nversion = 1.5\ndate = 2021-12-31\ntime = 23:59:58\nattributes = 0x20\n"
      "[file]\nname = notes.txt\nversion =\ndate = 1980-01-01\ntime = 00:00:00\nattributes = 0x01\n");
}

TEST(SimUnit, FileListReplyIsLaidOutByteForByteWithVersionsOnlyWhenAsked) {
  TSimFixture f;
  MakeHandStorage(f.Storage());
  f.MakeReady();
  const auto meridox =
      Concat({{11}, Bytes("meridox.exe"), {0x20, 0x7D, 0xBF, 0x9F, 0x53, 3, 0, 0, 0}});
  const auto notes =
      Concat({{9}, Bytes("notes.txt"), {0x01, 0x00, 0x00, 0x21, 0x00, 0x2C, 0x01, 0, 0}});

  EXPECT_EQ(f.FileList(1), Concat({{1, 2}, meridox, {3}, Bytes("1.5"), notes, {0}}));
  EXPECT_EQ(f.Unit->GetReceivedSize(), 2 + 21 + 4 + 19 + 1);
  EXPECT_EQ(f.FileList(0), Concat({{1, 2}, meridox, notes}));

  // Any other flag is not a request the unit knows.
  ASSERT_EQ(f.Send({1, 2}), SimOk);
  EXPECT_EQ(f.Unit->WaitData(2000), SimUnitError);
  EXPECT_EQ(f.Unit->GetReceivedData(), nullptr);
}

TEST(SimUnit, ContractOnlyRepliesLandInOneFixedBufferThatKeepsWhatLongerOnesLeft) {
  TSimFixture f;
  f.MakeReady("contract-only = 1\n");
  EXPECT_EQ(f.Unit->GetReceivedData(), nullptr);
  const std::vector<uint8_t> longer = f.FileList(1);
  const uint8_t* buffer = f.Unit->GetReceivedData();
  const std::vector<uint8_t> shorter = f.FileList(0);
  ASSERT_LT(shorter.size(), longer.size());
  ASSERT_EQ(f.Unit->GetReceivedData(), buffer);
  std::vector<uint8_t> expected = shorter;
  expected.insert(expected.end(), longer.begin() + shorter.size(), longer.end());
  expected.resize(TSimUnit::ReplyBufferSize);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + TSimUnit::ReplyBufferSize), expected);
  ASSERT_EQ(f.Send({2, 0}), SimOk);
  EXPECT_EQ(f.Unit->GetReceivedData(), nullptr);

  // Only very many long names make a reply longer than the buffer: 2 + 255 * (1 + 250 + 10).
  TSimFixture many;
  fs::create_directories(many.Storage());
  for (int i = 0; i < 255; ++i)
    WriteText(many.Storage() / (std::to_string(1000 + i) + std::string(246, 'n')), "");
  many.MakeReady("contract-only = 1\n");
  EXPECT_EQ(many.FileList(1).size(), TSimUnit::ReplyBufferSize);
  const auto lines = ReadLines(many.Journal());
  EXPECT_NE(
      std::find(lines.begin(), lines.end(),
                "# buffer: reply of 66557 bytes cut at the receive buffer's end (65536 bytes)"),
      lines.end());
}

TEST(SimUnit, ContractOnlyCallsOfUnlistedSlotsAreRemarkedAndFail) {
  TSimFixture f;
  for (const bool contractOnly : {false, true}) {
    f.MakeReady(contractOnly ? "contract-only = 1\n" : "");
    EXPECT_EQ(f.Unit->Reserved(20), SimBadArgument);
    const auto lines = ReadLines(f.Journal());
    EXPECT_EQ(lines.back(), "Reserved20() = 4");
    EXPECT_EQ(lines[lines.size() - 2] ==
                  "# contract: Reserved20 is not a method of the vendor's component",
              contractOnly);
  }
  EXPECT_NE(f.ErrorText().find(L"Reserved20"), std::wstring::npos);
}

TEST(SimUnit, FactoryStorageHoldsTheSixComponentsAndTwoOtherFiles) {
  TSimFixture f;
  f.MakeReady();
  const auto files = ParseList(f.FileList(1), true);
  ASSERT_EQ(files.size(), 8u);
  for (int row = 0; row < 6; ++row) {
    EXPECT_EQ(files[row].Name, ComponentFileNames[row]);
    EXPECT_GT(files[row].Size, 50000u);
    EXPECT_LE(files[row].Size, 1048576u);
    EXPECT_FALSE(files[row].Version.empty());
    EXPECT_EQ(fs::file_size(f.Storage() / ComponentFileNames[row]), files[row].Size);
  }
  EXPECT_EQ(files[6].Name, "readme.txt");
  EXPECT_EQ(files[7].Name, "unit.cfg");
  EXPECT_EQ(files[7].Version, "");
  // meridox.exe: 2019-03-14 10:22:36, packed as MS-DOS date and time.
  EXPECT_EQ(files[0].Date, (39 << 9) | (3 << 5) | 14);
  EXPECT_EQ(files[0].Time, (10 << 11) | (22 << 5) | 18);
  EXPECT_EQ(files[0].Version, "1.0");
}

TEST(SimUnit, DosDateAndTimeClampTheYearAndHalveTheSeconds) {
  EXPECT_EQ(DosDate({1980, 1, 1, 0, 0, 0}), 0x21);
  EXPECT_EQ(DosDate({1975, 6, 2, 0, 0, 0}), (6 << 5) | 2);
  EXPECT_EQ(DosDate({2107, 12, 31, 0, 0, 0}), 0xFF9F);
  EXPECT_EQ(DosDate({2200, 12, 31, 0, 0, 0}), 0xFF9F);
  EXPECT_EQ(DosTime({2000, 1, 1, 23, 59, 59}), (23 << 11) | (59 << 5) | 29);
  EXPECT_EQ(DosTime({2000, 1, 1, 0, 0, 1}), 0);
}

TEST(SimUnit, SetDirectoryKnowsOnlyTheRoot) {
  TSimFixture f;
  f.MakeReady();
  ASSERT_EQ(f.Send({2, 0}), SimOk);
  EXPECT_EQ(f.Unit->WaitAnswer(27, -1), SimOk);
  ASSERT_EQ(f.Send({2, 1, '\\'}), SimOk);
  EXPECT_EQ(f.Unit->WaitAnswer(27, -1), SimOk);

  ASSERT_EQ(f.Send({2, 3, 'b', 'i', 'n'}), SimOk);
  EXPECT_EQ(f.Unit->WaitAnswer(27, -1), SimUnitError);
  EXPECT_NE(f.ErrorText().find(L"\"bin\""), std::wstring::npos);
  // A name length that disagrees with the packet's length.
  ASSERT_EQ(f.Send({2, 5, 'a'}), SimOk);
  EXPECT_EQ(f.Unit->WaitAnswer(27, -1), SimUnitError);
}

TEST(SimUnit, UpdateTransfersInBlocksAndConfirmationInstallsTheNewVersion) {
  TSimFixture f;
  f.MakeReady();
  std::vector<uint8_t> image(10000);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
  std::vector<std::pair<int32_t, int32_t>> reports;
  ASSERT_EQ(
      f.SendImage(L"MERIDOX.EXE", image, [&](int32_t t, int32_t c) { reports.emplace_back(t, c); }),
      SimOk);
  EXPECT_EQ(reports, (std::vector<std::pair<int32_t, int32_t>>{{3, 0}, {3, 1}, {3, 2}}));

  ASSERT_EQ(f.Confirm(0, 2, 17), SimOk);
  const auto files = ParseList(f.FileList(1), true);
  ASSERT_EQ(files.size(), 8u);
  EXPECT_EQ(files[0].Name, "meridox.exe");
  EXPECT_EQ(files[0].Version, "2.17");
  EXPECT_EQ(files[0].Size, 10000u);
  EXPECT_EQ(files[0].Date, DosDate(f.Clock->Local));
  EXPECT_EQ(files[0].Time, DosTime(f.Clock->Local));
  EXPECT_EQ(ReadText(f.Storage() / "meridox.exe"), std::string(image.begin(), image.end()));

  // The image went with the confirmation: a second one has nothing to install.
  EXPECT_EQ(f.Confirm(0, 2, 18), SimUnitError);
  EXPECT_EQ(ParseList(f.FileList(1), true)[0].Version, "2.17");
}

TEST(SimUnit, ProgressCountsBlocksOfAtMost4096Bytes) {
  TSimFixture f;
  f.MakeReady();
  for (const auto& [size, blocks] :
       std::vector<std::pair<int, int>>{{1, 1}, {4096, 1}, {4097, 2}, {1048576, 256}}) {
    int32_t reported = 0, last = -1, total = 0;
    ASSERT_EQ(f.SendImage(L"salvik.exe", std::vector<uint8_t>(size, 1),
                          [&](int32_t t, int32_t c) {
                            total = t;
                            EXPECT_EQ(c, last + 1);
                            last = c;
                            ++reported;
                          }),
              SimOk);
    EXPECT_EQ(total, blocks);
    EXPECT_EQ(reported, blocks);
  }
}

TEST(SimUnit, ConfirmationFailsWithoutAFileForThatRow) {
  TSimFixture f;
  f.MakeReady();
  EXPECT_EQ(f.Confirm(1, 1, 0), SimUnitError);
  EXPECT_NE(f.ErrorText().find(L"salvik.exe"), std::wstring::npos);

  ASSERT_EQ(f.SendImage(L"tormund.exe", std::vector<uint8_t>(100, 2)), SimOk);
  EXPECT_EQ(f.Confirm(1, 1, 0), SimUnitError);
  EXPECT_NE(f.ErrorText().find(L"tormund.exe"), std::wstring::npos);
  // The wrong confirmation used the image up.
  EXPECT_EQ(f.Confirm(2, 1, 0), SimUnitError);

  EXPECT_EQ(f.Confirm(6, 1, 0), SimUnitError);
  ASSERT_EQ(f.Send({3, 0, 1}), SimOk);
  EXPECT_EQ(f.Unit->WaitConfirm(27, 3000), SimUnitError);
  EXPECT_EQ(ParseList(f.FileList(1), true)[2].Version, "1.0");
}

TEST(SimUnit, SendFileRefusesWhatIsNotAComponentImage) {
  TSimFixture f;
  f.MakeReady();
  const std::vector<uint8_t> image(10, 1);
  const std::wstring other = L"meridox.exe.bak";
  EXPECT_EQ(f.Unit->SendFile(10, image.data(), &other, {}), SimUnitError);
  EXPECT_NE(f.ErrorText().find(L"meridox.exe.bak"), std::wstring::npos);
  EXPECT_EQ(f.Unit->SendFile(10, image.data(), nullptr, {}), SimUnitError);
  const std::wstring name = L"qem.exe";
  EXPECT_EQ(f.Unit->SendFile(0, image.data(), &name, {}), SimBadArgument);
  EXPECT_EQ(f.Unit->SendFile(10, nullptr, &name, {}), SimBadArgument);
  EXPECT_EQ(f.Confirm(5, 1, 0), SimUnitError);
}

TEST(SimUnit, StorageSurvivesARestart) {
  TSimFixture f;
  f.MakeReady();
  ASSERT_EQ(f.SendImage(L"Volnikar.exe", std::vector<uint8_t>(5000, 9)), SimOk);
  ASSERT_EQ(f.Confirm(4, 3, 1), SimOk);

  f.Clock->Local = {2030, 1, 2, 3, 4, 6};
  f.MakeReady();
  const auto files = ParseList(f.FileList(1), true);
  ASSERT_EQ(files.size(), 8u);
  EXPECT_EQ(files[4].Name, "volnikar.exe");
  EXPECT_EQ(files[4].Version, "3.1");
  EXPECT_EQ(files[4].Size, 5000u);
  EXPECT_EQ(files[4].Date, DosDate({2024, 5, 17, 0, 0, 0}));
}

TEST(SimUnit, StorageTakesInFilesCopiedByHandAndForgetsRemovedOnes) {
  TSimFixture f;
  f.MakeReady();
  f.FileList();
  WriteText(f.Storage() / "extra.dat", "12345");
  fs::remove(f.Storage() / "tormund.exe");
  const auto files = ParseList(f.FileList(1), true);
  ASSERT_EQ(files.size(), 8u);
  EXPECT_EQ(files[2].Name, "pelikar.exe");
  EXPECT_EQ(files.back().Name, "extra.dat");
  EXPECT_EQ(files.back().Size, 5u);
  EXPECT_EQ(files.back().Version, "");
  EXPECT_EQ(files.back().Date, DosDate(f.Clock->Local));
}

TEST(SimUnit, AFolderWithFilesButNoIndexIsTakenAsItIsNotSeeded) {
  TSimFixture f;
  fs::create_directories(f.Storage());
  WriteText(f.Storage() / "meridox.exe", "mine");
  f.MakeReady();
  const auto files = ParseList(f.FileList(1), true);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].Name, "meridox.exe");
  EXPECT_EQ(files[0].Version, "");
  EXPECT_EQ(ReadText(f.Storage() / "meridox.exe"), "mine");
}

TEST(SimUnit, ReplacingAComponentStoredInOtherLettersKeepsOneFile) {
  TSimFixture f;
  fs::create_directories(f.Storage());
  WriteText(f.Storage() / "QEM.EXE", "old");
  WriteText(f.Storage() / "storage.ini", "[file]\nname = QEM.EXE\nversion = 1.0\n");
  f.MakeReady();
  ASSERT_EQ(f.SendImage(L"qem.exe", std::vector<uint8_t>(7, 1)), SimOk);
  ASSERT_EQ(f.Confirm(5, 4, 0), SimOk);
  const auto files = ParseList(f.FileList(1), true);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].Name, "qem.exe");
  EXPECT_EQ(files[0].Version, "4.0");
}

TEST(SimUnit, UnknownRequestsAndMismatchedWaitsFailWithAText) {
  TSimFixture f;
  f.MakeReady();
  ASSERT_EQ(f.Send({7, 1, 2}), SimOk);
  EXPECT_EQ(f.Unit->WaitAnswer(27, 1000), SimUnitError);
  EXPECT_NE(f.ErrorText().find(L"7"), std::wstring::npos);

  ASSERT_EQ(f.SendImage(L"meridox.exe", std::vector<uint8_t>(10, 1)), SimOk);
  ASSERT_EQ(f.Send({3, 0, 1, 1}), SimOk);
  EXPECT_EQ(f.Unit->WaitData(2000), SimUnexpectedAnswer);
  // The confirmation was not carried out by the wrong wait.
  EXPECT_EQ(ParseList(f.FileList(1), true)[0].Version, "1.0");

  EXPECT_EQ(f.Unit->SendPacket(26, 2, std::vector<uint8_t>{1, 1}.data()), SimBadArgument);
  EXPECT_EQ(f.Unit->SendPacket(27, 0, std::vector<uint8_t>{1}.data()), SimBadArgument);
  EXPECT_EQ(f.Unit->SendPacket(27, 4101, std::vector<uint8_t>(4101).data()), SimBadArgument);
  EXPECT_EQ(f.Unit->SendPacket(27, 2, nullptr), SimBadArgument);
  EXPECT_EQ(f.Unit->WaitAnswer(26, 10), SimBadArgument);
}

TEST(SimUnit, LinkStateFollowsInitializeResetAndShutdown) {
  TSimFixture f;
  TSimUnit& unit = f.Make();
  int32_t state = -1;
  EXPECT_NE(unit.QueryState(&state), 0);
  EXPECT_NE(state, 0);
  EXPECT_EQ(f.Send({2, 0}), SimNotInitialized);
  EXPECT_EQ(f.ErrorText(), L"Связь с блоком диагностики не установлена");
  ASSERT_EQ(unit.Initialize(), SimOk);
  EXPECT_EQ(unit.QueryState(&state), 0);
  EXPECT_EQ(state, 0);
  EXPECT_EQ(unit.Reset(), SimOk);
  EXPECT_NE(unit.QueryState(&state), 0);
  ASSERT_EQ(unit.Initialize(), SimOk);
  EXPECT_EQ(unit.Close(), SimOk);
  EXPECT_NE(unit.QueryState(nullptr), 0);
  EXPECT_EQ(unit.Shutdown(), SimOk);
  EXPECT_EQ(unit.Initialize(), SimShutDown);
  EXPECT_EQ(unit.SetInteractive(1), SimShutDown);
}

TEST(SimUnit, DisconnectedUnitRefusesInitializeInRussian) {
  TSimFixture f;
  TSimUnit& unit = f.Make("connected = 0\n");
  EXPECT_EQ(unit.Initialize(), SimNotConnected);
  EXPECT_EQ(f.ErrorText(), L"Блок диагностики не подключен");
  EXPECT_NE(unit.QueryState(nullptr), 0);
  EXPECT_FALSE(fs::exists(f.Storage()));
}

TEST(SimUnit, ConfigureKeepsItsOwnCopyOfTheRecord) {
  TSimFixture f;
  TSimUnit& unit = f.Make();
  {
    TLinkSettings settings{5, "\xC1\xEB\xEE\xEA", 0x1234, true};
    ASSERT_EQ(unit.Configure(&settings), SimOk);
    settings.AppTitle.assign(100, 'x');
  }
  EXPECT_EQ(unit.Settings().Mode, 5);
  EXPECT_EQ(unit.Settings().AppTitle, "\xC1\xEB\xEE\xEA");
  EXPECT_EQ(unit.Configure(nullptr), SimBadArgument);
}

TEST(SimUnit, EveryWaitEndsAtItsLimitOrSetTimeouts) {
  TSimFixture f;
  TSimUnit& unit = f.MakeReady();
  ASSERT_EQ(unit.SetTimeout(1000), SimOk);
  int64_t before = f.Clock->Now;
  EXPECT_EQ(unit.WaitAnswer(27, -1), SimTimeout);
  EXPECT_EQ(f.Clock->Now - before, 1000000);
  before = f.Clock->Now;
  EXPECT_EQ(unit.WaitConfirm(27, 3000), SimTimeout);
  EXPECT_EQ(f.Clock->Now - before, 3000000);
  EXPECT_NE(f.ErrorText().find(L"3000"), std::wstring::npos);
  EXPECT_EQ(unit.SetTimeout(-5), SimBadArgument);
}

TEST(SimUnit, RateAndLatencyPaceTransfersAndAnswers) {
  TSimFixture f;
  TSimUnit& unit = f.MakeReady("rate = 1000000\nlatency = 40\n");
  int64_t before = f.Clock->Now;
  ASSERT_EQ(f.SendImage(L"qem.exe", std::vector<uint8_t>(1048576, 3)), SimOk);
  EXPECT_EQ(f.Clock->Now - before, 40000 + 1048576);

  ASSERT_EQ(f.Send({2, 0}), SimOk);
  before = f.Clock->Now;
  EXPECT_EQ(unit.WaitAnswer(27, -1), SimOk);
  EXPECT_EQ(f.Clock->Now - before, 40000);
  // An answer later than the wait's limit is a time-out, and still comes to a later wait.
  ASSERT_EQ(f.Send({2, 0}), SimOk);
  EXPECT_EQ(unit.WaitAnswer(27, 10), SimTimeout);
  EXPECT_EQ(unit.WaitAnswer(27, 100), SimOk);
}

TEST(SimUnit, ResetFromTheProgressCallbackEndsTheTransfer) {
  TSimFixture f;
  TSimUnit& unit = f.MakeReady();
  int reports = 0;
  EXPECT_EQ(f.SendImage(L"pelikar.exe", std::vector<uint8_t>(20000, 1),
                        [&](int32_t, int32_t current) {
                          ++reports;
                          if (current == 1) unit.Reset();
                        }),
            SimNotInitialized);
  EXPECT_EQ(reports, 2);
  ASSERT_EQ(unit.Initialize(), SimOk);
  EXPECT_EQ(f.Confirm(3, 9, 9), SimUnitError);
}

TEST(SimUnit, CallsFromTwoThreadsAreSerialised) {
  TSimFixture f;
  TSimUnit& unit = f.MakeReady();
  std::atomic<bool> stop{false};
  std::thread other([&] {
    while (!stop) {
      unit.Reset();
      unit.Initialize();
      unit.QueryState(nullptr);
    }
  });
  const std::vector<uint8_t> image(9000, 1);
  const std::wstring name = L"salvik.exe";
  for (int i = 0; i < 300; ++i) {
    const uint8_t request[] = {1, 1};
    const int32_t sent = unit.SendPacket(27, 2, request);
    EXPECT_TRUE(sent == SimOk || sent == SimNotInitialized) << sent;
    const int32_t waited = unit.WaitData(10);
    EXPECT_TRUE(waited == SimOk || waited == SimNotInitialized || waited == SimTimeout) << waited;
    const int32_t transferred = unit.SendFile(9000, image.data(), &name, [](int32_t, int32_t) {});
    EXPECT_TRUE(transferred == SimOk || transferred == SimNotInitialized) << transferred;
  }
  stop = true;
  other.join();
}

TEST(SimUnit, JournalHasOneParsableLinePerCall) {
  TSimFixture f;
  f.Make("connected = 0\n");
  f.Unit->Initialize();
  std::wstring text;
  f.Unit->GetErrorText(&text);
  f.Unit->SetTimeout(1000);
  f.Make();  // a second instance appends to the same journal
  f.Unit->Initialize();
  f.Send({2, 0});
  f.Unit->WaitAnswer(27, -1);
  f.SendImage(L"meridox.exe", std::vector<uint8_t>(5, 1));
  f.Unit->GetReceivedData();

  std::vector<std::string> calls;
  for (const std::string& line : ReadLines(f.Journal()))
    if (!line.starts_with("#")) calls.push_back(line);
  EXPECT_EQ(calls, (std::vector<std::string>{
                       "Initialize() = 1",
                       "GetErrorText(\"Блок диагностики не подключен\") = 0",
                       "SetTimeout(1000) = 0",
                       "Initialize() = 0",
                       "SendPacket(27, 2, 02 00) = 0",
                       "WaitAnswer(27, -1) = 0",
                       "SendFile(5, \"meridox.exe\") = 0",
                       "GetReceivedData() = 0",
                   }));
}

}  // namespace
