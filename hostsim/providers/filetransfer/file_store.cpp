#include "file_store.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "safe_dir.h"

namespace filetransfer {

namespace {

bool resolve(const std::string &path, std::string *resolved) {
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    if (!real) {
        return false;
    }
    *resolved = real.get();
    return true;
}

// Why the store's path cannot be used: a part of it is missing, no directory, a link, or one
// another user could swap.
std::string refusal_of(const std::string &store, const safedir::Failure &failure) {
    std::string text = "the file store " + store +
                       " cannot be used: " + store.substr(0, failure.length) + " " +
                       safedir::refusal_text(failure.refusal);
    if (failure.refusal == safedir::Refusal::kFailed) {
        text += std::string(" (") + std::strerror(failure.error) + ")";
    }
    return text;
}

bool name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr(".-_+", c) != nullptr;
}

} // namespace

bool ensure_store(const std::string &store, std::string *error) {
    if (store.empty() || store[0] != '/') {
        *error = "the file store \"" + store + "\" is no absolute path";
        return false;
    }
    safedir::Failure failure;
    const int dir = safedir::open_dir(store.c_str(), true, &failure);
    if (dir < 0) {
        *error = refusal_of(store, failure);
        return false;
    }
    close(dir);
    return true;
}

std::string copy_name(const std::string &uri) {
    std::string path = uri.substr(0, uri.find_first_of("?#"));
    std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    for (char &c : name) {
        c = name_char(c) ? c : '_';
    }
    return name.find_first_not_of('.') == std::string::npos ? "transfer" : name;
}

std::string path_of_file_uri(const std::string &uri) {
    std::string path = uri;
    if (uri.compare(0, 7, "file://") == 0) {
        path = uri.substr(7);
    } else if (uri.compare(0, 5, "file:") == 0) {
        path = uri.substr(5);
    }
    return !path.empty() && path[0] == '/' ? path : "";
}

Removal remove_from_store(const std::string &store, const std::string &path, std::string *error) {
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? "" : path.substr(slash + 1);
    std::string storeDir, parentDir;
    if (path.empty() || path[0] != '/' || name.empty() || name == "." || name == ".." ||
        !resolve(store, &storeDir) || !resolve(path.substr(0, slash + 1), &parentDir) ||
        storeDir != parentDir) {
        *error = "refusing to delete " + path + ": not a file of the store " + store;
        return Removal::kOutsideStore;
    }
    // Unlinked in the store reached as ensure_store reaches it, never through a planted link.
    safedir::Failure failure;
    const int dir = safedir::open_dir(store.c_str(), false, &failure);
    if (dir < 0) {
        *error = "refusing to delete " + path + ": " + refusal_of(store, failure);
        return Removal::kOutsideStore;
    }
    const std::string target = storeDir + "/" + name;
    struct stat info {};
    Removal result = Removal::kRemoved;
    if (fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        *error = "no file " + target + " in the store";
        result = Removal::kMissing;
    } else if (S_ISDIR(info.st_mode)) {
        *error = "refusing to delete the directory " + target;
        result = Removal::kOutsideStore;
    } else if (unlinkat(dir, name.c_str(), 0) != 0) {
        *error = "cannot delete " + target + ": " + std::strerror(errno);
        result = Removal::kFailed;
    }
    close(dir);
    return result;
}

} // namespace filetransfer
