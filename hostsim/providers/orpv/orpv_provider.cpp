// libsimorpv.so: the LSI firmware-update provider in orpv/cimv2 (scenario section "lsi").
// ORPV_SoftwareInstallationService.InstallFromURI flashes SAS adapters, RAID adapters and drives
// from a directory of unpacked firmware, answering at once.
#include "vendor_provider.h"

HOSTSIM_SIM_PROVIDER(ORPV_Provider, hostsim::providers::DirectoryPayloadProvider, "lsi")
