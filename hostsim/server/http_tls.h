// The server's TLS identity: a certificate chain and its private key in PEM, read from files and
// checked with GnuTLS before the server starts, so that a wrong file is named at once.
#pragma once

#include <string>

namespace hostsim::server {

struct TlsIdentity {
    std::string certificatePem;
    std::string keyPem;
};

// Reads both files (at most 1 MiB each) and checks that the key belongs to the first certificate.
// Throws std::runtime_error naming the file and GnuTLS's reason.
TlsIdentity load_tls_identity(const std::string &certificateFile, const std::string &keyFile);

} // namespace hostsim::server
