// UTF-8 (files of text, the driver's readings) to wide text and back. Invalid bytes become
// U+FFFD, so a damaged file still reads.
#pragma once

#include <string>
#include <string_view>

std::wstring WideFromUtf8(std::string_view bytes);

// A text file's bytes as Windows reads them: UTF-16 (either order) or UTF-8 after a byte-order
// mark, UTF-8 when the bytes are sound UTF-8, else the ANSI code page, which ansi decodes (null:
// the system's on Windows, Latin-1 elsewhere). The mark is not part of the text.
using TAnsiDecoder = std::wstring (*)(std::string_view bytes);
std::wstring WideFromText(std::string_view bytes, TAnsiDecoder ansi = nullptr);
std::string Utf8FromWide(std::wstring_view text);
