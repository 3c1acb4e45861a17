// Lexical checks on an entry's name and its split into path components.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

namespace unzipfile {

// One path component, NUL-terminated so that it can go straight to the *at() calls.
struct Component {
    char text[NAME_MAX + 1];
};

// kOk when `name` (of `length` bytes as the archive records it) stays inside the destination:
// relative, no ".." component, no embedded NUL, components within NAME_MAX and no more than
// minizip_limit::kMaxNameComponents of them.
int32_t check_entry_name(const char *name, size_t length) noexcept;

// Copies the next non-empty, non-"." component after `cursor` into `out` and advances `cursor`;
// false at the end of the name. Only for names that passed check_entry_name.
bool next_component(const char *&cursor, Component &out) noexcept;

// True when `name` has no component left after `cursor`.
bool at_last_component(const char *cursor) noexcept;

} // namespace unzipfile
