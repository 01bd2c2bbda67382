// The registration check on a real registry and real files under Wine. Class ids are
// registered below a key of the test's own under HKEY_CURRENT_USER, which stands in for
// HKEY_CLASSES_ROOT and is deleted afterwards, with the folder of test files.
#include <gtest/gtest.h>
#include <objbase.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Checkcomreg.h"
#include "common/UniqueResource.h"
#include "link/Varnel_tlb.h"

namespace fs = std::filesystem;

namespace {

const std::wstring kPrefix = L"COM-объект \"Varnel.dll\": ";
const std::wstring kNotRegistered =
    kPrefix + L"незарегистрирован или отсутствует.\r\nПереустановите приложение";
const std::wstring kFailedHead = kPrefix + L"ошибка проверки регистрации.\r\nТекст ошибки: \"";
const std::wstring kFailedTail = L"\".\r\nОбратитесь к разработчику.";

constexpr CLSID kTestClass = {
    0x5e1f0a42, 0x7c3b, 0x4d19, {0x9a, 0x61, 0x2b, 0x8e, 0x0c, 0x4f, 0x73, 0xd5}};
constexpr CLSID kOtherClass = {
    0x5e1f0a43, 0x7c3b, 0x4d19, {0x9a, 0x61, 0x2b, 0x8e, 0x0c, 0x4f, 0x73, 0xd5}};

std::wstring StringFromGuid(const GUID& id) {
  wchar_t text[64] = {};
  EXPECT_NE(StringFromGUID2(id, text, 64), 0);
  return text;
}

// Every line break of a message is CR LF, and every message names the library first.
void ExpectWellFormed(const std::wstring& message, const std::wstring& prefix = kPrefix) {
  if (message.empty()) return;
  EXPECT_EQ(message.rfind(prefix, 0), 0u) << "prefix missing";
  for (size_t i = 0; i < message.size(); ++i) {
    if (message[i] == L'\r') {
      EXPECT_TRUE(i + 1 < message.size() && message[i + 1] == L'\n');
    }
    if (message[i] == L'\n') {
      EXPECT_TRUE(i > 0 && message[i - 1] == L'\r');
    }
  }
}

void MakeFile(const fs::path& path) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file) << "cannot create a test file";
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file.get(), "MZ", 2, &written, nullptr));
}

class CheckComRegTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rootPath_ = L"Software\\QemUtilTests\\Checkcomreg-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, rootPath_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, root_.put(), nullptr),
              ERROR_SUCCESS);
    UniqueHKey classes;
    ASSERT_EQ(RegCreateKeyExW(root_.get(), L"CLSID", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              classes.put(), nullptr),
              ERROR_SUCCESS);

    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH + 1, temp), 0u);
    folder_ = fs::path(temp) / (L"QemUtilCheckcomreg-" + std::to_wstring(GetCurrentProcessId()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    library_ = folder_ / L"Varnel.dll";
    MakeFile(library_);
  }

  void TearDown() override {
    root_.reset();
    EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, rootPath_.c_str()), ERROR_SUCCESS);
    // The parent goes only when no other run still uses it.
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\QemUtilTests");
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  // CLSID\{class}\<serverKind>, created empty; returns the server key.
  UniqueHKey CreateServerKey(const CLSID& id = kTestClass,
                             const wchar_t* serverKind = L"InprocServer32") {
    const std::wstring path = L"CLSID\\" + StringFromGuid(id) + L"\\" + serverKind;
    UniqueHKey key;
    EXPECT_EQ(RegCreateKeyExW(root_.get(), path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.put(), nullptr),
              ERROR_SUCCESS);
    return key;
  }

  void SetValue(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes),
              ERROR_SUCCESS);
  }

  void SetText(HKEY key, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
    SetValue(key, name, type, text.c_str(),
             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }

  // An in-process registration whose default value is the given path.
  void Register(const std::wstring& serverPath, DWORD type = REG_SZ, const CLSID& id = kTestClass) {
    SetText(CreateServerKey(id).get(), nullptr, serverPath, type);
  }

  std::wstring Check(const std::wstring& libraryFileName = L"Varnel.dll",
                     const CLSID& id = kTestClass) {
    std::wstring message = CheckComRegUnder(root_.get(), id, libraryFileName);
    ExpectWellFormed(message, L"COM-объект \"" + libraryFileName + L"\": ");
    return message;
  }

  std::wstring rootPath_;
  UniqueHKey root_;
  fs::path folder_;
  fs::path library_;
};

TEST_F(CheckComRegTest, RegisteredServerPassesInAnyLetterCase) {
  Register(library_.wstring());
  EXPECT_EQ(Check(), L"");
  EXPECT_EQ(Check(L"VARNEL.DLL"), L"");

  Register((folder_ / L"VARNEL.DLL").wstring());
  EXPECT_EQ(Check(), L"");
  EXPECT_EQ(Check(L"varnel.dll"), L"");

  // Forward slashes name the same file on Windows.
  std::wstring slashes = library_.wstring();
  for (wchar_t& c : slashes)
    if (c == L'\\') c = L'/';
  Register(slashes);
  EXPECT_EQ(Check(), L"");
}

TEST_F(CheckComRegTest, CyrillicLibraryNameComparesCaseBlind) {
  MakeFile(folder_ / L"Связь.dll");
  Register((folder_ / L"СВЯЗЬ.DLL").wstring());
  EXPECT_EQ(Check(L"связь.dll"), L"");
  EXPECT_EQ(Check(L"Varnel.dll"), kNotRegistered);
}

TEST_F(CheckComRegTest, ServerPathOutsideCodePage1251) {
  const fs::path folder = folder_ / L"Δοκιμή 測試";
  fs::create_directories(folder);
  MakeFile(folder / L"Varnel.dll");
  Register((folder / L"Varnel.dll").wstring());
  EXPECT_EQ(Check(), L"");
}

TEST_F(CheckComRegTest, OtherFileOrNoFileIsNotRegistered) {
  const fs::path copy = folder_ / L"Varnel2.dll";
  fs::copy_file(library_, copy);
  Register(copy.wstring());
  EXPECT_EQ(Check(), kNotRegistered);

  // A name that merely ends with the expected one is another name.
  Register((folder_ / L"MyVarnel.dll").wstring());
  MakeFile(folder_ / L"MyVarnel.dll");
  EXPECT_EQ(Check(), kNotRegistered);

  Register((folder_ / L"Missing" / L"Varnel.dll").wstring());
  EXPECT_EQ(Check(), kNotRegistered);

  // A folder named like the library is not a server file.
  const fs::path folderNamedLikeLibrary = folder_ / L"Sub" / L"Varnel.dll";
  fs::create_directories(folderNamedLikeLibrary);
  Register(folderNamedLikeLibrary.wstring());
  EXPECT_EQ(Check(), kNotRegistered);

  // Only a file name: never resolved against some search path.
  Register(L"Varnel.dll");
  EXPECT_EQ(Check(), kNotRegistered);
}

TEST_F(CheckComRegTest, EmptyOrMissingDefaultValueIsNotRegistered) {
  Register(L"");
  EXPECT_EQ(Check(), kNotRegistered);

  // Zero bytes of data: no terminator at all.
  SetValue(CreateServerKey().get(), nullptr, REG_SZ, L"", 0);
  EXPECT_EQ(Check(), kNotRegistered);

  // No default value; the path in a named value does not count.
  RegDeleteValueW(CreateServerKey().get(), nullptr);
  SetText(CreateServerKey().get(), L"Path", library_.wstring());
  EXPECT_EQ(Check(), kNotRegistered);
}

TEST_F(CheckComRegTest, MissingKeysAreNotRegistered) {
  // CLSID exists but holds nothing for the class.
  EXPECT_EQ(Check(), kNotRegistered);

  // Another class is registered, not ours.
  Register(library_.wstring(), REG_SZ, kOtherClass);
  EXPECT_EQ(Check(), kNotRegistered);
  EXPECT_EQ(Check(L"Varnel.dll", kOtherClass), L"");

  // The class key without InprocServer32; a local server registration does not count.
  SetText(CreateServerKey(kTestClass, L"LocalServer32").get(), nullptr, library_.wstring());
  EXPECT_EQ(Check(), kNotRegistered);
}

TEST_F(CheckComRegTest, PercentReferencesAreNotExpanded) {
  SetEnvironmentVariableW(L"QEM_TEST_FOLDER", folder_.c_str());
  ASSERT_TRUE(fs::exists(folder_ / L"Varnel.dll"));
  Register(L"%QEM_TEST_FOLDER%\\Varnel.dll", REG_EXPAND_SZ);
  EXPECT_EQ(Check(), kNotRegistered);
  Register(L"%QEM_TEST_FOLDER%\\Varnel.dll", REG_SZ);
  EXPECT_EQ(Check(), kNotRegistered);

  // The literal path is what counts: a folder really named with percent signs passes.
  const fs::path literal = folder_ / L"%QEM_TEST_FOLDER%";
  fs::create_directories(literal);
  MakeFile(literal / L"Varnel.dll");
  Register((literal / L"Varnel.dll").wstring(), REG_EXPAND_SZ);
  EXPECT_EQ(Check(), L"");
  SetEnvironmentVariableW(L"QEM_TEST_FOLDER", nullptr);
}

// The system's text for the registry's "not a supported type" failure, as the message shows it.
std::wstring UnsupportedTypeText() {
  wchar_t* buffer = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, ERROR_UNSUPPORTED_TYPE, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = buffer ? buffer : L"";
  if (buffer) LocalFree(buffer);
  return text;
}

TEST_F(CheckComRegTest, NonTextDefaultValueIsACheckFailure) {
  const std::wstring systemText = UnsupportedTypeText();
  ASSERT_FALSE(systemText.empty());

  const DWORD number = 1;
  const std::uint8_t bytes[] = {'C', 0, ':', 0, 0, 0};
  const wchar_t multi[] = L"C:\\Varnel.dll\0";
  struct Case {
    DWORD type;
    const void* data;
    DWORD size;
  };
  for (const Case& value :
       {Case{REG_DWORD, &number, sizeof number}, Case{REG_BINARY, bytes, sizeof bytes},
        Case{REG_MULTI_SZ, multi, sizeof multi}}) {
    SCOPED_TRACE(value.type);
    SetValue(CreateServerKey().get(), nullptr, value.type, value.data, value.size);
    const std::wstring message = Check();
    ASSERT_GT(message.size(), kFailedHead.size() + kFailedTail.size());
    EXPECT_EQ(message.substr(0, kFailedHead.size()), kFailedHead);
    EXPECT_EQ(message.substr(message.size() - kFailedTail.size()), kFailedTail);
    // The system's text, without its own full stop and line break, stands between the quotes.
    const std::wstring quoted = message.substr(
        kFailedHead.size(), message.size() - kFailedHead.size() - kFailedTail.size());
    EXPECT_FALSE(quoted.empty());
    EXPECT_EQ(systemText.rfind(quoted, 0), 0u);
    EXPECT_EQ(quoted.find_first_of(L"\r\n"), std::wstring::npos);
    EXPECT_NE(quoted.back(), L'.');
  }
}

TEST_F(CheckComRegTest, RootWithoutClassIdsIsACheckFailure) {
  UniqueHKey empty;
  ASSERT_EQ(RegCreateKeyExW(root_.get(), L"Empty", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            empty.put(), nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(CheckComRegUnder(empty.get(), kTestClass, L"Varnel.dll"),
            kFailedHead + L"Ошибка открытия ветки CLSID" + kFailedTail);
}

// How high the handle table of the process reaches when 200 more handles are open. Wine hands
// out the lowest free slots (and reports no handle count), so keys left open push this up.
std::uintptr_t HandleTableTop() {
  std::vector<UniqueHandle> probes(200);
  for (UniqueHandle& probe : probes) probe.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  std::uintptr_t top = 0;
  for (const UniqueHandle& probe : probes)
    top = std::max(top, reinterpret_cast<std::uintptr_t>(probe.get()));
  return top;
}

// The check runs once at start, but it must not leave keys open on any path.
TEST_F(CheckComRegTest, KeysAreClosedOnEveryPath) {
  const DWORD number = 7;
  Register(library_.wstring());
  const std::uintptr_t before = HandleTableTop();
  for (int round = 0; round < 50; ++round) {
    EXPECT_EQ(Check(), L"");
    EXPECT_EQ(Check(L"Other.dll"),
              L"COM-объект \"Other.dll\": незарегистрирован или отсутствует."
              L"\r\nПереустановите приложение");
  }
  SetValue(CreateServerKey().get(), nullptr, REG_DWORD, &number, sizeof number);
  for (int round = 0; round < 50; ++round) EXPECT_EQ(Check().rfind(kFailedHead, 0), 0u);
  // Some slack for handles the system itself may open meanwhile; a leak costs 150 or more.
  EXPECT_LT(HandleTableTop(), before + 20 * sizeof(HANDLE));
}

TEST(GuidToText, EqualsStringFromGuid2) {
  constexpr GUID allOnes = {
      0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
  for (const GUID& id : {CLSID_ComPort, GUID_NULL, kTestClass, allOnes}) {
    const std::wstring text = GuidToText(id);
    EXPECT_EQ(text, StringFromGuid(id));
    EXPECT_EQ(text.size(), 38u);
  }
  EXPECT_EQ(GuidToText(kTestClass), L"{5E1F0A42-7C3B-4D19-9A61-2B8E0C4F73D5}");
}

// The real HKEY_CLASSES_ROOT: Wine registers its own file moniker class in ole32.dll.
TEST(CheckComRegClassesRoot, ReadsTheSystemRegistration) {
  constexpr CLSID fileMoniker = {0x00000303, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  EXPECT_EQ(CheckComReg(fileMoniker, L"OLE32.DLL"), L"");
  EXPECT_EQ(CheckComReg(fileMoniker, L"Varnel.dll"), kNotRegistered);
  EXPECT_EQ(CheckComReg(kTestClass, L"Varnel.dll"), kNotRegistered);
}

}  // namespace
