#include "regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    int fd =
        open(path, flags | O_NONBLOCK | O_CLOEXEC | (rules.followLinks ? 0 : O_NOFOLLOW), 0666);
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
    }
    return "refused";
}

int open_own_file_emptied(const char *path) {
    int fd = open_regular_file(path, O_WRONLY | O_CREAT, kOwnFileRules);
    if (fd >= 0 && ftruncate(fd, 0) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}
