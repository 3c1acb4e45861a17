// The packages of the whole-run benchmark, as vendors ship them: a descriptor and its payload (a
// zip archive with image/payload.xml for adapters, a zip for Broadcom and LSI, a plain firmware
// image for the controller).
#pragma once

#include <string>
#include <vector>

namespace bench {

struct RunPackage {
    std::string id; // the descriptor is <id>.xml; the status text names the package <id>
    std::string name;
    std::string category;
    std::string payload_file; // adapter payload inside the archive, or empty
    std::string applies;      // the adapter model the payload applies to
    enum { kAdapter, kArchive, kFirmware } form;
};

// Twenty packages: two of each adapter family, of Broadcom and LSI, and of each controller
// category, all of which the shipped default host installs.
std::vector<RunPackage> twenty_packages();

// Writes descriptor and payload of every package under `dir`; returns the URI list.
std::string write_packages(const std::string &dir, const std::vector<RunPackage> &packages);

} // namespace bench
