#include <gtest/gtest.h>

#include "link/Cp1251.h"

namespace {

TEST(Cp1251, EveryByteRoundTripsThroughWideText) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(ToCp1251(FromCp1251(all)), all);
}

TEST(Cp1251, RussianTextHasItsCodePageBytes) {
  EXPECT_EQ(ToCp1251(L"Блок Ёё №"), "\xC1\xEB\xEE\xEA \xA8\xB8 \xB9");
  EXPECT_EQ(FromCp1251("\xC0\xFF"), L"Ая");
}

TEST(Cp1251, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(ToCp1251(L"a\u00E9\u4E2Db"), "a??b");
  EXPECT_FALSE(FitsCp1251(L"\u00E9"));
  EXPECT_TRUE(FitsCp1251(L"Обновление qem.exe"));
}

}  // namespace
