// CIM-XML value text: strict parsing (the whole text must be the value) and plain formatting.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <type_traits>
#include <strings.h>

#include <cmpi/cmpimacs.h>

#include "cim_fault.h"
#include "cim_values.h"
#include "class_decl.h"
#include "hostsim_broker.h"

namespace hostsim::server {

namespace {

std::string trimmed(const std::string &text) {
    size_t start = text.find_first_not_of(" \t\r\n");
    size_t stop = text.find_last_not_of(" \t\r\n");
    return start == std::string::npos ? "" : text.substr(start, stop - start + 1);
}

CimFault bad_value(const std::string &what, const std::string &text, CMPIType type) {
    const char *name = cim_type_name(type);
    return invalid_parameter(what + ": '" + text + "' is not a " + (name ? name : "value"));
}

// Decimal or 0x hex digits after an optional sign.
struct Integer {
    bool negative = false;
    unsigned long long magnitude = 0;
};

bool parse_integer(const std::string &text, Integer *out) {
    std::string digits = text;
    out->negative = !digits.empty() && digits[0] == '-';
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
        digits.erase(0, 1);
    }
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.erase(0, 2);
    }
    if (digits.empty() || !std::isxdigit(static_cast<unsigned char>(digits[0]))) {
        return false;
    }
    errno = 0;
    char *end = nullptr;
    out->magnitude = std::strtoull(digits.c_str(), &end, base);
    return errno == 0 && *end == '\0';
}

template <class T> bool integer_of(const std::string &text, T *out) {
    Integer n;
    if (!parse_integer(text, &n)) {
        return false;
    }
    const auto max = static_cast<unsigned long long>(std::numeric_limits<T>::max());
    if (!n.negative || n.magnitude == 0) {
        *out = static_cast<T>(n.magnitude);
        return n.magnitude <= max;
    }
    if (!std::is_signed<T>::value || n.magnitude > max + 1) {
        return false;
    }
    *out = n.magnitude == max + 1 ? std::numeric_limits<T>::min()
                                  : static_cast<T>(-static_cast<long long>(n.magnitude));
    return true;
}

bool real_of(const std::string &text, double *out) {
    if (strcasecmp(text.c_str(), "NaN") == 0) {
        *out = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (strcasecmp(text.c_str(), "INF") == 0 || strcasecmp(text.c_str(), "-INF") == 0) {
        *out = (text[0] == '-' ? -1 : 1) * std::numeric_limits<double>::infinity();
        return true;
    }
    char *end = nullptr;
    errno = 0;
    *out = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && errno == 0 && std::isfinite(*out);
}

// One UTF-8 character of the Basic Multilingual Plane.
bool char16_of(const std::string &text, CMPIChar16 *out) {
    const auto *s = reinterpret_cast<const unsigned char *>(text.c_str());
    if (text.size() == 1 && s[0] < 0x80) {
        *out = s[0];
    } else if (text.size() == 2 && (s[0] & 0xE0) == 0xC0 && (s[1] & 0xC0) == 0x80) {
        *out = static_cast<CMPIChar16>(((s[0] & 0x1F) << 6) | (s[1] & 0x3F));
    } else if (text.size() == 3 && (s[0] & 0xF0) == 0xE0 && (s[1] & 0xC0) == 0x80 &&
               (s[2] & 0xC0) == 0x80) {
        *out =
            static_cast<CMPIChar16>(((s[0] & 0x0F) << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F));
    } else {
        return false;
    }
    return true;
}

std::string utf8_of(CMPIChar16 c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

bool digits_at(const std::string &text, size_t from, size_t count, long *out) {
    long value = 0;
    for (size_t i = from; i < from + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    *out = value;
    return true;
}

std::string real_text(double value, int digits) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-INF" : "INF";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    return text;
}

} // namespace

bool parse_datetime(const std::string &text, CMPIUint64 *micros, bool *interval) {
    long fields[6] = {};
    long fraction = 0, offset = 0;
    if (text.size() != 25 || text[14] != '.' || !digits_at(text, 15, 6, &fraction) ||
        !digits_at(text, 22, 3, &offset)) {
        return false;
    }
    *interval = text[21] == ':';
    if (*interval) {
        long days = 0;
        if (offset != 0 || !digits_at(text, 0, 8, &days) || !digits_at(text, 8, 2, &fields[3]) ||
            !digits_at(text, 10, 2, &fields[4]) || !digits_at(text, 12, 2, &fields[5]) ||
            fields[3] > 23 || fields[4] > 59 || fields[5] > 59) {
            return false;
        }
        CMPIUint64 seconds = static_cast<CMPIUint64>(days) * 86400 +
                             static_cast<CMPIUint64>(fields[3] * 3600 + fields[4] * 60 + fields[5]);
        *micros = seconds * 1000000 + static_cast<CMPIUint64>(fraction);
        return true;
    }
    const size_t widths[6] = {4, 2, 2, 2, 2, 2};
    for (size_t i = 0, at = 0; i < 6; at += widths[i], ++i) {
        if (!digits_at(text, at, widths[i], &fields[i])) {
            return false;
        }
    }
    if ((text[21] != '+' && text[21] != '-') || fields[1] < 1 || fields[1] > 12 || fields[2] < 1 ||
        fields[2] > 31 || fields[3] > 23 || fields[4] > 59 || fields[5] > 60) {
        return false;
    }
    struct tm utc {};
    utc.tm_year = static_cast<int>(fields[0] - 1900);
    utc.tm_mon = static_cast<int>(fields[1] - 1);
    utc.tm_mday = static_cast<int>(fields[2]);
    utc.tm_hour = static_cast<int>(fields[3]);
    utc.tm_min = static_cast<int>(fields[4]);
    utc.tm_sec = static_cast<int>(fields[5]);
    long long seconds = static_cast<long long>(timegm(&utc));
    // The offset says how far local time is ahead of UTC.
    seconds -= (text[21] == '+' ? offset : -offset) * 60;
    if (seconds < 0) {
        return false;
    }
    *micros = static_cast<CMPIUint64>(seconds) * 1000000 + static_cast<CMPIUint64>(fraction);
    return true;
}

CMPIValue value_from_text(CMPIType type, const std::string &raw, const std::string &what) {
    CMPIValue value{};
    std::string text = type == CMPI_string || type == CMPI_chars ? raw : trimmed(raw);
    bool ok = true;
    switch (type) {
    case CMPI_boolean:
        ok = strcasecmp(text.c_str(), "true") == 0 || strcasecmp(text.c_str(), "false") == 0;
        value.boolean = strcasecmp(text.c_str(), "true") == 0;
        break;
    case CMPI_char16:
        ok = char16_of(text, &value.char16);
        break;
    case CMPI_real32:
    case CMPI_real64: {
        double real = 0;
        ok = real_of(text, &real) && (type == CMPI_real64 || !std::isfinite(real) ||
                                      std::fabs(real) <= std::numeric_limits<float>::max());
        if (type == CMPI_real32) {
            value.real32 = static_cast<CMPIReal32>(real);
        } else {
            value.real64 = real;
        }
        break;
    }
    case CMPI_uint8:
        ok = integer_of(text, &value.uint8);
        break;
    case CMPI_uint16:
        ok = integer_of(text, &value.uint16);
        break;
    case CMPI_uint32:
        ok = integer_of(text, &value.uint32);
        break;
    case CMPI_uint64:
        ok = integer_of(text, &value.uint64);
        break;
    case CMPI_sint8:
        ok = integer_of(text, &value.sint8);
        break;
    case CMPI_sint16:
        ok = integer_of(text, &value.sint16);
        break;
    case CMPI_sint32:
        ok = integer_of(text, &value.sint32);
        break;
    case CMPI_sint64:
        ok = integer_of(text, &value.sint64);
        break;
    case CMPI_string:
    case CMPI_chars:
        value.string = CMNewString(broker(), text.c_str(), nullptr);
        ok = value.string != nullptr;
        break;
    case CMPI_dateTime: {
        CMPIUint64 micros = 0;
        bool interval = false;
        ok = parse_datetime(text, &micros, &interval);
        value.dateTime =
            ok ? CMNewDateTimeFromBinary(broker(), micros, interval ? 1 : 0, nullptr) : nullptr;
        ok = ok && value.dateTime != nullptr;
        break;
    }
    default:
        ok = false;
    }
    if (!ok) {
        throw bad_value(what, text, type);
    }
    return value;
}

std::string value_text(CMPIType type, const CMPIValue &value) {
    switch (type) {
    case CMPI_boolean:
        return value.boolean ? "TRUE" : "FALSE";
    case CMPI_char16:
        return utf8_of(value.char16);
    case CMPI_real32:
        return real_text(value.real32, 9);
    case CMPI_real64:
        return real_text(value.real64, 17);
    case CMPI_uint8:
        return std::to_string(value.uint8);
    case CMPI_uint16:
        return std::to_string(value.uint16);
    case CMPI_uint32:
        return std::to_string(value.uint32);
    case CMPI_uint64:
        return std::to_string(value.uint64);
    case CMPI_sint8:
        return std::to_string(value.sint8);
    case CMPI_sint16:
        return std::to_string(value.sint16);
    case CMPI_sint32:
        return std::to_string(value.sint32);
    case CMPI_sint64:
        return std::to_string(value.sint64);
    case CMPI_string: {
        const char *chars = value.string ? CMGetCharsPtr(value.string, nullptr) : nullptr;
        return chars ? chars : "";
    }
    case CMPI_chars:
    case CMPI_charsptr:
        return value.chars ? value.chars : "";
    case CMPI_dateTime: {
        CMPIString *text = value.dateTime ? CMGetStringFormat(value.dateTime, nullptr) : nullptr;
        const char *chars = text ? CMGetCharsPtr(text, nullptr) : nullptr;
        return chars ? chars : "";
    }
    default:
        return "";
    }
}

} // namespace hostsim::server
