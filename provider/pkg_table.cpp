#include "pkg_table.h"

PkgInstance pkgInstance[zelk::kMaxPackages];
int32_t PkgSeq[zelk::kMaxPackages];
int32_t pkgnum;
int32_t filelocation;
std::atomic<int32_t> totalstatus{0};
char instanceID[zelk::kInstanceIdSize];
int32_t is_sync_install;
int32_t is_async_install;
int32_t g_is_backup_update;
std::atomic<int32_t> Zelkchild_thread_num{0};
pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;

extern "C" {
__attribute__((visibility("default"))) int32_t is_VXC_updated;
__attribute__((visibility("default"))) int32_t invoke_client;
}

void set_totalstatus(int32_t status) {
    totalstatus.store(status);
}
