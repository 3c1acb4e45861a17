// Reading the archive for zlib's minizip: pread through one window buffer, so that minizip's
// seek before every read costs no system call and small reads share one.
#pragma once

#include <minizip/ioapi.h>

namespace unzipfile {

// Fills `functions` for read-only access to the archive already open at `fd`, which must stay
// open while minizip opens it: minizip's "open" takes a duplicate of it and ignores the path, so
// that the file read is the one that was checked.
void fill_window_functions(zlib_filefunc64_def &functions, int fd) noexcept;

} // namespace unzipfile
