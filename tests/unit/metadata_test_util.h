// Helpers for the package-metadata tests: real files in the sandbox and a fresh run table.
#pragma once

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "pkg_table.h"

namespace metadata_test {

inline void write_file(const std::string &path, const std::string &text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string trace_log() {
    std::ifstream in(zelk::kTraceLogPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The state of a freshly loaded provider: zeroed table, no trace log.
inline void reset_run() {
    std::memset(pkgInstance, 0, sizeof pkgInstance);
    pkgnum = 0;
    std::remove(zelk::kTraceLogPath);
}

// Every text field of the record ends inside its 200 bytes.
inline bool fields_terminated(const PkgInstance &r) {
    auto ok = [](const char *f) { return strnlen(f, zelk::kTextSize) < size_t(zelk::kTextSize); };
    bool all = true;
    for (const char *f : {r.TFTPPayloadPkgURIs, r.manufacturer, r.identificationCode, r.type,
                          r.Name, r.supersedes, r.category, r.preReq[0], r.preReq[4]}) {
        all = all && ok(f);
    }
    for (const auto &p : r.Payloads) {
        all = all && ok(p.PayloadPath) && ok(p.DeviceID);
    }
    return all;
}

// Deterministic bytes of every value, rich in "<", ">" and line ends.
inline std::string garbage(size_t size, unsigned seed) {
    std::string out(size, '\0');
    for (auto &c : out) {
        seed = seed * 1103515245u + 12345u;
        unsigned v = (seed >> 16) & 0xff;
        c = static_cast<char>(v % 7 == 0 ? '<' : v % 11 == 0 ? '>' : v % 13 == 0 ? '\n' : v);
    }
    return out;
}

} // namespace metadata_test
