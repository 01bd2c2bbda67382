// How far a pointer handed out by another module can be read without a fault.
#pragma once

#include <cstddef>

// The bytes from address on that lie in consecutive committed pages which are readable and
// neither guard nor no-access pages, at most limit. 0 for a null address or an unreadable one.
size_t ReadableExtent(const void* address, size_t limit);
