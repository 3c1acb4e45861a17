// The payload configuration reader: matches the adapters found on the host against
// "image/payload.xml" of an unpacked adapter package and lists, per adapter, the payload files to
// install. A line-oriented scanner: it looks at each line's first tag, that tag's first attribute
// and the text after the line's first ">".
#pragma once

#include <cstdint>

#include "export.h"
#include "payload_line.h"

// Line buffer size; also the size of the configuration path buffer and of a matched file name.
constexpr int kPayloadLineSize = 1024;
// At most this many payloads are taken for one adapter.
constexpr int kMaxPayloadsPerDevice = 10;
// update_file_location holds one path of at most kFileLocationMaxChars characters; its last four
// bytes stay zero.
constexpr int kFileLocationSize = 4100;
constexpr int kFileLocationMaxChars = 1024;

// One payload matched in a pass over the configuration file; order 0 when the payload has none.
struct PayloadMatch {
    int32_t order;
    char fileName[kPayloadLineSize];
};

// Matches of the latest pass; entries 0 to n-1 are valid after a pass that matched n payloads.
extern PayloadMatch payload_result[kMaxPayloadsPerDevice];
extern char update_file_location[kFileLocationSize];

// Fills Payloads and PayloadCount of record pkgIndex from its DFNDeviceIDs, one pass over the
// configuration file per adapter. 1 when every pass read through (also when nothing matched);
// 0 when the file cannot be opened or a payload line has no usable file name.
int32_t parsePayloadDeviceIDArray(int32_t pkgIndex);

// Matches of the latest parsePayloadDeviceIDArray that did not fit the record's Payloads; 0 when
// every match was taken.
int32_t payload_matches_left_out();

// Copies the configuration file path into buffer (kPayloadLineSize bytes); returns 1.
int32_t findCfgFileName(char *buffer);

// Keep and hand out one path for outside modules; nothing in the provider reads it.
ZELK_EXPORT int32_t SetFileLocation(const char *path) noexcept;
ZELK_EXPORT char *GetFileLocation(void) noexcept;
