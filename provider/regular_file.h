// Opening the files the provider reads and writes so that what stands at their paths cannot make
// it block, follow a link that another user planted, or write into another user's file.
#pragma once

#include <sys/types.h>

struct FileRules {
    bool followLinks; // false: a symbolic link at the path is refused, never followed
    bool ownFile;     // the file must belong to this process's user and have no other name
    off_t maxBytes;   // a larger file is refused; negative: no limit
    // The path's directories are walked as safe_dir.h does: none of them may be a link or one
    // that another user could swap (for files in directories below /tmp and /var/tmp). Implies
    // that a link at the path itself is refused too.
    bool walkDirectories;
};

// Files at fixed paths in /tmp, where any user may put something first.
constexpr FileRules kOwnFileRules = {false, true, -1, false};
// The same in a directory below /tmp, which any user may have made first.
constexpr FileRules kOwnFileBelowTmpRules = {false, true, -1, true};

enum class FileRefusal { kNone, kCannotOpen, kNotRegular, kNotOwn, kTooLarge, kUnsafeDirectory };

// Opens `path` with `flags` (O_RDONLY or O_WRONLY, with O_CREAT and O_APPEND as needed; never
// O_TRUNC, which would act before the checks: truncate the returned descriptor instead) and
// returns the descriptor of a regular file that meets `rules`, or -1 with the reason in
// *refusal. Pipes, devices and sockets are refused without being waited for; with followLinks
// they are refused before they are opened. Files are created 0666 less the umask.
int open_regular_file(const char *path, int flags, const FileRules &rules,
                      FileRefusal *refusal = nullptr);

// "not a regular file", "larger than the limit", ...: what a trace line says of a refusal.
const char *refusal_text(FileRefusal refusal);

// Unlinks `path` after walking its directories as walkDirectories does; unlink's result.
int unlink_walked(const char *path);

// The provider's own file at `path` (created if missing, kOwnFileRules), emptied for a new
// text, or -1.
int open_own_file_emptied(const char *path);
