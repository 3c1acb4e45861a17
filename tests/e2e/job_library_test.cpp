// The job library as the provider and the broker use it: jobs created in one process and served
// in another, the shared job counter, the owner's status and cleanup functions, and failures that
// leave nothing behind. Also the fast clock that hostsim --fast preloads.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sched.h>
#include <set>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <zelk/job_library.h>

#include "provider_session.h"
#include "test_files.h"

namespace {

constexpr const char *kJobLibrary = "/usr/lib/cim/libconcretejob.so";
constexpr const char *kJobProvider = "ZELK_ConcreteJobProvider";
constexpr const char *kJobDir = "/var/tmp/concretejob";

JobDescriptor descriptor(const char *library = testprovider::kLibrary,
                         const char *status = "getZELKStatus",
                         const char *cleanup = "ZELKStatusCleanup", const char *name = "ZELK") {
    JobDescriptor d{};
    std::strncpy(d.job_name, name, sizeof d.job_name - 1);
    std::strncpy(d.provider_library, library, sizeof d.provider_library - 1);
    std::strncpy(d.status_function, status, sizeof d.status_function - 1);
    std::strncpy(d.cleanup_function, cleanup, sizeof d.cleanup_function - 1);
    return d;
}

CreateJobInstanceFunction create_job() {
    static void *library = dlopen(kJobLibrary, RTLD_NOW);
    return library
               ? reinterpret_cast<CreateJobInstanceFunction>(dlsym(library, "create_job_instance"))
               : nullptr;
}

std::string create(JobDescriptor d = descriptor()) {
    char id[40] = {};
    return create_job()(id, sizeof id, &d) == 0 ? id : "failed";
}

// A process that creates `count` jobs and reports their InstanceIDs, one a line.
struct Creator {
    int out[2] = {-1, -1};
    pid_t pid = -1;

    explicit Creator(int count) {
        if (pipe(out) != 0 || (pid = fork()) < 0) {
            return;
        }
        if (pid == 0) {
            for (int i = 0; i < count; ++i) {
                dprintf(out[1], "%s\n", create().c_str());
            }
            _exit(0);
        }
        close(out[1]);
    }

    std::vector<std::string> ids() {
        std::string text;
        char buffer[256];
        for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<size_t>(n));
        }
        close(out[0]);
        waitpid(pid, nullptr, 0);
        return testfiles::lines(text);
    }
};

std::set<std::string> files_in(const char *path) {
    std::set<std::string> names;
    if (DIR *dir = opendir(path)) {
        while (struct dirent *entry = readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                names.insert(entry->d_name);
            }
        }
        closedir(dir);
    }
    return names;
}

// A mount namespace of this thread's own with a fresh tmpfs on /var/tmp, so that a test can
// mount over the job directory wherever it runs and never touches the machine's. Undone, with
// anything mounted below, when it goes out of scope.
class PrivateVarTmp {
  public:
    PrivateVarTmp()
        : made_(unshare(CLONE_NEWNS) == 0 &&
                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                mount("jobtest", "/var/tmp", "tmpfs", 0, "size=1m") == 0),
          error_(made_ ? 0 : errno) {}
    ~PrivateVarTmp() {
        if (made_) {
            umount2("/var/tmp", MNT_DETACH);
        }
    }
    PrivateVarTmp(const PrivateVarTmp &) = delete;
    PrivateVarTmp &operator=(const PrivateVarTmp &) = delete;

    bool made() const { return made_; }
    const char *error() const { return std::strerror(error_); }

  private:
    bool made_;
    int error_;
};

// Calls create_job_instance expecting a failure that leaves the buffer and the directory alone.
void expect_clean_failure(JobDescriptor *d, int size, const char *what) {
    const std::set<std::string> before = files_in(kJobDir);
    char id[40];
    std::memset(id, 'x', sizeof id);
    EXPECT_NE(0, create_job()(id, size, d)) << what;
    for (char c : id) {
        ASSERT_EQ('x', c) << what;
    }
    EXPECT_EQ(before, files_in(kJobDir)) << what;
}

class JobProvider : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(nullptr, create_job());
        std::string error;
        provider = hostsim::load_provider(kJobLibrary, kJobProvider, &error);
        ASSERT_NE(nullptr, provider) << error;
        ASSERT_NE(nullptr, provider->instanceMI);
        mi = provider->instanceMI;
        context = hostsim::new_context();
    }
    void TearDown() override { CMRelease(context); }

    CMPIObjectPath *path_of(const char *id) {
        CMPIObjectPath *path = testprovider::service_path("CIM_ConcreteJob");
        if (id != nullptr) {
            CMAddKey(path, "InstanceID", id, CMPI_chars);
        }
        return path;
    }
    CMPIrc get(const char *id, hostsim::Result &result) {
        return mi->ft->getInstance(mi, context, result.get(), path_of(id), nullptr).rc;
    }
    CMPIrc remove(const char *id) {
        hostsim::Result result;
        return mi->ft->deleteInstance(mi, context, result.get(), path_of(id)).rc;
    }
    std::vector<std::string> names() {
        hostsim::Result result;
        EXPECT_EQ(CMPI_RC_OK,
                  mi->ft->enumerateInstanceNames(mi, context, result.get(), path_of(nullptr)).rc);
        std::vector<std::string> ids;
        for (const CMPIObjectPath *path : result.objectPaths()) {
            ids.push_back(testprovider::key(path, "InstanceID"));
        }
        return ids;
    }
    struct Seen {
        std::string state, status;
        CMPIUint64 changed;
    };
    Seen seen(const char *id) {
        hostsim::Result result;
        EXPECT_EQ(CMPI_RC_OK, get(id, result));
        if (result.instances().size() != 1) {
            ADD_FAILURE() << "no instance for " << id;
            return {};
        }
        const CMPIInstance *job = result.instances()[0];
        EXPECT_EQ(id, testprovider::property(job, "InstanceID"));
        EXPECT_EQ("ZELK", testprovider::property(job, "Name"));
        EXPECT_EQ(CMPI_uint16, CMGetProperty(job, "JobState", nullptr).type);
        CMPIData changed = CMGetProperty(job, "TimeOfLastStateChange", nullptr);
        EXPECT_EQ(CMPI_dateTime, changed.type);
        return {testprovider::property(job, "JobState"), testprovider::property(job, "JobStatus"),
                CMGetBinaryFormat(changed.value.dateTime, nullptr)};
    }

    std::shared_ptr<hostsim::Provider> provider;
    CMPIInstanceMI *mi = nullptr;
    CMPIContext *context = nullptr;
    hostsim::CallScope scope;
};

TEST_F(JobProvider, JobsCreatedElsewhereShowTheirOwnersState) {
    EXPECT_TRUE(names().empty());
    EXPECT_EQ((std::vector<std::string>{"ZELK-1", "ZELK-2"}), Creator(2).ids());
    EXPECT_EQ((std::vector<std::string>{"ZELK-1", "ZELK-2"}), names());

    // Nothing reported yet: running, no text.
    Seen start = seen("ZELK-2");
    EXPECT_EQ("4", start.state);
    EXPECT_EQ("", start.status);

    // A new text in the same state leaves the time of the last state change alone.
    testfiles::write("/tmp/zelkstatZELK-2.txt", "0|p1 62 Initialization is running.|");
    Seen running = seen("ZELK-2");
    EXPECT_EQ("4", running.state);
    EXPECT_EQ("0|p1 62 Initialization is running.|", running.status);
    EXPECT_EQ(start.changed, running.changed);

    usleep(2000);
    const std::string done = "1|p1 0 Package installation successfully.|";
    testfiles::write("/tmp/zelkstatZELK-2.txt", done);
    Seen completed = seen("ZELK-2");
    EXPECT_EQ("7", completed.state);
    EXPECT_EQ(done, completed.status);
    EXPECT_GT(completed.changed, running.changed);

    // Once the owner has nothing more to say, the job keeps what it said last.
    unlink("/tmp/zelkstatZELK-2.txt");
    Seen kept = seen("ZELK-2");
    EXPECT_EQ("7", kept.state);
    EXPECT_EQ(done, kept.status);
    EXPECT_EQ(completed.changed, kept.changed);
    EXPECT_EQ("4", seen("ZELK-1").state);

    hostsim::Result all;
    EXPECT_EQ(CMPI_RC_OK,
              mi->ft->enumerateInstances(mi, context, all.get(), path_of(nullptr), nullptr).rc);
    EXPECT_TRUE(all.done());
    ASSERT_EQ(2u, all.instances().size());
    EXPECT_EQ("7", testprovider::property(all.instances()[1], "JobState"));
}

TEST_F(JobProvider, DeleteCallsTheOwnersCleanupOnce) {
    ASSERT_EQ("ZELK-1", create());
    testfiles::write("/tmp/zelkstatZELK-1.txt", "0|p1 62 running|");
    EXPECT_EQ(CMPI_RC_OK, remove("ZELK-1"));
    EXPECT_FALSE(testfiles::exists("/tmp/zelkstatZELK-1.txt"));
    EXPECT_TRUE(names().empty());
    hostsim::Result result;
    EXPECT_EQ(CMPI_RC_ERR_NOT_FOUND, get("ZELK-1", result));

    // A second delete finds nothing and leaves a new status file of that name alone.
    testfiles::write("/tmp/zelkstatZELK-1.txt", "0|p1 62 running|");
    EXPECT_EQ(CMPI_RC_ERR_NOT_FOUND, remove("ZELK-1"));
    EXPECT_TRUE(testfiles::exists("/tmp/zelkstatZELK-1.txt"));
    // Job numbers are never handed out again.
    EXPECT_EQ("ZELK-2", create());
}

TEST_F(JobProvider, UnreachableOwnerKeepsTheLastKnownStateAndCanBeDeleted) {
    ASSERT_EQ("ZELK-1", create(descriptor("/usr/lib/cim/libnosuchprovider.so")));
    ASSERT_EQ("ZELK-2",
              create(descriptor(testprovider::kLibrary, "noSuchStatus", "noSuchCleanup")));
    testfiles::write("/tmp/zelkstatZELK-2.txt", "1|p1 0 successfully|");
    for (const char *id : {"ZELK-1", "ZELK-2"}) {
        Seen job = seen(id);
        EXPECT_EQ("4", job.state) << id;
        EXPECT_EQ("", job.status) << id;
        EXPECT_EQ(CMPI_RC_OK, remove(id)) << id;
    }
    EXPECT_TRUE(testfiles::exists("/tmp/zelkstatZELK-2.txt"));
    EXPECT_TRUE(names().empty());
}

TEST_F(JobProvider, OnlyExistingJobsAreFound) {
    ASSERT_EQ("ZELK-1", create());
    for (const char *id : {"ZELK-2", "ZELK-01", "ZELK-+1", "ZELK-1 ", "zelk-1",
                           "../concretejob/ZELK-1", "counter", "lock", "ZELK-1.job", ""}) {
        hostsim::Result result;
        EXPECT_EQ(CMPI_RC_ERR_NOT_FOUND, get(id, result)) << id;
        EXPECT_TRUE(result.instances().empty()) << id;
        EXPECT_EQ(CMPI_RC_ERR_NOT_FOUND, remove(id)) << id;
    }
    hostsim::Result result;
    EXPECT_EQ(CMPI_RC_ERR_INVALID_PARAMETER, get(nullptr, result));
    EXPECT_EQ(CMPI_RC_ERR_INVALID_PARAMETER, remove(nullptr));
    EXPECT_EQ((std::vector<std::string>{"ZELK-1"}), names());
}

TEST(JobLibrary, CounterIsSharedByConcurrentProcessesAndOutlivesThem) {
    ASSERT_NE(nullptr, create_job());
    std::vector<Creator> creators;
    for (int i = 0; i < 4; ++i) {
        creators.emplace_back(25);
    }
    std::set<std::string> ids;
    for (Creator &creator : creators) {
        for (const std::string &id : creator.ids()) {
            EXPECT_TRUE(ids.insert(id).second) << id << " handed out twice";
        }
    }
    std::set<std::string> expected;
    for (int n = 1; n <= 100; ++n) {
        expected.insert("ZELK-" + std::to_string(n));
    }
    EXPECT_EQ(expected, ids);
    EXPECT_EQ("100\n", testfiles::read(std::string(kJobDir) + "/counter"));
    EXPECT_EQ("ZELK-101", create());

    // A damaged counter never hands out the number of a job that is still there.
    testfiles::write(std::string(kJobDir) + "/counter", "garbage");
    EXPECT_EQ("ZELK-102", create());
    EXPECT_EQ("OTHER_1-103", create(descriptor(testprovider::kLibrary, "getZELKStatus",
                                               "ZELKStatusCleanup", "OTHER_1")));
}

TEST(JobLibrary, BadCallsAreRefusedWithoutATrace) {
    ASSERT_NE(nullptr, create_job());
    expect_clean_failure(nullptr, 40, "no descriptor");
    struct Case {
        const char *what;
        JobDescriptor d;
    } cases[] = {
        {"empty job name", descriptor(testprovider::kLibrary, "s", "c", "")},
        {"job name with a dash", descriptor(testprovider::kLibrary, "s", "c", "ZE-LK")},
        {"job name with a slash", descriptor(testprovider::kLibrary, "s", "c", "../x")},
        {"empty library", descriptor("")},
        {"empty status function", descriptor(testprovider::kLibrary, "")},
        {"empty cleanup function", descriptor(testprovider::kLibrary, "s", "")},
        {"line break in a name", descriptor(testprovider::kLibrary, "get\nStatus")},
        {"unterminated field", descriptor()},
    };
    std::memset(cases[7].d.cleanup_function, 'c', sizeof cases[7].d.cleanup_function);
    for (Case &c : cases) {
        expect_clean_failure(&c.d, 40, c.what);
    }
    JobDescriptor good = descriptor();
    expect_clean_failure(&good, 0, "no room");
    expect_clean_failure(&good, 6, "no room for the NUL");
    char id[40] = {};
    EXPECT_NE(0, create_job()(nullptr, 40, &good));
    // Failed calls took no job number.
    ASSERT_EQ(0, create_job()(id, 7, &good));
    EXPECT_STREQ("ZELK-1", id);
}

TEST(JobLibrary, UnusableOrFullJobDirectoryLeavesNothingBehind) {
    PrivateVarTmp varTmp;
    ASSERT_TRUE(varTmp.made()) << "cannot mount a private /var/tmp (needs root): "
                               << varTmp.error();
    ASSERT_NE(nullptr, create_job());
    JobDescriptor good = descriptor();
    testfiles::write(kJobDir, "not a directory");
    expect_clean_failure(&good, 40, "job directory is a file");
    ASSERT_EQ(0, unlink(kJobDir));
    // Another user could plant links and pipes in a directory that others may write.
    ASSERT_EQ(0, mkdir(kJobDir, 0755));
    ASSERT_EQ(0, chmod(kJobDir, 01777));
    expect_clean_failure(&good, 40, "job directory others may write");
    ASSERT_EQ(0, rmdir(kJobDir));

    ASSERT_EQ(0, mkdir(kJobDir, 0755));
    ASSERT_EQ(0, mount("small", kJobDir, "tmpfs", 0, "size=64k,mode=0755"));
    ASSERT_EQ("ZELK-1", create());
    ASSERT_EQ(0, mount(nullptr, kJobDir, nullptr, MS_REMOUNT | MS_RDONLY, "size=64k"));
    expect_clean_failure(&good, 40, "read-only job directory");
    ASSERT_EQ(0, mount(nullptr, kJobDir, nullptr, MS_REMOUNT, "size=64k"));

    const std::string filler = std::string(kJobDir) + "/filler";
    int fd = open(filler.c_str(), O_WRONLY | O_CREAT, 0644);
    const std::string block(4096, 'f');
    while (write(fd, block.data(), block.size()) > 0) {
    }
    close(fd);
    expect_clean_failure(&good, 40, "full disk");
    EXPECT_EQ("1\n", testfiles::read(std::string(kJobDir) + "/counter"));
    ASSERT_EQ(0, unlink(filler.c_str()));
    EXPECT_EQ("ZELK-2", create());
    umount(kJobDir);
}

TEST(JobLibrary, ExportsOnlyItsEntryPoints) {
    for (const auto &[library, expected] : std::map<std::string, std::string>{
             {kJobLibrary, "ZELK_ConcreteJobProvider_Create_InstanceMI\ncreate_job_instance\n"},
             {"/usr/lib/cim/libfastclock.so", "nanosleep\nsleep\nusleep\n"}}) {
        std::string command = "nm -D --defined-only " + library +
                              " | awk '{print $3}' | grep -v '^_\\(init\\|fini\\)$' | "
                              "grep -v '^__\\(asan\\|ubsan\\|tsan\\)' | LC_ALL=C sort";
        std::unique_ptr<FILE, int (*)(FILE *)> nm(popen(command.c_str(), "r"), pclose);
        std::string names;
        char line[512];
        while (nm && std::fgets(line, sizeof line, nm.get()) != nullptr) {
            names += line;
        }
        EXPECT_EQ(expected, names) << library;
    }
}

// Runs `argv` with the fast clock preloaded; the seconds it took, or -1 when it failed or hung.
double seconds_under_fast_clock(std::vector<const char *> argv) {
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        setenv("LD_PRELOAD", "/usr/lib/cim/libfastclock.so", 1);
        argv.push_back(nullptr);
        execv(argv[0], const_cast<char *const *>(argv.data()));
        _exit(127);
    }
    int status = 0;
    for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; ++waited) {
        if (waited == 200) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        usleep(50000);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(FastClock, SecondsPassAtOnceShortWaitsStayReal) {
    double slept = seconds_under_fast_clock({"/usr/bin/perl", "-e", "sleep 30"});
    EXPECT_GE(slept, 0.0);
    EXPECT_LT(slept, 5.0);
    slept = seconds_under_fast_clock({"/usr/bin/sleep", "30"});
    EXPECT_GE(slept, 0.0);
    EXPECT_LT(slept, 5.0);

    void *clock = dlopen("/usr/lib/cim/libfastclock.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, clock);
    auto fast_usleep = reinterpret_cast<int (*)(useconds_t)>(dlsym(clock, "usleep"));
    ASSERT_NE(nullptr, fast_usleep);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, fast_usleep(5000000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    // Waits under a second pace loops: they must not turn into busy spins.
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, fast_usleep(30000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    dlclose(clock);
}

} // namespace
