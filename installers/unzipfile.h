// The archive-extraction interface of libunzipfile.so, loaded by the adapter installers.
#pragma once

#include <cstdint>

extern "C" {
// Unpacks the zip `archive` under `destination` (created with its parents); 0 when every entry
// was written, else a failure code below. A leading "//" in either path is accepted.
//
// Every entry is checked before anything is written: an unsafe, unsupported or over-long entry
// fails the whole call with nothing written. Link, device and pipe entries count as unsafe: the
// package holds regular files and directories only. A failure while writing (corrupt data, full
// disk, a link planted in the destination) stops the call: the entries already written stay, the
// partly written file of the failing entry is removed.
//
// An existing file at an entry's path is replaced, never written through (links stay untouched);
// an existing link where a directory is needed fails with kUnsafeEntry. Files get the archive's
// permission bits masked with 0755 (0644 when it has none), directories 0755.
int32_t Minizip(const char *archive, const char *destination);
}

// Failure codes of Minizip (0 is success).
namespace minizip_result {
constexpr int32_t kOk = 0;
constexpr int32_t kBadArgument = 1;      // NULL or empty path, or a path of PATH_MAX or more
constexpr int32_t kArchiveMissing = 2;   // no readable regular file at the archive path
constexpr int32_t kArchiveCorrupt = 3;   // not a zip, truncated, or an entry's data fails its check
constexpr int32_t kWriteFailed = 4;      // full disk, or destination cannot be created or written
constexpr int32_t kUnsafeEntry = 5;      // absolute path, "..", a link entry, or a link on the path
constexpr int32_t kUnsupportedEntry = 6; // encrypted entry or unknown compression method
constexpr int32_t kPathTooLong = 7;      // a path of PATH_MAX or more below the destination, or a
                                         // component over NAME_MAX
} // namespace minizip_result
