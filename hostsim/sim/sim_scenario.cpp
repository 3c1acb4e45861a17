// Scenario files, their cache keyed by the file's identity, and per-call sequences.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <sys/stat.h>

#include "sim_scenario.h"

namespace hostsim::sim {

namespace {

// Line and column of the byte nlohmann stopped at (its position counts from 1).
std::string position_of(const std::string &text, size_t byte) {
    size_t end = byte == 0 ? 0 : std::min(byte - 1, text.size());
    size_t line = 1, lineStart = 0;
    for (size_t i = 0; i < end; ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    return std::to_string(line) + ":" + std::to_string(end - lineStart + 1);
}

// nlohmann's message without its "[json.exception...] parse error at line L, column C: " head.
std::string reason_of(const nlohmann::json::parse_error &error) {
    std::string what = error.what();
    size_t column = what.find("column ");
    size_t colon = column == std::string::npos ? std::string::npos : what.find(": ", column);
    return colon == std::string::npos ? what : what.substr(colon + 2);
}

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long seconds = 0;
    long nanoseconds = 0;
    bool operator==(const FileIdentity &o) const {
        return device == o.device && inode == o.inode && size == o.size && seconds == o.seconds &&
               nanoseconds == o.nanoseconds;
    }
};

struct ScenarioCache {
    std::mutex lock;
    std::string path;
    FileIdentity identity;
    std::shared_ptr<const Json> scenario;
};

ScenarioCache &cache() {
    static ScenarioCache instance;
    return instance;
}

struct Sequences {
    std::mutex lock;
    std::map<std::string, size_t> calls;
};

Sequences &sequences() {
    static Sequences instance;
    return instance;
}

void clear_sequences() {
    Sequences &all = sequences();
    std::lock_guard<std::mutex> guard(all.lock);
    all.calls.clear();
}

} // namespace

Json parse_scenario(const std::string &text, const std::string &origin) {
    Json scenario;
    try {
        scenario = Json::parse(text);
    } catch (const nlohmann::json::parse_error &error) {
        throw SimError(origin + ":" + position_of(text, error.byte) + ": " + reason_of(error));
    }
    if (!scenario.is_object()) {
        throw SimError(origin + ":1: a scenario is a JSON object, not " +
                       std::string(scenario.type_name()));
    }
    return scenario;
}

Json load_scenario_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw SimError(path + ": cannot read the scenario file: " + std::strerror(errno));
    }
    std::stringstream text;
    text << in.rdbuf();
    return parse_scenario(text.str(), path);
}

std::shared_ptr<const Json> current_scenario() {
    const char *named = std::getenv(kScenarioVariable);
    std::string path = named ? named : "";
    ScenarioCache &c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    FileIdentity identity;
    if (!path.empty()) {
        struct stat info {};
        if (stat(path.c_str(), &info) != 0) {
            throw SimError(path + ": cannot read the scenario file: " + std::strerror(errno));
        }
        identity = {info.st_dev, info.st_ino, info.st_size, static_cast<long>(info.st_mtim.tv_sec),
                    info.st_mtim.tv_nsec};
    }
    if (c.scenario && c.path == path && c.identity == identity) {
        return c.scenario;
    }
    auto scenario =
        std::make_shared<const Json>(path.empty() ? Json::object() : load_scenario_file(path));
    c.path = path;
    c.identity = identity;
    c.scenario = scenario;
    clear_sequences();
    return scenario;
}

Json scenario_section(const std::string &name) {
    std::shared_ptr<const Json> scenario = current_scenario();
    auto found = scenario->find(name);
    return found == scenario->end() ? Json() : *found;
}

Json next_in_sequence(const std::string &key, const Json &steps) {
    if (!steps.is_array()) {
        return steps;
    }
    if (steps.empty()) {
        return nullptr;
    }
    Sequences &all = sequences();
    size_t n;
    {
        std::lock_guard<std::mutex> guard(all.lock);
        n = all.calls[key]++;
    }
    return steps[std::min(n, steps.size() - 1)];
}

void reset_sequence(const std::string &key) {
    Sequences &all = sequences();
    std::lock_guard<std::mutex> guard(all.lock);
    all.calls.erase(key);
}

void reset_sequences_under(const std::string &prefix) {
    Sequences &all = sequences();
    std::lock_guard<std::mutex> guard(all.lock);
    for (auto it = all.calls.lower_bound(prefix);
         it != all.calls.end() && it->first.compare(0, prefix.size(), prefix) == 0;) {
        it = all.calls.erase(it);
    }
}

} // namespace hostsim::sim
