// libsimfiletransfer.so: QEL_FileTransferService in qel/cimv2. TransferViaTFTP and TransferViaURL
// really fetch SourceURI into the file store and answer DestinationURI "file://" + the copy's
// path; DeleteTransferredFile removes a copy from the store and nothing else. A scenario reply
// with "return" answers that code and its "out" instead of transferring or deleting.
#include <algorithm>

#include <cmpi/cmpimacs.h>

#include "curl_fetch.h"
#include "file_store.h"
#include "hostsimkit.h"

namespace {

using hostsim::sim::Json;
using hostsim::sim::MethodReply;
using hostsim::sim::Request;

constexpr const char *kDeleteMethod = "DeleteTransferredFile";
constexpr long kDefaultTimeoutSeconds = 30;
constexpr long kConnectSeconds = 5;
constexpr CMPIUint16 kSmallestBlock = 8; // the TFTP block-size option's range
constexpr CMPIUint16 kLargestBlock = 65464;

struct TransferMethod {
    const char *name;
    const char *protocols;
    bool blockSized; // BlockSize is the TFTP block size
};

constexpr TransferMethod kTransferMethods[] = {
    {"TransferViaTFTP", "tftp,file", true},
    {"TransferViaURL", "sftp,file", false},
};

using hostsim::sim::same_name;

// The transfer's arguments as the service accepts them, their types checked by the request's
// rule; false for values it refuses (3).
bool read_transfer_args(const CMPIArgs *in, std::string *source, long *blockSize) {
    *source = hostsim::sim::argument_text(in, "SourceURI");
    CMPIUint16 block = CMGetArg(in, "BlockSize", nullptr).value.uint16;
    if (source->empty() || block < kSmallestBlock || block > kLargestBlock) {
        return false;
    }
    *blockSize = block;
    return true;
}

std::string store_of(const Json &section) {
    std::string store = section.value("store", std::string(filetransfer::kDefaultStore));
    while (store.size() > 1 && store.back() == '/') {
        store.pop_back();
    }
    return store;
}

filetransfer::FetchOptions fetch_options(const Json &section, const TransferMethod &method) {
    filetransfer::FetchOptions options;
    options.protocols = method.protocols;
    options.totalSeconds = std::max(1L, section.value("timeout_seconds", kDefaultTimeoutSeconds));
    options.connectSeconds = std::min(kConnectSeconds, options.totalSeconds);
    const Json sftp = section.value("sftp", Json::object());
    options.user = sftp.value("user", std::string());
    options.password = sftp.value("password", std::string());
    options.privateKey = sftp.value("private_key", std::string());
    options.publicKey = sftp.value("public_key", std::string());
    options.knownHosts = sftp.value("known_hosts", std::string());
    return options;
}

// Sets `name` among the reply's out arguments unless the scenario gives it already.
void add_out(MethodReply &reply, const char *name, const std::string &value) {
    if (!reply.out.contains(name)) {
        reply.out[name] = value;
    }
}

void transfer(const Request &request, const TransferMethod &method, const CMPIArgs *in,
              MethodReply &reply) {
    std::string source;
    long blockSize = 0;
    if (!read_transfer_args(in, &source, &blockSize)) {
        reply.returnValue = filetransfer::kTransferInvalidInput;
        add_out(reply, "ErrorDescription",
                "SourceURI is empty, or BlockSize is not from 8 to 65464");
        return;
    }
    const std::string store = store_of(request.section);
    std::string error;
    if (!filetransfer::ensure_store(store, &error)) {
        reply.returnValue = filetransfer::kTransferFailed;
        add_out(reply, "ErrorDescription", error);
        return;
    }
    const std::string destination = store + "/" + filetransfer::copy_name(source);
    filetransfer::FetchOptions options = fetch_options(request.section, method);
    options.tftpBlockSize = method.blockSized ? blockSize : 0;
    filetransfer::FetchResult fetched = filetransfer::fetch(source, destination, options);
    reply.returnValue = fetched.code;
    // Also after a failure: the place the copy was meant for.
    add_out(reply, "DestinationURI", "file://" + destination);
    if (fetched.code != filetransfer::kTransferDone) {
        add_out(reply, "ErrorDescription", fetched.reason);
    }
}

// Removes the copy; a failed status for a request the store refuses.
CMPIStatus delete_copy(const Request &request, const CMPIArgs *in) {
    const CMPIBroker *broker = request.broker;
    const std::string uri = hostsim::sim::argument_text(in, "FileURI");
    const std::string store = store_of(request.section);
    const std::string path = filetransfer::path_of_file_uri(uri);
    if (path.empty()) {
        return hostsim::sim::error_status(broker, CMPI_RC_ERR_ACCESS_DENIED,
                                          "refusing to delete " + uri +
                                              ": not a file of the store " + store);
    }
    std::string error;
    switch (filetransfer::remove_from_store(store, path, &error)) {
    case filetransfer::Removal::kRemoved:
        return hostsim::sim::ok_status();
    case filetransfer::Removal::kOutsideStore:
        return hostsim::sim::error_status(broker, CMPI_RC_ERR_ACCESS_DENIED, error);
    case filetransfer::Removal::kMissing:
        return hostsim::sim::error_status(broker, CMPI_RC_ERR_NOT_FOUND, error);
    case filetransfer::Removal::kFailed:
        break;
    }
    return hostsim::sim::error_status(broker, CMPI_RC_ERR_FAILED, error);
}

class FileTransferProvider : public hostsim::sim::SimProvider {
  public:
    using SimProvider::SimProvider;

    CMPIStatus invoke(const Request &request, const std::string &method, const CMPIArgs *in,
                      CMPIArgs *out) override {
        const TransferMethod *kind = nullptr;
        for (const TransferMethod &candidate : kTransferMethods) {
            kind = same_name(method, candidate.name) ? &candidate : kind;
        }
        std::string key;
        const Json *entry = method_entry(request, method, &key);
        if ((kind == nullptr && !same_name(method, kDeleteMethod)) || entry == nullptr) {
            return SimProvider::invoke(request, method, in, out);
        }
        MethodReply reply = hostsim::sim::method_reply(key, *entry, 0);
        if (!reply.fail && !reply.returnGiven) {
            if (kind != nullptr) {
                transfer(request, *kind, in, reply);
            } else {
                CMPIStatus refused = delete_copy(request, in);
                if (refused.rc != CMPI_RC_OK) {
                    return refused;
                }
            }
        }
        return hostsim::sim::send_reply(request.broker, request.result, out, reply);
    }
};

} // namespace

HOSTSIM_SIM_PROVIDER(QEL_FileTransferProvider, FileTransferProvider, "file_transfer")
