// Bytes that end right at a no-access page: a reader that runs past them faults at once
// instead of reading on into other memory and taking it for data. What a component with a
// fixed buffer looks like at its worst, for the stand-in and the tests.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/UniqueResource.h"

class GuardedBuffer {
 public:
  // size bytes, zero-filled; an empty span when the system refused the pages.
  explicit GuardedBuffer(size_t size) {
    if (size == 0) return;
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize;
    const size_t readable = (size + page - 1) / page * page;
    pages_.reset(static_cast<uint8_t*>(
        VirtualAlloc(nullptr, readable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE)));
    DWORD previous = 0;
    if (!pages_ || !VirtualProtect(pages_.get() + readable, page, PAGE_NOACCESS, &previous)) {
      pages_.reset();
      return;
    }
    bytes_ = {pages_.get() + readable - size, size};
  }
  std::span<uint8_t> Span() const { return bytes_; }

 private:
  UniquePages<uint8_t> pages_;
  std::span<uint8_t> bytes_;
};
