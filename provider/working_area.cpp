#include "working_area.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "safe_dir.h"
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

// Removes the directory `name` of the open directory `parent`, at `depth` levels below the path
// given: empties it, closes it and removes it. Each level holds one open directory until its
// entries are done, so the depth is bounded.
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
    int result = remove_entries(dir, depth);
    if (closedir(dir) != 0) {
        trace("In Function util_remove_file::closedir error and the error code is [-1].\n");
        return -1;
    }
    if (result < 0) {
        return result;
    }
    if (unlinkat(parent, name, AT_REMOVEDIR) != 0) {
        trace("In Function util_remove_file::rmdir error and the error code is [-1].\n");
        return -1;
    }
    return result;
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

// Refuses a path whose directories cannot be walked safely; the reason goes to the trace log.
int refuse_path(const char *path, const safedir::Failure &failure) {
    const bool failed = failure.refusal == safedir::Refusal::kFailed;
    tracef("In Function util_remove_file::%.*s %s%s%s; nothing removed.\n",
           static_cast<int>(failure.length), path, safedir::refusal_text(failure.refusal),
           failed ? ": " : "", failed ? std::strerror(failure.error) : "");
    return opendir_failed();
}

// What lstat of the path would fail with: nothing there, or no way to it.
bool unreachable(int error) {
    return error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG || error == EACCES;
}

} // namespace

int util_remove_file(const char *path) {
    // The path's directories are walked from "/" without following a link, and only through
    // directories no other user could have put there: the working areas lie below /var/tmp.
    // Everything else happens relative to the directory that holds the last component, so a
    // link there is unlinked, never followed, whether or not the path ends in "/".
    char name[NAME_MAX + 1];
    safedir::Failure failure;
    const int parent = safedir::open_parent(path, name, &failure);
    if (parent < 0) {
        const bool missing =
            failure.refusal == safedir::Refusal::kFailed && unreachable(failure.error);
        return missing ? missing_path() : refuse_path(path, failure);
    }
    const bool names_directory = path[std::strlen(path) - 1] == '/';
    struct stat info {};
    int result = 0;
    if (fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        (names_directory && !S_ISDIR(info.st_mode) && !S_ISLNK(info.st_mode))) {
        // Nothing there; or a file named with a trailing "/", which lstat finds to be no
        // directory either.
        result = missing_path();
    } else if (!S_ISDIR(info.st_mode)) {
        result = unlinkat(parent, name, 0) == 0 ? 0 : unlink_failed();
    } else {
        result = remove_directory_at(parent, name, 0);
    }
    close(parent);
    return result;
}
