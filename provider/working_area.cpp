#include "working_area.h"

#include <cstdio>
#include <cstring>
#include <dirent.h>
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

int util_remove_file(const char *path) {
    struct stat info {};
    if (lstat(path, &info) != 0) {
        trace(
            "In Function util_remove_file::The directory doesn't exist and the error code [1].\n");
        return 1;
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
    int result = 0;
    while (struct dirent *entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        char entryPath[kEntryPathSize] = {};
        util_full_name(path, entry->d_name, entryPath, kEntryPathSize);
        result = util_remove_file(entryPath);
        if (result < 0) {
            break;
        }
    }
    if (closedir(dir) != 0) {
        trace("In Function util_remove_file::closedir error and the error code is [-1].\n");
        return -1;
    }
    if (result < 0) {
        return result;
    }
    if (rmdir(path) != 0) {
        trace("In Function util_remove_file::rmdir error and the error code is [-1].\n");
        return -1;
    }
    return result;
}
