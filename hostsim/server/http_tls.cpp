// PEM files read with a size bound and checked as GnuTLS will load them.
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <unistd.h>

#include <gnutls/gnutls.h>

#include "http_tls.h"

namespace hostsim::server {

namespace {

constexpr size_t kMaxPemSize = 1u << 20;

std::string read_pem(const std::string &path, const char *what) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error(std::string(what) + " " + path + ": cannot be read");
    }
    std::string text;
    char chunk[8192];
    ssize_t got = 0;
    while ((got = read(fd, chunk, sizeof chunk)) > 0 && text.size() <= kMaxPemSize) {
        text.append(chunk, static_cast<size_t>(got));
    }
    close(fd);
    if (got < 0 || text.size() > kMaxPemSize) {
        throw std::runtime_error(std::string(what) + " " + path + ": cannot be read");
    }
    return text;
}

struct CredentialsFree {
    void operator()(gnutls_certificate_credentials_t credentials) const {
        gnutls_certificate_free_credentials(credentials);
    }
};

} // namespace

TlsIdentity load_tls_identity(const std::string &certificateFile, const std::string &keyFile) {
    TlsIdentity identity{read_pem(certificateFile, "certificate"), read_pem(keyFile, "key")};
    gnutls_certificate_credentials_t raw = nullptr;
    if (gnutls_certificate_allocate_credentials(&raw) != GNUTLS_E_SUCCESS) {
        throw std::bad_alloc();
    }
    std::unique_ptr<gnutls_certificate_credentials_st, CredentialsFree> credentials(raw);
    gnutls_datum_t cert{reinterpret_cast<unsigned char *>(identity.certificatePem.data()),
                        static_cast<unsigned>(identity.certificatePem.size())};
    gnutls_datum_t key{reinterpret_cast<unsigned char *>(identity.keyPem.data()),
                       static_cast<unsigned>(identity.keyPem.size())};
    int rc = gnutls_certificate_set_x509_key_mem2(credentials.get(), &cert, &key,
                                                  GNUTLS_X509_FMT_PEM, nullptr, 0);
    if (rc < 0) {
        throw std::runtime_error("certificate " + certificateFile + " with key " + keyFile + ": " +
                                 gnutls_strerror(rc));
    }
    return identity;
}

} // namespace hostsim::server
