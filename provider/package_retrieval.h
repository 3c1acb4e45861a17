// Package retrieval: makes a package's descriptor or payload available as a local file, directly
// for a file:// run or through the host's file-transfer service for TFTP and SFTP runs.
#pragma once

#include <cstdint>

#include <cmpi/cmpift.h>

// Non-zero when the file is available locally (its location is then in LocalFileURI).
int32_t GetFileFromLocalOrTFTP(const char *uri, int32_t pkgIndex, const CMPIContext *ctx);

// 1 on success, 0 on failure; the outcome is recorded as the package's status.
int32_t downloadFileViaTFTP(const char *uri, int32_t pkgIndex, const CMPIContext *ctx);
int32_t downloadFileViaSFTP(const char *uri, int32_t pkgIndex, const CMPIContext *ctx);

// Asks the file-transfer service to delete a fetched copy; failures are only traced.
void deleteTransferedFile(const char *fileUri, const CMPIContext *ctx);
