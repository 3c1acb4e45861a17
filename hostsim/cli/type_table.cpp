// Types of the keys and method arguments that differ from string. Names compare without case.
#include <strings.h>

#include "type_table.h"

namespace hostsim::cli {

namespace {

struct Entry {
    const char *className;
    const char *method; // null: a key of the class
    const char *name;
    CMPIType type;
};

const Entry kTable[] = {
    {"XORVO_VMpkgInstallationService", "InstallFromURI", "InstallOptions", CMPI_uint16A},
    {"QEL_FileTransferService", "TransferViaTFTP", "TransferOptions", CMPI_uint16A},
    {"QEL_FileTransferService", "TransferViaTFTP", "BlockSize", CMPI_uint16},
    {"QEL_FileTransferService", "TransferViaURL", "TransferOptions", CMPI_uint16A},
    {"QEL_FileTransferService", "TransferViaURL", "BlockSize", CMPI_uint16},
    {"QEL_SoftwareInstallationService", "InstallFromURI", "Update_Operation", CMPI_uint8},
    {"VMware_SoftwareInstallationService", "InstallFromURI", "Target", CMPI_ref},
    {"BROCADE_HBASoftwareInstallationService", "InstallFromURI", "InstallOptions", CMPI_uint16A},
    {"BROCADE_HBASoftwareInstallationService", "InstallFromURI", "Target", CMPI_ref},
    {"ELXUCNA_SoftwareInstallationService", "InstallFromURI", "Target", CMPI_ref},
    {"ELXHBA_SoftwareInstallationService", "InstallFromURI", "Target", CMPI_ref},
    {"QLogicFCHBA_SoftwareInstallationService", "InstallFromURI", "InstallOptions", CMPI_uint16A},
    {"QLogicFCHBA_SoftwareInstallationService", "InstallFromURI", "Target", CMPI_ref},
};

bool same(const char *a, const std::string &b) {
    return strcasecmp(a, b.c_str()) == 0;
}

CMPIType lookup(const std::string &className, const char *method, const std::string &name) {
    for (const Entry &entry : kTable) {
        bool sameMethod = method == nullptr ? entry.method == nullptr
                                            : entry.method != nullptr && same(entry.method, method);
        if (sameMethod && same(entry.className, className) && same(entry.name, name)) {
            return entry.type;
        }
    }
    return CMPI_string;
}

} // namespace

CMPIType key_type(const std::string &className, const std::string &name) {
    return lookup(className, nullptr, name);
}

CMPIType argument_type(const std::string &className, const std::string &method,
                       const std::string &name) {
    return lookup(className, method.c_str(), name);
}

} // namespace hostsim::cli
