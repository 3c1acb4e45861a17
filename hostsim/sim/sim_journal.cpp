// Journal records and their atomic appends.
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

#include <cmpi/cmpimacs.h>

#include "sim_journal.h"
#include "sim_values.h"

namespace hostsim::sim {

Json request_record(const std::string &operation, const CMPIObjectPath *path,
                    const CMPIArgs *args) {
    Json record = Json::object();
    record["namespace"] = path ? chars_of(CMGetNameSpace(path, nullptr)) : "";
    record["class"] = path ? chars_of(CMGetClassName(path, nullptr)) : "";
    record["operation"] = operation;
    record["keys"] = keys_to_json(path);
    record["args"] = args_to_json(args);
    return record;
}

bool append_journal_line(const std::string &path, const Json &record) {
    std::string line;
    try {
        line = record.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
    } catch (const std::exception &) {
        return false;
    }
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    ssize_t written;
    do {
        written = write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    close(fd);
    return written == static_cast<ssize_t>(line.size());
}

namespace {

// Appends the record that `make` builds to the journal named by HOSTSIM_JOURNAL, if any.
template <class Make> void journal_made(Make make) {
    const char *journal = std::getenv(kJournalVariable);
    if (journal == nullptr || *journal == '\0') {
        return;
    }
    try {
        append_journal_line(journal, make());
    } catch (...) {
        // A journal that cannot be written never fails the request itself.
    }
}

} // namespace

void journal_request(const std::string &operation, const CMPIObjectPath *path,
                     const CMPIArgs *args) {
    journal_made([&] { return request_record(operation, path, args); });
}

void journal_refusal(const std::string &method, const CMPIObjectPath *path,
                     const std::string &answer, const std::string &reason) {
    journal_made([&] {
        Json record = request_record("Refused", path, nullptr);
        record["method"] = method;
        record["answer"] = answer;
        record["reason"] = reason;
        return record;
    });
}

std::vector<Json> read_journal(const std::string &path) {
    std::vector<Json> records;
    std::ifstream in(path, std::ios::binary);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        try {
            records.push_back(Json::parse(line));
        } catch (const nlohmann::json::parse_error &error) {
            throw SimError(path + ":" + std::to_string(number) + ": " + error.what());
        }
    }
    return records;
}

} // namespace hostsim::sim
