// File-system steps of extraction that stay below the destination: every directory below it is
// entered with O_NOFOLLOW, so a link planted there is never followed.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

#include "entry_name.h"
#include "unique_fd.h"

namespace unzipfile {

// The failure code of a file-system step that failed with `err`.
int32_t code_for_errno(int err) noexcept;

// Creates `path` and its missing parents (0755) and opens it as the extraction root, never
// through a link and never into a directory that another user could have put on the path.
int32_t open_destination(const char *path, UniqueFd &out) noexcept;

// Walks `name` below `root`, creating missing directories (0755). With `with_last` every
// component is a directory; otherwise the walk stops before the last one, returned in `leaf`.
// `dir` is the directory that holds `leaf` (or the last directory).
int32_t open_entry_dir(int root, const char *name, bool with_last, UniqueFd &dir,
                       Component &leaf) noexcept;

// Puts a new empty file (0600) at `leaf` in `dir`, replacing a file or link that stands there
// without writing through it.
int32_t create_file(int dir, const char *leaf, UniqueFd &out) noexcept;

// The folder that received the previous file. An archive lists the files of a folder together,
// so most files need no walk from the root; the folder was reached by a confined walk, so it
// stays below the destination.
class FolderCache {
  public:
    // Gives the directory that holds file entry `name` (a name that passed check_entry_name) and
    // its last component: from the cache when the previous file had the same folder, else by
    // open_entry_dir. `dir` stays open until the next call.
    int32_t open_file_dir(int root, const char *name, int &dir, Component &leaf) noexcept;

  private:
    UniqueFd folder_;
    bool cached_ = false;
    size_t length_ = 0;
    char prefix_[PATH_MAX];
};

} // namespace unzipfile
