// What `hostsim install` reads out of a run: the URI list it sends and the job's status text,
// "flag|id: code: message|id: code: message|...|", one field per package in list order.
#pragma once

#include <string>
#include <vector>

namespace hostsim::cli {

// The provider takes at most this many packages from one list.
constexpr size_t kMaxPackages = 20;

// The entries of a URI list; throws a usage error for a list the provider cannot take (empty
// entries, no "/", 200 characters or more, more than 20, unknown or mixed schemes).
std::vector<std::string> split_uri_list(const std::string &list);

// The package id the provider derives from a descriptor URI: the last path component without
// its extension.
std::string package_id(const std::string &uri);

struct PackageStatus {
    bool reported = false;
    std::string id;
    int code = 0;
    std::string message;
};

struct StatusText {
    bool complete = false; // the leading completion flag is 1
    std::vector<PackageStatus> packages;
};

// Reads a status text; a message holding "|" (a broker's text) stays whole. Fields that are not
// "id: code: message" read as unreported packages. A text that ends with a line feed was cut
// there by the job, which reads one line of the status file: its last field is a whole status.
StatusText parse_status_text(const std::string &text);

// Whether the job's text ends inside the status text, after a message that ends with a line
// feed (two installers' "No driver file name that need to be update.").
bool cut_at_line_end(const std::string &jobText);

// The status text as the run recorded it on this host, "/tmp/zelkstat<job id>.txt", read
// without following a link and at most as much as the job would read; empty when unreadable.
std::string recorded_status_text(const std::string &jobId);

// Initialisation, download and in-progress codes: the package has more to go through.
bool is_final_code(int code);

constexpr int kInstalledCode = 50;

// A message on one line: line breaks shown as \n.
std::string message_line(const std::string &message);
// "id: code: message" on one line.
std::string status_line(const PackageStatus &status);

// The name of a CIM_ConcreteJob JobState value ("Completed"); "unknown" for others.
std::string job_state_name(unsigned state);

} // namespace hostsim::cli
