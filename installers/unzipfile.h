// The archive-extraction interface of libunzipfile.so, loaded by the adapter installers.
#pragma once

#include <cstdint>

extern "C" {
// Unpacks the zip `archive` under `destination` (created with its parents); 0 when every entry
// was written, else a failure code below. A leading "//" in either path is accepted.
//
// Every entry is checked before anything is written: an unsafe, unsupported or over-long entry
// fails the whole call with nothing written. Link, device and pipe entries count as unsafe: the
// package holds regular files and directories only. An archive that is not a regular file (a
// device, a pipe, a link to one) counts as missing. Zip64 sizes are read from their extra field.
//
// The archive may expand to no more than the destination's file system has free: the declared
// sizes of its files, each rounded up to the file system's block, and one inode per entry. A
// larger archive fails with kNoSpace before anything is written. No entry writes more than its
// declared size; one whose data goes on beyond it fails its check (kArchiveCorrupt). There is no
// further limit to set: the provider has no configuration, the free space is what the host can
// give, and any fixed figure would refuse a large but genuine package on a roomy host.
//
// A failure while writing (corrupt data, a full disk, a link planted in the destination) stops
// the call: the entries already written stay, the partly written file of the failing entry is
// removed.
//
// The destination is walked from "/" one directory at a time, never through a link: a link on
// its path, or a directory on it that another user could have put there or could swap (theirs,
// or open to their writes, inside a directory anyone may write such as /var/tmp), fails the
// call with kUnsafeEntry before anything is written.
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
constexpr int32_t kWriteFailed = 4;      // destination cannot be created or written
constexpr int32_t kUnsafeEntry = 5;      // absolute path, "..", a link entry, a link on the path,
                                         // or a destination that another user controls
constexpr int32_t kUnsupportedEntry = 6; // encrypted entry or unknown compression method
constexpr int32_t kPathTooLong = 7;      // a path of PATH_MAX or more below the destination, a
                                         // component over NAME_MAX, or more components than
                                         // minizip_limit::kMaxNameComponents
constexpr int32_t kNoSpace = 8;          // the archive expands to more than the destination's
                                         // file system has free, or the disk filled meanwhile
} // namespace minizip_result

namespace minizip_limit {
// Components of an entry's name ("a/b/c" has three). The provider removes working trees down to
// a deeper level than this, so it can always remove what Minizip wrote.
constexpr int kMaxNameComponents = 256;
} // namespace minizip_limit
