// Time as the simulated unit sees it: a monotonic clock to pace transfers and waits, and the
// local calendar time that stamps installed files. Tests give a clock of their own that
// only moves when the unit sleeps.
#pragma once

#include <cstdint>

struct TLocalTime {
  int Year = 1980;
  int Month = 1;
  int Day = 1;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  bool operator==(const TLocalTime&) const = default;
};

class TSimClock {
 public:
  virtual ~TSimClock() = default;
  virtual int64_t NowMicroseconds() = 0;
  virtual void SleepUntil(int64_t microseconds) = 0;
  virtual TLocalTime LocalNow() = 0;
};

class TRealClock : public TSimClock {
 public:
  int64_t NowMicroseconds() override;
  void SleepUntil(int64_t microseconds) override;
  TLocalTime LocalNow() override;
};

// MS-DOS (FAT) packing: date bits 15..9 year - 1980, 8..5 month, 4..0 day; time bits 15..11
// hour, 10..5 minute, 4..0 seconds / 2. Years outside 1980..2107 are clamped to that range.
uint16_t DosDate(const TLocalTime& time);
uint16_t DosTime(const TLocalTime& time);
