// The width a Windows benchmark's figures were measured in. The product is the 32-bit build;
// machines that execute only 64-bit programs measure its 64-bit twin.
#pragma once

inline constexpr const char* kBuildWidth = sizeof(void*) == 8 ? "64-bit build" : "32-bit build";
