// File helpers for tests: every test runs in its own sandbox, so the provider's fixed paths
// under /tmp and /var/tmp are private to it.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace testfiles {

inline bool exists(const std::string &path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

inline std::string read(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

inline void write(const std::string &path, const std::string &content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

inline std::string trace_log() {
    return read("/tmp/zelkdebug.txt");
}

// Trace records without their "[hh:mm:ss] " prefix.
inline std::vector<std::string> trace_messages() {
    std::vector<std::string> messages;
    for (const std::string &line : lines(trace_log())) {
        messages.push_back(line.size() >= 11 && line[0] == '[' ? line.substr(11) : line);
    }
    return messages;
}

} // namespace testfiles
