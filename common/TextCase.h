// Case-blind comparison of names, as the system's locale-aware upper-casing does it.
#pragma once

#include <string>
#include <string_view>

// On Windows this is the system's locale-aware conversion (CharUpperBuffW); the native build,
// which only runs tests, has an explicit table for Latin and Cyrillic letters.
std::wstring UpperCase(std::wstring_view text);

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b);
