#include "working_area.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "trace_log.h"
#include "unzipfile.h"

int util_full_name(const char *dir, const char *name, char *dst, int size) {
    size_t dirLen = std::strlen(dir);
    const char *separator = (dirLen > 0 && dir[dirLen - 1] == '/') ? "" : "/";
    while (*name == '/') {
        ++name;
    }
    return std::snprintf(dst, static_cast<size_t>(size), "%s%s%s", dir, separator, name);
}

// Every tree that Minizip writes into the working area can be removed again.
static_assert(kMaxRemovalDepth >= minizip_limit::kMaxNameComponents, "removal depth too small");

namespace {

int missing_path() {
    trace("In Function util_remove_file::The directory doesn't exist and the error code [1].\n");
    return 1;
}

int unlink_failed() {
    trace("In Function util_remove_file::unlink failed and the error code is [-1].\n");
    return -2;
}

int opendir_failed() {
    trace("In Function util_remove_file::opendir error and the error code is [-1].\n");
    return -1;
}

int remove_entries(DIR *dir, int depth);

// Empties the open directory `dir` (`depth` levels below the path given), closes it and removes
// it with `remove_dir`.
template <class RemoveDir> int remove_directory(DIR *dir, int depth, RemoveDir remove_dir) {
    int result = remove_entries(dir, depth);
    if (closedir(dir) != 0) {
        trace("In Function util_remove_file::closedir error and the error code is [-1].\n");
        return -1;
    }
    if (result < 0) {
        return result;
    }
    if (remove_dir() != 0) {
        trace("In Function util_remove_file::rmdir error and the error code is [-1].\n");
        return -1;
    }
    return result;
}

// Removes the directory `name` of the open directory `parent`, at `depth` levels below the path
// given. Each level holds one open directory until its entries are done, so the depth is bounded.
int remove_directory_at(int parent, const char *name, int depth) {
    if (depth > kMaxRemovalDepth) {
        tracef("In Function util_remove_file::directory tree deeper than %d levels and the error "
               "code is [-1].\n",
               kMaxRemovalDepth);
        return -1;
    }
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOTDIR || errno == ELOOP) {
            // No longer a directory: removed as the file or link it now is.
            return unlinkat(parent, name, 0) == 0 ? 0
                   : errno == ENOENT              ? missing_path()
                                                  : unlink_failed();
        }
        return errno == ENOENT ? missing_path() : opendir_failed();
    }
    DIR *dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        return opendir_failed();
    }
    return remove_directory(dir, depth, [=] { return unlinkat(parent, name, AT_REMOVEDIR); });
}

// Removes the entry `name` of the open directory `parent`, whose kind readdir gave as `type`.
// Every step works relative to `parent` and never by a joined path, which a deep tree would
// make too long to name: trees are removed whatever their paths' lengths.
int remove_entry_at(int parent, const char *name, unsigned char type, int depth) {
    if (type == DT_UNKNOWN) {
        struct stat info {};
        if (fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            return missing_path();
        }
        type = S_ISDIR(info.st_mode) ? DT_DIR : DT_REG;
    }
    if (type == DT_DIR) {
        return remove_directory_at(parent, name, depth);
    }
    if (unlinkat(parent, name, 0) == 0) {
        return 0;
    }
    if (errno == EISDIR) {
        return remove_directory_at(parent, name, depth); // a directory took the file's place
    }
    return errno == ENOENT ? missing_path() : unlink_failed();
}

// Removes the entries of `dir` depth first, in readdir order; stops at the first negative
// result and returns the last result.
int remove_entries(DIR *dir, int depth) {
    int result = 0;
    while (struct dirent *entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        result = remove_entry_at(dirfd(dir), entry->d_name, entry->d_type, depth + 1);
        if (result < 0) {
            break;
        }
    }
    return result;
}

} // namespace

int util_remove_file(const char *path) {
    struct stat info {};
    if (lstat(path, &info) != 0) {
        return missing_path();
    }
    if (!S_ISDIR(info.st_mode)) {
        return unlink(path) == 0 ? 0 : unlink_failed();
    }
    // Opened without following a link: one put in the directory's place after the lstat is
    // not walked.
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR *dir = fd >= 0 ? fdopendir(fd) : nullptr;
    if (dir == nullptr) {
        if (fd >= 0) {
            close(fd);
        }
        return opendir_failed();
    }
    return remove_directory(dir, 0, [=] { return rmdir(path); });
}
