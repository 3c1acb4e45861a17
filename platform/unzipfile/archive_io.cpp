#include "archive_io.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace unzipfile {
namespace {

// Large enough that a small entry, its header and its neighbours come in one read.
constexpr size_t kWindowSize = 64 * 1024;

struct Window {
    ZPOS64_T at = 0;   // file offset of bytes[0]
    size_t length = 0; // valid bytes
    char bytes[kWindowSize];
    bool holds(ZPOS64_T offset) const { return offset >= at && offset < at + length; }
};

// Two windows: minizip goes back and forth between the central directory and the entries' data,
// and each keeps its own.
struct WindowFile {
    int fd = -1;
    ZPOS64_T size = 0;
    ZPOS64_T offset = 0; // where the next read starts
    bool failed = false;
    unsigned last_used = 0;
    Window windows[2];
};

// Reads up to `length` bytes at `at`; 0 at the end of the file, -1 on an error.
ssize_t read_at(WindowFile &file, void *into, size_t length, ZPOS64_T at) {
    for (;;) {
        const ssize_t got = pread(file.fd, into, length, static_cast<off_t>(at));
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

voidpf ZCALLBACK open_file(voidpf opaque, const void *, int mode) {
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) {
        return nullptr;
    }
    const int fd = fcntl(static_cast<int>(reinterpret_cast<intptr_t>(opaque)), F_DUPFD_CLOEXEC, 0);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        return nullptr;
    }
    WindowFile *file = new (std::nothrow) WindowFile;
    if (file == nullptr) {
        close(fd);
        return nullptr;
    }
    file->fd = fd;
    file->size = static_cast<ZPOS64_T>(info.st_size);
    return file;
}

uLong ZCALLBACK read_file(voidpf, voidpf stream, void *buffer, uLong size) {
    WindowFile &file = *static_cast<WindowFile *>(stream);
    char *out = static_cast<char *>(buffer);
    uLong done = 0;
    while (done < size) {
        const ZPOS64_T at = file.offset;
        const unsigned hit = file.windows[0].holds(at) ? 0u : file.windows[1].holds(at) ? 1u : 2u;
        if (hit < 2) {
            const Window &window = file.windows[hit];
            const size_t skip = static_cast<size_t>(at - window.at);
            size_t take = window.length - skip;
            if (take > size - done) {
                take = size - done;
            }
            std::memcpy(out + done, window.bytes + skip, take);
            done += take;
            file.offset += take;
            file.last_used = hit;
            continue;
        }
        // A read as large as a window goes straight into the caller's buffer.
        if (size - done >= kWindowSize) {
            const ssize_t got = read_at(file, out + done, size - done, at);
            if (got <= 0) {
                file.failed = got < 0;
                break;
            }
            done += static_cast<uLong>(got);
            file.offset += static_cast<ZPOS64_T>(got);
            continue;
        }
        Window &refill = file.windows[1 - file.last_used];
        refill.length = 0;
        const ssize_t got = read_at(file, refill.bytes, kWindowSize, at);
        if (got <= 0) {
            file.failed = got < 0;
            break;
        }
        refill.at = at;
        refill.length = static_cast<size_t>(got);
    }
    return done;
}

uLong ZCALLBACK write_file(voidpf, voidpf, const void *, uLong) {
    return 0;
}

ZPOS64_T ZCALLBACK tell_file(voidpf, voidpf stream) {
    return static_cast<WindowFile *>(stream)->offset;
}

long ZCALLBACK seek_file(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    WindowFile &file = *static_cast<WindowFile *>(stream);
    ZPOS64_T base = 0;
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
        break;
    case ZLIB_FILEFUNC_SEEK_CUR:
        base = file.offset;
        break;
    case ZLIB_FILEFUNC_SEEK_END:
        base = file.size;
        break;
    default:
        return -1;
    }
    file.offset = base + offset;
    return 0;
}

int ZCALLBACK close_file(voidpf, voidpf stream) {
    WindowFile *file = static_cast<WindowFile *>(stream);
    const int rc = close(file->fd);
    delete file;
    return rc;
}

int ZCALLBACK error_file(voidpf, voidpf stream) {
    return static_cast<WindowFile *>(stream)->failed ? 1 : 0;
}

} // namespace

void fill_window_functions(zlib_filefunc64_def &functions, int fd) noexcept {
    functions.zopen64_file = open_file;
    functions.zread_file = read_file;
    functions.zwrite_file = write_file;
    functions.ztell64_file = tell_file;
    functions.zseek64_file = seek_file;
    functions.zclose_file = close_file;
    functions.zerror_file = error_file;
    functions.opaque = reinterpret_cast<voidpf>(static_cast<intptr_t>(fd));
}

} // namespace unzipfile
