// CMPI values to JSON and text, and scenario JSON to CMPI values.
#include <limits>

#include <cmpi/cmpimacs.h>

#include "sim_values.h"

namespace hostsim::sim {

namespace {

struct TypeName {
    CMPIType type;
    const char *name;
};

const TypeName kTypeNames[] = {
    {CMPI_boolean, "boolean"},  {CMPI_char16, "char16"}, {CMPI_real32, "real32"},
    {CMPI_real64, "real64"},    {CMPI_uint8, "uint8"},   {CMPI_uint16, "uint16"},
    {CMPI_uint32, "uint32"},    {CMPI_uint64, "uint64"}, {CMPI_sint8, "sint8"},
    {CMPI_sint16, "sint16"},    {CMPI_sint32, "sint32"}, {CMPI_sint64, "sint64"},
    {CMPI_string, "string"},    {CMPI_ref, "ref"},       {CMPI_instance, "instance"},
    {CMPI_dateTime, "dateTime"}};

Json scalar_to_json(CMPIType type, const CMPIValue &v) {
    switch (type) {
    case CMPI_boolean:
        return v.boolean != 0;
    case CMPI_char16:
        return v.char16;
    case CMPI_real32:
        return v.real32;
    case CMPI_real64:
        return v.real64;
    case CMPI_uint8:
        return v.uint8;
    case CMPI_uint16:
        return v.uint16;
    case CMPI_uint32:
        return v.uint32;
    case CMPI_uint64:
        return v.uint64;
    case CMPI_sint8:
        return v.sint8;
    case CMPI_sint16:
        return v.sint16;
    case CMPI_sint32:
        return v.sint32;
    case CMPI_sint64:
        return v.sint64;
    case CMPI_string:
        return chars_of(v.string);
    case CMPI_chars:
    case CMPI_charsptr:
        return v.chars ? v.chars : "";
    case CMPI_ref:
        return path_text(v.ref);
    case CMPI_dateTime:
        return v.dateTime ? chars_of(CMGetStringFormat(v.dateTime, nullptr)) : "";
    case CMPI_instance: {
        if (v.inst == nullptr) {
            return nullptr;
        }
        const CMPIObjectPath *path = CMGetObjectPath(v.inst, nullptr);
        return Json{{"class", path ? chars_of(CMGetClassName(path, nullptr)) : ""},
                    {"properties", properties_to_json(v.inst)}};
    }
    default:
        return nullptr;
    }
}

// Named values read through an indexed accessor: [[name, type, value], ...].
template <class Count, class At> Json named_values(Count count, At at) {
    Json all = Json::array();
    for (CMPICount i = 0; i < count; ++i) {
        CMPIString *name = nullptr;
        CMPIData data = at(i, &name);
        all.push_back(Json::array({chars_of(name), type_name(data.type), value_to_json(data)}));
    }
    return all;
}

template <class T> T integer_in_range(const Json &json, const std::string &typeName) {
    if (!json.is_number_integer()) {
        throw SimError("value " + json.dump() + " is not a " + typeName);
    }
    if (json.is_number_unsigned()) {
        auto v = json.get<unsigned long long>();
        if (v > static_cast<unsigned long long>(std::numeric_limits<T>::max())) {
            throw SimError("value " + json.dump() + " does not fit a " + typeName);
        }
        return static_cast<T>(v);
    }
    auto v = json.get<long long>();
    if (v < static_cast<long long>(std::numeric_limits<T>::min()) ||
        (v > 0 && static_cast<unsigned long long>(v) >
                      static_cast<unsigned long long>(std::numeric_limits<T>::max()))) {
        throw SimError("value " + json.dump() + " does not fit a " + typeName);
    }
    return static_cast<T>(v);
}

// Fills `out` with a scalar of `type`; chars go to `chars` (the caller passes them by pointer).
void scalar_from_json(const CMPIBroker *broker, const Json &json, CMPIType type, CMPIValue *out,
                      std::string *chars) {
    const std::string name = type_name(type);
    switch (type) {
    case CMPI_boolean:
        if (!json.is_boolean()) {
            throw SimError("value " + json.dump() + " is not a boolean");
        }
        out->boolean = json.get<bool>() ? 1 : 0;
        return;
    case CMPI_char16:
        out->char16 = integer_in_range<CMPIChar16>(json, name);
        return;
    case CMPI_real32:
    case CMPI_real64:
        if (!json.is_number()) {
            throw SimError("value " + json.dump() + " is not a " + name);
        }
        if (type == CMPI_real32) {
            out->real32 = static_cast<CMPIReal32>(json.get<double>());
        } else {
            out->real64 = json.get<double>();
        }
        return;
    case CMPI_uint8:
        out->uint8 = integer_in_range<CMPIUint8>(json, name);
        return;
    case CMPI_uint16:
        out->uint16 = integer_in_range<CMPIUint16>(json, name);
        return;
    case CMPI_uint32:
        out->uint32 = integer_in_range<CMPIUint32>(json, name);
        return;
    case CMPI_uint64:
        out->uint64 = integer_in_range<CMPIUint64>(json, name);
        return;
    case CMPI_sint8:
        out->sint8 = integer_in_range<CMPISint8>(json, name);
        return;
    case CMPI_sint16:
        out->sint16 = integer_in_range<CMPISint16>(json, name);
        return;
    case CMPI_sint32:
        out->sint32 = integer_in_range<CMPISint32>(json, name);
        return;
    case CMPI_sint64:
        out->sint64 = integer_in_range<CMPISint64>(json, name);
        return;
    case CMPI_string:
        if (!json.is_string()) {
            throw SimError("value " + json.dump() + " is not a string");
        }
        *chars = json.get<std::string>();
        return;
    case CMPI_ref:
        if (!json.is_string()) {
            throw SimError("reference " + json.dump() + " is not path text");
        }
        out->ref = path_from_text(broker, json.get<std::string>());
        return;
    default:
        throw SimError("values of type " + name + " cannot be given in a scenario");
    }
}

CMPIType natural_type(const Json &json) {
    if (json.is_boolean()) {
        return CMPI_boolean;
    }
    if (json.is_number_float()) {
        return CMPI_real64;
    }
    if (json.is_number_unsigned()) {
        return CMPI_uint32;
    }
    if (json.is_number_integer()) {
        return CMPI_sint32;
    }
    if (json.is_string() || json.is_null()) {
        return CMPI_string;
    }
    throw SimError("value " + json.dump() +
                   " has no CIM type; use {\"type\": ..., \"value\": ...}");
}

} // namespace

std::string type_name(CMPIType type) {
    bool array = (type & CMPI_ARRAY) != 0;
    CMPIType simple = static_cast<CMPIType>(type & ~CMPI_ARRAY);
    if (simple == CMPI_chars || simple == CMPI_charsptr) {
        simple = CMPI_string;
    }
    for (const TypeName &entry : kTypeNames) {
        if (entry.type == simple) {
            return std::string(entry.name) + (array ? "[]" : "");
        }
    }
    return "?";
}

bool type_from_name(const std::string &name, CMPIType *type) {
    bool array = name.size() > 2 && name.compare(name.size() - 2, 2, "[]") == 0;
    std::string simple = array ? name.substr(0, name.size() - 2) : name;
    if (simple == "chars") {
        simple = "string";
    }
    for (const TypeName &entry : kTypeNames) {
        if (simple == entry.name) {
            *type = static_cast<CMPIType>(entry.type | (array ? CMPI_ARRAY : 0));
            return true;
        }
    }
    return false;
}

std::string chars_of(const CMPIString *text) {
    const char *chars = text ? CMGetCharsPtr(text, nullptr) : nullptr;
    return chars ? chars : "";
}

std::string path_text(const CMPIObjectPath *path) {
    if (path == nullptr) {
        return "";
    }
    PathText fields;
    fields.nameSpace = chars_of(CMGetNameSpace(path, nullptr));
    fields.className = chars_of(CMGetClassName(path, nullptr));
    CMPICount count = CMGetKeyCount(path, nullptr);
    for (CMPICount i = 0; i < count; ++i) {
        CMPIString *name = nullptr;
        CMPIData data = CMGetKeyAt(path, i, &name, nullptr);
        fields.keys.emplace_back(chars_of(name), json_text(value_to_json(data)));
    }
    return format_path_text(fields);
}

Json value_to_json(const CMPIData &data) {
    if (data.state & (CMPI_nullValue | CMPI_notFound | CMPI_badValue)) {
        return nullptr;
    }
    if ((data.type & CMPI_ARRAY) == 0) {
        return scalar_to_json(data.type, data.value);
    }
    Json items = Json::array();
    const CMPIArray *array = data.value.array;
    if (array == nullptr) {
        return nullptr;
    }
    CMPICount count = CMGetArrayCount(array, nullptr);
    for (CMPICount i = 0; i < count; ++i) {
        CMPIData element = CMGetArrayElementAt(array, i, nullptr);
        element.type = static_cast<CMPIType>(data.type & ~CMPI_ARRAY);
        items.push_back(value_to_json(element));
    }
    return items;
}

std::string json_text(const Json &value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

Json keys_to_json(const CMPIObjectPath *path) {
    if (path == nullptr) {
        return Json::array();
    }
    return named_values(CMGetKeyCount(path, nullptr), [path](CMPICount i, CMPIString **name) {
        return CMGetKeyAt(path, i, name, nullptr);
    });
}

std::string argument_text(const CMPIArgs *args, const char *name) {
    const Json value = args ? value_to_json(CMGetArg(args, name, nullptr)) : Json();
    return value.is_null() ? "" : json_text(value);
}

Json args_to_json(const CMPIArgs *args) {
    if (args == nullptr) {
        return Json::array();
    }
    return named_values(CMGetArgCount(args, nullptr), [args](CMPICount i, CMPIString **name) {
        return CMGetArgAt(args, i, name, nullptr);
    });
}

Json properties_to_json(const CMPIInstance *instance) {
    if (instance == nullptr) {
        return Json::array();
    }
    return named_values(CMGetPropertyCount(instance, nullptr),
                        [instance](CMPICount i, CMPIString **name) {
                            return CMGetPropertyAt(instance, i, name, nullptr);
                        });
}

CimValue CimValue::from_json(const CMPIBroker *broker, const Json &json) {
    CimValue v;
    const Json *value = &json;
    if (json.is_object()) {
        if (!json.contains("type") || !json["type"].is_string() ||
            !type_from_name(json["type"].get<std::string>(), &v.type_)) {
            throw SimError("typed value " + json.dump() + " needs a known \"type\"");
        }
        value = json.contains("value") ? &json["value"] : nullptr;
    } else {
        v.type_ = json.is_array()
                      ? static_cast<CMPIType>(
                            CMPI_ARRAY | (json.empty() ? CMPI_string : natural_type(json.front())))
                      : natural_type(json);
    }
    if (value == nullptr || value->is_null()) {
        v.null_ = true;
        return v;
    }
    if ((v.type_ & CMPI_ARRAY) == 0) {
        scalar_from_json(broker, *value, v.type_, &v.value_, &v.chars_);
        return v;
    }
    if (!value->is_array()) {
        throw SimError("value " + value->dump() + " is not an array");
    }
    CMPIType element = static_cast<CMPIType>(v.type_ & ~CMPI_ARRAY);
    CMPIArray *array = CMNewArray(broker, static_cast<CMPICount>(value->size()), element, nullptr);
    for (size_t i = 0; i < value->size(); ++i) {
        CMPIValue item{};
        std::string chars;
        scalar_from_json(broker, (*value)[i], element, &item, &chars);
        if (element == CMPI_string) {
            CMSetArrayElementAt(array, static_cast<CMPICount>(i), chars.c_str(), CMPI_chars);
        } else {
            CMSetArrayElementAt(array, static_cast<CMPICount>(i), &item, element);
        }
    }
    v.value_.array = array;
    return v;
}

const CMPIValue *CimValue::value() const {
    if (null_) {
        return nullptr;
    }
    if (type_ == CMPI_string) {
        // Strings travel as chars: the value is the character pointer itself.
        return reinterpret_cast<const CMPIValue *>(chars_.c_str());
    }
    return &value_;
}

CMPIObjectPath *path_from_text(const CMPIBroker *broker, const std::string &text) {
    PathText fields;
    std::string error;
    if (!parse_path_text(text, &fields, &error)) {
        throw SimError(error);
    }
    CMPIObjectPath *path =
        CMNewObjectPath(broker, fields.nameSpace.c_str(), fields.className.c_str(), nullptr);
    if (path == nullptr) {
        throw SimError("the broker made no object path for " + text);
    }
    for (const auto &key : fields.keys) {
        CMAddKey(path, key.first.c_str(), key.second.c_str(), CMPI_chars);
    }
    return path;
}

} // namespace hostsim::sim
