// The archive-extraction interface of libunzipfile.so, loaded by the adapter installers.
#pragma once

#include <cstdint>

extern "C" {
// Unpacks `archive` under `destination`; 0 when every entry was written, else a failure code.
int32_t Minizip(const char *archive, const char *destination);
}

// Failure codes of Minizip (0 is success).
namespace minizip_result {
constexpr int32_t kOk = 0;
constexpr int32_t kBadArgument = 1;
constexpr int32_t kArchiveMissing = 2;
constexpr int32_t kArchiveCorrupt = 3;
constexpr int32_t kWriteFailed = 4; // full disk or unwritable destination
constexpr int32_t kUnsafeEntry = 5; // absolute path, "..", or a link out of the destination
} // namespace minizip_result
