// The vendor installers. Each takes the package index and the call context, records its own
// outcome as the package's status, and returns an int32 whose meaning is its own.
#pragma once

#include <cstdint>

#include <cmpi/cmpift.h>

int32_t installESWPkg(int32_t pkgIndex, const CMPIContext *ctx);
int32_t installVMPkg(int32_t pkgIndex, const CMPIContext *ctx);
int32_t installBrocadePkg(int32_t pkgIndex, const CMPIContext *ctx);
int32_t installElxCNAPkg(int32_t pkgIndex, const CMPIContext *ctx);
int32_t installElxFCPkg(int32_t pkgIndex, const CMPIContext *ctx);
int32_t installQlgPkg(int32_t pkgIndex, const CMPIContext *ctx);
int32_t installBroadcomPkg(int32_t pkgIndex, const CMPIContext *ctx);
int32_t installLSIPkg(int32_t pkgIndex, const CMPIContext *ctx);

// Reads a job detail code such as "0x1A": the first two characters are skipped, every further
// character is folded in as a hexadecimal digit (32-bit, wrapping). Shorter texts give 0.
int32_t strHexToDec(const char *text);
