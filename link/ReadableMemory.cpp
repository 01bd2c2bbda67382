#include "ReadableMemory.h"

#include <windows.h>

#include <cstdint>

namespace {

bool Readable(const MEMORY_BASIC_INFORMATION& region) {
  constexpr DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                             PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  return region.State == MEM_COMMIT && (region.Protect & readable) != 0 &&
         (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) == 0;
}

}  // namespace

size_t ReadableExtent(const void* address, size_t limit) {
  if (!address) return 0;
  const auto start = reinterpret_cast<uintptr_t>(address);
  uintptr_t at = start;
  while (at - start < limit) {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof region) != sizeof region ||
        !Readable(region))
      break;
    const uintptr_t end = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (end <= at) break;  // the top of the address space
    at = end;
  }
  return at - start < limit ? at - start : limit;
}
