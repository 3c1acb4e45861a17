// Feeds malformed zip archives to Minizip. Whatever the archive holds, the call returns one of
// its codes, writes nothing outside the destination and leaves nothing but regular files and
// directories inside it. The destination lies on a 1 MiB tmpfs, where the declared sizes tell
// exactly what the files take: an archive that does not fit is refused before anything is
// written, and no entry writes more than it declared (the disk never fills up halfway).
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <ftw.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fuzz_support.h"
#include "unzipfile.h"

namespace {

constexpr const char *kWorkDir = "/tmp/fuzz";
constexpr const char *kArchive = "/tmp/fuzz/archive.zip";
constexpr const char *kSmallFs = "/tmp/fuzz/out";
constexpr const char *kDestination = "/tmp/fuzz/out/image";

int remove_entry(const char *path, const struct stat *, int, struct FTW *) {
    return remove(path);
}

void remove_tree(const char *path) {
    nftw(path, remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

// Only the archive and the destination's parent may stand in the work directory afterwards.
bool work_dir_clean() {
    DIR *dir = opendir(kWorkDir);
    fuzz::require(dir != nullptr);
    bool clean = true;
    while (const dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        clean = clean && (name == "." || name == ".." || name == "archive.zip" || name == "out");
    }
    closedir(dir);
    return clean;
}

int check_destination_entry(const char *, const struct stat *st, int flag, struct FTW *) {
    bool ok = (flag == FTW_F && S_ISREG(st->st_mode) && (st->st_mode & 07022) == 0) ||
              (flag == FTW_D && S_ISDIR(st->st_mode));
    return ok ? 0 : 1;
}

// A small file system of its own under the destination, mounted once (the fuzzer runs as root
// in the sandbox's mount namespace).
void mount_small_destination() {
    static const bool mounted = [] {
        mkdir(kWorkDir, 0755);
        mkdir(kSmallFs, 0755);
        return mount("fuzz-small", kSmallFs, "tmpfs", 0, "size=1m") == 0;
    }();
    fuzz::require(mounted);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    mount_small_destination();
    fuzz::write_input(kArchive, data, size, {kWorkDir});

    int32_t rc = Minizip(kArchive, kDestination);

    fuzz::require(rc >= minizip_result::kOk && rc <= minizip_result::kNoSpace);
    fuzz::require(work_dir_clean());
    struct stat st;
    if (lstat(kDestination, &st) == 0) {
        fuzz::require(nftw(kDestination, check_destination_entry, 16, FTW_PHYS) == 0);
        // Room runs out only before anything is written.
        fuzz::require(rc != minizip_result::kNoSpace);
    } else {
        // Nothing is created before every entry has been checked.
        fuzz::require(rc != minizip_result::kOk);
    }
    remove_tree("/tmp/fuzz/out");
    return 0;
}
