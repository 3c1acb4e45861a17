// Opening a directory by its path so that no other local user can steer where it leads. The
// provider's working directories lie below /tmp and /var/tmp, where any user may create the
// next component first: a link there, or a directory of that user's, would let them redirect
// what root writes or removes.
#pragma once

#include <climits>
#include <cstddef>

namespace safedir {

enum class Refusal {
    kNone,
    kFailed,    // a component is missing, is no directory, or cannot be opened or made: `error`
    kLink,      // a component is a symbolic link
    kForeign,   // a component that another user could have put there or could still swap
    kParentRef, // a ".." component
    kNoName,    // the path ends in "/", "." or ".." alone: it names no entry of a directory
};

struct Failure {
    Refusal refusal = Refusal::kNone;
    int error = 0;     // errno of kFailed
    size_t length = 0; // how much of the path, up to the component that failed, was walked
};

// Opens the directory `path` one component at a time from "/" (a relative path: from the working
// directory), each with O_NOFOLLOW; with `create`, missing components are made (0755). A
// component is trusted when the directory holding it is root's or this process's user's and
// closed to others' writes. In a directory others may write, only a sticky one of root or this
// user (/tmp, /var/tmp) is walked on, and only into a component of root or this user that others
// may not write. Returns the descriptor (O_RDONLY, close-on-exec), or -1 with *failure filled.
int open_dir(const char *path, bool create, Failure *failure);

// Opens the directory that holds the last component of `path` as open_dir does (never
// creating), and copies that component, without trailing "/", into `name`. The component itself
// is neither opened nor checked: a link there is the caller's to handle, never to follow.
int open_parent(const char *path, char (&name)[NAME_MAX + 1], Failure *failure);

// "is a symbolic link", ...: what a trace line says of a refusal.
const char *refusal_text(Refusal refusal);

} // namespace safedir
