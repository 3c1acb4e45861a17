#include "archive_install.h"

#include <cstring>

#include "broker_helpers.h"
#include "zelk_pkg_installer_broker.h"

const InstallMessages kCapitalisedMessages = {
    "Error when Create Input Parameter and the installation failed.",
    "Unsupported Target Type.",
};
const InstallMessages kLowerCaseMessages = {
    "Error when create input parameter and the installation failed.",
    "Unsupported target type.",
};

namespace {

// Vendors declare the return value uint32; other integer widths are taken by value so that no
// stray union bytes decide the outcome.
int32_t return_code_of(const CMPIData &data) {
    if (data.state & (CMPI_nullValue | CMPI_notFound | CMPI_badValue)) {
        return install_code::kNoReturnValue;
    }
    switch (data.type) {
    case CMPI_uint32:
        return static_cast<int32_t>(data.value.uint32);
    case CMPI_sint32:
        return data.value.sint32;
    case CMPI_uint16:
        return data.value.uint16;
    case CMPI_sint16:
        return data.value.sint16;
    case CMPI_uint8:
        return data.value.uint8;
    case CMPI_sint8:
        return data.value.sint8;
    case CMPI_uint64:
        return static_cast<int32_t>(data.value.uint64);
    case CMPI_sint64:
        return static_cast<int32_t>(data.value.sint64);
    default:
        return install_code::kNoReturnValue;
    }
}

} // namespace

void archive_path_of(const char *localFileURI, char (&archive)[kArchivePathSize]) {
    const char *slash = std::strchr(localFileURI, '/');
    copy_text(archive, slash ? slash + 1 : "");
}

int32_t record_install_code(int32_t pkgIndex, int32_t code, const InstallMessages &messages) {
    switch (code) {
    case install_code::kInstalled:
        update_Pkg_Install_status(pkgIndex, status_code::kInstalled,
                                  "Package installation successfully.");
        return 0;
    case install_code::kNotBuilt:
        update_Pkg_Install_status(pkgIndex, status_code::kCreateParameterFailed,
                                  messages.createFailed);
        return 1;
    case install_code::kUnsupportedTarget:
        update_Pkg_Install_status(pkgIndex, status_code::kUnsupportedTarget, messages.unsupported);
        return 1;
    case install_code::kPathMissing:
        update_Pkg_Install_status(pkgIndex, status_code::kPathMissing,
                                  "The path or file does not exist.");
        return 1;
    default:
        update_Pkg_Install_status(pkgIndex, status_code::kInstallError,
                                  "Package installation error happened.");
        return 1;
    }
}

InvokeOutcome invoke_install_from_uri(const CMPIContext *ctx, const CMPIObjectPath *service,
                                      const CMPIArgs *in) {
    const CMPIBroker *broker = QEL_VMWarePackageInstallationBroker;
    CMPIArgs *out = CMNewArgs(broker, nullptr);
    CMPIStatus rc{CMPI_RC_OK, nullptr};
    CMPIData returned = CBInvokeMethod(broker, ctx, service, "InstallFromURI", in,
                                       is_usable(out) ? out : nullptr, &rc);
    InvokeOutcome outcome;
    outcome.brokerOk = rc.rc == CMPI_RC_OK;
    outcome.returned = return_code_of(returned);
    if (!outcome.brokerOk) {
        outcome.message = status_message_text(rc);
    }
    if (is_usable(out)) {
        CMRelease(out);
    }
    return outcome;
}

void trace_broker_error(const std::string &message) {
    trace("Package installation error message: ");
    debug(message.c_str());
    debug("\n");
}

void trace_labelled(const char *label, const char *value) {
    trace(label);
    debug(value);
    debug("\n");
}
