// Fuzzes the configuration reader: any text gives a configuration or an error, never a crash.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sim/SimConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const TSimConfig config = ParseSimConfig(text, "/base");
  for (const TSimFault& fault : config.Faults)
    if (!IsComPortMethod(fault.Method)) std::abort();
  return 0;
}
