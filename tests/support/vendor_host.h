// Whole runs of adapter and firmware packages on the simulated host (see run_host.h): packages
// as vendors ship them (descriptor and zip archive with its image/payload.xml), what the vendors'
// providers received, and the job as a client reads it after the run.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <cmpi/cmpimacs.h>

#include "hostsim_broker.h"
#include "hostsimkit.h"
#include "run_host.h"
#include "test_files.h"
#include "zip_writer.h"

namespace vendorhost {

using hostsim::sim::Json;
using runhost::count_of;
using runhost::requests;
using runhost::source_file;

constexpr const char *kPackageDir = "/tmp/pkgs/";
constexpr const char *kWorkingArea = runhost::kWorkingArea;

// One payload of an adapter package, named in image/payload.xml.
struct Payload {
    std::string file;                 // path inside the archive
    std::vector<std::string> applies; // applicability values (driver file names, models)
    int order = 0;                    // 0: no order attribute
    bool inArchive = true;            // false: listed, but the archive lacks the file
};

inline std::string payload_xml(const std::vector<Payload> &payloads) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<updateConfiguration>\n";
    for (const Payload &p : payloads) {
        xml += p.order ? "  <payload order=\"" + std::to_string(p.order) + "\">" : "  <payload>";
        xml += p.file + "\n";
        for (const std::string &value : p.applies) {
            xml += "    <applicability type=\"DFN\">" + value + "</applicability>\n";
        }
        xml += "  </payload>\n";
    }
    return xml + "</updateConfiguration>\n";
}

// The archive of an adapter package: image/payload.xml and the payload files it names.
inline testzip::Files adapter_archive(const std::vector<Payload> &payloads) {
    testzip::Files files{{"image/payload.xml", payload_xml(payloads)}};
    for (const Payload &p : payloads) {
        if (p.inArchive) {
            files.push_back({p.file, "firmware image " + p.file});
        }
    }
    return files;
}

// What a package's payload is: a zip archive of `files`, a file that is no zip at all, or a
// plain firmware image (controller packages).
enum class PayloadForm { kArchive, kBrokenArchive, kFirmware };

// A package: descriptor <id>.xml and its payload under /tmp/pkgs; its id in the status text is
// <id>.
struct Package {
    std::string id;
    std::string name;
    std::string category;
    testzip::Files files; // the archive's entries
    PayloadForm form = PayloadForm::kArchive;

    std::string uri() const { return "file://" + std::string(kPackageDir) + id + ".xml"; }
    std::string payload() const { return id + (form == PayloadForm::kFirmware ? ".bin" : ".zip"); }
};

inline Package adapter_package(const std::string &id, const std::string &name,
                               const std::string &category, const std::vector<Payload> &payloads) {
    return {id, name, category, adapter_archive(payloads)};
}

inline Package broken_package(const std::string &id, const std::string &name,
                              const std::string &category) {
    return {id, name, category, {}, PayloadForm::kBrokenArchive};
}

inline std::string descriptor_of(const Package &p) {
    auto property = [](const char *name, const char *type, const std::string &value) {
        return std::string("    <PROPERTY NAME=\"") + name + "\" TYPE=\"" + type +
               "\">\n      <VALUE>" + value + "</VALUE>\n    </PROPERTY>\n";
    };
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<CIM CIMVERSION=\"2.0\" DTDVERSION=\"2.0\">\n"
           "  <INSTANCE CLASSNAME=\"XORVO_SoftwarePackage\">\n" +
           property("Name", "string", p.name) + property("type", "uint16", "1") +
           property("category", "string", p.category) +
           property("identificationCode", "string", "ZELK_" + p.id) +
           property("payload", "string", p.payload()) + "  </INSTANCE>\n</CIM>\n";
}

inline void write_package(const Package &p) {
    std::filesystem::create_directories(kPackageDir);
    testfiles::write(kPackageDir + p.id + ".xml", descriptor_of(p));
    const std::string payload = kPackageDir + p.payload();
    switch (p.form) {
    case PayloadForm::kArchive:
        testzip::write(payload, p.files);
        break;
    case PayloadForm::kBrokenArchive:
        testfiles::write(payload, "this is no zip archive\n");
        break;
    case PayloadForm::kFirmware:
        testfiles::write(payload, "firmware image " + p.id);
        break;
    }
}

// A run and its job as a client reads it afterwards.
struct RunOutcome : runhost::RunRecord {
    unsigned jobState = 0;
    std::string jobStatus;
};

// The InstallFromURI requests the vendors received, as "Class DeviceID URI": the Target's
// DeviceID key ("-" without Target) and the URI with the working area's prefix cut.
inline std::vector<std::string> installs(const std::vector<Json> &journal) {
    std::vector<std::string> calls;
    for (const Json &record : journal) {
        if (record.value("operation", "") != "InstallFromURI") {
            continue;
        }
        std::string device = "-", uri;
        for (const Json &arg : record["args"]) {
            if (arg[0] == "Target") {
                hostsim::sim::PathText target;
                std::string error;
                if (hostsim::sim::parse_path_text(arg[2].get<std::string>(), &target, &error)) {
                    for (const auto &[name, value] : target.keys) {
                        device = name == "DeviceID" ? value : device;
                    }
                }
            } else if (arg[0] == "URI") {
                uri = arg[2].get<std::string>();
            }
        }
        const std::string prefix = std::string("file://") + kWorkingArea;
        if (uri.rfind(prefix, 0) == 0) {
            uri = uri.substr(prefix.size());
        }
        calls.push_back(record["class"].get<std::string>() + " " + device + " " + uri);
    }
    return calls;
}

// JobState and JobStatus of a run's CIM_ConcreteJob, read through the job provider.
inline void read_job(RunOutcome *run) {
    hostsim::CallScope scope;
    const CMPIBroker *broker = hostsim::broker();
    CMPIObjectPath *path = CMNewObjectPath(broker, "zelk/cimv2", "CIM_ConcreteJob", nullptr);
    CMAddKey(path, "InstanceID", run->call.jobId.c_str(), CMPI_chars);
    CMPIContext *context = hostsim::new_context();
    CMPIStatus status{CMPI_RC_OK, nullptr};
    CMPIInstance *job = CBGetInstance(broker, context, path, nullptr, &status);
    CMRelease(context);
    ASSERT_EQ(CMPI_RC_OK, status.rc);
    ASSERT_NE(nullptr, job);
    run->jobState = CMGetProperty(job, "JobState", nullptr).value.uint16;
    run->jobStatus = hostsim::to_text(CMGetProperty(job, "JobStatus", nullptr));
}

class VendorHost : public runhost::RunHost {
  protected:
    // Installs `packages` with one InstallFromURI, URIs in the order given. Packages that share
    // an order flag (every adapter category) install from the last listed to the first.
    static RunOutcome install(const std::vector<Package> &packages) {
        std::string uris;
        for (const Package &p : packages) {
            write_package(p);
            uris += (uris.empty() ? "" : "|") + p.uri();
        }
        RunOutcome run;
        static_cast<runhost::RunRecord &>(run) = run_uris(uris);
        read_job(&run);
        return run;
    }
};

} // namespace vendorhost
