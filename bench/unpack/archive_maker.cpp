#include "archive_maker.h"

#include <cstdio>
#include <minizip/zip.h>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <vector>

namespace bench {
namespace {

constexpr unsigned kWords = 4096;
constexpr size_t kBlock = 4096;
constexpr unsigned long kMadeByUnix = (3u << 8) | 20u;
constexpr unsigned long kFileMode = 0100644u;
constexpr unsigned long kDirMode = 0040755u;

uint64_t mix(uint64_t x) {
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

class Random {
  public:
    explicit Random(uint64_t seed) : state_(mix(seed)) {}
    uint64_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }

  private:
    uint64_t state_;
};

// A fixed vocabulary so that text compresses like text does, not like a repeated pattern.
const std::vector<std::string> &vocabulary() {
    static const std::vector<std::string> words = [] {
        std::vector<std::string> list;
        Random random(42);
        for (unsigned i = 0; i < kWords; ++i) {
            std::string word(3 + random.next() % 8, 'a');
            for (char &c : word) {
                c = static_cast<char>('a' + random.next() % 26);
            }
            list.push_back(word);
        }
        return list;
    }();
    return words;
}

uint32_t file_size_of(const ArchiveShape &shape, unsigned index) {
    return shape.min_size + static_cast<uint32_t>(mix(index * 7919u + shape.files) %
                                                  (shape.max_size - shape.min_size + 1));
}

// Blocks of word text (skewed word choice) with random-byte blocks mixed in.
void fill_content(std::string &out, uint32_t size, uint64_t seed, unsigned random_share) {
    const std::vector<std::string> &words = vocabulary();
    Random random(seed);
    out.clear();
    while (out.size() < size) {
        const size_t end = out.size() + kBlock;
        if (random.next() % 100 < random_share) {
            while (out.size() < end) {
                out.push_back(static_cast<char>(random.next() & 0xff));
            }
            continue;
        }
        while (out.size() < end) {
            const uint64_t r = random.next();
            // Product of two uniform picks: common words are common.
            const size_t word = ((r & 0xfff) * ((r >> 12) & 0xfff)) >> 12;
            out += words[word % kWords];
            out.push_back((r >> 40) % 12 == 0 ? '\n' : ' ');
        }
    }
    out.resize(size);
}

void add_entry(zipFile zip, const std::string &name, unsigned long mode, const std::string &data) {
    zip_fileinfo info{};
    info.tmz_date.tm_year = 2024;
    info.tmz_date.tm_mon = 0;
    info.tmz_date.tm_mday = 15;
    info.tmz_date.tm_hour = 12;
    info.external_fa = mode << 16;
    if (zipOpenNewFileInZip4_64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, 8,
                                Z_DEFAULT_STRATEGY, nullptr, 0, kMadeByUnix, 0, 0) != ZIP_OK ||
        (!data.empty() &&
         zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())) != ZIP_OK) ||
        zipCloseFileInZip(zip) != ZIP_OK) {
        throw std::runtime_error("cannot add " + name);
    }
}

// Folder entries as "zip -r" writes them: each folder once, before its files.
void add_folders(zipFile zip, const std::string &path, std::set<std::string> &made) {
    for (size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash + 1);
        if (made.insert(folder).second) {
            add_entry(zip, folder, kDirMode, "");
        }
    }
}

std::string entry_name(const ArchiveShape &shape, unsigned index) {
    const unsigned leaves = shape.fanout * shape.fanout;
    // Files of one folder stay together, as an archiver walking a tree writes them.
    const unsigned leaf = index * leaves / shape.files;
    char name[256];
    if (leaf % 5 == 0) {
        // Some files sit one level up, so that depths vary.
        std::snprintf(name, sizeof name, "%s/d%02u/file%05u.bin", shape.root, leaf / shape.fanout,
                      index);
    } else {
        std::snprintf(name, sizeof name, "%s/d%02u/s%02u/file%05u.bin", shape.root,
                      leaf / shape.fanout, leaf % shape.fanout, index);
    }
    return name;
}

} // namespace

uint64_t make_archive(const std::string &path, const ArchiveShape &shape) {
    uint64_t total = 0;
    for (unsigned i = 0; i < shape.files; ++i) {
        total += file_size_of(shape, i);
    }
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        return total;
    }
    const std::string partial = path + ".partial";
    zipFile zip = zipOpen64(partial.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) {
        throw std::runtime_error("cannot create " + partial);
    }
    std::set<std::string> made;
    std::string data;
    for (unsigned i = 0; i < shape.files; ++i) {
        const std::string name = entry_name(shape, i);
        add_folders(zip, name, made);
        fill_content(data, file_size_of(shape, i), mix(i + 1000003ull * shape.files),
                     shape.random_share);
        add_entry(zip, name, kFileMode, data);
    }
    if (zipClose(zip, nullptr) != ZIP_OK || rename(partial.c_str(), path.c_str()) != 0) {
        throw std::runtime_error("cannot finish " + path);
    }
    return total;
}

} // namespace bench
