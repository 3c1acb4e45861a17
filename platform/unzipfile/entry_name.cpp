#include "entry_name.h"

#include <cstring>

#include "unzipfile.h"

namespace unzipfile {
namespace {

bool is_dot(const char *begin, size_t length) {
    return length == 1 && begin[0] == '.';
}

bool is_dot_dot(const char *begin, size_t length) {
    return length == 2 && begin[0] == '.' && begin[1] == '.';
}

// Finds the next meaningful component: skips separators and "." so "a//./b" is "a", "b".
bool find_component(const char *&cursor, const char *&begin, size_t &length) {
    while (*cursor != '\0') {
        while (*cursor == '/') {
            ++cursor;
        }
        begin = cursor;
        while (*cursor != '\0' && *cursor != '/') {
            ++cursor;
        }
        length = static_cast<size_t>(cursor - begin);
        if (length > 0 && !is_dot(begin, length)) {
            return true;
        }
    }
    return false;
}

} // namespace

int32_t check_entry_name(const char *name, size_t length) noexcept {
    if (length >= PATH_MAX) {
        return minizip_result::kPathTooLong;
    }
    if (strlen(name) != length || name[0] == '/') {
        return minizip_result::kUnsafeEntry;
    }
    const char *cursor = name;
    const char *begin = nullptr;
    size_t part = 0;
    int components = 0;
    while (find_component(cursor, begin, part)) {
        if (is_dot_dot(begin, part)) {
            return minizip_result::kUnsafeEntry;
        }
        if (part > NAME_MAX || ++components > minizip_limit::kMaxNameComponents) {
            return minizip_result::kPathTooLong;
        }
    }
    return minizip_result::kOk;
}

bool next_component(const char *&cursor, Component &out) noexcept {
    const char *begin = nullptr;
    size_t length = 0;
    if (!find_component(cursor, begin, length) || length > NAME_MAX) {
        return false;
    }
    memcpy(out.text, begin, length);
    out.text[length] = '\0';
    return true;
}

bool at_last_component(const char *cursor) noexcept {
    Component ignored;
    return !next_component(cursor, ignored);
}

} // namespace unzipfile
