// The placement file: what it keeps survives a round trip, whatever the code page.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/FileSystem.h"
#include "app/Placement.h"

namespace {

class PlacementTest : public ::testing::Test {
 protected:
  std::wstring file;
  TFormStorage storage;

  void SetUp() override {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    file = std::wstring(folder) + L"QemUtilPlacementTest.ini";
    DeleteFileW(file.c_str());
    storage.SetIniFileName(file);
  }
  void TearDown() override { DeleteFileW(file.c_str()); }
};

TEST_F(PlacementTest, NoFileMeansNothingStored) {
  const TStoredPlacement stored = storage.Load();
  EXPECT_FALSE(stored.left);
  EXPECT_FALSE(stored.top);
  EXPECT_FALSE(stored.folder);
}

TEST_F(PlacementTest, KeepsAFolderOutsideCodePage1251AndItsBlanks) {
  // Japanese and a snowman exist in no single-byte code page; the blanks must not be trimmed.
  const std::wstring folder = L" C:\\Обновление\\日本 ☃ ü ";
  ASSERT_TRUE(storage.Save(-5, 230, folder));
  const TStoredPlacement stored = storage.Load();
  EXPECT_EQ(stored.left, -5);
  EXPECT_EQ(stored.top, 230);
  EXPECT_EQ(stored.folder, folder);

  // A second save into the existing file keeps the UTF-16 text too.
  ASSERT_TRUE(storage.Save(10, 20, L"D:\\新しい"));
  EXPECT_EQ(storage.Load().folder, L"D:\\新しい");
}

TEST_F(PlacementTest, AnEmptyFolderIsStoredAsEmpty) {
  ASSERT_TRUE(storage.Save(1, 2, L""));
  EXPECT_EQ(storage.Load().folder, L"");
}

TEST_F(PlacementTest, ASingleByteFileFromElsewhereIsReplacedNotMisread) {
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  const char ansi[] = "[Placement]\r\nLeft=7\r\nTop=8\r\n";
  DWORD written;
  WriteFile(handle, ansi, sizeof ansi - 1, &written, nullptr);
  CloseHandle(handle);
  EXPECT_EQ(storage.Load().left, 7);
  ASSERT_TRUE(storage.Save(3, 4, L"C:\\☃"));
  EXPECT_EQ(storage.Load().folder, L"C:\\☃");
  EXPECT_EQ(storage.Load().left, 3);
}

TEST(ModulePathTest, ChangesOnlyTheFileNamesExtension) {
  EXPECT_EQ(ChangeFileExt(L"C:\\Prog\\QemUtil.exe", L".ini"), L"C:\\Prog\\QemUtil.ini");
  EXPECT_EQ(ChangeFileExt(L"C:\\Prog.v2\\QemUtil", L".ini"), L"C:\\Prog.v2\\QemUtil.ini");
  EXPECT_EQ(ChangeFileExt(L"C:\\a.b\\x.y.exe", L".ini"), L"C:\\a.b\\x.y.ini");
  const std::wstring folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), L'\\');
  EXPECT_TRUE(IsFolder(folder));
}

}  // namespace
