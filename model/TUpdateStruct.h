// One update candidate: a file of the update folder named like a component.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum TUpdateStatus : int32_t {
  usReady = 0,
  usSucceeded = 1,
  usFailed = 2,
  usInProgress = 3,
};

struct TUpdateStruct {
  int32_t Component = 0;  // row of the component table, 0 to 4
  // Written by the worker during an update while the window may paint it.
  std::atomic<int32_t> Status{usReady};
  std::wstring Version;  // from Version.ini, or "???"
};

// Shared ownership: a rescan during an update drops the window's references, while the
// worker's keep the records it walks alive until it is done with them.
using TUpdateList = std::vector<std::shared_ptr<TUpdateStruct>>;
