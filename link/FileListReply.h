// The unit's file-list reply, parsed byte by byte into TFileStruct records. The reply carries
// no length of its own: the parse trusts N and the length bytes, but never reads past the
// bytes the link actually received.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "model/TFileStruct.h"

// The longest reply there can be: code, count, and 255 entries with names and versions of 255
// bytes each. A parse never reads further than this.
inline constexpr size_t MaxFileListReplySize = 2 + 255 * (11 + 255 + 255);
static_assert(MaxFileListReplySize == 132857);

enum class TFileListOutcome {
  Ok,
  WrongCode,  // byte 0 is not 1: the unit answered, but not with a file list
  Truncated,  // the reply ends before its last entry does
};

// Appends the reply's entries, in their order, to list, but only when the whole reply parsed;
// on any other outcome list is left as it was. withVersions: the request asked for the version
// part of each entry. A non-empty filter drops names whose extension differs from it in more
// than letter case; a name without a point passes.
TFileListOutcome ParseFileListReply(std::span<const uint8_t> reply, bool withVersions,
                                    std::wstring_view filter, TFileList& list);

// How many of the reply's bytes the parse reads: up to the end of its last entry, its first
// byte when that is a wrong code, all of them when the reply ends too soon.
size_t FileListReplyExtent(std::span<const uint8_t> reply, bool withVersions);

// MS-DOS packed time and date as the file list shows them: "hh:mm.ss" and "yyyy.mm.dd". Only
// the seconds are checked (above 59 they show as 00); other fields are shown as they are.
std::wstring FormatPackedTime(uint16_t time);
std::wstring FormatPackedDate(uint16_t date);

// True when name has no point, or the text after its last point equals filter when both are
// upper-cased.
bool PassesExtensionFilter(std::wstring_view name, std::wstring_view filter);
