// Brocade FC adapters through the provider in "root/brocade": one adapter entry per port, its
// DFN the card's Model.
#pragma once

#include <cstdint>

#include <cmpi/cmpift.h>

void getBrocadeDFNDeviceIDArray(int32_t pkgIndex, const CMPIContext *ctx);
int32_t installBrcdFCpayload(int32_t pkgIndex, const CMPIContext *ctx);
int32_t installSingleBrcdFCpayload(const CMPIContext *ctx, const char *payloadPath,
                                   const char *deviceId);
