// Class declarations by name, and their resolution along the superclass chain.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "class_repository.h"
#include "mof_reader.h"

namespace hostsim::server {

namespace {

// Chains are short; a longer one is a cycle.
constexpr int kMaxDepth = 32;

std::string key_of(const std::string &name) {
    std::string key = name;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

template <class Decl> void merge(std::vector<Decl> *into, const Decl &decl) {
    for (Decl &existing : *into) {
        if (same_name(existing.name, decl.name)) {
            existing = decl;
            return;
        }
    }
    into->push_back(decl);
}

} // namespace

ClassRepository::ClassRepository() {
    std::string error;
    if (!add_mof(cim_schema_mof(), "built-in schema", &error)) {
        throw std::logic_error(error);
    }
}

bool ClassRepository::add_mof(const std::string &text, const std::string &origin,
                              std::string *error) {
    std::vector<ClassDecl> read;
    if (!read_mof(text, origin, &read, error)) {
        return false;
    }
    for (ClassDecl &decl : read) {
        classes_[key_of(decl.name)] = std::move(decl);
    }
    return true;
}

bool ClassRepository::load_directory(const std::string &dir, std::string *error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<fs::path> files;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == ".mof" && it->is_regular_file(ec)) {
            files.push_back(it->path());
        }
    }
    if (ec) {
        *error = dir + ": " + ec.message();
        return false;
    }
    std::sort(files.begin(), files.end());
    for (const fs::path &file : files) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        if (!in) {
            *error = file.string() + ": cannot read the MOF file";
            return false;
        }
        if (!add_mof(text.str(), file.string(), error)) {
            return false;
        }
    }
    return true;
}

const ClassDecl *ClassRepository::find(const std::string &className) const {
    auto found = classes_.find(key_of(className));
    return found == classes_.end() ? nullptr : &found->second;
}

bool ClassRepository::has(const std::string &className) const {
    return find(className) != nullptr;
}

std::optional<ClassDecl> ClassRepository::resolve(const std::string &className) const {
    std::vector<const ClassDecl *> chain; // the class first, the root last
    for (const ClassDecl *decl = find(className); decl != nullptr && chain.size() < kMaxDepth;
         decl = decl->superclass.empty() ? nullptr : find(decl->superclass)) {
        chain.push_back(decl);
    }
    if (chain.empty()) {
        return std::nullopt;
    }
    ClassDecl resolved;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        for (PropertyDecl property : (*it)->properties) {
            const PropertyDecl *inherited = find_property(resolved, property.name);
            property.key = property.key || (inherited != nullptr && inherited->key);
            property.origin = (*it)->name;
            merge(&resolved.properties, property);
        }
        for (MethodDecl method : (*it)->methods) {
            method.origin = (*it)->name;
            merge(&resolved.methods, method);
        }
    }
    resolved.name = chain.front()->name;
    resolved.superclass = chain.front()->superclass;
    resolved.line = chain.front()->line;
    return resolved;
}

bool ClassRepository::derives_from(const std::string &className,
                                   const std::string &ancestor) const {
    const ClassDecl *decl = find(className);
    for (int depth = 0; decl != nullptr && depth < kMaxDepth; ++depth) {
        if (same_name(decl->name, ancestor)) {
            return true;
        }
        decl = decl->superclass.empty() ? nullptr : find(decl->superclass);
    }
    return false;
}

std::vector<std::string> ClassRepository::class_names() const {
    std::vector<std::string> names;
    for (const auto &entry : classes_) {
        names.push_back(entry.second.name);
    }
    return names;
}

} // namespace hostsim::server
