// serve: the simulated host as a CIM server, CIM-XML over HTTPS (or HTTP) on 127.0.0.1.
#pragma once

#include <string>
#include <vector>

namespace hostsim::cli {

// serve [--port N] [--user U] [--password P | --password-file FILE]
//       (--tls-cert FILE --tls-key FILE | --http) [--access-log FILE] [--mof-dir DIR]
void check_serve(const std::vector<std::string> &operands);
// Serves until SIGINT or SIGTERM; exit status 0 then, 3 when it cannot listen or read a file it
// was given (MOF, certificate, key, password, access log).
int run_serve(const std::vector<std::string> &operands);

} // namespace hostsim::cli
