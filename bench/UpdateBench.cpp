// What the update transfer itself costs beside the link: five 1 MiB files through the real
// worker, its hand-offs served by this thread as the window thread would. The link's own time
// (inside its calls, less the time spent back in our progress callback) is taken out; what
// remains is compared with its floor, the hand-offs at the measured round trip plus reading
// the files. Prints figures; decides nothing.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchLink.h"
#include "views/ComponentTable.h"
#include "worker/UThreadComPort.h"

namespace {

constexpr int FileCount = 5;
constexpr int32_t FileSize = 1048576;

// Serves sent messages on this thread until handle is signalled, as the window's wait does.
void ServeUntil(HANDLE handle) {
  for (;;) {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    if (MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_SENDMESSAGE) != WAIT_OBJECT_0 + 1) return;
  }
}

// A window that does nothing but count: the window's own painting is not the transfer's cost.
class CountingWindow : public TWorkerWindow {
 public:
  TUpdateList candidates;
  std::wstring folder;
  int handOffs = 0;
  int gauges = 0;
  void ShowStatusLine(const std::wstring&, bool) override { ++handOffs; }
  void InstallComponentList(TFileList&&, int32_t) override { ++handOffs; }
  void RepaintUpdateGrid() override { ++handOffs; }
  void ShowGauge(int32_t) override {
    ++handOffs;
    ++gauges;
  }
  TUpdateList UpdateCandidates() override {
    ++handOffs;
    return candidates;
  }
  std::wstring UpdateFolder() override {
    ++handOffs;
    return folder;
  }
};

class TimedWorker : public TThreadComPort {
 public:
  using TThreadComPort::TThreadComPort;
  double seconds = 0;
  UniqueHandle done{CreateEventW(nullptr, FALSE, FALSE, nullptr)};

 protected:
  void UpdateComponents() override {
    const double start = BenchNow();
    TThreadComPort::UpdateComponents();
    seconds = BenchNow() - start;
    SetEvent(done.get());
  }
};

// The bare cost of one hand-off: a worker thread that hands off empty work.
class RoundTripProbe : public TThread {
 public:
  explicit RoundTripProbe(int count) : TThread(true), count_(count) {}
  ~RoundTripProbe() override { WaitFor(); }
  double seconds = 0;

 protected:
  void Execute() override {
    const double start = BenchNow();
    for (int i = 0; i < count_; ++i) Synchronize([] {});
    seconds = BenchNow() - start;
  }

 private:
  int count_;
};

double MeasureRoundTrip() {
  constexpr int count = 4000;
  RoundTripProbe probe(count);
  probe.Resume();
  probe.WaitFor();
  return probe.seconds / count;
}

std::wstring MakeFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"замер обновления " + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

std::wstring FileName(int row) {
  const char* name = ComponentFileNames[row];
  return std::wstring(name, name + strlen(name));
}

void WriteCandidates(const std::wstring& folder) {
  std::vector<uint8_t> bytes(FileSize);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 13);
  for (int row = 0; row < FileCount; ++row) {
    UniqueFileHandle file(CreateFileW((folder + L"\\" + FileName(row)).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), FileSize, &written, nullptr);
  }
}

// Reading one candidate as the transfer does: open, size, one buffer, read, close.
double MeasureRead(const std::wstring& folder) {
  WriteCandidates(folder);
  const double start = BenchNow();
  for (int row = 0; row < FileCount; ++row) {
    UniqueFileHandle file(CreateFileW((folder + L"\\" + FileName(row)).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    GetFileSizeEx(file.get(), &size);
    std::unique_ptr<uint8_t[]> image(new uint8_t[size.QuadPart]);
    DWORD got = 0;
    ReadFile(file.get(), image.get(), static_cast<DWORD>(size.QuadPart), &got, nullptr);
  }
  return (BenchNow() - start) / FileCount;
}

struct RunFigures {
  double seconds = 0;      // the whole update job
  double linkSeconds = 0;  // the link's own work within it
  int handOffs = 0;
  int gauges = 0;
  bool allConfirmed = false;
};

RunFigures RunUpdate(IComPort* link, const std::wstring& folder) {
  WriteCandidates(folder);
  CountingWindow window;
  window.folder = folder;
  for (int row = 0; row < FileCount; ++row) {
    auto record = std::make_shared<TUpdateStruct>();
    record->Component = row;
    record->Version = L"1.0";
    window.candidates.push_back(record);
  }
  TimedLink timed(link);
  UniqueHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  TimedWorker worker(true, window);
  worker.Event = event.get();
  timed.AddRef();
  worker.Port.reset(&timed);
  ThreadComPort = &worker;
  worker.Resume();
  worker.Command = cmUpdate;
  SetEvent(event.get());
  ServeUntil(worker.done.get());
  worker.Terminate();
  SetEvent(event.get());
  worker.WaitFor();
  ThreadComPort = nullptr;

  RunFigures figures;
  figures.seconds = worker.seconds;
  figures.linkSeconds = timed.OwnSeconds();
  // The job's own hand-offs: InitLink's status line is not the transfer's.
  figures.handOffs = window.handOffs - 1;
  figures.gauges = window.gauges;
  figures.allConfirmed = true;
  for (const auto& record : window.candidates) figures.allConfirmed &= record->Status == usSucceeded;
  return figures;
}

bool Report(const char* title, const RunFigures& run, double roundTrip, double readSeconds) {
  const double ownPerFile = (run.seconds - run.linkSeconds) / FileCount;
  const double handOffsPerFile = static_cast<double>(run.handOffs) / FileCount;
  const double gaugesPerFile = static_cast<double>(run.gauges) / FileCount;
  const double floor = handOffsPerFile * roundTrip + readSeconds;
  const bool gaugeMet = gaugesPerFile <= 102;
  const bool ownMet = ownPerFile <= 1.5 * floor;
  std::printf("%s\n", title);
  std::printf("  all files confirmed and deleted:      %s\n", run.allConfirmed ? "yes" : "NO");
  std::printf("  hand-offs per file:                   %.1f (gauge %.1f; target <= 102: %s)\n", handOffsPerFile,
              gaugesPerFile, gaugeMet ? "met" : "NOT met");
  std::printf("  program's own time per file:          %.2f ms (link's own work %.2f ms per file)\n",
              ownPerFile * 1e3, run.linkSeconds / FileCount * 1e3);
  std::printf("  floor (hand-offs x round trip + read): %.2f ms; own / floor = %.2f (target <= 1.5: %s)\n",
              floor * 1e3, ownPerFile / floor, ownMet ? "met" : "NOT met");
  return gaugeMet && ownMet && run.allConfirmed;
}

}  // namespace

int main() {
  const std::wstring folder = MakeFolder();
  const double roundTrip = MeasureRoundTrip();
  const double readSeconds = MeasureRead(folder);
  std::printf("Update transfer benchmark: %d files of %d bytes\n", FileCount, FileSize);
  std::printf("  hand-off round trip (cross-thread sent message): %.1f us\n", roundTrip * 1e6);
  std::printf("  reading one file (open, one buffer, read):        %.2f ms\n\n", readSeconds * 1e3);

  bool met = true;
  for (const int32_t step : {64, 4096}) {
    NullLink link(step, 0);
    char title[160];
    std::snprintf(title, sizeof title, "Unlimited-rate link (in-process, does no work), progress every %d bytes (%d reports per file)",
                  step, FileSize / step);
    met &= Report(title, RunUpdate(&link, folder), roundTrip, readSeconds);
  }

  {
    NullLink link(4096, 1000000);
    const RunFigures run = RunUpdate(&link, folder);
    std::printf("Link at 1 MB/s (in-process, paced), progress every 4096 bytes\n");
    std::printf("  whole update: %.2f s; program's share: %.2f %%\n", run.seconds,
                (run.seconds - run.linkSeconds) / run.seconds * 100);
  }

  std::printf("\nTargets %s\n", met ? "met" : "NOT all met");
  RemoveDirectoryW(folder.c_str());
  return 0;
}
