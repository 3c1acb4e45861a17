// A reader of the MOF subset the project writes: class declarations with a superclass;
// qualifier lists, of which Key, IN and OUT are kept; properties with their types, array
// brackets and default values; methods with IN/OUT parameters and REF types. Comments, #pragma
// lines and qualifier declarations are skipped; anything else (instance declarations, ...) is
// an error, so that a MOF the server cannot serve faithfully is noticed when it starts.
#pragma once

#include <string>
#include <vector>

#include "class_decl.h"

namespace hostsim::server {

// Appends the classes declared in `text` to `classes`. False with `error` set to
// "origin:line: what is wrong" for text outside the subset; `classes` is then unchanged.
bool read_mof(const std::string &text, const std::string &origin, std::vector<ClassDecl> *classes,
              std::string *error);

} // namespace hostsim::server
