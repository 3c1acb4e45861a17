#include "descriptor_reader.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>

#include "file_guard.h"
#include "pkg_table.h"
#include "regular_file.h"
#include "status_recording.h"
#include "trace_log.h"

namespace {

using Line = char[kDescriptorLineSize];
using TextField = char[zelk::kTextSize];

constexpr const char *kFileScheme = "file:/";
constexpr size_t kFileSchemeLength = 6;
constexpr const char *kValueArrayOpen = "<VALUE.ARRAY>";
constexpr const char *kValueArrayClose = "</VALUE.ARRAY>";
constexpr size_t kValueOpenTagLength = 7;  // "<VALUE>"
constexpr size_t kValueCloseTagLength = 8; // "</VALUE>"
constexpr size_t kValueTagsLength = kValueOpenTagLength + kValueCloseTagLength;
constexpr const char *kUnopenedMessage = "Pakcage XML can't be opened.";
// Descriptors are named by the client: links are followed, to regular files only.
constexpr FileRules kDescriptorRules = {true, false, zelk::kMaxMetadataFileBytes, false};

// What a recognised header does with the value that follows it.
enum class ValueKind { kStore, kPrereqArray, kAppend };

struct HeaderRule {
    const char *header;
    const char *otherHeader; // a second header with the same effect, or null
    ValueKind kind;
    TextField PkgInstance::*field;
    const char *label;
};

// Tested in this order on every line; a rule that consumes lines leaves the last one in the
// buffer, and the later rules look at that.
constexpr HeaderRule kHeaderRules[] = {
    {"<PROPERTY NAME=\"Name\" TYPE=\"string\">", nullptr, ValueKind::kStore, &PkgInstance::Name,
     "Name"},
    {"<PROPERTY NAME=\"type\" TYPE=\"uint16\">", nullptr, ValueKind::kStore, &PkgInstance::type,
     "type"},
    {"<PROPERTY NAME=\"category\" TYPE=\"string\">", nullptr, ValueKind::kStore,
     &PkgInstance::category, "category"},
    {"<PROPERTY.ARRAY NAME=\"preReq\" TYPE=\"string\">",
     "<PROPERTY.ARRAY NAME=\"coReq\" TYPE=\"string\">", ValueKind::kPrereqArray, nullptr,
     "preReq or coReq"},
    {"<PROPERTY NAME=\"payload\" TYPE=\"string\">", nullptr, ValueKind::kAppend,
     &PkgInstance::TFTPPayloadPkgURIs, "payload"},
    {"<PROPERTY NAME=\"identificationCode\" TYPE=\"string\">", nullptr, ValueKind::kStore,
     &PkgInstance::identificationCode, "identificationCode"},
    {"<PROPERTY NAME=\"supersedes\" TYPE=\"string\">", nullptr, ValueKind::kStore,
     &PkgInstance::supersedes, "supersedes"},
};

bool matches(const char *line, const HeaderRule &rule) {
    return std::strcmp(line, rule.header) == 0 ||
           (rule.otherHeader != nullptr && std::strcmp(line, rule.otherHeader) == 0);
}

// Reads the next line; at the end of the file the buffer is left empty so that it matches nothing.
bool read_line(FILE *file, Line &line) {
    if (std::fgets(line, sizeof line, file) == nullptr) {
        line[0] = '\0';
        return false;
    }
    return true;
}

bool read_stripped_line(FILE *file, Line &line, const char *label) {
    if (!read_line(file, line)) {
        tracef("getPkgAssociation: descriptor ends after the %s header; no value read.\n", label);
        return false;
    }
    trimXMLString(line);
    return true;
}

// Reduces a stripped value line to its value. A line too short to hold both VALUE tags (such as a
// line cut empty for want of a ">") gives an empty value, which is traced.
void extract_value(Line &line, const char *label) {
    if (std::strlen(line) < kValueTagsLength) {
        tracef("getPkgAssociation: malformed %s value line; value taken as empty.\n", label);
    }
    getXmlTagData(line);
}

// Values longer than a record field are cut at 199 characters, and the cut is traced.
void store_value(TextField &field, const char *value, const char *label) {
    copy_text(field, value);
    if (std::strlen(value) >= sizeof field) {
        tracef("getPkgAssociation: %s value cut to %d characters.\n", label, zelk::kTextSize - 1);
    }
}

void append_value(TextField &field, const char *value, const char *label) {
    size_t used = strnlen(field, sizeof field - 1);
    field[used] = '\0';
    std::snprintf(field + used, sizeof field - used, "%s", value);
    if (used + std::strlen(value) >= sizeof field) {
        tracef("getPkgAssociation: %s value cut to fit %d characters.\n", label,
               zelk::kTextSize - 1);
    }
}

// Reads "<VALUE.ARRAY>", the value lines and "</VALUE.ARRAY>" after a preReq or coReq header.
// Values beyond the list's five slots are left unread here; the main loop then reads them as
// ordinary lines.
void read_prereq_array(FILE *file, Line &line, PkgInstance &record) {
    if (!read_stripped_line(file, line, "preReq or coReq") ||
        std::strcmp(line, kValueArrayOpen) != 0) {
        return;
    }
    for (int taken = 0; taken < zelk::kMaxPreReqs; ++taken) {
        if (record.preReqCount < 0 || record.preReqCount >= zelk::kMaxPreReqs) {
            return;
        }
        if (!read_line(file, line)) {
            return;
        }
        trimXMLString(line);
        if (std::strcmp(line, kValueArrayClose) == 0) {
            return;
        }
        extract_value(line, "preReq");
        store_value(record.preReq[record.preReqCount], line, "preReq");
        ++record.preReqCount;
    }
}

void apply_rule(FILE *file, Line &line, PkgInstance &record, const HeaderRule &rule) {
    if (rule.kind == ValueKind::kPrereqArray) {
        read_prereq_array(file, line, record);
        return;
    }
    if (!read_stripped_line(file, line, rule.label)) {
        return;
    }
    extract_value(line, rule.label);
    if (rule.kind == ValueKind::kAppend) {
        append_value(record.*rule.field, line, rule.label);
    } else {
        store_value(record.*rule.field, line, rule.label);
    }
}

int32_t order_flag_for(const char *type, const char *category) {
    if (std::strcmp(type, "1") != 0) {
        return order_flag::kUnsupported;
    }
    if (std::strcmp(category, "VXC") == 0 || std::strcmp(category, "VXC2") == 0) {
        return order_flag::kVxc;
    }
    if (std::strcmp(category, "UEFI") == 0) {
        return order_flag::kUefi;
    }
    if (std::strcmp(category, "FPGA") == 0) {
        return order_flag::kFpga;
    }
    return order_flag::kDefault; // "Diagnostics" and every other category
}

// The maker's part of the identification code: the text before the first "_", or the whole
// code when it has none.
void set_manufacturer(PkgInstance &record) {
    const char *code = record.identificationCode;
    size_t len = 0;
    while (len < sizeof record.manufacturer - 1 && code[len] != '\0' && code[len] != '_') {
        ++len;
    }
    std::memcpy(record.manufacturer, code, len);
    record.manufacturer[len] = '\0';
}

void trace_results(const PkgInstance &record) {
    tracef("Package Name:%s\n", record.Name);
    tracef("Package Type:%s\n", record.type);
    tracef("Package payload URI:%s\n", record.TFTPPayloadPkgURIs);
    tracef("Package identificationCode:%s\n", record.identificationCode);
    tracef("Package supersedes:%s\n", record.supersedes);
    tracef("Package OrderFlag:%d\n", record.OrderFlag);
    trace("preReq package:");
    for (int j = 0; j < record.preReqCount && j < zelk::kMaxPreReqs; ++j) {
        if (j > 0) {
            debug(" ");
        }
        debug(record.preReq[j]);
    }
    debug("\n");
    tracef("Package manufacturer:%s\n", record.manufacturer);
    tracef("Package category:%s\n", record.category);
}

void mark_unopened(int32_t pkgIndex) {
    update_Pkg_Install_status(pkgIndex, status_code::kTimeoutOrUnopened, kUnopenedMessage);
    pkgInstance[pkgIndex].OrderFlag = order_flag::kUnopened;
}

} // namespace

void trimXMLString(char *line) {
    if (line == nullptr || line[0] == '<') {
        return;
    }
    char *open = std::strchr(line, '<');
    if (open == nullptr) {
        line[0] = '\0';
        return;
    }
    char *close = std::strrchr(open, '>');
    if (close == nullptr) {
        line[0] = '\0';
        return;
    }
    size_t len = static_cast<size_t>(close - open) + 1;
    std::memmove(line, open, len);
    line[len] = '\0';
}

void getXmlTagData(char *line) {
    if (line == nullptr) {
        return;
    }
    size_t len = std::strlen(line);
    if (len < kValueTagsLength) {
        line[0] = '\0';
        return;
    }
    size_t valueLen = len - kValueTagsLength;
    std::memmove(line, line + kValueOpenTagLength, valueLen);
    line[valueLen] = '\0';
}

void getPkgAssociation(int32_t pkgIndex) {
    trace("Enter getPkgAssociation.\n");
    if (pkgIndex < 0 || pkgIndex >= zelk::kMaxPackages) {
        tracef("getPkgAssociation: package index %d is outside the run table.\n", pkgIndex);
        return;
    }
    PkgInstance &record = pkgInstance[pkgIndex];

    if (std::strncmp(record.LocalFileURI, kFileScheme, kFileSchemeLength) != 0) {
        mark_unopened(pkgIndex);
        return;
    }
    const char *path = record.LocalFileURI + kFileSchemeLength;
    tracef("Open file %s\n", path);
    // A descriptor that is no regular file (a device, a pipe, a link to one) or that is too
    // large to be one cannot be opened: reading it could last for ever.
    FileRefusal refusal = FileRefusal::kNone;
    FileGuard file(open_regular_file(path, O_RDONLY, kDescriptorRules, &refusal), "r");
    if (!file) {
        if (refusal == FileRefusal::kNotRegular || refusal == FileRefusal::kTooLarge) {
            tracef("getPkgAssociation: %s is %s.\n", path, refusal_text(refusal));
        }
        mark_unopened(pkgIndex);
        return;
    }

    Line line;
    while (read_line(file.get(), line)) {
        trimXMLString(line);
        for (const HeaderRule &rule : kHeaderRules) {
            if (matches(line, rule)) {
                apply_rule(file.get(), line, record, rule);
            }
        }
    }
    file.close();

    record.OrderFlag = order_flag_for(record.type, record.category);
    set_manufacturer(record);
    trace_results(record);
    trace("Complete getPkgAssociation.\n");
}
