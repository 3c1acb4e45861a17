// Plain-text forms of CMPI values, for people and for tests.
#include <string>

#include "hostsim_broker.h"
#include "object_model.h"

namespace hostsim {

namespace {

std::string scalar_text(CMPIType type, const CMPIValue &v) {
    switch (type) {
    case CMPI_boolean:
        return v.boolean ? "true" : "false";
    case CMPI_char16:
        return std::to_string(v.char16);
    case CMPI_real32:
        return std::to_string(v.real32);
    case CMPI_real64:
        return std::to_string(v.real64);
    case CMPI_uint8:
        return std::to_string(v.uint8);
    case CMPI_uint16:
        return std::to_string(v.uint16);
    case CMPI_uint32:
        return std::to_string(v.uint32);
    case CMPI_uint64:
        return std::to_string(v.uint64);
    case CMPI_sint8:
        return std::to_string(v.sint8);
    case CMPI_sint16:
        return std::to_string(v.sint16);
    case CMPI_sint32:
        return std::to_string(v.sint32);
    case CMPI_sint64:
        return std::to_string(v.sint64);
    case CMPI_string:
        return v.string ? detail::impl_of<detail::StringImpl>(v.string)->text : "";
    case CMPI_chars:
        return v.chars ? v.chars : "";
    case CMPI_ref:
        return path_to_text(v.ref);
    case CMPI_instance: {
        const detail::InstanceImpl *inst = detail::impl_of<detail::InstanceImpl>(v.inst);
        return inst ? "instance of " + inst->path.className : "";
    }
    case CMPI_dateTime: {
        CMPIString *text =
            v.dateTime ? v.dateTime->ft->getStringFormat(v.dateTime, nullptr) : nullptr;
        return text ? detail::impl_of<detail::StringImpl>(text)->text : "";
    }
    default:
        return "?";
    }
}

} // namespace

std::string to_text(const CMPIData &data) {
    if (data.state & (CMPI_nullValue | CMPI_notFound | CMPI_badValue)) {
        return "NULL";
    }
    if ((data.type & CMPI_ARRAY) == 0) {
        return scalar_text(data.type, data.value);
    }
    const detail::ArrayImpl *array = detail::impl_of<detail::ArrayImpl>(data.value.array);
    std::string text;
    if (array == nullptr) {
        return "NULL";
    }
    for (size_t i = 0; i < array->elements.size(); ++i) {
        CMPIData element = array->elements[i].data();
        element.type = array->elementType;
        text += (i ? "," : "") + to_text(element);
    }
    return text;
}

std::string path_to_text(const CMPIObjectPath *op) {
    const detail::ObjectPathImpl *path = detail::impl_of<detail::ObjectPathImpl>(op);
    if (path == nullptr) {
        return "";
    }
    std::string text = path->nameSpace + ":" + path->className;
    for (size_t i = 0; i < path->keys.size(); ++i) {
        const auto &key = path->keys.at(i);
        text += (i ? "," : ".") + key.first + "=\"" + to_text(key.second.data()) + "\"";
    }
    return text;
}

} // namespace hostsim
