#include "status_recording.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pkg_table.h"
#include "regular_file.h"
#include "trace_log.h"

namespace {

constexpr int kStatusPathSize = 256;

bool is_in_progress(int32_t code) {
    return code >= status_code::kScanning && code <= status_code::kRunning;
}

// Appends `text` to `out` (holding `used` characters), never beyond outSize - 1 characters.
int append_bounded(char *out, int outSize, int used, const char *text) {
    int room = outSize - 1 - used;
    int len = static_cast<int>(std::strlen(text));
    int take = len < room ? len : room;
    if (take > 0) {
        std::memcpy(out + used, text, static_cast<size_t>(take));
        used += take;
        out[used] = '\0';
    }
    return used;
}

bool write_text(int fd, const char *text) {
    size_t left = std::strlen(text);
    while (left > 0) {
        ssize_t written = write(fd, text, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        text += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

// Writes the text to a new file that then replaces the status file, so that a reader without
// the lock sees the old or the new text whole, never a mix. The new file's name is the status
// file's with six random characters added, and it is created exclusively: a link or file that
// another user put there beforehand is never written through.
bool replace_status_file(const char *path, const char *statusText) {
    char temporary[kStatusPathSize + 8];
    std::snprintf(temporary, sizeof temporary, "%s.XXXXXX", path);
    int fd = mkostemp(temporary, O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool written = fchmod(fd, 0644) == 0 && write_text(fd, statusText);
    written = close(fd) == 0 && written;
    if (written && std::rename(temporary, path) == 0) {
        return true;
    }
    unlink(temporary);
    return false;
}

// Truncates the status file and writes the text in its place: the room the old text frees takes
// the new one, so that a full /tmp still takes the run's last status.
bool rewrite_status_file(const char *path, const char *statusText) {
    int fd = open_own_file_emptied(path);
    if (fd < 0) {
        return false;
    }
    bool written = write_text(fd, statusText);
    return close(fd) == 0 && written;
}

void write_status_file(const char *statusText) {
    char path[kStatusPathSize];
    std::snprintf(path, sizeof path, "%s%s.txt", zelk::kStatusFilePrefix, instanceID);
    trace("Write current status into file");
    debug(path);
    debug(" for async installation.\n");
    trace(statusText);
    debug("\n");

    pthread_mutex_lock(&mutex);
    if (!replace_status_file(path, statusText) && !rewrite_status_file(path, statusText)) {
        trace("update zelk status fail.\n");
    }
    pthread_mutex_unlock(&mutex);
}

} // namespace

void trimPackageID(char *text) {
    if (text == nullptr) {
        return;
    }
    size_t len = std::strlen(text);
    if (len <= 1) {
        return;
    }
    if (text[len - 1] == '/') {
        text[0] = '\0';
        return;
    }
    bool extensionCut = false;
    for (size_t i = len - 1; i > 0; --i) {
        if (text[i] == '.' && !extensionCut) {
            text[i] = '\0';
            extensionCut = true;
        } else if (text[i] == '/') {
            std::memmove(text, text + i + 1, std::strlen(text + i + 1) + 1);
            return;
        }
    }
}

void build_status_text(int32_t completionFlag, char *out, int outSize) {
    std::memset(out, 0, static_cast<size_t>(outSize));
    char flag[16];
    std::snprintf(flag, sizeof flag, "%d|", completionFlag);
    int used = append_bounded(out, outSize, 0, flag);
    int count = pkgnum < 1 ? 1 : (pkgnum > zelk::kMaxPackages ? zelk::kMaxPackages : pkgnum);
    for (int i = 0; i < count; ++i) {
        used = append_bounded(out, outSize, used, pkgInstance[i].StatusLine);
        used = append_bounded(out, outSize, used, "|");
    }
}

void update_Pkg_Install_status(int32_t pkgIndex, int32_t code, const char *message) {
    if (pkgIndex < 0 || pkgIndex >= zelk::kMaxPackages) {
        tracef("update_Pkg_Install_status: package index %d out of range, status %d dropped.\n",
               pkgIndex, code);
        return;
    }
    PkgInstance &pkg = pkgInstance[pkgIndex];

    char packageId[zelk::kTextSize];
    copy_text(packageId, pkg.XMLPath);
    trimPackageID(packageId);
    // A long id or broker text is cut at the field's 199 characters.
    char line[zelk::kStatusTextSize];
    std::snprintf(line, sizeof line, "%s: %d: %s", packageId, code, message ? message : "");
    copy_text(pkg.StatusLine, line);
    trace(pkg.StatusLine);
    debug("\n");

    const int32_t completionFlag = (pkgIndex == pkgnum - 1 && !is_in_progress(code)) ? 1 : 0;

    char statusText[zelk::kStatusTextSize];
    build_status_text(completionFlag, statusText, sizeof statusText);

    if (is_async_install == 1) {
        write_status_file(statusText);
    }
    set_totalstatus(completionFlag);
}
