#include "zip_archive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive_io.h"
#include "confined_fs.h"
#include "entry_name.h"
#include "unique_fd.h"

namespace unzipfile {
namespace {

constexpr unsigned kHostUnix = 3;
constexpr unsigned kHostDarwin = 19;
constexpr unsigned long kDosDirectory = 0x10;
constexpr unsigned long kFlagEncrypted = 0x1;
constexpr size_t kCopyBuffer = 16384;
constexpr uint64_t kSizeInZip64Field = 0xFFFFFFFFu;
constexpr unsigned kZip64ExtraTag = 0x0001;

// Closes the open entry on early exits; finish() reports the CRC check of a complete read.
class OpenEntry {
  public:
    explicit OpenEntry(unzFile zip) noexcept
        : zip_(zip), open_(unzOpenCurrentFile(zip) == UNZ_OK) {}
    OpenEntry(const OpenEntry &) = delete;
    OpenEntry &operator=(const OpenEntry &) = delete;
    ~OpenEntry() {
        if (open_) {
            unzCloseCurrentFile(zip_);
        }
    }
    bool is_open() const noexcept { return open_; }
    bool finish() noexcept {
        open_ = false;
        return unzCloseCurrentFile(zip_) == UNZ_OK;
    }

  private:
    unzFile zip_;
    bool open_;
};

bool write_all(int fd, const char *data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

uint64_t little_endian(const unsigned char *bytes, size_t count) {
    uint64_t value = 0;
    while (count-- > 0) {
        value = (value << 8) | bytes[count];
    }
    return value;
}

// Replaces a size that the central record gives as 0xFFFFFFFF by the 64-bit one of its Zip64
// extra field. Minizip builds that look for the marker as an all-ones unsigned long never find
// it on 64-bit hosts and report the marker itself. A size without a Zip64 field keeps its
// value; a Zip64 field too short for the sizes it must hold makes the entry corrupt.
int32_t read_zip64_sizes(unzFile zip, unz_file_info64 &info) {
    if (info.uncompressed_size != kSizeInZip64Field && info.compressed_size != kSizeInZip64Field) {
        return minizip_result::kOk;
    }
    unsigned char extra[0x10000]; // the field's length is 16 bits
    unz_file_info64 again{};
    if (unzGetCurrentFileInfo64(zip, &again, nullptr, 0, extra, sizeof extra, nullptr, 0) !=
        UNZ_OK) {
        return minizip_result::kArchiveCorrupt;
    }
    const size_t length = std::min<size_t>(again.size_file_extra, sizeof extra);
    for (size_t at = 0; at + 4 <= length;) {
        const uint64_t tag = little_endian(extra + at, 2);
        const size_t size = static_cast<size_t>(little_endian(extra + at + 2, 2));
        at += 4;
        if (size > length - at) {
            return minizip_result::kArchiveCorrupt;
        }
        if (tag == kZip64ExtraTag) {
            // The 64-bit sizes stand in this order, each only when its 32-bit field is marked.
            size_t field = at;
            for (ZPOS64_T *value : {&info.uncompressed_size, &info.compressed_size}) {
                if (*value == kSizeInZip64Field) {
                    if (field + 8 > at + size) {
                        return minizip_result::kArchiveCorrupt;
                    }
                    *value = little_endian(extra + field, 8);
                    field += 8;
                }
            }
            return minizip_result::kOk;
        }
        at += size;
    }
    return minizip_result::kOk;
}

} // namespace

ZipArchive::~ZipArchive() {
    if (zip_ != nullptr) {
        unzClose(zip_);
    }
}

int32_t ZipArchive::open(const char *path) noexcept {
    // Tell "nothing there" from "not a zip": minizip reports both as a null handle. Only a
    // regular file is an archive: a device or a pipe would be read, or waited for, without end.
    // The path is looked at before the open, which could act on a device, and the file opened
    // is checked again and is the one minizip reads.
    struct stat info {};
    if (stat(path, &info) != 0 || !S_ISREG(info.st_mode)) {
        return minizip_result::kArchiveMissing;
    }
    UniqueFd file(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid() || fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return minizip_result::kArchiveMissing;
    }
    zlib_filefunc64_def functions{};
    fill_window_functions(functions, file.get());
    zip_ = unzOpen2_64(path, &functions);
    return zip_ != nullptr ? minizip_result::kOk : minizip_result::kArchiveCorrupt;
}

int32_t read_current_entry(unzFile zip, EntryInfo &out) noexcept {
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, out.name, sizeof out.name, nullptr, 0, nullptr, 0) !=
        UNZ_OK) {
        return minizip_result::kArchiveCorrupt;
    }
    if (info.size_filename >= sizeof out.name) {
        return minizip_result::kPathTooLong; // minizip cut the name short
    }
    const int32_t name_check = check_entry_name(out.name, info.size_filename);
    if (name_check != minizip_result::kOk) {
        return name_check;
    }
    const uint64_t listed_size = info.uncompressed_size;
    const int32_t size_check = read_zip64_sizes(zip, info);
    if (size_check != minizip_result::kOk) {
        return size_check;
    }
    out.zip64_size = info.uncompressed_size != listed_size;
    if ((info.flag & kFlagEncrypted) != 0 ||
        (info.compression_method != 0 && info.compression_method != Z_DEFLATED)) {
        return minizip_result::kUnsupportedEntry;
    }

    const unsigned host = (info.version >> 8) & 0xFF;
    const mode_t unix_mode =
        host == kHostUnix || host == kHostDarwin ? (info.external_fa >> 16) & 0xFFFF : 0;
    const mode_t type = unix_mode & S_IFMT;
    if (type != 0 && type != S_IFREG && type != S_IFDIR) {
        return minizip_result::kUnsafeEntry; // links, devices, pipes, sockets
    }
    const size_t length = info.size_filename;
    out.directory = (length > 0 && out.name[length - 1] == '/') || type == S_IFDIR ||
                    (type == 0 && (info.external_fa & kDosDirectory) != 0);
    out.mode = out.directory ? 0755 : (unix_mode & 0755);
    if (out.mode == 0) {
        out.mode = 0644;
    }
    out.size = info.uncompressed_size;
    out.crc = static_cast<uint32_t>(info.crc);
    out.has_parts = !at_last_component(out.name);
    if (!out.has_parts && !out.directory) {
        return minizip_result::kUnsafeEntry; // a file cannot take the destination's place
    }
    return minizip_result::kOk;
}

int32_t copy_current_entry(unzFile zip, const EntryInfo &entry, int fd) noexcept {
    OpenEntry open_entry(zip);
    if (!open_entry.is_open()) {
        return minizip_result::kArchiveCorrupt;
    }
    char buffer[kCopyBuffer];
    uint64_t total = 0;
    uLong crc = crc32(0, nullptr, 0);
    // Never more than the declared size is asked for: an entry whose data goes on beyond it
    // writes no more than it declared (and then fails its check value). Minizip checks the
    // value itself once it has given all the data it knows of; for a size it missed, the copy
    // checks it.
    while (total < entry.size) {
        const uint64_t left = entry.size - total;
        const unsigned ask = left < sizeof buffer ? static_cast<unsigned>(left) : sizeof buffer;
        const int got = unzReadCurrentFile(zip, buffer, ask);
        if (got < 0) {
            return minizip_result::kArchiveCorrupt;
        }
        if (got == 0) {
            break;
        }
        if (!write_all(fd, buffer, static_cast<size_t>(got))) {
            return code_for_errno(errno);
        }
        if (entry.zip64_size) {
            crc = crc32(crc, reinterpret_cast<const Bytef *>(buffer), static_cast<uInt>(got));
        }
        total += static_cast<uint64_t>(got);
    }
    if (!open_entry.finish() || total != entry.size || (entry.zip64_size && crc != entry.crc)) {
        return minizip_result::kArchiveCorrupt;
    }
    return minizip_result::kOk;
}

} // namespace unzipfile
