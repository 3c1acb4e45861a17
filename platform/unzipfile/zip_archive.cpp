#include "zip_archive.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive_io.h"
#include "entry_name.h"
#include "unique_fd.h"

namespace unzipfile {
namespace {

constexpr unsigned kHostUnix = 3;
constexpr unsigned kHostDarwin = 19;
constexpr unsigned long kDosDirectory = 0x10;
constexpr unsigned long kFlagEncrypted = 0x1;
constexpr size_t kCopyBuffer = 16384;

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

} // namespace

ZipArchive::~ZipArchive() {
    if (zip_ != nullptr) {
        unzClose(zip_);
    }
}

int32_t ZipArchive::open(const char *path) noexcept {
    // Tell "nothing there" from "not a zip": minizip reports both as a null handle.
    struct stat info {};
    if (stat(path, &info) != 0 || !S_ISREG(info.st_mode)) {
        return minizip_result::kArchiveMissing;
    }
    UniqueFd probe(::open(path, O_RDONLY | O_CLOEXEC));
    if (!probe.valid()) {
        return minizip_result::kArchiveMissing;
    }
    zlib_filefunc64_def functions{};
    fill_window_functions(functions);
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
    for (;;) {
        const int got = unzReadCurrentFile(zip, buffer, sizeof buffer);
        if (got < 0) {
            return minizip_result::kArchiveCorrupt;
        }
        if (got == 0) {
            break;
        }
        if (!write_all(fd, buffer, static_cast<size_t>(got))) {
            return minizip_result::kWriteFailed;
        }
        total += static_cast<uint64_t>(got);
    }
    if (!open_entry.finish() || total != entry.size) {
        return minizip_result::kArchiveCorrupt;
    }
    return minizip_result::kOk;
}

} // namespace unzipfile
