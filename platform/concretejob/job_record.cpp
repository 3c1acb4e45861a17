#include "job_record.h"

#include <cstring>
#include <ctime>
#include <map>
#include <sstream>

namespace concretejob {

namespace {

bool is_name_char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool is_job_name(const std::string &name) {
    if (name.empty() || name.size() > kMaxJobNameLength) {
        return false;
    }
    for (char c : name) {
        if (!is_name_char(c)) {
            return false;
        }
    }
    return true;
}

// A field of the descriptor: NUL-terminated within its width, not empty, printable.
bool read_field(const char (&field)[JOB_DESCRIPTOR_FIELD_SIZE], std::string *out) {
    const void *end = std::memchr(field, '\0', sizeof field);
    if (end == nullptr || end == field) {
        return false;
    }
    std::string value(field, static_cast<const char *>(end));
    for (unsigned char c : value) {
        if (c < 0x20 || c == 0x7f) {
            return false;
        }
    }
    *out = std::move(value);
    return true;
}

// Numbers in canonical decimal: digits only, no leading zero, at most kMaxJobNumber.
bool parse_number(const std::string &text, long long max, unsigned long long *value) {
    if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) {
        return false;
    }
    unsigned long long result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        unsigned long long digit = static_cast<unsigned long long>(c - '0');
        if (result > (static_cast<unsigned long long>(max) - digit) / 10) {
            return false;
        }
        result = result * 10 + digit;
    }
    *value = result;
    return true;
}

// Record values are single lines: backslash, CR and LF are escaped.
std::string escape(const std::string &value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool unescape(const std::string &value, std::string *out) {
    out->clear();
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            *out += value[i];
            continue;
        }
        if (++i == value.size()) {
            return false;
        }
        switch (value[i]) {
        case '\\':
            *out += '\\';
            break;
        case 'n':
            *out += '\n';
            break;
        case 'r':
            *out += '\r';
            break;
        default:
            return false;
        }
    }
    return true;
}

} // namespace

bool record_from_descriptor(const JobDescriptor *descriptor, JobRecord *record) {
    if (descriptor == nullptr) {
        return false;
    }
    JobRecord result;
    if (!read_field(descriptor->job_name, &result.name) || !is_job_name(result.name) ||
        !read_field(descriptor->provider_library, &result.library) ||
        !read_field(descriptor->status_function, &result.statusFunction) ||
        !read_field(descriptor->cleanup_function, &result.cleanupFunction)) {
        return false;
    }
    *record = std::move(result);
    return true;
}

bool parse_job_number(const std::string &text, long long *number) {
    unsigned long long value = 0;
    if (!parse_number(text, kMaxJobNumber, &value) || value == 0) {
        return false;
    }
    *number = static_cast<long long>(value);
    return true;
}

bool parse_instance_id(const std::string &instanceId, std::string *name, long long *number) {
    size_t dash = instanceId.find('-');
    if (dash == std::string::npos) {
        return false;
    }
    std::string prefix = instanceId.substr(0, dash);
    if (!is_job_name(prefix) || !parse_job_number(instanceId.substr(dash + 1), number)) {
        return false;
    }
    *name = std::move(prefix);
    return true;
}

std::string make_instance_id(const std::string &name, long long number) {
    return name + "-" + std::to_string(number);
}

std::string format_record(const JobRecord &record) {
    std::ostringstream out;
    out << "name=" << escape(record.name) << '\n'
        << "library=" << escape(record.library) << '\n'
        << "status_function=" << escape(record.statusFunction) << '\n'
        << "cleanup_function=" << escape(record.cleanupFunction) << '\n'
        << "state=" << record.state << '\n'
        << "status=" << escape(record.status) << '\n'
        << "changed=" << record.changedMicros << '\n';
    return out.str();
}

bool parse_record(const std::string &text, JobRecord *record) {
    std::map<std::string, std::string> fields;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            return false;
        }
        std::string value;
        if (!unescape(line.substr(equals + 1), &value) ||
            !fields.emplace(line.substr(0, equals), std::move(value)).second) {
            return false;
        }
    }
    static const char *const kKeys[] = {"name",  "library", "status_function", "cleanup_function",
                                        "state", "status",  "changed"};
    for (const char *key : kKeys) {
        if (fields.count(key) == 0) {
            return false;
        }
    }
    JobRecord result;
    result.name = fields["name"];
    result.library = fields["library"];
    result.statusFunction = fields["status_function"];
    result.cleanupFunction = fields["cleanup_function"];
    result.status = fields["status"];
    unsigned long long state = 0;
    unsigned long long changed = 0;
    if (!is_job_name(result.name) || !parse_number(fields["state"], 65535, &state) ||
        !parse_number(fields["changed"], INT64_MAX, &changed)) {
        return false;
    }
    result.state = static_cast<uint32_t>(state);
    result.changedMicros = changed;
    *record = std::move(result);
    return true;
}

uint64_t now_micros() {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000;
}

} // namespace concretejob
