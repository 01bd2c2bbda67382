#include "SimClock.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

int64_t TRealClock::NowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void TRealClock::SleepUntil(int64_t microseconds) {
  const int64_t now = NowMicroseconds();
  if (microseconds > now)
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds - now));
}

TLocalTime TRealClock::LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
#ifdef _WIN32
  localtime_s(&parts, &now);
#else
  localtime_r(&now, &parts);
#endif
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
          parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

uint16_t DosDate(const TLocalTime& time) {
  const int year = std::clamp(time.Year, 1980, 2107) - 1980;
  return static_cast<uint16_t>((year << 9) | ((time.Month & 0x0F) << 5) | (time.Day & 0x1F));
}

uint16_t DosTime(const TLocalTime& time) {
  return static_cast<uint16_t>(((time.Hour & 0x1F) << 11) | ((time.Minute & 0x3F) << 5) |
                               ((time.Second / 2) & 0x1F));
}
