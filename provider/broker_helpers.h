// Small helpers around broker calls that retrieval and the installers share.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <cmpi/cmpift.h>

// True when the broker handed back a usable object (non-null, with a handle).
inline bool is_usable(const void *object) {
    return object != nullptr && static_cast<const CMPIString *>(object)->hdl != nullptr;
}

// The text of a broker status message; empty when there is none.
std::string status_message_text(const CMPIStatus &status);

// The characters of a CMPI string value, or null when the data holds no string.
const char *string_value(const CMPIData &data);

// A new object path in the provider's broker with the given keys (all CMPI_chars, in order).
struct KeyText {
    const char *name;
    const char *value;
};
CMPIObjectPath *new_path(const char *nameSpace, const char *className);
void add_chars_keys(CMPIObjectPath *path, std::initializer_list<KeyText> keys);

// Visits the instances that an enumeration of `path` yields, until it ends or a slot holds no
// instance; false when the enumeration failed.
bool visit_instances(const CMPIContext *ctx, const CMPIObjectPath *path,
                     const std::function<void(const CMPIInstance *)> &visit);
// The same for the instances of a class; false also when no path could be made.
bool for_each_instance(const CMPIContext *ctx, const char *nameSpace, const char *className,
                       const std::function<void(const CMPIInstance *)> &visit);

// A string property of an instance (null when absent), and a string key of its object path.
const char *string_property(const CMPIInstance *instance, const char *name);
std::optional<std::string> string_key(const CMPIInstance *instance, const char *name);

// Enumerates `className` in `nameSpace` and returns the string property `property` of the last
// instance enumerated (an instance without it counts as having none). False when the
// enumeration failed or the last instance carries no such string.
bool last_instance_string(const CMPIContext *ctx, const char *nameSpace, const char *className,
                          const char *property, std::string &value);
