// librunprobe.so, preloaded into hostsim by the whole-run benchmark: measures the CPU time of the
// threads the provider starts, and the part of it spent in Minizip, and writes the sums to the
// file named by BENCH_PROBE_OUT when the process exits.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <pthread.h>

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using CreateFn = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
using MinizipFn = int32_t (*)(const char *, const char *);

constexpr int64_t kNs = 1000000000;

int64_t clock_ns(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<int64_t>(t.tv_sec) * kNs + t.tv_nsec;
}

std::atomic<int64_t> g_worker_cpu_ns{0};
std::atomic<int64_t> g_worker_wall_ns{0};
std::atomic<int> g_workers{0};
std::atomic<int64_t> g_unpack_cpu_ns{0};
std::atomic<int> g_unpacks{0};

pthread_key_t g_key;
pthread_once_t g_key_once = PTHREAD_ONCE_INIT;

struct Start {
    void *(*routine)(void *);
    void *arg;
    int64_t wall_ns;
};

// Runs when the thread ends, also through pthread_exit: its CPU time is still readable.
void thread_ended(void *value) {
    Start *start = static_cast<Start *>(value);
    g_worker_cpu_ns += clock_ns(CLOCK_THREAD_CPUTIME_ID);
    g_worker_wall_ns += clock_ns(CLOCK_MONOTONIC) - start->wall_ns;
    ++g_workers;
    delete start;
}

void make_key() {
    pthread_key_create(&g_key, thread_ended);
}

void *measured_start(void *value) {
    Start *start = static_cast<Start *>(value);
    start->wall_ns = clock_ns(CLOCK_MONOTONIC);
    pthread_setspecific(g_key, start);
    return start->routine(start->arg);
}

// dladdr walks every loaded object's symbols: each routine is looked up once, since the
// broker starts a thread for every call into a provider and the lookup would be charged to the
// provider's worker.
bool started_by_provider(void *(*routine)(void *)) {
    static std::mutex lock;
    static std::map<void *(*)(void *), bool> known;
    std::lock_guard<std::mutex> guard(lock);
    auto found = known.find(routine);
    if (found != known.end()) {
        return found->second;
    }
    Dl_info info{};
    bool provider = dladdr(reinterpret_cast<void *>(routine), &info) != 0 &&
                    info.dli_fname != nullptr &&
                    std::strstr(info.dli_fname, "libzelkprovider") != nullptr;
    known.emplace(routine, provider);
    return provider;
}

// The provider loads libunzipfile.so into its own scope, out of RTLD_NEXT's reach.
MinizipFn real_minizip() {
    void *found = dlsym(RTLD_NEXT, "Minizip");
    if (found == nullptr) {
        void *library = dlopen("libunzipfile.so", RTLD_LAZY | RTLD_NOLOAD);
        found = library != nullptr ? dlsym(library, "Minizip") : nullptr;
    }
    if (found == nullptr) {
        std::fprintf(stderr, "runprobe: the real Minizip is not loaded\n");
        std::abort();
    }
    return reinterpret_cast<MinizipFn>(found);
}

__attribute__((destructor)) void write_results() {
    const char *path = std::getenv("BENCH_PROBE_OUT");
    FILE *out = path != nullptr ? std::fopen(path, "w") : nullptr;
    if (out == nullptr) {
        return;
    }
    std::fprintf(out, "workers %d\nworker_cpu_ns %lld\nworker_wall_ns %lld\n", g_workers.load(),
                 static_cast<long long>(g_worker_cpu_ns.load()),
                 static_cast<long long>(g_worker_wall_ns.load()));
    std::fprintf(out, "unpacks %d\nunpack_cpu_ns %lld\n", g_unpacks.load(),
                 static_cast<long long>(g_unpack_cpu_ns.load()));
    std::fclose(out);
}

} // namespace

PROBE_EXPORT int pthread_create(pthread_t *thread, const pthread_attr_t *attr,
                                void *(*routine)(void *), void *arg) {
    static const CreateFn real = reinterpret_cast<CreateFn>(dlsym(RTLD_NEXT, "pthread_create"));
    if (!started_by_provider(routine)) {
        return real(thread, attr, routine, arg);
    }
    pthread_once(&g_key_once, make_key);
    Start *start = new Start{routine, arg, 0};
    const int rc = real(thread, attr, measured_start, start);
    if (rc != 0) {
        delete start;
    }
    return rc;
}

PROBE_EXPORT int32_t Minizip(const char *archive, const char *destination) {
    static const MinizipFn real = real_minizip();
    const int64_t before = clock_ns(CLOCK_THREAD_CPUTIME_ID);
    const int32_t rc = real(archive, destination);
    g_unpack_cpu_ns += clock_ns(CLOCK_THREAD_CPUTIME_ID) - before;
    ++g_unpacks;
    return rc;
}
