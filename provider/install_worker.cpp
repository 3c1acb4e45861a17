#include "install_worker.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

#include "install_driver.h"
#include "zelk_pkg_installer_broker.h"

extern "C" CMPIContext *native_clone_CMPIContext(const CMPIContext *ctx);

namespace {

// Shared between the invoking call and the worker until the worker has cloned the context.
struct WorkerStart {
    const CMPIContext *context;
    std::mutex lock;
    std::condition_variable cloned;
    bool contextCloned = false;
};

// The whole run, with every object that has a destructor; returns before the thread ends.
void runInstallWorker(void *arg) {
    auto start = *static_cast<std::shared_ptr<WorkerStart> *>(arg);
    delete static_cast<std::shared_ptr<WorkerStart> *>(arg);
    trace("Enter asyncInstallAllPkgs.\n");
    // The busy state was taken for this worker at admission.
    CMPIContext *context = native_clone_CMPIContext(start->context);
    {
        std::lock_guard<std::mutex> guard(start->lock);
        start->contextCloned = true;
    }
    start->cloned.notify_all();
    start.reset();

    syncInstallAllPkgs(context);
    if (context != nullptr) {
        CMRelease(context);
    }
    trace("asyncInstallAllPkgs finish.\n");
    release_run();
}

// pthread_exit unwinds the thread's stack with the C library's unwinder, which cannot run the
// cleanups of frames in this library (it carries its own copy of the C++ runtime). So no frame
// of ours may hold an object with a destructor when pthread_exit is called: the work is done in
// runInstallWorker, which has returned by then.
void *asyncInstallAllPkgs(void *arg) {
    runInstallWorker(arg);
    pthread_exit(nullptr);
}

} // namespace

bool admit_run() {
    int32_t idle = 0;
    return Zelkchild_thread_num.compare_exchange_strong(idle, 1);
}

void release_run() {
    Zelkchild_thread_num.fetch_sub(1);
}

int start_install_worker(const CMPIContext *ctx) {
    auto start = std::make_shared<WorkerStart>();
    start->context = ctx;
    auto *arg = new std::shared_ptr<WorkerStart>(start);
    pthread_t thread;
    int rc = pthread_create(&thread, nullptr, asyncInstallAllPkgs, arg);
    if (rc != 0) {
        delete arg;
    }
    sleep(1);
    if (rc == 0) {
        pthread_detach(thread);
        std::unique_lock<std::mutex> guard(start->lock);
        start->cloned.wait(guard, [&start] { return start->contextCloned; });
    }
    return rc;
}
