// QLogic FC adapters through the provider in "qlogic/cimv2": one adapter entry per FC port, its
// device ID the port's DeviceID key up to the first "_".
#pragma once

#include <cstdint>

#include <cmpi/cmpift.h>

void getQlgDFNDeviceIDArray(int32_t pkgIndex, const CMPIContext *ctx);
int32_t installQlgFCpayload(int32_t pkgIndex, const CMPIContext *ctx);
int32_t installSingleQlgFCpayload(const CMPIContext *ctx, const char *payloadPath,
                                  const char *deviceId);
