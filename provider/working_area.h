// Removal of working directories: one path and, for a directory, its whole tree, depth first.
#pragma once

// Directories nested deeper than this below the path given are not removed (-1): each level
// holds one open directory while its entries are removed.
constexpr int kMaxRemovalDepth = 512;

// Joins `dir` and `name` into `dst` (at most `size` bytes) with exactly one "/" between them;
// returns what snprintf returns.
int util_full_name(const char *dir, const char *name, char *dst, int size);

// 0 removed; 1 nothing there; -2 unlink failed; -1 opendir, closedir or rmdir failed, the tree
// is deeper than kMaxRemovalDepth, or a directory on the path is a link or may be swapped by
// another user (nothing is removed then); or the negative result of the first entry that could
// not be removed. A link at the path is unlinked, also when the path ends in "/".
int util_remove_file(const char *path);
