// URI lists and status texts of `hostsim install`.
#include "install_status.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli_errors.h"

namespace hostsim::cli {

namespace {

constexpr size_t kMaxUriLength = 199;
// The run's status file on the host and the most of it that a job reads.
constexpr const char *kStatusFilePrefix = "/tmp/zelkstat";
constexpr size_t kStatusTextSize = 1024;
const char *const kSchemes[] = {"file://", "tftp://", "sftp://", "ftp://"};

std::vector<std::string> split(const std::string &text, char separator) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1) {
        pieces.push_back(text.substr(start, at - start));
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

std::string scheme_of(const std::string &uri) {
    for (const char *scheme : kSchemes) {
        if (uri.rfind(scheme, 0) == 0) {
            return scheme;
        }
    }
    return "";
}

// "id: code: message", with the id ending at the first ": " that a decimal code and ": " follow.
bool parse_line(const std::string &field, PackageStatus *status) {
    for (size_t colon = field.find(": "); colon != std::string::npos;
         colon = field.find(": ", colon + 1)) {
        size_t digits = colon + 2;
        size_t end = digits + (digits < field.size() && field[digits] == '-' ? 1 : 0);
        size_t first = end;
        while (end < field.size() && end - first < 9 && field[end] >= '0' && field[end] <= '9') {
            ++end;
        }
        if (end == first || field.compare(end, 2, ": ") != 0) {
            continue;
        }
        status->reported = true;
        status->id = field.substr(0, colon);
        status->code = std::stoi(field.substr(digits, end - digits));
        status->message = field.substr(end + 2);
        return true;
    }
    return false;
}

} // namespace

std::vector<std::string> split_uri_list(const std::string &list) {
    if (list.empty()) {
        throw usage_error("install: the URI list is empty");
    }
    std::vector<std::string> uris = split(list, '|');
    if (uris.size() > kMaxPackages) {
        throw usage_error("install: " + std::to_string(uris.size()) +
                          " URIs, the provider takes at most " + std::to_string(kMaxPackages));
    }
    for (size_t i = 0; i < uris.size(); ++i) {
        const std::string &uri = uris[i];
        std::string which = "install: URI " + std::to_string(i + 1);
        if (uri.empty()) {
            throw usage_error(which + " is empty");
        }
        if (uri.size() > kMaxUriLength) {
            throw usage_error(which + " is longer than " + std::to_string(kMaxUriLength) +
                              " characters");
        }
        std::string scheme = scheme_of(uri);
        if (scheme.empty() || uri.find('/', scheme.size()) == std::string::npos) {
            throw usage_error(which + " '" + uri +
                              "' is not a file://, tftp://, sftp:// or ftp:// path");
        }
        if (scheme != scheme_of(uris[0])) {
            throw usage_error(which + " is " + scheme + ", the list began with " +
                              scheme_of(uris[0]));
        }
    }
    return uris;
}

std::string package_id(const std::string &uri) {
    std::string id = uri.substr(uri.rfind('/') + 1);
    size_t dot = id.rfind('.');
    return dot == std::string::npos || dot == 0 ? id : id.substr(0, dot);
}

StatusText parse_status_text(const std::string &text) {
    StatusText parsed;
    if (text.empty()) {
        return parsed;
    }
    std::vector<std::string> fields = split(text, '|');
    parsed.complete = fields[0] == "1";
    // The last field is empty when the text ends with its "|", and cut short otherwise, unless
    // the job's one line ended at a message's own line feed.
    if (fields.size() < 2 || !cut_at_line_end(text)) {
        fields.pop_back();
    }
    for (size_t i = 1; i < fields.size(); ++i) {
        PackageStatus status;
        bool line = parse_line(fields[i], &status);
        if (!line && !fields[i].empty() && !parsed.packages.empty() &&
            parsed.packages.back().reported) {
            parsed.packages.back().message += "|" + fields[i];
        } else {
            parsed.packages.push_back(status);
        }
    }
    return parsed;
}

bool cut_at_line_end(const std::string &jobText) {
    return !jobText.empty() && jobText.back() == '\n';
}

std::string recorded_status_text(const std::string &jobId) {
    if (jobId.empty() || jobId.find('/') != std::string::npos) {
        return "";
    }
    const std::string path = kStatusFilePrefix + jobId + ".txt";
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return "";
    }
    struct stat info {};
    char text[kStatusTextSize] = {};
    ssize_t got =
        fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? read(fd, text, sizeof text - 1) : -1;
    close(fd);
    return got > 0 ? std::string(text, static_cast<size_t>(got)) : "";
}

bool is_final_code(int code) {
    return code != 0 && code != 10 && code != 15 && !(code >= 60 && code <= 62);
}

std::string message_line(const std::string &message) {
    std::string line;
    for (char c : message) {
        line += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
    }
    return line;
}

std::string status_line(const PackageStatus &status) {
    return status.id + ": " + std::to_string(status.code) + ": " + message_line(status.message);
}

std::string job_state_name(unsigned state) {
    static const char *const kNames[] = {"New",           "Starting",  "Running",      "Suspended",
                                         "Shutting Down", "Completed", "Terminated",   "Killed",
                                         "Exception",     "Service",   "Query Pending"};
    return state >= 2 && state <= 12 ? kNames[state - 2] : "unknown";
}

} // namespace hostsim::cli
