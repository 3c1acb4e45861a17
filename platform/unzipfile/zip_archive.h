// The archive side of extraction: opening, walking and streaming entries with zlib's minizip.
#pragma once

#include <climits>
#include <cstdint>
#include <minizip/unzip.h>
#include <sys/types.h>

#include "unzipfile.h"

namespace unzipfile {

// Owns an open archive; closes it (and any open entry) on scope exit.
class ZipArchive {
  public:
    ZipArchive() noexcept = default;
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;
    ~ZipArchive();

    // kOk, kArchiveMissing (no readable regular file) or kArchiveCorrupt (not a zip).
    int32_t open(const char *path) noexcept;
    unzFile get() const noexcept { return zip_; }

  private:
    unzFile zip_ = nullptr;
};

struct EntryInfo {
    char name[PATH_MAX];
    bool directory;
    mode_t mode;     // permission bits the extracted file gets
    uint64_t size;   // uncompressed size the central directory promises (Zip64 sizes too)
    uint32_t crc;    // check value of the uncompressed data
    bool zip64_size; // the size came from the Zip64 field, which minizip missed: minizip
                     // cannot check the CRC, the copy does
    bool has_parts;  // false for names such as "./" that denote the destination itself
};

// Reads the current entry and decides whether it may be extracted: kOk, or the refusal code.
int32_t read_current_entry(unzFile zip, EntryInfo &out) noexcept;

// Calls visit(const EntryInfo &) for every entry in archive order; stops at the first failure.
template <typename Visit> int32_t for_each_entry(unzFile zip, Visit &&visit) noexcept {
    EntryInfo entry;
    int rc = unzGoToFirstFile(zip);
    while (rc == UNZ_OK) {
        int32_t result = read_current_entry(zip, entry);
        if (result == minizip_result::kOk) {
            result = visit(static_cast<const EntryInfo &>(entry));
        }
        if (result != minizip_result::kOk) {
            return result;
        }
        rc = unzGoToNextFile(zip);
    }
    return rc == UNZ_END_OF_LIST_OF_FILE ? minizip_result::kOk : minizip_result::kArchiveCorrupt;
}

// Streams the current entry's data into `fd` through a fixed buffer, never beyond its declared
// size, and checks its size and CRC.
int32_t copy_current_entry(unzFile zip, const EntryInfo &entry, int fd) noexcept;

} // namespace unzipfile
