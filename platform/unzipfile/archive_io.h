// Reading the archive for zlib's minizip: pread through one window buffer, so that minizip's
// seek before every read costs no system call and small reads share one.
#pragma once

#include <minizip/ioapi.h>

namespace unzipfile {

// Fills `functions` for read-only access to archives by path.
void fill_window_functions(zlib_filefunc64_def &functions) noexcept;

} // namespace unzipfile
