#include "SimStorage.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#include "SimConfig.h"
#include "SimIni.h"
#include "common/Utf8.h"
#include "link/Cp1251.h"
#include "common/TextCase.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view PartSuffix = ".part";

std::wstring PathText(const fs::path& path) { return WideFromUtf8(Utf8FromPath(path)); }

std::wstring StorageFailure(const fs::path& path, const std::error_code& code) {
  return L"Ошибка внутренней памяти блока диагностики: " + PathText(path) + L" (" +
         WideFromUtf8(code.message()) + L")";
}

// Writes beside the target and renames, so a reader never sees half a file.
bool WriteWhole(const fs::path& path, std::span<const uint8_t> bytes, std::wstring& error) {
  fs::path part = path;
  part += PartSuffix;
  {
    std::ofstream stream(part, std::ios::binary | std::ios::trunc);
    stream.write(reinterpret_cast<const char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()));
    stream.close();
    if (!stream) {
      error = StorageFailure(part, std::make_error_code(std::errc::io_error));
      std::error_code ignored;
      fs::remove(part, ignored);
      return false;
    }
  }
  std::error_code code;
  fs::rename(part, path, code);
  if (code) {
    fs::remove(path, code);
    fs::rename(part, path, code);
  }
  if (code) {
    error = StorageFailure(path, code);
    fs::remove(part, code);
    return false;
  }
  return true;
}

std::string TwoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

std::string DateText(const TLocalTime& t) {
  return std::to_string(t.Year) + "-" + TwoDigits(t.Month) + "-" + TwoDigits(t.Day);
}
std::string TimeText(const TLocalTime& t) {
  return TwoDigits(t.Hour) + ":" + TwoDigits(t.Minute) + ":" + TwoDigits(t.Second);
}

void ReadDate(const std::string& text, TLocalTime& t) {
  int y = 0, m = 0, d = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%d", &y, &m, &d) == 3) t.Year = y, t.Month = m, t.Day = d;
}
void ReadTime(const std::string& text, TLocalTime& t) {
  int h = 0, m = 0, s = 0;
  if (std::sscanf(text.c_str(), "%d:%d:%d", &h, &m, &s) == 3)
    t.Hour = h, t.Minute = m, t.Second = s;
}

// Made-up program images: an MZ header and bytes that do not compress to nothing.
std::vector<uint8_t> ProgramImage(uint32_t size, uint32_t seed) {
  std::vector<uint8_t> image(size);
  uint32_t state = seed * 2654435761u + 1;
  for (uint8_t& b : image) {
    state ^= state << 13, state ^= state >> 17, state ^= state << 5;
    b = static_cast<uint8_t>(state);
  }
  if (size >= 2) image[0] = 'M', image[1] = 'Z';
  return image;
}

std::vector<uint8_t> TextImage(std::wstring_view text) {
  const std::string bytes = ToCp1251(text);
  return {bytes.begin(), bytes.end()};
}

struct TSeedFile {
  const char* Name;
  const char* Version;
  TLocalTime Stamp;
  uint8_t Attributes;
  uint32_t Size;  // 0: a text file
};

constexpr TSeedFile FactoryFiles[] = {
    {"meridox.exe", "1.0", {2019, 3, 14, 10, 22, 36}, 0x20, 187392},
    {"salvik.exe", "1.2", {2019, 3, 14, 10, 25, 10}, 0x20, 243712},
    {"tormund.exe", "1.0", {2018, 11, 2, 16, 40, 8}, 0x20, 96256},
    {"pelikar.exe", "2.1", {2019, 6, 21, 9, 5, 44}, 0x20, 131584},
    {"volnikar.exe", "1.0", {2018, 11, 2, 16, 41, 20}, 0x20, 319488},
    {"qem.exe", "3.4", {2019, 7, 1, 12, 0, 0}, 0x20, 612864},
    {"readme.txt", "", {2019, 7, 1, 12, 5, 18}, 0x20, 0},
    {"unit.cfg", "", {2019, 7, 1, 12, 5, 20}, 0x21, 0},
};

constexpr std::wstring_view ReadmeText =
    L"Блок диагностики\r\n"
    L"Программы компонентов устанавливаются и обновляются с ПК программой обслуживания.\r\n"
    L"Не удаляйте файлы из памяти блока вручную.\r\n";
constexpr std::wstring_view ConfigText =
    L"[unit]\r\nserial=QD-0417\r\nlanguage=ru\r\nselftest=1\r\n";

}  // namespace

fs::path TSimStorage::PathOf(std::string_view name) const {
  return folder_ / PathFromUtf8(Utf8FromWide(FromCp1251(name)));
}

bool TSimStorage::Open(bool seed, std::wstring& error) {
  std::error_code code;
  fs::create_directories(folder_, code);
  if (!fs::is_directory(folder_, code)) {
    error = StorageFailure(folder_, code ? code : std::make_error_code(std::errc::not_a_directory));
    return false;
  }
  // Only an empty folder is seeded: files someone put there are never overwritten.
  if (!seed || !fs::is_empty(folder_, code) || code) return true;
  std::vector<TStoredFile> files;
  uint32_t n = 0;
  for (const TSeedFile& f : FactoryFiles) {
    const std::vector<uint8_t> image =
        f.Size ? ProgramImage(f.Size, ++n) : TextImage(f.Attributes & 1 ? ConfigText : ReadmeText);
    if (!WriteWhole(PathOf(f.Name), image, error)) return false;
    files.push_back(
        {f.Name, f.Version, f.Stamp, f.Attributes, static_cast<uint32_t>(image.size())});
  }
  return WriteIndex(files, error);
}

bool TSimStorage::ReadIndex(std::vector<TStoredFile>& files) const {
  std::ifstream stream(folder_ / IndexName, std::ios::binary);
  if (!stream) return false;
  const std::string text((std::istreambuf_iterator<char>(stream)),
                         std::istreambuf_iterator<char>());
  for (const TIniSection& section : ParseIni(text).Sections) {
    if (section.Name != "file") continue;
    TStoredFile file;
    for (const TIniEntry& e : section.Entries) {
      if (e.Key == "name")
        file.Name = ToCp1251(WideFromUtf8(e.Value));
      else if (e.Key == "version")
        file.Version = ToCp1251(WideFromUtf8(e.Value));
      else if (e.Key == "date")
        ReadDate(e.Value, file.Stamp);
      else if (e.Key == "time")
        ReadTime(e.Value, file.Stamp);
      else if (e.Key == "attributes")
        file.Attributes = static_cast<uint8_t>(std::strtoul(e.Value.c_str(), nullptr, 0));
    }
    if (!file.Name.empty()) files.push_back(std::move(file));
  }
  return true;
}

bool TSimStorage::WriteIndex(const std::vector<TStoredFile>& files, std::wstring& error) const {
  std::string text =
      "; Files of the simulated unit, in the order it lists them: version, MS-DOS date and\r\n"
      "; time, attribute byte. The files themselves lie beside this one.\r\n";
  for (const TStoredFile& f : files) {
    char attributes[8];
    std::snprintf(attributes, sizeof attributes, "0x%02X", f.Attributes);
    text += "\r\n[file]\r\nname = " + Utf8FromWide(FromCp1251(f.Name)) +
            "\r\nversion = " + Utf8FromWide(FromCp1251(f.Version)) +
            "\r\ndate = " + DateText(f.Stamp) + "\r\ntime = " + TimeText(f.Stamp) +
            "\r\nattributes = " + attributes + "\r\n";
  }
  return WriteWhole(folder_ / IndexName,
                    {reinterpret_cast<const uint8_t*>(text.data()), text.size()}, error);
}

bool TSimStorage::List(const TLocalTime& now, std::vector<TStoredFile>& files,
                       std::wstring& error) {
  files.clear();
  std::vector<TStoredFile> indexed;
  ReadIndex(indexed);
  bool changed = false;
  std::error_code code;
  for (TStoredFile& f : indexed) {
    const fs::path path = PathOf(f.Name);
    const auto size = fs::is_regular_file(path, code) ? fs::file_size(path, code) : 0;
    if (code || (size == 0 && !fs::is_regular_file(path, code))) {
      changed = true;
      code.clear();
      continue;
    }
    f.Size = static_cast<uint32_t>(size);
    files.push_back(std::move(f));
  }
  std::vector<TStoredFile> adopted;
  for (fs::directory_iterator it(folder_, code), end; !code && it != end; it.increment(code)) {
    if (!it->is_regular_file(code)) continue;
    const std::string utf8 = Utf8FromPath(it->path().filename());
    if (utf8 == IndexName || utf8.ends_with(PartSuffix)) continue;
    const std::string name = ToCp1251(WideFromUtf8(utf8));
    bool known = false;
    for (const TStoredFile& f : files)
      known = known || EqualIgnoringCase(FromCp1251(f.Name), FromCp1251(name));
    if (known) continue;
    adopted.push_back({name, "", now, 0x20, static_cast<uint32_t>(it->file_size(code))});
  }
  if (code) {
    error = StorageFailure(folder_, code);
    return false;
  }
  std::sort(adopted.begin(), adopted.end(),
            [](const auto& a, const auto& b) { return a.Name < b.Name; });
  changed = changed || !adopted.empty();
  files.insert(files.end(), adopted.begin(), adopted.end());
  return !changed || WriteIndex(files, error);
}

bool TSimStorage::Install(std::string_view name, std::span<const uint8_t> image,
                          std::string_view version, const TLocalTime& stamp, std::wstring& error) {
  if (name.empty() || name.find_first_of("/\\:") != std::string_view::npos || name == "." ||
      name == ".." || name == IndexName) {
    error = L"Недопустимое имя файла для памяти блока диагностики";
    return false;
  }
  std::vector<TStoredFile> files;
  if (!List(stamp, files, error)) return false;
  const std::wstring wideName = FromCp1251(name);
  auto slot = files.end();
  for (auto it = files.begin(); it != files.end(); ++it) {
    if (!EqualIgnoringCase(FromCp1251(it->Name), wideName)) continue;
    // The same name in other letters is another file on a case-sensitive disk: replace it.
    if (it->Name != name) {
      std::error_code ignored;
      fs::remove(PathOf(it->Name), ignored);
    }
    slot = it;
    break;
  }
  if (!WriteWhole(PathOf(name), image, error)) return false;
  TStoredFile file{std::string(name), std::string(version), stamp, 0x20,
                   static_cast<uint32_t>(image.size())};
  if (slot == files.end())
    files.push_back(std::move(file));
  else
    *slot = std::move(file);
  return WriteIndex(files, error);
}
