#include "regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "safe_dir.h"

namespace {

int refuse(FileRefusal reason, FileRefusal *refusal, int fd = -1) {
    if (fd >= 0) {
        close(fd);
    }
    if (refusal != nullptr) {
        *refusal = reason;
    }
    return -1;
}

} // namespace

int open_regular_file(const char *path, int flags, const FileRules &rules, FileRefusal *refusal) {
    if (refusal != nullptr) {
        *refusal = FileRefusal::kNone;
    }
    struct stat info {};
    // Opening a device can act on it (a tape rewinds, a watchdog starts): a path that may lead
    // anywhere is looked at first. Without links only a privileged user could have put a
    // device at the path itself.
    if (rules.followLinks && stat(path, &info) == 0 && !S_ISREG(info.st_mode)) {
        return refuse(FileRefusal::kNotRegular, refusal);
    }
    const int openFlags = flags | O_NONBLOCK | O_CLOEXEC | (rules.followLinks ? 0 : O_NOFOLLOW);
    int fd = -1;
    if (rules.walkDirectories) {
        char name[NAME_MAX + 1];
        safedir::Failure failure;
        const int dir = safedir::open_parent(path, name, &failure);
        if (dir < 0) {
            return refuse(failure.refusal == safedir::Refusal::kFailed
                              ? FileRefusal::kCannotOpen
                              : FileRefusal::kUnsafeDirectory,
                          refusal);
        }
        fd = openat(dir, name, openFlags | O_NOFOLLOW, 0666);
        close(dir);
    } else {
        fd = open(path, openFlags, 0666);
    }
    if (fd < 0) {
        return refuse(FileRefusal::kCannotOpen, refusal);
    }
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return refuse(FileRefusal::kNotRegular, refusal, fd);
    }
    // No other name: a hard link planted in /tmp could name any file of the same file system.
    // (No name at all is fine: a status file that a rename has just replaced.)
    if (rules.ownFile && (info.st_uid != geteuid() || info.st_nlink > 1)) {
        return refuse(FileRefusal::kNotOwn, refusal, fd);
    }
    if (rules.maxBytes >= 0 && info.st_size > rules.maxBytes) {
        return refuse(FileRefusal::kTooLarge, refusal, fd);
    }
    return fd;
}

const char *refusal_text(FileRefusal refusal) {
    switch (refusal) {
    case FileRefusal::kNone:
        return "opened";
    case FileRefusal::kCannotOpen:
        return "cannot be opened";
    case FileRefusal::kNotRegular:
        return "not a regular file";
    case FileRefusal::kNotOwn:
        return "not the provider's own file";
    case FileRefusal::kTooLarge:
        return "larger than the limit";
    case FileRefusal::kUnsafeDirectory:
        return "in a directory that is a link or that another user may swap";
    }
    return "refused";
}

int unlink_walked(const char *path) {
    char name[NAME_MAX + 1];
    safedir::Failure failure;
    const int dir = safedir::open_parent(path, name, &failure);
    if (dir < 0) {
        return -1;
    }
    const int result = unlinkat(dir, name, 0);
    close(dir);
    return result;
}

int open_own_file_emptied(const char *path) {
    int fd = open_regular_file(path, O_WRONLY | O_CREAT, kOwnFileRules);
    if (fd >= 0 && ftruncate(fd, 0) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}
