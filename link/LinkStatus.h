// What the program itself knows of link statuses; everything else about an error comes from
// the component's GetErrorText.
#pragma once

#include <cstdint>

inline constexpr int32_t LinkOk = 0;
// The one code with a meaning of its own: a failure message gives way to the link's error text.
inline constexpr int32_t LinkStatusUseErrorText = 6;
// Message kind of every request packet and of the waits that take a kind.
inline constexpr int32_t UnitMessageKind = 27;
