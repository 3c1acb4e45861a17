// serve: the simulated host as a CIM server, CIM-XML over HTTP on 127.0.0.1.
#pragma once

#include <string>
#include <vector>

namespace hostsim::cli {

// serve [--port N] [--user U --password P] [--mof-dir DIR]
void check_serve(const std::vector<std::string> &operands);
// Serves until SIGINT or SIGTERM; exit status 0 then, 3 when it cannot listen or read the MOF.
int run_serve(const std::vector<std::string> &operands);

} // namespace hostsim::cli
