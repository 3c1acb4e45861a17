#include "safe_dir.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace safedir {
namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool own_user(uid_t uid) {
    return uid == 0 || uid == geteuid();
}

bool closed_to_others(const struct stat &info) {
    return own_user(info.st_uid) && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Whether the directory `dir` lets other users add, rename or remove its entries as they like:
// it is theirs, or they may write it and no sticky bit keeps them off what is not theirs.
bool open_to_others(const struct stat &dir) {
    return !closed_to_others(dir) && !(own_user(dir.st_uid) && (dir.st_mode & S_ISVTX) != 0);
}

int fail(Failure *failure, Refusal refusal, int error, size_t length, int fd) {
    if (fd >= 0) {
        close(fd);
    }
    *failure = {refusal, error, length};
    return -1;
}

// Opens the directory `name` of `at` without following a link, making it first when it is
// missing and `create` is set; -1 with errno otherwise.
int enter(int at, const char *name, bool create) {
    int fd = openat(at, name, kDirFlags);
    if (fd < 0 && errno == ENOENT && create) {
        if (mkdirat(at, name, 0755) != 0 && errno != EEXIST) {
            return -1;
        }
        fd = openat(at, name, kDirFlags);
    }
    return fd;
}

} // namespace

int open_dir(const char *path, bool create, Failure *failure) {
    *failure = {};
    if (path == nullptr || path[0] == '\0') {
        return fail(failure, Refusal::kFailed, ENOENT, 0, -1);
    }
    int dir = open(path[0] == '/' ? "/" : ".", kDirFlags);
    struct stat info {};
    if (dir < 0 || fstat(dir, &info) != 0) {
        return fail(failure, Refusal::kFailed, errno, 0, dir);
    }
    char name[NAME_MAX + 1];
    for (const char *cursor = path;;) {
        while (*cursor == '/') {
            ++cursor;
        }
        if (*cursor == '\0') {
            return dir;
        }
        const char *end = std::strchr(cursor, '/');
        end = end != nullptr ? end : cursor + std::strlen(cursor);
        const size_t length = static_cast<size_t>(end - cursor);
        const size_t walked = static_cast<size_t>(end - path);
        if (length > NAME_MAX) {
            return fail(failure, Refusal::kFailed, ENAMETOOLONG, walked, dir);
        }
        std::memcpy(name, cursor, length);
        name[length] = '\0';
        cursor = end;
        if (std::strcmp(name, ".") == 0) {
            continue;
        }
        if (std::strcmp(name, "..") == 0) {
            return fail(failure, Refusal::kParentRef, 0, walked, dir);
        }
        // Whatever stands here another user may have put here, or may swap once looked at.
        if (open_to_others(info)) {
            return fail(failure, Refusal::kForeign, 0, walked, dir);
        }
        const int next = enter(dir, name, create);
        if (next < 0) {
            const int error = errno;
            struct stat entry {};
            const bool link =
                fstatat(dir, name, &entry, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(entry.st_mode);
            return fail(failure, link ? Refusal::kLink : Refusal::kFailed, error, walked, dir);
        }
        struct stat child {};
        const bool statted = fstat(next, &child) == 0;
        const int error = errno;
        close(dir);
        dir = next;
        if (!statted) {
            return fail(failure, Refusal::kFailed, error, walked, dir);
        }
        // In a shared sticky directory (/tmp): only what root or this user made and keeps closed.
        if (!closed_to_others(info) && !closed_to_others(child)) {
            return fail(failure, Refusal::kForeign, 0, walked, dir);
        }
        info = child;
    }
}

int open_parent(const char *path, char (&name)[NAME_MAX + 1], Failure *failure) {
    *failure = {};
    char parent[PATH_MAX];
    size_t length = path != nullptr ? strnlen(path, sizeof parent) : 0;
    if (length == 0 || length == sizeof parent) {
        return fail(failure, Refusal::kFailed, length == 0 ? ENOENT : ENAMETOOLONG, 0, -1);
    }
    std::memcpy(parent, path, length + 1);
    while (length > 1 && parent[length - 1] == '/') {
        parent[--length] = '\0';
    }
    char *slash = std::strrchr(parent, '/');
    const char *last = slash != nullptr ? slash + 1 : parent;
    const size_t last_length = std::strlen(last);
    if (last_length == 0 || std::strcmp(last, ".") == 0 || std::strcmp(last, "..") == 0) {
        return fail(failure, Refusal::kNoName, 0, length, -1);
    }
    if (last_length > NAME_MAX) {
        return fail(failure, Refusal::kFailed, ENAMETOOLONG, length, -1);
    }
    std::memcpy(name, last, last_length + 1);
    if (slash == nullptr) {
        return open_dir(".", false, failure);
    }
    slash[slash == parent ? 1 : 0] = '\0';
    return open_dir(parent, false, failure);
}

const char *refusal_text(Refusal refusal) {
    switch (refusal) {
    case Refusal::kNone:
        return "opened";
    case Refusal::kFailed:
        return "cannot be opened";
    case Refusal::kLink:
        return "is a symbolic link";
    case Refusal::kForeign:
        return "may be swapped or written by another user";
    case Refusal::kParentRef:
        return "goes up with \"..\"";
    case Refusal::kNoName:
        return "names no directory entry";
    }
    return "refused";
}

} // namespace safedir
