#include <gtest/gtest.h>

#include "model/ComponentTable.h"

namespace {

TEST(ComponentTable, NamesMatchTheirRowInAnyLetterCase) {
  EXPECT_EQ(FindComponentRow(L"MERIDOX.EXE"), 0);
  EXPECT_EQ(FindComponentRow(L"Meridox.Exe"), 0);
  EXPECT_EQ(FindComponentRow(L"meridox.exe"), 0);
  EXPECT_EQ(FindComponentRow(L"Volnikar.EXE"), 4);
  EXPECT_EQ(FindComponentRow(L"QEM.EXE"), ControlProgramRow);
}

TEST(ComponentTable, OnlyTheWholeNameMatches) {
  EXPECT_EQ(FindComponentRow(L"meridox"), NoComponent);
  EXPECT_EQ(FindComponentRow(L"meridox.exe.bak"), NoComponent);
  EXPECT_EQ(FindComponentRow(L" meridox.exe"), NoComponent);
  EXPECT_EQ(FindComponentRow(L""), NoComponent);
}

TEST(ComponentTable, FileNamesFitTheirThirteenByteFields) {
  for (const auto& name : ComponentFileNames) EXPECT_LE(std::string_view(name).size(), 12u);
}

}  // namespace
