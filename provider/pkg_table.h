// The package run table: one fixed-size record per package of the current run, and the run-wide
// values beside it. All of it is process-wide static storage, zero at load, reused by every run.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <pthread.h>

#include <cmpi/cmpift.h>

#include "zelk_limits.h"

struct DeviceEntry {
    char DFN[zelk::kTextSize];
    char DeviceID[zelk::kTextSize];
};

struct PayloadEntry {
    char PayloadPath[zelk::kTextSize];
    char DeviceID[zelk::kTextSize];
};

// Installer form: package index and the call context in, int32 out.
typedef int32_t (*InstallerFunc)(int32_t pkgIndex, const CMPIContext *ctx);

struct PkgInstance {
    char XMLPath[zelk::kTextSize];
    char TFTPPayloadPkgURIs[zelk::kTextSize];
    char LocalFileURI[zelk::kTextSize];
    char StatusLine[zelk::kTextSize];
    char manufacturer[zelk::kTextSize];
    int32_t OrderFlag;
    int32_t preReqCount;
    char identificationCode[zelk::kTextSize];
    char type[zelk::kTextSize];
    char Name[zelk::kTextSize];
    char preReq[zelk::kMaxPreReqs][zelk::kTextSize];
    char supersedes[zelk::kTextSize];
    char category[zelk::kTextSize];
    DeviceEntry DFNDeviceIDs[zelk::kMaxDfnDevices];
    int32_t DFNDeviceCount;
    PayloadEntry Payloads[zelk::kMaxPayloads];
    InstallerFunc InstallFunc;
    int32_t PayloadCount;
};

// OrderFlag values: lower installs first; 1000 and above are dispositions.
namespace order_flag {
constexpr int32_t kUefi = 250;
constexpr int32_t kDefault = 300;
constexpr int32_t kVxc = 350;
constexpr int32_t kFpga = 400;
constexpr int32_t kUnread = 450;
constexpr int32_t kMissingPrereq = 999;
constexpr int32_t kFailed = 1000;
constexpr int32_t kUnsupported = 1001;
constexpr int32_t kUnopened = 1002;
} // namespace order_flag

// filelocation values, decided from the first URI of a run.
namespace file_location {
constexpr int32_t kLocal = 1;
constexpr int32_t kTftp = 2;
constexpr int32_t kHypervisorBundle = 3;
constexpr int32_t kSftp = 4;
constexpr int32_t kUnknown = 5;
} // namespace file_location

extern PkgInstance pkgInstance[zelk::kMaxPackages];
extern int32_t PkgSeq[zelk::kMaxPackages];
extern int32_t pkgnum;
extern int32_t filelocation;
extern std::atomic<int32_t> totalstatus;
extern char instanceID[zelk::kInstanceIdSize];
extern int32_t is_sync_install;
extern int32_t is_async_install;
extern int32_t g_is_backup_update;
extern std::atomic<int32_t> Zelkchild_thread_num;
extern pthread_mutex_t mutex;

// Set from outside modules only; exported, plain C words.
extern "C" {
extern int32_t is_VXC_updated;
extern int32_t invoke_client;
}

void set_totalstatus(int32_t status);

// Bounded copy into a fixed text field: never writes past the field, always NUL-terminated.
// Source and destination may overlap.
template <size_t N> inline void copy_text(char (&dst)[N], const char *src) {
    size_t length = src ? strnlen(src, N - 1) : 0;
    if (length > 0) {
        std::memmove(dst, src, length);
    }
    dst[length] = '\0';
}
