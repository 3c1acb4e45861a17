// libsimbrocade.so: Brocade's adapter provider in root/brocade. Cards (BROCADE_PhysicalPackage
// with Model and SerialNumber), their ports (BROCADE_PortController, Name = the card's serial
// number) and BROCADE_HBASoftwareInstallationService, whose InstallFromURI puts one payload file
// on the port named by Target.
#include "vendor_provider.h"

HOSTSIM_SIM_PROVIDER(BROCADE_Provider, hostsim::providers::FilePayloadProvider, "brocade")
