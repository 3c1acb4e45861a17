#include "file_store.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

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
    for (size_t slash = store.find('/', 1);; slash = store.find('/', slash + 1)) {
        std::string part = store.substr(0, slash);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            *error = "cannot make " + part + ": " + std::strerror(errno);
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat info {};
    if (stat(store.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = "the file store " + store + " is not a directory";
        return false;
    }
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
    const std::string target = storeDir + "/" + name;
    struct stat info {};
    if (lstat(target.c_str(), &info) != 0) {
        *error = "no file " + target + " in the store";
        return Removal::kMissing;
    }
    if (S_ISDIR(info.st_mode)) {
        *error = "refusing to delete the directory " + target;
        return Removal::kOutsideStore;
    }
    if (unlink(target.c_str()) != 0) {
        *error = "cannot delete " + target + ": " + std::strerror(errno);
        return Removal::kFailed;
    }
    return Removal::kRemoved;
}

} // namespace filetransfer
