#include "job_store.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <tuple>

namespace concretejob {

namespace {

constexpr const char *kLockFile = "lock";
constexpr const char *kCounterFile = "counter";
constexpr const char *kRecordSuffix = ".job";
constexpr size_t kRecordLimit = 8192;
constexpr size_t kCounterLimit = 32;

std::string record_file(const std::string &instanceId) {
    return instanceId + kRecordSuffix;
}

// The InstanceID of a record file's name, or empty for any other file.
std::string instance_of(const std::string &fileName) {
    const size_t suffix = std::char_traits<char>::length(kRecordSuffix);
    if (fileName.size() <= suffix ||
        fileName.compare(fileName.size() - suffix, suffix, kRecordSuffix) != 0) {
        return {};
    }
    std::string id = fileName.substr(0, fileName.size() - suffix);
    std::string name;
    long long number = 0;
    return parse_instance_id(id, &name, &number) ? id : std::string();
}

bool write_all(int fd, const std::string &content) {
    size_t done = 0;
    while (done < content.size()) {
        ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Temporary names are unique across processes and threads and start with "." so that no
// listing takes them for records.
std::string temporary_name(const std::string &target) {
    static std::atomic<unsigned> sequence{0};
    return "." + target + "." + std::to_string(getpid()) + "." + std::to_string(++sequence) +
           ".tmp";
}

} // namespace

std::optional<JobStore> JobStore::open(bool create) {
    if (create && ::mkdir(kJobDirectory, 0755) != 0 && errno != EEXIST) {
        return std::nullopt;
    }
    UniqueFd dir(::open(kJobDirectory, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!dir || ::fstat(dir.get(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return std::nullopt;
    }
    return JobStore(std::move(dir));
}

UniqueFd JobStore::lock() const {
    UniqueFd fd(::openat(dir_.get(), kLockFile, O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd) {
        return fd;
    }
    int rc;
    while ((rc = ::flock(fd.get(), LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
        fd.reset();
    }
    return fd;
}

bool JobStore::read_file(const std::string &name, size_t limit, std::string *content) const {
    UniqueFd fd(::openat(dir_.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    std::string text;
    char buffer[1024];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
        if (text.size() > limit) {
            return false;
        }
    }
    *content = std::move(text);
    return true;
}

bool JobStore::write_file(const std::string &name, const std::string &content, bool replace) const {
    const std::string temporary = temporary_name(name);
    UniqueFd fd(::openat(dir_.get(), temporary.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd) {
        return false;
    }
    bool written = write_all(fd.get(), content) && ::fsync(fd.get()) == 0 && fd.close() == 0;
    if (written && replace) {
        written = ::renameat(dir_.get(), temporary.c_str(), dir_.get(), name.c_str()) == 0;
    } else if (written) {
        // A new job never takes the place of an existing one. Where the file system cannot
        // rename without replacing, a hard link gives the same guarantee.
        int rc =
            ::renameat2(dir_.get(), temporary.c_str(), dir_.get(), name.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
            rc = ::linkat(dir_.get(), temporary.c_str(), dir_.get(), name.c_str(), 0);
        }
        written = rc == 0;
    }
    // Gone after a rename; what is left after a failure or a link.
    ::unlinkat(dir_.get(), temporary.c_str(), 0);
    return written;
}

long long JobStore::highest_number() const {
    // The records count too: a lost or damaged counter never hands out a number twice while
    // its job is still there.
    long long highest = 0;
    std::string counter;
    if (read_file(kCounterFile, kCounterLimit, &counter)) {
        if (!counter.empty() && counter.back() == '\n') {
            counter.pop_back();
        }
        if (!parse_job_number(counter, &highest)) {
            highest = 0;
        }
    }
    for (const std::string &id : list()) {
        std::string name;
        long long number = 0;
        if (parse_instance_id(id, &name, &number)) {
            highest = std::max(highest, number);
        }
    }
    return highest;
}

bool JobStore::create(const JobRecord &record, size_t idCapacity, std::string *instanceId) {
    UniqueFd held = lock();
    if (!held) {
        return false;
    }
    long long number = highest_number() + 1;
    if (number > kMaxJobNumber) {
        return false;
    }
    std::string id = make_instance_id(record.name, number);
    if (id.size() > idCapacity) {
        return false;
    }
    const std::string file = record_file(id);
    if (!write_file(file, format_record(record), false)) {
        return false;
    }
    if (!write_file(kCounterFile, std::to_string(number) + "\n", true)) {
        ::unlinkat(dir_.get(), file.c_str(), 0);
        return false;
    }
    *instanceId = std::move(id);
    return true;
}

bool JobStore::read(const std::string &instanceId, JobRecord *record) const {
    std::string name;
    long long number = 0;
    std::string text;
    return parse_instance_id(instanceId, &name, &number) &&
           read_file(record_file(instanceId), kRecordLimit, &text) && parse_record(text, record) &&
           record->name == name;
}

std::vector<std::string> JobStore::list() const {
    std::vector<std::pair<std::string, long long>> jobs;
    int fd = ::openat(dir_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (dir == nullptr) {
        if (fd >= 0) {
            ::close(fd);
        }
        return {};
    }
    std::unique_ptr<DIR, int (*)(DIR *)> closer(dir, ::closedir);
    while (struct dirent *entry = ::readdir(dir)) {
        std::string id = instance_of(entry->d_name);
        std::string name;
        long long number = 0;
        if (!id.empty() && parse_instance_id(id, &name, &number)) {
            jobs.emplace_back(std::move(name), number);
        }
    }
    std::sort(jobs.begin(), jobs.end());
    std::vector<std::string> ids;
    ids.reserve(jobs.size());
    for (const auto &job : jobs) {
        ids.push_back(make_instance_id(job.first, job.second));
    }
    return ids;
}

bool JobStore::update(const std::string &instanceId,
                      const std::function<bool(JobRecord &)> &change) {
    UniqueFd held = lock();
    JobRecord record;
    if (!held || !read(instanceId, &record)) {
        return false;
    }
    return !change(record) || write_file(record_file(instanceId), format_record(record), true);
}

bool JobStore::remove(const std::string &instanceId,
                      const std::function<void(const JobRecord &)> &farewell) {
    UniqueFd held = lock();
    JobRecord record;
    if (!held || !read(instanceId, &record)) {
        return false;
    }
    farewell(record);
    return ::unlinkat(dir_.get(), record_file(instanceId).c_str(), 0) == 0;
}

} // namespace concretejob
