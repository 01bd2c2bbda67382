#include <gtest/gtest.h>

#include <climits>

#include "views/GridContent.h"

namespace {

TEST(GridContent, CompCellsShowFieldsAndSignedDecimals) {
  TFileStruct record;
  record.Name = L"Тест контактов PELIKAR";
  record.Date = L"2007.05.14";
  record.Time = L"14:03.26";
  record.Version = L"2.15";
  record.Attributes = 32;
  record.Size = 0;
  EXPECT_EQ(CompCellText(record, 0), L"Тест контактов PELIKAR");
  EXPECT_EQ(CompCellText(record, 1), L"32");
  EXPECT_EQ(CompCellText(record, 2), L"2007.05.14");
  EXPECT_EQ(CompCellText(record, 3), L"14:03.26");
  EXPECT_EQ(CompCellText(record, 4), L"0");
  EXPECT_EQ(CompCellText(record, 5), L"2.15");
  // Bit 31 set: the unit's size field is signed, so this shows negative.
  record.Size = INT32_MIN;
  EXPECT_EQ(CompCellText(record, 4), L"-2147483648");
  record.Size = 1048576;
  EXPECT_EQ(CompCellText(record, 4), L"1048576");
  EXPECT_EQ(CompCellText(record, 6), L"");
}

TEST(GridContent, UpdateCellsShowDisplayNameVersionAndStatus) {
  TUpdateStruct record;
  record.Component = 4;
  record.Version = L"???";
  EXPECT_EQ(UpdateCellText(record, 0), L"Тест памяти ZELMORA");
  EXPECT_EQ(UpdateCellText(record, 1), L"???");
  EXPECT_EQ(UpdateCellText(record, 2), L"готов к обновлению");
  record.Status = usInProgress;
  EXPECT_EQ(UpdateCellText(record, 2), L"выполняется обновление");
  EXPECT_EQ(UpdateStatusColor(usReady), 0xFF0000u);
  EXPECT_EQ(UpdateStatusColor(usSucceeded), 0x008000u);
  EXPECT_EQ(UpdateStatusColor(usFailed), 0x0000FFu);
  EXPECT_EQ(UpdateStatusColor(usInProgress), 0x009191u);
}

TEST(GridContent, BadRowOrStatusNeverIndexesPastATable) {
  TUpdateStruct record;
  record.Component = 6;
  record.Status = 4;
  EXPECT_EQ(UpdateCellText(record, 0), L"");
  EXPECT_EQ(UpdateCellText(record, 2), L"");
  record.Component = -1;
  record.Status = -1;
  EXPECT_EQ(UpdateCellText(record, 0), L"");
  EXPECT_EQ(UpdateStatusText(-1), L"");
  EXPECT_EQ(UpdateStatusColor(4), DataTextColor);
}

}  // namespace
