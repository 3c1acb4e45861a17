// libsimqlogic.so: QLogic's provider in qlogic/cimv2. FC ports (QLogicFCHBA_FCPort with Model,
// keyed by DeviceID "adapter_port") and QLogicFCHBA_SoftwareInstallationService, whose
// InstallFromURI puts one payload file on the adapter named by Target.
#include "vendor_provider.h"

HOSTSIM_SIM_PROVIDER(QLGC_Provider, hostsim::providers::FilePayloadProvider, "qlogic")
