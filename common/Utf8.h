// UTF-8 (files of text, the driver's readings) to wide text and back. Invalid bytes become
// U+FFFD, so a damaged file still reads.
#pragma once

#include <string>
#include <string_view>

std::wstring WideFromUtf8(std::string_view bytes);
std::string Utf8FromWide(std::wstring_view text);
