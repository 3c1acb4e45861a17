// Readers: getPkgAssociation (descriptor) and parsePayloadDeviceIDArray (payload.xml) on large
// files, against "cat FILE" to /dev/null on the same files.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench_util.h"
#include "descriptor_reader.h"
#include "payload_config.h"
#include "pkg_table.h"

using namespace bench;

namespace {

constexpr const char *kDescriptorPath = "/tmp/bench/desc/pkg_big.xml";
constexpr const char *kPayloadPath = "/var/tmp/QEL/Xorvo/Package/image/payload.xml";
constexpr const char *kDfn = "LPe12002-BENCH";
constexpr size_t kTargetBytes = 128u << 20;
// A line scanner touches every byte a few times; a read of the page cache copies it once.
constexpr double kMaxFactor = 10.0;

std::string property(const std::string &name, const std::string &value) {
    return "  <PROPERTY NAME=\"" + name + "\" TYPE=\"string\">\n    <VALUE>" + value +
           "</VALUE>\n  </PROPERTY>\n";
}

// A real descriptor's properties first, then other properties (which the reader passes over)
// until the file is large.
std::string descriptor_text() {
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       "<INSTANCE CLASSNAME=\"XORVO_SoftwarePackage\">\n";
    text += property("Name", "Adapter firmware bundle");
    text += "  <PROPERTY NAME=\"type\" TYPE=\"uint16\">\n    <VALUE>1</VALUE>\n  </PROPERTY>\n";
    text += property("category", "Diagnostics");
    text += "  <PROPERTY.ARRAY NAME=\"preReq\" TYPE=\"string\">\n  <VALUE.ARRAY>\n"
            "    <VALUE>vendor_base_1</VALUE>\n  </VALUE.ARRAY>\n  </PROPERTY.ARRAY>\n";
    text += property("payload", "bundle.zip");
    text += property("identificationCode", "vendor_fw_7.2");
    text += property("supersedes", "vendor_fw_7.1");
    for (unsigned i = 0; text.size() < kTargetBytes; ++i) {
        text += property("description" + std::to_string(i % 97),
                         "Firmware image for adapter family " + std::to_string(i % 13) +
                             ", revision 3." + std::to_string(i % 29) + ", build " +
                             std::to_string(4000 + i % 1000));
    }
    return text + "</INSTANCE>\n";
}

std::string payload_block(unsigned order, const std::string &file, const std::string &dfn) {
    std::string block = "  <payload order=\"" + std::to_string(order) + "\">" + file + "\n";
    for (unsigned k = 0; k < 4; ++k) {
        block += "    <applicability type=\"DFN\">" + dfn + "-" + std::to_string(k) +
                 "</applicability>\n";
    }
    return block + "  </payload>\n";
}

// Many payloads for other adapters, and near the end the two that match.
std::string payload_text() {
    std::string text = "<?xml version=\"1.0\"?>\n<updateConfiguration>\n";
    for (unsigned i = 0; text.size() < kTargetBytes; ++i) {
        text += payload_block(i % 50 + 1, "fw_" + std::to_string(i) + ".bin",
                              "OTHER-" + std::to_string(i % 400));
    }
    text += "  <payload order=\"2\">match_b.bin\n    <applicability type=\"DFN\">" +
            std::string(kDfn) + "</applicability>\n  </payload>\n";
    text += "  <payload order=\"1\">match_a.bin\n    <applicability type=\"DFN\">" +
            std::string(kDfn) + "</applicability>\n  </payload>\n";
    return text + "</updateConfiguration>\n";
}

void read_descriptor() {
    std::memset(&pkgInstance[0], 0, sizeof pkgInstance[0]);
    pkgnum = 1;
    copy_text(pkgInstance[0].XMLPath, "file:///tmp/bench/desc/pkg_big.xml");
    copy_text(pkgInstance[0].LocalFileURI, "file:///tmp/bench/desc/pkg_big.xml");
    getPkgAssociation(0);
    if (std::strcmp(pkgInstance[0].identificationCode, "vendor_fw_7.2") != 0) {
        std::fprintf(stderr, "bench: descriptor read wrongly\n");
        std::exit(1);
    }
}

void read_payloads() {
    std::memset(&pkgInstance[0], 0, sizeof pkgInstance[0]);
    pkgnum = 1;
    pkgInstance[0].DFNDeviceCount = 1;
    copy_text(pkgInstance[0].DFNDeviceIDs[0].DFN, kDfn);
    copy_text(pkgInstance[0].DFNDeviceIDs[0].DeviceID, "bench-port-0");
    if (parsePayloadDeviceIDArray(0) != 1 || pkgInstance[0].PayloadCount != 2 ||
        std::strcmp(pkgInstance[0].Payloads[0].PayloadPath, "match_a.bin") != 0) {
        std::fprintf(stderr, "bench: payload.xml read wrongly\n");
        std::exit(1);
    }
}

double time_reader(const std::function<void()> &reader, int reps) {
    reader(); // warm-up
    std::vector<double> times;
    for (int r = 0; r < reps; ++r) {
        const double start = now_s();
        reader();
        times.push_back(now_s() - start);
    }
    return median(times);
}

double time_cat(const std::string &path, int reps) {
    run_child({"cat", path});
    std::vector<ChildStats> runs;
    for (int r = 0; r < reps; ++r) {
        runs.push_back(run_child({"cat", path}));
        require_success(runs.back(), "cat " + path);
    }
    return summarize(runs).wall_s;
}

// The cheapest line-by-line read of the same file: what the readers' fgets loop costs alone.
double time_line_loop(const std::string &path, int reps) {
    return time_reader(
        [&path] {
            FILE *file = std::fopen(path.c_str(), "r");
            char line[1024];
            size_t lines = 0;
            while (file != nullptr && std::fgets(line, sizeof line, file) != nullptr) {
                ++lines;
            }
            if (file == nullptr || lines == 0) {
                std::fprintf(stderr, "bench: cannot read %s\n", path.c_str());
                std::exit(1);
            }
            std::fclose(file);
        },
        reps);
}

void report(const char *what, const std::string &path, double reader_s, int reps) {
    const double cat_s = time_cat(path, reps);
    const double loop_s = time_line_loop(path, reps);
    const double megabytes = static_cast<double>(file_size(path)) / 1e6;
    const double factor = reader_s / cat_s;
    const std::string figure = std::string(what) + " throughput";
    const std::string ours = fixed(megabytes / reader_s, 0) + " MB/s";
    emit({"4 Readers", figure, ours, "cat > /dev/null", fixed(megabytes / cat_s, 0) + " MB/s",
          ratio_text(factor) + " time", "<= " + ratio_text(kMaxFactor) + " cat's time",
          verdict(factor <= kMaxFactor)});
    emit({"4 Readers", figure, ours, "fgets loop alone (in-process)",
          fixed(megabytes / loop_s, 0) + " MB/s", ratio_text(reader_s / loop_s) + " time", "-",
          "-"});
}

} // namespace

int main(int argc, char **argv) {
    const int reps = argc > 1 ? std::atoi(argv[1]) : 5;
    make_dirs("/tmp/bench/desc");
    make_dirs("/var/tmp/QEL/Xorvo/Package/image");
    write_file(kDescriptorPath, descriptor_text());
    write_file(kPayloadPath, payload_text());
    note("Readers: descriptor " + mib(static_cast<long>(file_size(kDescriptorPath) / 1024)) +
         " and payload.xml " + mib(static_cast<long>(file_size(kPayloadPath) / 1024)) +
         " on tmpfs (page cache: I/O here is memory speed); median of " + std::to_string(reps) +
         " reads after a warm-up.");

    report("descriptor (getPkgAssociation)", kDescriptorPath, time_reader(read_descriptor, reps),
           reps);
    report("payload.xml (parsePayloadDeviceIDArray)", kPayloadPath,
           time_reader(read_payloads, reps), reps);
    return 0;
}
