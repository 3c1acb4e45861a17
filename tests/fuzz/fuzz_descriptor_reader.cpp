// Feeds arbitrary descriptors to the package descriptor reader through a real file.
#include <cstdint>
#include <cstring>

#include "descriptor_reader.h"
#include "fuzz_support.h"

namespace {
constexpr const char *kPath = "/tmp/fuzz/descriptor.xml";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::write_input(kPath, data, size, {"/tmp/fuzz"});
    PkgInstance &record = fuzz::fresh_record(0);
    copy_text(record.XMLPath, "tftp://10.0.0.1/pkgs/fuzz.xml");
    copy_text(record.TFTPPayloadPkgURIs, "tftp://10.0.0.1/pkgs/");
    copy_text(record.LocalFileURI, "file:///tmp/fuzz/descriptor.xml");
    copy_text(record.supersedes, "No supersedes");
    record.OrderFlag = order_flag::kUnread;

    getPkgAssociation(0);

    fuzz::require(fuzz::record_fields_terminated(record));
    fuzz::require(record.preReqCount >= 0 && record.preReqCount <= zelk::kMaxPreReqs);
    fuzz::require(std::strcmp(record.LocalFileURI, "file:///tmp/fuzz/descriptor.xml") == 0);
    fuzz::require(std::strncmp(record.TFTPPayloadPkgURIs, "tftp://10.0.0.1/pkgs/", 21) == 0);
    int32_t flag = record.OrderFlag;
    fuzz::require(flag == order_flag::kUefi || flag == order_flag::kDefault ||
                  flag == order_flag::kVxc || flag == order_flag::kFpga ||
                  flag == order_flag::kUnsupported);
    fuzz::require(fuzz::untouched(pkgInstance[1]));
    return 0;
}
