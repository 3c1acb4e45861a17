// Minizip, the one symbol that libunzipfile.so exports.
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "confined_fs.h"
#include "zip_archive.h"

namespace unzipfile {
namespace {

bool usable_path(const char *path) {
    return path != nullptr && path[0] != '\0' && strnlen(path, PATH_MAX) < PATH_MAX;
}

// Refuses an archive with any entry that could not be extracted safely, before anything is
// written; each extracted path must also fit in PATH_MAX under the destination.
int32_t check_entries(unzFile zip, size_t destination_length) {
    return for_each_entry(zip, [destination_length](const EntryInfo &entry) {
        return destination_length + 1 + strlen(entry.name) >= PATH_MAX
                   ? minizip_result::kPathTooLong
                   : minizip_result::kOk;
    });
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
        rc = minizip_result::kWriteFailed;
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
        rc = check_entries(zip.get(), strlen(destination));
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
