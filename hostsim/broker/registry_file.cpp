// Registration files in sfcb's providerRegister format, and loading the providers they name.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "hostsim_broker.h"

namespace hostsim {

namespace {

const std::set<std::string> kKnownTypes = {"instance", "association", "method",   "indication",
                                           "class",    "property",    "qualifier"};
// Accepted as sfcb does, without effect in a single-process broker.
const std::set<std::string> kIgnoredKeys = {"group", "unload", "user", "parameters"};

std::string trimmed(const std::string &text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) {
        ++begin;
    }
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::vector<std::string> words(const std::string &text) {
    std::istringstream in(text);
    std::vector<std::string> found;
    for (std::string word; in >> word;) {
        found.push_back(word);
    }
    return found;
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

class Parser {
  public:
    explicit Parser(std::string origin) : origin_(std::move(origin)) {}

    bool parse(const std::string &text, std::vector<Registration> *out, std::string *error) {
        std::istringstream in(text);
        int number = 0;
        for (std::string raw; std::getline(in, raw);) {
            ++number;
            if (!parse_line(trimmed(raw), number)) {
                break;
            }
        }
        if (error_.empty()) {
            finish_section();
        }
        if (!error_.empty()) {
            if (error) {
                *error = error_;
            }
            return false;
        }
        *out = std::move(done_);
        return true;
    }

  private:
    bool fail(int line, const std::string &what) {
        if (error_.empty()) {
            error_ = origin_ + ":" + std::to_string(line) + ": " + what;
        }
        return false;
    }

    bool parse_line(const std::string &line, int number) {
        if (line.empty() || line[0] == '#') {
            return true;
        }
        if (line[0] == '[') {
            return open_section(line, number);
        }
        size_t colon = line.find(':');
        if (colon == std::string::npos) {
            return fail(number, "expected '[ClassName]' or 'name: value', found '" + line + "'");
        }
        std::string key = lowered(trimmed(line.substr(0, colon)));
        std::vector<std::string> values = words(line.substr(colon + 1));
        if (!current_) {
            return fail(number, "'" + key + "' before the first [ClassName] section");
        }
        if (!seenKeys_.insert(key).second) {
            return fail(number, "'" + key + "' given twice in [" + current_->className + "]");
        }
        if (kIgnoredKeys.count(key)) {
            return true;
        }
        if (values.empty()) {
            return fail(number, "'" + key + "' needs a value");
        }
        return set_value(key, values, number);
    }

    bool set_value(const std::string &key, const std::vector<std::string> &values, int number) {
        if (key == "provider" || key == "location") {
            if (values.size() != 1) {
                return fail(number, "'" + key + "' takes one name");
            }
            (key == "provider" ? current_->providerName : current_->location) = values[0];
            return true;
        }
        if (key == "type") {
            for (const std::string &type : values) {
                if (!kKnownTypes.count(type)) {
                    return fail(number, "unknown provider type '" + type + "'");
                }
            }
            current_->types = values;
            return true;
        }
        if (key == "namespace") {
            current_->nameSpaces = values;
            return true;
        }
        return fail(number, "unknown entry '" + key + "'");
    }

    bool open_section(const std::string &line, int number) {
        if (line.back() != ']') {
            return fail(number, "section header without closing ']'");
        }
        std::string name = trimmed(line.substr(1, line.size() - 2));
        if (name.empty() || words(name).size() != 1) {
            return fail(number, "section header needs one class name");
        }
        if (!finish_section()) {
            return false;
        }
        current_ = Registration{};
        current_->className = name;
        current_->line = number;
        seenKeys_.clear();
        return true;
    }

    bool finish_section() {
        if (!current_) {
            return true;
        }
        Registration &reg = *current_;
        const char *missing = reg.providerName.empty() ? "provider"
                              : reg.location.empty()   ? "location"
                              : reg.types.empty()      ? "type"
                              : reg.nameSpaces.empty() ? "namespace"
                                                       : nullptr;
        if (missing) {
            return fail(reg.line, "[" + reg.className + "] has no '" + missing + "'");
        }
        for (const std::string &ns : reg.nameSpaces) {
            if (!routes_.insert({lowered(ns), lowered(reg.className)}).second) {
                return fail(reg.line, reg.className + " in " + ns + " is registered twice");
            }
        }
        done_.push_back(std::move(reg));
        current_.reset();
        return true;
    }

    std::string origin_;
    std::string error_;
    std::optional<Registration> current_;
    std::set<std::string> seenKeys_;
    std::set<std::pair<std::string, std::string>> routes_;
    std::vector<Registration> done_;
};

bool has_type(const Registration &reg, const char *type) {
    return std::find(reg.types.begin(), reg.types.end(), type) != reg.types.end();
}

} // namespace

bool parse_registrations(const std::string &text, const std::string &origin,
                         std::vector<Registration> *registrations, std::string *error) {
    return Parser(origin).parse(text, registrations, error);
}

bool load_registry(const std::string &path, const std::string &libraryDir, RegistryLoad *load,
                   std::string *error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) {
            *error = path + ": cannot read the registration file";
        }
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::vector<Registration> registrations;
    if (!parse_registrations(text.str(), path, &registrations, error)) {
        return false;
    }
    RegistryLoad result;
    // A provider shared by several sections is loaded once; so is a failure to load it.
    std::map<std::pair<std::string, std::string>, std::shared_ptr<Provider>> loaded;
    for (const Registration &reg : registrations) {
        auto id = std::make_pair(reg.location, reg.providerName);
        auto found = loaded.find(id);
        if (found == loaded.end()) {
            std::string library = libraryDir + "/lib" + reg.location + ".so";
            std::string why;
            std::shared_ptr<Provider> provider = load_provider(library, reg.providerName, &why);
            if (provider == nullptr) {
                result.warnings.push_back("provider " + reg.providerName + " not loaded (" + why +
                                          "); its classes answer not-found");
            }
            found = loaded.emplace(id, provider).first;
        }
        if (found->second == nullptr) {
            continue;
        }
        // Only the registered kinds of request reach the provider for this class.
        auto served = std::make_shared<Provider>(*found->second);
        if (!has_type(reg, "instance")) {
            served->instanceMI = nullptr;
        }
        if (!has_type(reg, "method")) {
            served->methodMI = nullptr;
        }
        for (const std::string &ns : reg.nameSpaces) {
            register_provider(ns, reg.className, served);
            ++result.routes;
        }
    }
    if (load) {
        *load = std::move(result);
    }
    return true;
}

} // namespace hostsim
