// File helpers for tests: every test runs in its own sandbox, so the provider's fixed paths
// under /tmp and /var/tmp are private to it.
#pragma once

#include <algorithm>
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

// True when `text` holds a record prefix "[hh:mm:ss] " (blank-padded) at `at`.
inline bool trace_prefix_at(const std::string &text, size_t at) {
    static const char shape[] = "[##:##:##] ";
    if (text.size() < at + sizeof shape - 1) {
        return false;
    }
    for (size_t i = 0; i + 1 < sizeof shape; ++i) {
        char c = text[at + i];
        bool ok = shape[i] == '#' ? (c == ' ' || (c >= '0' && c <= '9')) : c == shape[i];
        if (!ok) {
            return false;
        }
    }
    return true;
}

// Trace records without their "[hh:mm:ss] " prefix. Threads write without a lock, so another
// thread's record may land between a record and its untimed continuation, inside one line: it
// is split off as a record of its own.
inline std::vector<std::string> trace_messages() {
    std::vector<std::string> messages;
    for (const std::string &line : lines(trace_log())) {
        size_t start = trace_prefix_at(line, 0) ? 11 : 0;
        for (size_t at = start + 1; at < line.size(); ++at) {
            if (trace_prefix_at(line, at)) {
                messages.push_back(line.substr(start, at - start));
                start = at + 11;
                at = start;
            }
        }
        messages.push_back(line.substr(std::min(start, line.size())));
    }
    return messages;
}

} // namespace testfiles
