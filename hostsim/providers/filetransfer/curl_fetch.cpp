#include "curl_fetch.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include <curl/curl.h>

namespace filetransfer {

namespace {

struct EasyDeleter {
    void operator()(CURL *easy) const { curl_easy_cleanup(easy); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;

// A temporary file beside the destination: removed unless renamed into place.
class Incoming {
  public:
    explicit Incoming(const std::string &destination)
        : path_(destination.substr(0, destination.rfind('/') + 1) + ".incoming-XXXXXX") {
        fd_ = mkostemp(path_.data(), O_CLOEXEC);
        if (fd_ >= 0) {
            fchmod(fd_, 0644); // copies are readable like any fetched file
        }
    }
    ~Incoming() {
        close_file();
        if (!kept_) {
            unlink(path_.c_str());
        }
    }
    Incoming(const Incoming &) = delete;
    Incoming &operator=(const Incoming &) = delete;

    bool opened() const { return fd_ >= 0; }
    int error() const { return errno_; }

    size_t append(const char *data, size_t size) {
        for (size_t done = 0; done < size;) {
            ssize_t n = write(fd_, data + done, size - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                errno_ = n < 0 ? errno : ENOSPC;
                return 0; // less than offered: curl stops with a write error
            }
            done += static_cast<size_t>(n);
        }
        return size;
    }

    // Closes the copy and puts it in place of `destination`.
    bool keep_as(const std::string &destination) {
        if (!close_file() || rename(path_.c_str(), destination.c_str()) != 0) {
            errno_ = errno;
            return false;
        }
        kept_ = true;
        return true;
    }

  private:
    bool close_file() {
        if (fd_ < 0) {
            return true;
        }
        int rc = close(fd_);
        fd_ = -1;
        return rc == 0;
    }

    std::string path_;
    int fd_ = -1;
    int errno_ = 0;
    bool kept_ = false;
};

size_t write_body(char *data, size_t size, size_t count, void *incoming) {
    return static_cast<Incoming *>(incoming)->append(data, size * count);
}

bool no_space(int error) {
    return error == ENOSPC || error == EDQUOT;
}

TransferCode code_of(CURLcode rc, int writeError) {
    switch (rc) {
    case CURLE_OK:
        return kTransferDone;
    case CURLE_OPERATION_TIMEDOUT:
        return kTransferTimeout;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_BAD_FUNCTION_ARGUMENT:
        return kTransferInvalidInput;
    case CURLE_WRITE_ERROR:
        return no_space(writeError) ? kTransferNoSpace : kTransferFailed;
    default:
        return kTransferFailed;
    }
}

void set_text(CURL *easy, CURLoption option, const std::string &value) {
    if (!value.empty()) {
        curl_easy_setopt(easy, option, value.c_str());
    }
}

void set_login(CURL *easy, const FetchOptions &options) {
    set_text(easy, CURLOPT_USERNAME, options.user);
    set_text(easy, CURLOPT_PASSWORD, options.password);
    set_text(easy, CURLOPT_SSH_PRIVATE_KEYFILE, options.privateKey);
    if (!options.privateKey.empty()) {
        // An empty public key file makes libssh2 derive it from the private key.
        curl_easy_setopt(easy, CURLOPT_SSH_PUBLIC_KEYFILE, options.publicKey.c_str());
    }
    set_text(easy, CURLOPT_SSH_KNOWNHOSTS, options.knownHosts);
    curl_easy_setopt(easy, CURLOPT_SSH_AUTH_TYPES,
                     static_cast<long>(CURLSSH_AUTH_PUBLICKEY | CURLSSH_AUTH_PASSWORD));
}

} // namespace

FetchResult fetch(const std::string &uri, const std::string &destination,
                  const FetchOptions &options) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    FetchResult result;
    Incoming incoming(destination);
    if (!incoming.opened()) {
        result.code = no_space(errno) ? kTransferNoSpace : kTransferFailed;
        result.reason = "cannot write into the file store: " + std::string(std::strerror(errno));
        return result;
    }
    Easy easy(curl_easy_init());
    if (!easy) {
        result.reason = "cannot start a transfer";
        return result;
    }
    char curlError[CURL_ERROR_SIZE] = {};
    CURL *e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, uri.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, options.protocols.c_str());
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, options.connectSeconds);
    curl_easy_setopt(e, CURLOPT_TIMEOUT, options.totalSeconds);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, curlError);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, write_body);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &incoming);
    if (options.tftpBlockSize > 0) {
        curl_easy_setopt(e, CURLOPT_TFTP_BLKSIZE, options.tftpBlockSize);
    }
    set_login(e, options);

    CURLcode rc = curl_easy_perform(e);
    result.code = code_of(rc, incoming.error());
    if (rc != CURLE_OK) {
        result.reason = curl_easy_strerror(rc);
        if (curlError[0] != '\0') {
            result.reason += std::string(" (") + curlError + ")";
        }
        return result;
    }
    if (!incoming.keep_as(destination)) {
        result.code = no_space(incoming.error()) ? kTransferNoSpace : kTransferFailed;
        result.reason = "cannot store " + destination + ": " + std::strerror(incoming.error());
    }
    return result;
}

} // namespace filetransfer
