// libsimemulex.so: Emulex's provider in root/emulex, for both adapter families. CNA ports
// (ELXUCNA_EthernetPort, InstanceID = "driver-file-name:device-id") with
// ELXUCNA_SoftwareInstallationService, and FC adapters (ELXHBA_VitalProductData with FieldV2 and
// InstanceID) with ELXHBA_SoftwareInstallationService; each InstallFromURI puts one payload file
// on the port named by Target.
#include "vendor_provider.h"

HOSTSIM_SIM_PROVIDER(ELX_Provider, hostsim::providers::FilePayloadProvider, "emulex")
