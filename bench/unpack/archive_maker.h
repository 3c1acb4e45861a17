// Builds the benchmark's zip archives: deterministic content, nested folders, Unix permissions.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

struct ArchiveShape {
    const char *root;  // top folder of every entry
    unsigned files;    // number of file entries
    unsigned fanout;   // folders per level; files spread over fanout * fanout leaf folders
    uint32_t min_size; // file sizes are spread evenly over [min_size, max_size]
    uint32_t max_size;
    unsigned random_share; // percent of each file that is random bytes (the rest is word text)
};

// Writes the archive to `path` (through a temporary name) unless it exists already; returns the
// total uncompressed size of its files.
uint64_t make_archive(const std::string &path, const ArchiveShape &shape);

} // namespace bench
