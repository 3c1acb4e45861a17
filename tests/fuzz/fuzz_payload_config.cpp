// Feeds arbitrary payload.xml files to the payload configuration reader through the real
// configuration path, for a fixed set of adapters (enough of them to overflow the payload table).
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "payload_config.h"

namespace {

constexpr const char *kDfns[] = {"lpfc", "qla2xxx", "bfa", "",  "x", "x", "x", "x",
                                 "x",    "x",       "x",   "x", "x", "x", "x"};
constexpr int kDevices = sizeof kDfns / sizeof kDfns[0];

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    char cfgPath[kPayloadLineSize];
    findCfgFileName(cfgPath);
    fuzz::write_input(cfgPath, data, size,
                      {"/var/tmp/QEL", "/var/tmp/QEL/Xorvo", "/var/tmp/QEL/Xorvo/Package",
                       "/var/tmp/QEL/Xorvo/Package/image"});
    PkgInstance &record = fuzz::fresh_record(0);
    record.DFNDeviceCount = kDevices;
    for (int i = 0; i < kDevices; ++i) {
        copy_text(record.DFNDeviceIDs[i].DFN, kDfns[i]);
        std::snprintf(record.DFNDeviceIDs[i].DeviceID, zelk::kTextSize, "dev%d", i);
    }
    DeviceEntry before[kDevices];
    std::memcpy(before, record.DFNDeviceIDs, sizeof before);

    int32_t rc = parsePayloadDeviceIDArray(0);

    fuzz::require(rc == 0 || rc == 1);
    fuzz::require(record.PayloadCount >= 0 && record.PayloadCount <= zelk::kMaxPayloads);
    fuzz::require(rc == 1 || record.PayloadCount == 0);
    fuzz::require(fuzz::record_fields_terminated(record));
    fuzz::require(std::memcmp(before, record.DFNDeviceIDs, sizeof before) == 0);
    for (int i = 0; i < record.PayloadCount; ++i) {
        fuzz::require(std::strncmp(record.Payloads[i].DeviceID, "dev", 3) == 0);
    }
    fuzz::require(fuzz::untouched(pkgInstance[1]));
    return 0;
}
