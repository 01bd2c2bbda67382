// recorder.ini beside the recorder: which component to forward to and where recordings go.
//
//   [recorder]
//   component = C:\Program Files\Vendor\Varnel.dll   (full path; required)
//   folder = D:\recordings                           (default: beside the recorder)
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "common/Utf8.h"

struct TRecorderConfig {
  std::filesystem::path Component;
  std::filesystem::path Folder;
  std::wstring Error;  // empty when the file was sound
};

// Parses the file's bytes, decoded as Windows reads text (WideFromText; ansi: the ANSI code
// page's decoder, null for the system's). recorderFolder: the folder the recorder's file is in,
// the default for the recordings and the base of a relative folder.
TRecorderConfig ParseRecorderConfig(std::string_view bytes,
                                    const std::filesystem::path& recorderFolder,
                                    TAnsiDecoder ansi = nullptr);
// Reads recorderFolder/recorder.ini; a missing file is an error.
TRecorderConfig LoadRecorderConfig(const std::filesystem::path& recorderFolder);

inline constexpr wchar_t RecorderConfigName[] = L"recorder.ini";
