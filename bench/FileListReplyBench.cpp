// Parse time of a full file-list reply (255 entries with versions, filter "exe").
#include <chrono>
#include <cstdio>

#include "support/ReplyBytes.h"
#include "link/FileListReply.h"

int main() {
  std::vector<TReplyEntry> entries;
  for (int i = 0; i < 255; ++i) {
    TReplyEntry e;
    e.Name =
        (i % 3 ? "component" + std::to_string(i) + ".exe" : "note" + std::to_string(i) + ".txt");
    e.Time = PackTime(i % 24, i % 60, i % 60);
    e.Date = PackDate(2000 + i % 40, 1 + i % 12, 1 + i % 28);
    e.Size = 1000u * i;
    e.Version = std::to_string(i % 10) + "." + std::to_string(i);
    entries.push_back(e);
  }
  const std::vector<uint8_t> reply = ReplyBytes(entries, true);

  size_t kept = 0;
  auto parseMany = [&](int iterations) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < iterations; ++i) {
      TFileList list;
      if (ParseFileListReply(reply, true, L"exe", list) != TFileListOutcome::Ok) return -1.0;
      kept += list.size();
    }
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
        .count();
  };
  parseMany(200);  // warm-up
  const int iterations = 20000;
  const double micros = parseMany(iterations);
  if (micros < 0) {
    std::puts("the benchmark reply did not parse");
    return 1;
  }
  std::printf(
      "file-list reply, 255 entries, %zu bytes: %.2f us per parse (%.1f ns per entry), %d parses\n",
      reply.size(), micros / iterations, 1000.0 * micros / iterations / 255, iterations);
  std::printf("records kept per parse: %zu\n", kept / (iterations + 200));
  return 0;
}
