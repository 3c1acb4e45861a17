// Emulex adapters through the provider in "root/emulex": converged network adapters (one entry
// per Ethernet port, from its InstanceID) and FC adapters (one entry per vital-product-data
// instance).
#pragma once

#include <cstdint>

#include <cmpi/cmpift.h>

void get_elxcna_dfn_devid(int32_t pkgIndex, const CMPIContext *ctx);
int32_t install_elxcna_payload(int32_t pkgIndex, const CMPIContext *ctx);
int32_t install_one_elxcna_payload(const CMPIContext *ctx, const char *payloadPath,
                                   const char *deviceId);

void get_elxfc_dfn_devid(int32_t pkgIndex, const CMPIContext *ctx);
int32_t install_elxfc_payload(int32_t pkgIndex, const CMPIContext *ctx);
int32_t install_one_elxfc_payload(const CMPIContext *ctx, const char *payloadPath,
                                  const char *deviceId);
