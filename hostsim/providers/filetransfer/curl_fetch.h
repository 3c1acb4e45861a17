// Fetching one file with libcurl into the file store, and the transfer service's return code for
// the outcome.
#pragma once

#include <string>

namespace filetransfer {

// Return codes of a transfer, as the service reports them.
enum TransferCode : unsigned {
    kTransferDone = 0,
    kTransferFailed = 1,
    kTransferTimeout = 2,
    kTransferInvalidInput = 3,
    kTransferNoSpace = 4,
};

struct FetchOptions {
    std::string protocols;   // the schemes allowed, as curl lists them: "tftp,file"
    long connectSeconds = 5; // bounds, so that an unreachable server never hangs a caller
    long totalSeconds = 30;
    long tftpBlockSize = 0; // 0: curl's default
    // SFTP login; the user may also come with the URI.
    std::string user;
    std::string password;
    std::string privateKey;
    std::string publicKey;  // empty: derived from the private key
    std::string knownHosts; // empty: the server's host key is not checked
};

struct FetchResult {
    TransferCode code = kTransferFailed;
    std::string reason; // curl's or the file system's words when the code is not kTransferDone
};

// Fetches `uri` into the file `destination`, replacing it only once the whole file has arrived
// (a failed fetch leaves no partial copy behind).
FetchResult fetch(const std::string &uri, const std::string &destination,
                  const FetchOptions &options);

} // namespace filetransfer
