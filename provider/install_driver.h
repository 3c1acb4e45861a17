// The installation run: descriptors, ordering, payloads and installers, on the run's worker.
#pragma once

#include <cstdint>

#include <cmpi/cmpift.h>

// Runs the whole installation of the current run table; the result of the last installer
// called, or 1 when none was called.
int32_t syncInstallAllPkgs(const CMPIContext *ctx);

// Chooses the package's installer (InstallFunc) from its category and name.
void getPkgProviderName(int32_t pkgIndex);

// Calls the package's installer; -1 when none matches.
int32_t DeployUpdate(int32_t pkgIndex, const CMPIContext *ctx);
