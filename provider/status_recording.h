// Status recording: every stage reports a package's outcome through update_Pkg_Install_status,
// which keeps the record's StatusLine, publishes the run's status text in the job's status file
// (background runs only) and updates totalstatus.
#pragma once

#include <cstdint>

// Status codes of a package, as the status text reports them.
namespace status_code {
constexpr int32_t kInitialized = 0;
constexpr int32_t kDownloaded = 10;
constexpr int32_t kDownloadFailed = 11;
constexpr int32_t kTimeoutOrUnopened = 12;
constexpr int32_t kInvalidTransferParameter = 13;
constexpr int32_t kNoSpace = 14;
constexpr int32_t kAsyncTransfer = 15;
constexpr int32_t kTransferServiceError = 16;
constexpr int32_t kUnknownDownloadError = 17;
constexpr int32_t kInvalidDestination = 18;
constexpr int32_t kInstalled = 50;
constexpr int32_t kControllerFailed = 53;
constexpr int32_t kCreateParameterFailed = 54;
constexpr int32_t kPathMissing = 55;
constexpr int32_t kBrokerError = 56;
constexpr int32_t kInstallError = 57;
constexpr int32_t kUnsupportedTarget = 58;
constexpr int32_t kObsolete = 59;
constexpr int32_t kScanning = 60;
constexpr int32_t kScanComplete = 61;
constexpr int32_t kRunning = 62;
constexpr int32_t kNotSupported = 80;
} // namespace status_code

void update_Pkg_Install_status(int32_t pkgIndex, int32_t code, const char *message);

// Reduces a descriptor URI, in place, to the package id: the last path component without its
// extension. The first character is never examined.
void trimPackageID(char *text);

// Builds the status text of the current run into `out` (at most outSize - 1 characters):
// the completion flag and "|", then each record's StatusLine and "|".
void build_status_text(int32_t completionFlag, char *out, int outSize);
