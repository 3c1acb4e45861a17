// The classes the server declares: a few CIM schema classes that the project's classes derive
// from, then the project's MOF files, whose classes replace built-in ones of the same name.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "class_decl.h"

namespace hostsim::server {

class ClassRepository {
  public:
    // Starts with the built-in schema classes.
    ClassRepository();

    // Adds the classes of every *.mof file under `dir`, in name order. False with `error`
    // ("file:line: ...") for an unreadable or malformed file.
    bool load_directory(const std::string &dir, std::string *error);
    bool add_mof(const std::string &text, const std::string &origin, std::string *error);

    bool has(const std::string &className) const;
    // The class with everything it inherits: inherited features first, each carrying the class
    // that declared it last as its origin; a Key stays a key in subclasses. A superclass that is
    // not declared ends the chain. Nothing when the class is not declared.
    std::optional<ClassDecl> resolve(const std::string &className) const;
    // Whether `className` is `ancestor` or derives from it.
    bool derives_from(const std::string &className, const std::string &ancestor) const;
    std::vector<std::string> class_names() const;

  private:
    const ClassDecl *find(const std::string &className) const;
    std::map<std::string, ClassDecl> classes_; // by lower-case name
};

// The built-in CIM schema subset, as MOF.
const char *cim_schema_mof();

} // namespace hostsim::server
