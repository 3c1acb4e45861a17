// Reads arbitrary text line by line from a real file, as the readers do, and runs every line
// function on each line: whatever they find must lie inside the line.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "descriptor_reader.h"
#include "fuzz_support.h"
#include "payload_line.h"

namespace {

constexpr const char *kPath = "/tmp/fuzz/lines.txt";
constexpr size_t kLineSize = 1024;

void check_found(const char *line, const char *at, int len) {
    size_t lineLen = std::strlen(line);
    if (at == nullptr) {
        fuzz::require(len == 0);
        return;
    }
    fuzz::require(len > 0 && at >= line && at + len <= line + lineLen);
}

void check_line(const char (&read)[kLineSize]) {
    int len = -1;
    check_found(read, getProp(read, &len), len);
    check_found(read, getSubProp(read, &len), len);
    check_found(read, getPropValue(read, &len), len);
    const char *rest = removeBlanks(read);
    fuzz::require(rest >= read && rest <= read + std::strlen(read) && *rest != ' ');

    char line[kLineSize];
    std::memcpy(line, read, sizeof line);
    size_t before = std::strlen(line);
    trimXMLString(line);
    size_t trimmed = std::strlen(line);
    fuzz::require(trimmed <= before);
    fuzz::require(trimmed == 0 || read[0] == '<' || (line[0] == '<' && line[trimmed - 1] == '>'));
    getXmlTagData(line);
    size_t value = std::strlen(line);
    fuzz::require(trimmed < 15 ? value == 0 : value == trimmed - 15);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::write_input(kPath, data, size, {"/tmp/fuzz"});
    std::remove(zelk::kTraceLogPath);
    FILE *file = std::fopen(kPath, "r");
    fuzz::require(file != nullptr);
    char line[kLineSize];
    while (std::fgets(line, sizeof line, file) != nullptr) {
        check_line(line);
    }
    std::fclose(file);
    return 0;
}
