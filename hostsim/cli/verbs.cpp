// The verb table. A new verb (install) is one function in its own file and one line here.
#include "serve_verb.h"
#include "verbs.h"

namespace hostsim::cli {

namespace {

const Verb kVerbs[] = {
    {"ei", check_class_verb, run_ei},
    {"ein", check_class_verb, run_ein},
    {"gi", check_gi, run_gi},
    {"cm", check_cm, run_cm},
    {"install", check_install, run_install},
    {"serve", check_serve, run_serve},
};

} // namespace

const Verb *find_verb(const std::string &name) {
    for (const Verb &verb : kVerbs) {
        if (name == verb.name) {
            return &verb;
        }
    }
    return nullptr;
}

} // namespace hostsim::cli
