// A simulated host for tests: registration and scenario files naming libhostsimtest.so's
// providers, written under /tmp (private to each test's sandbox).
#pragma once

#include <cstdlib>
#include <string>

#include "test_files.h"

namespace testhost {

constexpr const char *kRegistry = "/tmp/hostsim-test.reg";
constexpr const char *kScenario = "/tmp/hostsim-test.json";
constexpr const char *kJournal = "/tmp/hostsim-journal.jsonl";

// Echo and its job in test/cimv2, the worker in two namespaces, an instance-only Echo in
// test/limited, and a class whose library is missing.
inline const char *registry_text() {
    return R"(# test host
[HostsimTest_Echo]
   provider: HostsimTest_EchoProvider
   location: hostsimtest
   type: instance method
   namespace: test/cimv2

[HostsimTest_Job]
   provider: HostsimTest_EchoProvider
   location: hostsimtest
   type: instance
   namespace: test/cimv2

[HostsimTest_Worker]
   provider: HostsimTest_WorkerProvider
   location: hostsimtest
   type: method
   namespace: test/cimv2 test/other

[HostsimTest_Echo]
   provider: HostsimTest_EchoProvider
   location: hostsimtest
   type: instance
   namespace: test/limited

[HostsimTest_Missing]
   provider: Missing_Provider
   location: hostsimmissing
   type: instance method
   namespace: test/cimv2
)";
}

inline const char *scenario_text() {
    return R"({
  "hostsim_test": {
    "instances": {
      "HostsimTest_Echo": [
        {"keys": {"Id": "a"},
         "properties": {"Count": {"type": "uint16", "value": 3}, "Names": ["x", "y"]}},
        {"keys": {"Id": "b \"quoted\""}}
      ]
    },
    "methods": {
      "Ping": {"return": 0},
      "Faulty": {"return": [4107, 0], "out": {"DestinationURI": "file:///x", "Kept": 7},
                 "omit": ["destinationuri"]},
      "Broken": {"status": {"rc": 4, "message": "bad input"}},
      "Flaky": {"status": [{"rc": 1, "message": "first fails"}, null]}
    },
    "job": {"class": "HostsimTest_Job", "started_by": "Faulty", "keys": {"InstanceID": "J1"},
            "steps": {"JobStatus": ["one", "two"]}}
  }
})";
}

inline void write_host_files() {
    testfiles::write(kRegistry, registry_text());
    testfiles::write(kScenario, scenario_text());
}

} // namespace testhost
