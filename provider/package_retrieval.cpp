#include "package_retrieval.h"

#include <string>

#include "broker_helpers.h"
#include "zelk_pkg_installer_broker.h"

namespace {

constexpr const char *kTransferNameSpace = "qel/cimv2";
constexpr const char *kTransferClass = "QEL_FileTransferService";
constexpr CMPIUint16 kBlockSize = 2048;

// What differs between the two transfer kinds: the method and the texts that name the kind.
struct TransferKind {
    const char *method;
    const char *name; // "TFTP" or "SFTP"
    const char *noPathTrace;
    const char *invalidParameter;
    const char *asynchronous;
    const char *invalidDestination;
};

constexpr TransferKind kTftp = {
    "TransferViaTFTP",
    "TFTP",
    "fail to get object path from qel/cimv2:QEL_FileTransferService.\n",
    "Invalid input parameter in TFTP file transfer.",
    "Asynchronous TFTP transfer",
    "Invalid Destination URI from TFTP file transfer",
};

constexpr TransferKind kSftp = {
    "TransferViaURL",
    "SFTP",
    "fail to get object path from qel/cimv2:QEL_FileTransferService .\n",
    "Invalid input parameter in SFTP file transfer.",
    "Asynchronous SFTP transfer",
    "Invalid Destination URI from SFTP file transfer",
};

void fail_package(int32_t pkgIndex, int32_t code, const char *message) {
    update_Pkg_Install_status(pkgIndex, code, message);
    pkgInstance[pkgIndex].OrderFlag = order_flag::kFailed;
}

// Records the status of a transfer return code; true when the file counts as fetched.
bool record_transfer_code(const TransferKind &kind, int32_t pkgIndex, CMPIUint32 code) {
    switch (code) {
    case 0:
        update_Pkg_Install_status(pkgIndex, status_code::kDownloaded,
                                  "Package download completed with no error.");
        return true;
    case 1:
        fail_package(pkgIndex, status_code::kDownloadFailed, "Package download failed.");
        return false;
    case 2:
        fail_package(pkgIndex, status_code::kTimeoutOrUnopened, "TFTP file transfer timeout.");
        return false;
    case 3:
        fail_package(pkgIndex, status_code::kInvalidTransferParameter, kind.invalidParameter);
        return false;
    case 4:
        fail_package(pkgIndex, status_code::kNoSpace, "Not enough space on VMWare ESXi storage.");
        return false;
    case 5:
        // Not waited for: the run goes on as if the file were there.
        update_Pkg_Install_status(pkgIndex, status_code::kAsyncTransfer, kind.asynchronous);
        return true;
    default:
        fail_package(pkgIndex, status_code::kUnknownDownloadError,
                     "Unknown Error when package downloading");
        return false;
    }
}

void record_broker_error(int32_t pkgIndex, const std::string &text) {
    std::string message = "Package download error message: " + text;
    fail_package(pkgIndex, status_code::kTransferServiceError, message.c_str());
}

CMPIArgs *transfer_arguments(const char *uri) {
    const CMPIBroker *broker = QEL_VMWarePackageInstallationBroker;
    CMPIArgs *in = CMNewArgs(broker, nullptr);
    CMPIArray *options = CMNewArray(broker, 1, CMPI_uint16, nullptr);
    CMPIUint16 option = 0;
    CMSetArrayElementAt(options, 0, &option, CMPI_uint16);
    CMAddArg(in, "SourceURI", uri, CMPI_chars);
    CMAddArg(in, "TransferOptions", &options, CMPI_uint16A);
    CMAddArg(in, "BlockSize", &kBlockSize, CMPI_uint16);
    return in;
}

int32_t download(const TransferKind &kind, const char *uri, int32_t pkgIndex,
                 const CMPIContext *ctx) {
    tracef("Enter downloadFileVia%s.\n", kind.name);
    int32_t result = 1;
    const CMPIBroker *broker = QEL_VMWarePackageInstallationBroker;
    CMPIObjectPath *path = new_path(kTransferNameSpace, kTransferClass);
    const bool pathUsable = is_usable(path);
    if (!pathUsable) {
        trace(kind.noPathTrace);
        result = 0;
    }
    CMPIArgs *in = broker ? transfer_arguments(uri) : nullptr;
    CMPIArgs *out = broker ? CMNewArgs(broker, nullptr) : nullptr;

    trace("Downloading... \n");
    debug(uri);
    debug("\n");
    CMPIStatus rc{CMPI_RC_OK, nullptr};
    CMPIData returned{};
    if (pathUsable && is_usable(in) && is_usable(out)) {
        returned = CBInvokeMethod(broker, ctx, path, kind.method, in, out, &rc);
    }
    const CMPIUint32 code = returned.value.uint32;
    tracef("retCode: %u\n", code);

    PkgInstance &pkg = pkgInstance[pkgIndex];
    if (!pathUsable) {
        record_broker_error(pkgIndex, "Create CMPIObjectPath failed.");
    } else if (rc.rc != CMPI_RC_OK) {
        // The service could not be reached: its status explains why (nothing is appended when
        // it gives no message), and no output came back.
        record_broker_error(pkgIndex, status_message_text(rc));
        pkg.LocalFileURI[0] = '\0';
        tracef("Complete downloadFileVia%s.\n", kind.name);
        return 0;
    } else if (!record_transfer_code(kind, pkgIndex, code)) {
        result = 0;
    }

    const char *destination =
        is_usable(out) ? string_value(CMGetArg(out, "DestinationURI", nullptr)) : nullptr;
    if (destination == nullptr) {
        update_Pkg_Install_status(pkgIndex, status_code::kInvalidDestination,
                                  kind.invalidDestination);
        result = 0;
    } else {
        trace("DestinationPath is  ");
        debug(destination);
        debug("\n");
    }
    copy_text(pkg.LocalFileURI, destination ? destination : "");
    tracef("Complete downloadFileVia%s.\n", kind.name);
    return result;
}

} // namespace

int32_t downloadFileViaTFTP(const char *uri, int32_t pkgIndex, const CMPIContext *ctx) {
    return download(kTftp, uri, pkgIndex, ctx);
}

int32_t downloadFileViaSFTP(const char *uri, int32_t pkgIndex, const CMPIContext *ctx) {
    return download(kSftp, uri, pkgIndex, ctx);
}

int32_t GetFileFromLocalOrTFTP(const char *uri, int32_t pkgIndex, const CMPIContext *ctx) {
    if (uri == nullptr || pkgIndex < 0 || pkgIndex >= zelk::kMaxPackages) {
        trace("GetFileFromLocalOrTFTP: no such package.\n");
        return 0;
    }
    trace("Enter GetFileFromLocalOrTFTP.");
    debug(uri);
    debug("\n");
    switch (filelocation) {
    case file_location::kLocal:
        copy_text(pkgInstance[pkgIndex].LocalFileURI, uri);
        return 1;
    case file_location::kTftp:
        return downloadFileViaTFTP(uri, pkgIndex, ctx);
    case file_location::kSftp:
        trace("Enter FileLocationSFTP\n");
        return downloadFileViaSFTP(uri, pkgIndex, ctx);
    case file_location::kHypervisorBundle:
        // The bundle is not fetched: the hypervisor reads it from its location.
        copy_text(pkgInstance[0].category, "Embedded Hypervisor");
        copy_text(pkgInstance[0].Name, "VMware");
        return 0;
    default:
        return filelocation;
    }
}

void deleteTransferedFile(const char *fileUri, const CMPIContext *ctx) {
    CMPIObjectPath *path = new_path(kTransferNameSpace, kTransferClass);
    if (!is_usable(path)) {
        trace("Can't create deleteTransferedFile object.\n");
        return;
    }
    const CMPIBroker *broker = QEL_VMWarePackageInstallationBroker;
    trace("Delete file ");
    debug(fileUri ? fileUri : "");
    debug("\n");
    CMPIArgs *in = CMNewArgs(broker, nullptr);
    CMPIArgs *out = CMNewArgs(broker, nullptr);
    CMAddArg(in, "FileURI", fileUri ? fileUri : "", CMPI_chars);
    CMPIStatus rc{CMPI_RC_OK, nullptr};
    CBInvokeMethod(broker, ctx, path, "DeleteTransferredFile", in, out, &rc);
    if (rc.rc == CMPI_RC_OK) {
        trace("Complete deleteTransferedFile.\n");
        return;
    }
    trace("deleteTransferedFile failed.\n");
    std::string message = status_message_text(rc);
    if (!message.empty()) {
        trace("Error message:");
        debug(message.c_str());
        debug("\n");
    }
}
