// Minizip, the one symbol that libunzipfile.so exports.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "confined_fs.h"
#include "zip_archive.h"

namespace unzipfile {
namespace {

bool usable_path(const char *path) {
    return path != nullptr && path[0] != '\0' && strnlen(path, PATH_MAX) < PATH_MAX;
}

// What the destination's file system has free for this process, from the nearest directory on
// the destination's path that exists. False when that cannot be told: the writes then find out.
bool free_room(const char *destination, struct statvfs &fs) {
    char path[PATH_MAX];
    memcpy(path, destination, strlen(destination) + 1); // shorter than PATH_MAX: usable_path
    while (statvfs(path, &fs) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            return false;
        }
        char *slash = strrchr(path, '/');
        if (slash == nullptr) {
            memcpy(path, ".", 2);
        } else if (slash == path) {
            path[1] = '\0';
        } else {
            *slash = '\0';
        }
    }
    return fs.f_frsize > 0;
}

uint64_t saturated_add(uint64_t a, uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

// The space a file of `size` bytes takes: whole blocks of `block` bytes.
uint64_t blocks_for(uint64_t size, uint64_t block) {
    const uint64_t blocks = size / block + (size % block != 0 ? 1 : 0);
    return blocks > UINT64_MAX / block ? UINT64_MAX : blocks * block;
}

// Refuses an archive with any entry that could not be extracted safely, before anything is
// written; each extracted path must also fit in PATH_MAX under the destination, and the whole
// archive in what the destination's file system has free.
int32_t check_entries(unzFile zip, const char *destination) {
    const size_t destination_length = strlen(destination);
    struct statvfs fs {};
    const bool known = free_room(destination, fs);
    const uint64_t block = known ? fs.f_frsize : 1;
    uint64_t bytes = 0;
    uint64_t entries = 0;
    const int32_t rc = for_each_entry(zip, [&](const EntryInfo &entry) {
        if (destination_length + 1 + strlen(entry.name) >= PATH_MAX) {
            return minizip_result::kPathTooLong;
        }
        bytes = saturated_add(bytes, entry.directory ? 0 : blocks_for(entry.size, block));
        ++entries;
        return minizip_result::kOk;
    });
    if (rc != minizip_result::kOk || !known) {
        return rc;
    }
    const bool too_large = bytes / block > fs.f_bavail;
    const bool too_many = fs.f_files != 0 && entries > fs.f_favail;
    return too_large || too_many ? minizip_result::kNoSpace : minizip_result::kOk;
}

int32_t extract_file(unzFile zip, int root, const EntryInfo &entry, FolderCache &folders) {
    int dir = -1;
    Component leaf;
    int32_t rc = folders.open_file_dir(root, entry.name, dir, leaf);
    if (rc != minizip_result::kOk) {
        return rc;
    }
    UniqueFd file;
    rc = create_file(dir, leaf.text, file);
    if (rc != minizip_result::kOk) {
        return rc;
    }
    rc = copy_current_entry(zip, entry, file.get());
    if (rc == minizip_result::kOk &&
        (fchmod(file.get(), entry.mode) != 0 || close(file.release()) != 0)) {
        rc = code_for_errno(errno);
    }
    if (rc != minizip_result::kOk) {
        // A cut-off file must not pass for a complete payload.
        unlinkat(dir, leaf.text, 0);
    }
    return rc;
}

int32_t extract_entry(unzFile zip, int root, const EntryInfo &entry, FolderCache &folders) {
    if (!entry.directory) {
        return extract_file(zip, root, entry, folders);
    }
    if (!entry.has_parts) {
        return minizip_result::kOk;
    }
    UniqueFd dir;
    Component unused;
    return open_entry_dir(root, entry.name, true, dir, unused);
}

int32_t extract(const char *archive, const char *destination) {
    if (!usable_path(archive) || !usable_path(destination)) {
        return minizip_result::kBadArgument;
    }
    ZipArchive zip;
    int32_t rc = zip.open(archive);
    if (rc == minizip_result::kOk) {
        rc = check_entries(zip.get(), destination);
    }
    UniqueFd root;
    if (rc == minizip_result::kOk) {
        rc = open_destination(destination, root);
    }
    if (rc == minizip_result::kOk) {
        FolderCache folders;
        rc = for_each_entry(zip.get(), [&zip, &root, &folders](const EntryInfo &entry) {
            return extract_entry(zip.get(), root.get(), entry, folders);
        });
    }
    return rc;
}

} // namespace
} // namespace unzipfile

extern "C" __attribute__((visibility("default"))) int32_t Minizip(const char *archive,
                                                                  const char *destination) {
    return unzipfile::extract(archive, destination);
}
