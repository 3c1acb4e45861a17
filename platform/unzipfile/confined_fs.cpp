#include "confined_fs.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "safe_dir.h"
#include "unzipfile.h"

namespace unzipfile {

int32_t code_for_errno(int err) noexcept {
    switch (err) {
    case ELOOP:
        return minizip_result::kUnsafeEntry;
    case ENAMETOOLONG:
        return minizip_result::kPathTooLong;
    case ENOSPC:
    case EDQUOT:
        return minizip_result::kNoSpace;
    default:
        return minizip_result::kWriteFailed;
    }
}

namespace {

int open_directory(int at, const char *name) {
    return openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Opens (creating if needed) the directory `name` in `at`, refusing a link in its place.
// Opening first: most directories exist already, and a failed mkdirat costs a system call.
int32_t enter_directory(int at, const char *name, UniqueFd &out) {
    out.reset(open_directory(at, name));
    if (!out.valid() && errno == ENOENT) {
        if (mkdirat(at, name, 0755) != 0 && errno != EEXIST) {
            return code_for_errno(errno);
        }
        out.reset(open_directory(at, name));
    }
    if (out.valid()) {
        return minizip_result::kOk;
    }
    const int err = errno;
    struct stat info {};
    if (fstatat(at, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
        return minizip_result::kUnsafeEntry;
    }
    return code_for_errno(err);
}

} // namespace

int32_t open_destination(const char *path, UniqueFd &out) noexcept {
    safedir::Failure failure;
    out.reset(safedir::open_dir(path, true, &failure));
    if (out.valid()) {
        return minizip_result::kOk;
    }
    return failure.refusal == safedir::Refusal::kFailed ? code_for_errno(failure.error)
                                                        : minizip_result::kUnsafeEntry;
}

int32_t open_entry_dir(int root, const char *name, bool with_last, UniqueFd &dir,
                       Component &leaf) noexcept {
    dir.reset(fcntl(root, F_DUPFD_CLOEXEC, 0));
    if (!dir.valid()) {
        return minizip_result::kWriteFailed;
    }
    const char *cursor = name;
    Component part;
    while (next_component(cursor, part)) {
        if (!with_last && at_last_component(cursor)) {
            leaf = part;
            return minizip_result::kOk;
        }
        UniqueFd next;
        const int32_t rc = enter_directory(dir.get(), part.text, next);
        if (rc != minizip_result::kOk) {
            return rc;
        }
        dir = std::move(next);
    }
    return with_last ? minizip_result::kOk : minizip_result::kUnsafeEntry;
}

int32_t create_file(int dir, const char *leaf, UniqueFd &out) noexcept {
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    out.reset(openat(dir, leaf, kFlags, 0600));
    if (out.valid()) {
        return minizip_result::kOk;
    }
    // Whatever stands there is unlinked, never opened: a link (symbolic or hard) to an outside
    // file is not written through.
    if (errno != EEXIST || (unlinkat(dir, leaf, 0) != 0 && errno != ENOENT)) {
        return code_for_errno(errno);
    }
    out.reset(openat(dir, leaf, kFlags, 0600));
    return out.valid() ? minizip_result::kOk : code_for_errno(errno);
}

int32_t FolderCache::open_file_dir(int root, const char *name, int &dir, Component &leaf) noexcept {
    const char *slash = strrchr(name, '/');
    const char *last = slash != nullptr ? slash + 1 : name;
    const size_t length = static_cast<size_t>(last - name);
    // A last component such as "." is left to the walk, which knows what it names.
    const bool plain = last[0] != '\0' && strcmp(last, ".") != 0;
    if (plain &&
        (length == 0 || (cached_ && length == length_ && memcmp(name, prefix_, length) == 0))) {
        dir = length == 0 ? root : folder_.get();
        memcpy(leaf.text, last, strlen(last) + 1); // within NAME_MAX: the name passed its check
        return minizip_result::kOk;
    }
    UniqueFd walked;
    const int32_t rc = open_entry_dir(root, name, false, walked, leaf);
    if (rc != minizip_result::kOk) {
        return rc;
    }
    folder_ = std::move(walked);
    cached_ = plain;
    if (plain) {
        memcpy(prefix_, name, length);
        length_ = length;
    }
    dir = folder_.get();
    return minizip_result::kOk;
}

} // namespace unzipfile
