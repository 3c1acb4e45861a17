#include "run_packages.h"

#include <minizip/zip.h>
#include <stdexcept>
#include <utility>

#include "bench_util.h"

namespace bench {
namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

void write_zip(const std::string &path, const Files &files) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) {
        throw std::runtime_error("cannot create " + path);
    }
    for (const auto &[name, data] : files) {
        zip_fileinfo info{};
        if (zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                  Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0) != ZIP_OK ||
            zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())) != ZIP_OK ||
            zipCloseFileInZip(zip) != ZIP_OK) {
            throw std::runtime_error("cannot write " + path);
        }
    }
    if (zipClose(zip, nullptr) != ZIP_OK) {
        throw std::runtime_error("cannot close " + path);
    }
}

std::string property(const char *name, const char *type, const std::string &value) {
    return std::string("    <PROPERTY NAME=\"") + name + "\" TYPE=\"" + type +
           "\">\n      <VALUE>" + value + "</VALUE>\n    </PROPERTY>\n";
}

std::string payload_name(const RunPackage &p) {
    return p.id + (p.form == RunPackage::kFirmware ? ".bin" : ".zip");
}

std::string descriptor(const RunPackage &p) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<CIM CIMVERSION=\"2.0\" DTDVERSION=\"2.0\">\n"
           "  <INSTANCE CLASSNAME=\"XORVO_SoftwarePackage\">\n" +
           property("Name", "string", p.name) + property("type", "uint16", "1") +
           property("category", "string", p.category) +
           property("identificationCode", "string", "ZELK_" + p.id) +
           property("payload", "string", payload_name(p)) + "  </INSTANCE>\n</CIM>\n";
}

Files adapter_files(const RunPackage &p) {
    const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<updateConfiguration>\n"
                            "  <payload>" +
                            p.payload_file + "\n    <applicability type=\"DFN\">" + p.applies +
                            "</applicability>\n  </payload>\n</updateConfiguration>\n";
    return {{"image/payload.xml", xml}, {p.payload_file, "firmware image " + p.payload_file}};
}

} // namespace

std::vector<RunPackage> twenty_packages() {
    std::vector<RunPackage> packages;
    for (const char *n : {"1", "2"}) {
        const std::string k = n;
        packages.push_back({"brcd" + k, "Brocade 825 FC HBA firmware", "Fibre",
                            "brocade/bfa825.bin", "Brocade-825", RunPackage::kAdapter});
        packages.push_back({"cna" + k, "Emulex OneConnect CNA firmware", "Network",
                            "emulex/oce11102.ufi", "OCe11102", RunPackage::kAdapter});
        packages.push_back({"fc" + k, "Emulex LPe12002 FC HBA firmware", "Fibre",
                            "emulex/lpe12002.grp", "LPe12002", RunPackage::kAdapter});
        packages.push_back({"qlgc" + k, "QLogic QLE2562 FC HBA firmware", "Fibre",
                            "qlogic/qle2562.bin", "QLE2562", RunPackage::kAdapter});
        packages.push_back(
            {"nic" + k, "Broadcom NetXtreme II firmware", "Network", "", "", RunPackage::kArchive});
        packages.push_back({"sas" + k, "SAS HBA firmware", "SAS", "", "", RunPackage::kArchive});
        for (const char *category : {"UEFI", "Diagnostics", "VXC", "FPGA"}) {
            packages.push_back({std::string(category).substr(0, 4) + k,
                                std::string("System ") + category + " firmware", category, "", "",
                                RunPackage::kFirmware});
        }
    }
    return packages;
}

std::string write_packages(const std::string &dir, const std::vector<RunPackage> &packages) {
    make_dirs(dir);
    std::string uris;
    for (const RunPackage &p : packages) {
        write_file(dir + "/" + p.id + ".xml", descriptor(p));
        const std::string payload = dir + "/" + payload_name(p);
        switch (p.form) {
        case RunPackage::kAdapter:
            write_zip(payload, adapter_files(p));
            break;
        case RunPackage::kArchive:
            write_zip(payload, {{"fw/" + p.id + ".img", "image"}, {"fw/flash.cfg", "flash"}});
            break;
        case RunPackage::kFirmware:
            write_file(payload, "firmware image " + p.id);
            break;
        }
        uris += (uris.empty() ? "file://" : "|file://") + dir + "/" + p.id + ".xml";
    }
    return uris;
}

} // namespace bench
