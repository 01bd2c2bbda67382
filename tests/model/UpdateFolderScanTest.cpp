// The scan on real folders: each test makes its own under the temp folder and removes it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/TempFolder.h"
#include "model/UpdateFolderScan.h"

namespace {

std::vector<int> Rows(const TUpdateList& list) {
  std::vector<int> rows;
  for (const auto& record : list) rows.push_back(record->Component);
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::wstring VersionOf(const TUpdateList& list, int row) {
  for (const auto& record : list)
    if (record->Component == row) return record->Version;
  return L"(no candidate)";
}

TEST(UpdateFolderScan, ComponentFilesInAnyCaseBecomeReadyCandidates) {
  TempFolder folder;
  folder.File(L"MERIDOX.EXE");
  folder.File(L"Salvik.exe");
  folder.File(L"other.exe");
  folder.File(L"tormund.exe.bak");
  folder.File(L"pelikar");
  const TUpdateList list = ScanUpdateCandidates(folder.Path());
  EXPECT_EQ(Rows(list), (std::vector<int>{0, 1}));
  for (const auto& record : list) {
    EXPECT_EQ(record->Status.load(), usReady);
    EXPECT_EQ(record->Version, L"???");
  }
}

TEST(UpdateFolderScan, ControlProgramIsNeverACandidate) {
  TempFolder lower;
  lower.File(L"qem.exe");
  EXPECT_TRUE(ScanUpdateCandidates(lower.Path()).empty());
  TempFolder upper;
  upper.File(L"QEM.EXE");
  upper.File(L"volnikar.exe");
  EXPECT_EQ(Rows(ScanUpdateCandidates(upper.Path())), (std::vector<int>{4}));
}

TEST(UpdateFolderScan, EveryKindOfEntryCounts) {
  TempFolder folder;
  folder.Folder(L"tormund.exe");
  folder.File(L"meridox.exe", "MZ", FILE_ATTRIBUTE_HIDDEN);
  folder.File(L"salvik.exe", "MZ", FILE_ATTRIBUTE_SYSTEM);
  folder.File(L"pelikar.exe", "MZ", FILE_ATTRIBUTE_READONLY);
  folder.File(L"volnikar.exe", "MZ",
              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(Rows(ScanUpdateCandidates(folder.Path())), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(UpdateFolderScan, VersionsComeFromTheVersionSectionOnly) {
  TempFolder folder;
  for (const wchar_t* name :
       {L"meridox.exe", L"salvik.exe", L"tormund.exe", L"pelikar.exe", L"volnikar.exe"})
    folder.File(name);
  folder.File(L"Version.ini",
              "[Other]\r\n"
              "MERIDOX.EXE=9.9\r\n"
              "[version]\r\n"
              "PeLiKaR.ExE=2.15\r\n"
              "volnikar.exe =   7.01   \r\n"
              "SALVIK.EXE=\t3.4\t\r\n"
              "tormund=1.0\r\n"
              "[Later]\r\n"
              "TORMUND.EXE=5.5\r\n");
  const TUpdateList list = ScanUpdateCandidates(folder.Path());
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(VersionOf(list, 0), L"???");  // only in another section
  EXPECT_EQ(VersionOf(list, 1), L"3.4");
  EXPECT_EQ(VersionOf(list, 2), L"???");  // key without extension, then another section
  EXPECT_EQ(VersionOf(list, 3), L"2.15");
  EXPECT_EQ(VersionOf(list, 4), L"7.01");
}

TEST(UpdateFolderScan, LongVersionIsReadWhole) {
  TempFolder folder;
  folder.File(L"meridox.exe");
  const std::string version(1000, '7');
  folder.File(L"Version.ini", "[VERSION]\r\nMERIDOX.EXE=" + version + "\r\n");
  const TUpdateList list = ScanUpdateCandidates(folder.Path());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]->Version, std::wstring(version.begin(), version.end()));
}

TEST(UpdateFolderScan, MissingOrFolderVersionIniGivesUnknownVersions) {
  TempFolder missing;
  missing.File(L"meridox.exe");
  EXPECT_EQ(VersionOf(ScanUpdateCandidates(missing.Path()), 0), L"???");
  TempFolder notAFile;
  notAFile.File(L"meridox.exe");
  notAFile.Folder(L"Version.ini");
  EXPECT_EQ(VersionOf(ScanUpdateCandidates(notAFile.Path()), 0), L"???");
}

TEST(UpdateFolderScan, TrailingSeparatorDoublesAndStillWorks) {
  TempFolder folder;
  folder.File(L"pelikar.exe");
  folder.File(L"Version.ini", "[VERSION]\r\nPELIKAR.EXE=4.2\r\n");
  const TUpdateList list = ScanUpdateCandidates(folder.Path() + L"\\");
  ASSERT_EQ(Rows(list), (std::vector<int>{3}));
  EXPECT_EQ(list[0]->Version, L"4.2");
}

TEST(UpdateFolderScan, RelativeFolderReadsItsOwnVersionIni) {
  TempFolder folder(L"rel");
  folder.File(L"salvik.exe");
  folder.File(L"Version.ini", "[VERSION]\r\nSALVIK.EXE=1.7\r\n");
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(folder.Root().c_str()));
  const TUpdateList list = ScanUpdateCandidates(L"rel");
  SetCurrentDirectoryW(previous);
  ASSERT_EQ(Rows(list), (std::vector<int>{1}));
  EXPECT_EQ(list[0]->Version, L"1.7");
}

TEST(UpdateFolderScan, FolderNamesBeyondCodePage1251) {
  for (const wchar_t* name : {L"Обновление ёЁ", L"Ενημέρωση", L"更新 フォルダ"}) {
    TempFolder folder(name);
    folder.File(L"tormund.exe");
    folder.File(L"Version.ini", "[VERSION]\r\nTORMUND.EXE=3.14\r\n");
    const TUpdateList list = ScanUpdateCandidates(folder.Path());
    ASSERT_EQ(Rows(list), (std::vector<int>{2})) << static_cast<int>(name[0]);
    EXPECT_EQ(list[0]->Version, L"3.14");
  }
}

TEST(UpdateFolderScan, NoFolderNoCandidates) {
  EXPECT_TRUE(ScanUpdateCandidates(L"").empty());
  TempFolder folder;
  EXPECT_TRUE(ScanUpdateCandidates(folder.Path()).empty());  // exists, empty
  EXPECT_TRUE(ScanUpdateCandidates(folder.Path() + L"\\gone").empty());
  folder.File(L"meridox.exe");
  // A file is not a folder, and the text is not trimmed.
  EXPECT_TRUE(ScanUpdateCandidates(folder.Path() + L"\\meridox.exe").empty());
  EXPECT_TRUE(ScanUpdateCandidates(L" " + folder.Path()).empty());
  EXPECT_EQ(ScanUpdateCandidates(folder.Path()).size(), 1u);
}

}  // namespace
