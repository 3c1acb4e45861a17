// libsimbroadcom.so: Broadcom's firmware-update provider in brcmfwup/cimv2.
// BRCMFWUP_SoftwareInstallationService.InstallFromURI flashes from a directory of unpacked
// firmware, answering at once.
#include "vendor_provider.h"

HOSTSIM_SIM_PROVIDER(BRCMFWUP_Provider, hostsim::providers::DirectoryPayloadProvider, "broadcom")
