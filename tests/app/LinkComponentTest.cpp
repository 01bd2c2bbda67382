// Creating the link component: the class contexts asked for, COM started once, and the
// "HRCHECK: " text for a failed creation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/LinkComponent.h"

namespace {

std::vector<DWORD> contexts;
HRESULT answer21 = S_OK, answer5 = S_OK;

HRESULT STDAPICALLTYPE FakeCreate(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID iid,
                                  LPVOID* out) {
  contexts.push_back(context);
  EXPECT_TRUE(IsEqualCLSID(classId, CLSID_ComPort));
  EXPECT_TRUE(IsEqualIID(iid, IID_IComPort));
  EXPECT_EQ(outer, nullptr);
  *out = nullptr;
  return context == 21 ? answer21 : answer5;
}

TEST(CreateLinkComponentTest, AsksInProcessLocalAndRemoteThenWithoutRemoteOnInvalidArgument) {
  ComPtr<IComPort> port;
  contexts.clear();
  answer21 = E_INVALIDARG;
  answer5 = REGDB_E_CLASSNOTREG;
  EXPECT_EQ(CreateLinkComponent(port, &FakeCreate), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(contexts, (std::vector<DWORD>{21, 5}));
  EXPECT_TRUE(ComStartup.Done());

  // Any other failure is final.
  contexts.clear();
  answer21 = REGDB_E_CLASSNOTREG;
  EXPECT_EQ(CreateLinkComponent(port, &FakeCreate), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(contexts, (std::vector<DWORD>{21}));
  EXPECT_FALSE(port);
}

TEST(HrCheckTextTest, NamesTheOperationTheSystemTextAndTheSource) {
  const std::wstring text = HrCheckText(E_ACCESSDENIED, L"Create(intfObj)", L"TBF.cpp", 42);
  wchar_t* system = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(E_ACCESSDENIED), 0x400, reinterpret_cast<wchar_t*>(&system), 0,
      nullptr);
  ASSERT_NE(system, nullptr) << "the system has a text for E_ACCESSDENIED";
  const std::wstring expected =
      L"'Create(intfObj)': " + std::wstring(system) +
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
