#include "Recording.h"

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

enum class TCreated { Yes, Exists, Failed };

// Exclusive creation: a file another session made a moment ago is never opened a second time.
TCreated CreateNew(const std::filesystem::path& path, intptr_t& file) {
#ifdef _WIN32
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE)
    return file = reinterpret_cast<intptr_t>(handle), TCreated::Yes;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? TCreated::Exists
                                                                     : TCreated::Failed;
#else
  const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (descriptor >= 0) return file = descriptor, TCreated::Yes;
  return errno == EEXIST ? TCreated::Exists : TCreated::Failed;
#endif
}

bool WriteAll(intptr_t file, const char* data, size_t size) {
  while (size > 0) {
#ifdef _WIN32
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(file), data, static_cast<DWORD>(size), &written,
                   nullptr) ||
        written == 0)
      return false;
#else
    const ssize_t written = write(static_cast<int>(file), data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
#endif
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

TRecording::TRecording(const std::filesystem::path& folder, const std::tm& localStart) noexcept {
  try {
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &localStart);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (int session = 1; session <= 1000; ++session) {
      const std::filesystem::path path =
          folder /
          (std::string(stamp) + (session > 1 ? "_" + std::to_string(session) : "") + ".jsonl");
      const TCreated created = CreateNew(path, file_);
      if (created == TCreated::Exists) continue;
      if (created == TCreated::Yes) path_ = path;
      return;
    }
  } catch (...) {
  }
}

TRecording::~TRecording() {
  if (file_ == Closed) return;
#ifdef _WIN32
  CloseHandle(reinterpret_cast<HANDLE>(file_));
#else
  close(static_cast<int>(file_));
#endif
}

// One write per line: the system keeps it whole though this process dies a moment later.
void TRecording::Write(std::string_view line) noexcept {
  try {
    std::string text;
    text.reserve(line.size() + 1);
    text.append(line).push_back('\n');
    std::lock_guard lock(mutex_);
    if (file_ != Closed) WriteAll(file_, text.data(), text.size());
  } catch (...) {
  }
}
