#include "working_area.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "trace_log.h"

namespace {
constexpr int kEntryPathSize = 256;
}

int util_full_name(const char *dir, const char *name, char *dst, int size) {
    size_t dirLen = std::strlen(dir);
    const char *separator = (dirLen > 0 && dir[dirLen - 1] == '/') ? "" : "/";
    while (*name == '/') {
        ++name;
    }
    return std::snprintf(dst, static_cast<size_t>(size), "%s%s%s", dir, separator, name);
}

namespace {

int missing_path() {
    trace("In Function util_remove_file::The directory doesn't exist and the error code [1].\n");
    return 1;
}

int remove_entries(const char *path, DIR *dir);

// Empties the open directory `dir` (at `path`), closes it and removes it with `remove_dir`.
template <class RemoveDir> int remove_directory(const char *path, DIR *dir, RemoveDir remove_dir) {
    int result = remove_entries(path, dir);
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

// Removes the entry `name` of the open directory `parent`, whose full path is `path` and whose
// kind readdir gave as `type`. The kind saves the lstat, and working relative to `parent`
// saves resolving the full path again: each entry costs one system call, as with rm -rf.
// Whenever the entry is not what readdir said, or a step fails for any reason but the entry
// being gone, the full path-based steps of util_remove_file decide and trace the result.
int remove_entry_at(int parent, const char *name, const char *path, unsigned char type) {
    if (type == DT_UNKNOWN) {
        return util_remove_file(path);
    }
    if (type != DT_DIR) {
        if (unlinkat(parent, name, 0) == 0) {
            return 0;
        }
        return errno == ENOENT ? missing_path() : util_remove_file(path);
    }
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? missing_path() : util_remove_file(path);
    }
    DIR *dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        return util_remove_file(path);
    }
    return remove_directory(path, dir, [=] { return unlinkat(parent, name, AT_REMOVEDIR); });
}

// Removes the entries of `dir` (the directory at `path`) depth first, in readdir order; stops at
// the first negative result and returns the last result.
int remove_entries(const char *path, DIR *dir) {
    int result = 0;
    while (struct dirent *entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        char entryPath[kEntryPathSize] = {};
        int length = util_full_name(path, entry->d_name, entryPath, kEntryPathSize);
        // A joined path cut at the buffer's end names some other path: only the full path
        // steps treat it as the cut name.
        result = length < kEntryPathSize
                     ? remove_entry_at(dirfd(dir), entry->d_name, entryPath, entry->d_type)
                     : util_remove_file(entryPath);
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
        if (unlink(path) != 0) {
            trace("In Function util_remove_file::unlink failed and the error code is [-1].\n");
            return -2;
        }
        return 0;
    }

    DIR *dir = opendir(path);
    if (dir == nullptr) {
        trace("In Function util_remove_file::opendir error and the error code is [-1].\n");
        return -1;
    }
    return remove_directory(path, dir, [=] { return rmdir(path); });
}
