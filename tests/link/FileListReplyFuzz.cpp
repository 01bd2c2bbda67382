// Any bytes as a file-list reply: the parse must neither read past them nor make a record
// that the reply cannot have held.
#include <cstdlib>

#include "link/FileListReply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte picks the request's form, the rest is the reply.
  if (size == 0) return 0;
  const bool withVersions = data[0] & 1;
  const std::wstring_view filter = (data[0] & 2) ? L"exe" : L"";
  const std::span<const uint8_t> reply(data + 1, size - 1);

  TFileList list;
  const TFileListOutcome outcome = ParseFileListReply(reply, withVersions, filter, list);
  if (outcome != TFileListOutcome::Ok && !list.empty()) std::abort();
  if (outcome == TFileListOutcome::Ok) {
    // Each record took at least 10 bytes (11 with versions) of the reply.
    if (list.size() > reply[1] || 2 + list.size() * (withVersions ? 11 : 10) > reply.size())
      std::abort();
    for (const TFileStruct& r : list) {
      if (r.Time.size() != 8 || r.Date.size() != 10 || r.Attributes < 0 || r.Attributes > 255)
        std::abort();
      if (!withVersions && !r.Version.empty()) std::abort();
      if (!filter.empty() && !PassesExtensionFilter(r.Name, filter)) std::abort();
    }
  }
  return 0;
}
