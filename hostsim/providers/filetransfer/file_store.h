// The file store of the simulated transfer service: where fetched copies go, and which files a
// deletion request may remove (only the store's own files, never a package lying elsewhere).
#pragma once

#include <string>

namespace filetransfer {

constexpr const char *kDefaultStore = "/var/tmp/filestore";

// Makes the store directory and its parents; false with `error` set when that fails, or when a
// directory on the way is a link or one that another user could swap (safe_dir.h): the service
// runs as root and /var/tmp is open to every user.
bool ensure_store(const std::string &store, std::string *error);

// The name a fetched copy takes in the store: the last path segment of `uri` (query and fragment
// cut), every character but letters, digits and ".-_+" replaced by '_'; "transfer" when the
// segment is empty or only dots.
std::string copy_name(const std::string &uri);

// The local path a file URI names: "file://" + path, "file:" + path or an absolute path as it
// stands. Empty for anything else.
std::string path_of_file_uri(const std::string &uri);

enum class Removal { kRemoved, kOutsideStore, kMissing, kFailed };

// Removes `path` when it names an entry directly inside the store (the store and the path's
// directory compared after resolving links) that is not a directory. `error` explains every
// outcome but kRemoved.
Removal remove_from_store(const std::string &store, const std::string &path, std::string *error);

} // namespace filetransfer
