// Broadcom and LSI firmware packages: the archive is unpacked into the working area and the
// vendor's firmware-update provider is asked once to install from that directory.
#pragma once

#include <cstdint>

#include <cmpi/cmpift.h>

// Payload steps: 0 after a successful install, 1 otherwise; each records one status.
int32_t installBroadcompayload(int32_t pkgIndex, const CMPIContext *ctx, const char *uri);
int32_t installLSIpayload(int32_t pkgIndex, const CMPIContext *ctx, const char *uri);

// Requests: the method's return value, 4098 on a broker error, 1 when the service path could
// not be built. They record nothing.
uint32_t installSingleBroadcompayload(const CMPIContext *ctx, const char *uri);
uint32_t installSingleLSIpayload(const CMPIContext *ctx, const char *uri);
