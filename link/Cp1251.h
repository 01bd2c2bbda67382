// Conversions between UTF-16 (the window, the file system, the registry) and code page 1251
// (what goes to the unit and to the link component). Explicit tables: the result never
// depends on the system's code page.
#pragma once

#include <string>
#include <string_view>

// Code page 1251 bytes to wide text; every byte has a character.
std::wstring FromCp1251(std::string_view bytes);
// Wide text to code page 1251; a character the code page lacks becomes '?'.
std::string ToCp1251(std::wstring_view text);
// True when every character of text exists in code page 1251.
bool FitsCp1251(std::wstring_view text);
