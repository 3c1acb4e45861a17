#include "status_recording.h"

#include <cstdio>
#include <cstring>

#include "file_guard.h"
#include "pkg_table.h"
#include "trace_log.h"

namespace {

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

void write_status_file(const char *statusText) {
    char path[256];
    std::snprintf(path, sizeof path, "%s%s.txt", zelk::kStatusFilePrefix, instanceID);
    trace("Write current status into file");
    debug(path);
    debug(" for async installation.\n");
    trace(statusText);
    debug("\n");

    // The new text goes to a temporary file that then replaces the status file, so that a
    // reader without the lock sees the old or the new text whole, never a mix.
    char temporary[sizeof path + 8];
    std::snprintf(temporary, sizeof temporary, "%s.new", path);
    pthread_mutex_lock(&mutex);
    bool written = false;
    {
        FileGuard file(temporary, "w");
        if (file) {
            written = std::fputs(statusText, file.get()) >= 0;
            written = file.close() == 0 && written;
        }
    }
    if (written && std::rename(temporary, path) != 0) {
        written = false;
    }
    if (!written) {
        std::remove(temporary);
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
