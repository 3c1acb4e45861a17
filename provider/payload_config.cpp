#include "payload_config.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <utility>

#include "file_guard.h"
#include "pkg_table.h"
#include "regular_file.h"
#include "trace_log.h"

PayloadMatch payload_result[kMaxPayloadsPerDevice];
char update_file_location[kFileLocationSize];

namespace {

using Line = char[kPayloadLineSize];

constexpr const char *kCfgFileName = "image/payload.xml";
// The unpacked archive holds regular files only: a link or a pipe there was put by someone else.
// It is read only through directories no other user could have planted on the way.
constexpr FileRules kCfgFileRules = {false, false, zelk::kMaxMetadataFileBytes, true};

int32_t matchesLeftOut = 0; // of the latest call

// Keyword tests are prefix rules: most drop the name's last character before comparing.
bool trimmed_name_is_prefix(const char *name, int len, const char *keyword) {
    size_t compared = static_cast<size_t>(len - 1);
    return len >= 1 && compared <= std::strlen(keyword) &&
           std::strncmp(name, keyword, compared) == 0;
}

bool whole_name_is_prefix(const char *name, int len, const char *keyword) {
    size_t compared = static_cast<size_t>(len);
    return len >= 1 && compared <= std::strlen(keyword) &&
           std::strncmp(name, keyword, compared) == 0;
}

// Reads a decimal integer as atoi does, saturating instead of overflowing.
int32_t read_decimal(const char *text, size_t len) {
    size_t i = 0;
    while (i < len && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = i < len && text[i] == '-';
    if (i < len && (text[i] == '-' || text[i] == '+')) {
        ++i;
    }
    long long value = 0;
    bool saturated = false;
    for (; i < len && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT32_MAX) {
            value = INT32_MAX;
            saturated = true;
        }
    }
    if (saturated) {
        trace("parsePayloadDeviceIDArray: payload order out of range; taken as the largest "
              "order.\n");
    }
    return static_cast<int32_t>(negative ? -value : value);
}

// The payload's order: the value of its first attribute when that attribute is "order".
int32_t payload_order(const char *line) {
    int attrLen = 0;
    const char *attr = getSubProp(line, &attrLen);
    if (attr == nullptr || !whole_name_is_prefix(attr, attrLen, "order")) {
        return 0;
    }
    const char *value = removeBlanks(attr + attrLen);
    if (*value == '=') {
        ++value;
    }
    value = removeBlanks(value);
    if (*value == '"') {
        ++value;
    }
    value = removeBlanks(value);
    size_t valueLen = std::strcspn(value, "\"");
    return valueLen == 0 ? 0 : read_decimal(value, valueLen);
}

// An applicability line names the adapter when its text equals the adapter's DFN in full.
bool applies_to(const char *line, const char *dfn, size_t dfnLen) {
    int attrLen = 0;
    const char *attr = getSubProp(line, &attrLen);
    if (attr == nullptr || !trimmed_name_is_prefix(attr, attrLen, "type")) {
        return false;
    }
    int textLen = 0;
    const char *text = getPropValue(line, &textLen);
    return text != nullptr && static_cast<size_t>(textLen) == dfnLen &&
           std::memcmp(text, dfn, dfnLen) == 0;
}

// Reads the lines of the payload opened by `line` up to its end or up to its first
// applicability line that names the adapter. False when the payload line has no usable file name.
bool read_payload(FILE *file, Line &line, const char *dfn, size_t dfnLen, int &matches) {
    int32_t order = payload_order(line);
    int nameLen = 0;
    const char *name = getPropValue(line, &nameLen);
    if (name == nullptr || nameLen > kPayloadLineSize - 2) {
        trace("parsePayloadDeviceIDArray: payload line without a file name.\n");
        return false;
    }
    char fileName[kPayloadLineSize];
    std::snprintf(fileName, sizeof fileName, "%.*s", nameLen, name);

    while (std::fgets(line, sizeof line, file) != nullptr) {
        int tagLen = 0;
        const char *tag = getProp(line, &tagLen);
        if (tag == nullptr || trimmed_name_is_prefix(tag, tagLen, "/payload order")) {
            return true;
        }
        if (trimmed_name_is_prefix(tag, tagLen, "applicability") && applies_to(line, dfn, dfnLen)) {
            payload_result[matches].order = order;
            copy_text(payload_result[matches].fileName, fileName);
            ++matches;
            return true;
        }
    }
    return true;
}

// One pass over the configuration file for one adapter; fills payload_result with up to ten
// matches. False when the call has to fail.
bool scan_for_device(FILE *file, const DeviceEntry &device, int &matches) {
    size_t dfnLen = strnlen(device.DFN, sizeof device.DFN);
    Line line;
    while (matches < kMaxPayloadsPerDevice && std::fgets(line, sizeof line, file) != nullptr) {
        int tagLen = 0;
        const char *tag = getProp(line, &tagLen);
        if (tag == nullptr) {
            continue;
        }
        if (trimmed_name_is_prefix(tag, tagLen, "payload")) {
            if (!read_payload(file, line, device.DFN, dfnLen, matches)) {
                return false;
            }
        } else if (whole_name_is_prefix(tag, tagLen, "/updateConfiguration")) {
            break;
        }
    }
    return true;
}

void clear_matches() {
    for (PayloadMatch &match : payload_result) {
        match.order = 0;
        match.fileName[0] = '\0';
    }
}

// Sorts the matches by ascending order, but only when the first one carries an order. Among equal
// orders the last position is taken first.
void sort_matches(int count) {
    if (count <= 1 || payload_result[0].order == 0) {
        return;
    }
    for (int j = 0; j < count - 1; ++j) {
        int smallest = j;
        for (int k = j; k < count; ++k) {
            if (payload_result[k].order <= payload_result[smallest].order) {
                smallest = k;
            }
        }
        std::swap(payload_result[j], payload_result[smallest]);
    }
}

// Appends the pass's matches to the record's Payloads from position `total`; returns the new
// total. Matches beyond the table's 100 entries are dropped and traced.
int append_matches(PkgInstance &record, int total, int count, const DeviceEntry &device) {
    for (int m = 0; m < count; ++m) {
        if (total >= zelk::kMaxPayloads) {
            tracef("parsePayloadDeviceIDArray: payload table full; %d payloads for device %s not "
                   "taken.\n",
                   count - m, device.DeviceID);
            matchesLeftOut += count - m;
            break;
        }
        PayloadEntry &entry = record.Payloads[total++];
        copy_text(entry.PayloadPath, payload_result[m].fileName);
        copy_text(entry.DeviceID, device.DeviceID);
        trace(payload_result[m].fileName);
        debug("\n");
        if (std::strlen(payload_result[m].fileName) >= sizeof entry.PayloadPath) {
            tracef("parsePayloadDeviceIDArray: payload file name cut to %d characters.\n",
                   zelk::kTextSize - 1);
        }
    }
    return total;
}

int device_count(const PkgInstance &record) {
    if (record.DFNDeviceCount < 0) {
        return 0;
    }
    return record.DFNDeviceCount < zelk::kMaxDfnDevices ? record.DFNDeviceCount
                                                        : zelk::kMaxDfnDevices;
}

} // namespace

int32_t payload_matches_left_out() {
    return matchesLeftOut;
}

int32_t findCfgFileName(char *buffer) {
    std::snprintf(buffer, kPayloadLineSize, "%s%s", zelk::kWorkingAreaPath, kCfgFileName);
    return 1;
}

int32_t SetFileLocation(const char *path) noexcept {
    size_t len = path != nullptr ? strnlen(path, kFileLocationMaxChars) : 0;
    if (len > 0) {
        std::memcpy(update_file_location, path, len);
    }
    std::memset(update_file_location + len, 0, sizeof(int32_t));
    return 0;
}

char *GetFileLocation(void) noexcept {
    return update_file_location;
}

int32_t parsePayloadDeviceIDArray(int32_t pkgIndex) {
    char cfgPath[kPayloadLineSize];
    findCfgFileName(cfgPath);
    trace("Enter parsePayloadDeviceIDArray.\n");
    matchesLeftOut = 0;
    if (pkgIndex < 0 || pkgIndex >= zelk::kMaxPackages) {
        tracef("parsePayloadDeviceIDArray: package index %d is outside the run table.\n", pkgIndex);
        return 0;
    }
    PkgInstance &record = pkgInstance[pkgIndex];
    int total = 0;
    for (int i = 0; i < device_count(record); ++i) {
        FileRefusal refusal = FileRefusal::kNone;
        FileGuard file(open_regular_file(cfgPath, O_RDONLY, kCfgFileRules, &refusal), "r");
        if (!file) {
            if (refusal == FileRefusal::kCannotOpen) {
                tracef("parsePayloadDeviceIDArray: cannot open %s.\n", cfgPath);
            } else {
                tracef("parsePayloadDeviceIDArray: %s is %s.\n", cfgPath, refusal_text(refusal));
            }
            return 0;
        }
        clear_matches();
        int matches = 0;
        if (!scan_for_device(file.get(), record.DFNDeviceIDs[i], matches)) {
            return 0;
        }
        file.close();
        sort_matches(matches);
        total = append_matches(record, total, matches, record.DFNDeviceIDs[i]);
    }
    record.PayloadCount = total;
    trace("parsePayloadDeviceIDArray finished.\n");
    return 1;
}
