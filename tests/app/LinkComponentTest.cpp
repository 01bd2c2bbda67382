// The "HRCHECK: " text for a failed creation of the link component.
#include <gtest/gtest.h>

#include <string>

#include "app/LinkComponent.h"

namespace {

TEST(HrCheckTextTest, NamesTheOperationTheSystemTextAndTheSource) {
  const std::wstring text = HrCheckText(E_ACCESSDENIED, L"Create(intfObj)", L"TBF.cpp", 42);
  wchar_t* system = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, static_cast<DWORD>(E_ACCESSDENIED), 0x400,
                 reinterpret_cast<wchar_t*>(&system), 0, nullptr);
  ASSERT_NE(system, nullptr) << "the system has a text for E_ACCESSDENIED";
  const std::wstring expected = L"'Create(intfObj)': " + std::wstring(system) +
                                L" @ TBF.cpp/42\nPress [Y]es to terminate, [N]o to continue and [C]ancel to Debug";
  LocalFree(system);
  EXPECT_EQ(text, expected);
}

TEST(HrCheckTextTest, ACodeWithoutSystemTextShowsInHexAndSignedDecimal) {
  EXPECT_EQ(HrCheckText(static_cast<HRESULT>(0x8004ABCD), L"Create(intfObj)", L"TBF.cpp", 7),
            L"(Create(intfObj)) Error: 8004ABCD (-2147177523) @ TBF.cpp/7\n"
            L"Press [Y]es to terminate, [N]o to continue and [C]ancel to Debug");
}

}  // namespace
