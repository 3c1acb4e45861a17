#include <cstring>
#include <strings.h>

#include "object_model.h"

namespace hostsim::detail {

namespace {

bool is_array(CMPIType type) {
    return (type & CMPI_ARRAY) != 0;
}

// Element type as stored: character strings are kept as CMPIString.
CMPIType stored_type(CMPIType type) {
    if (type == CMPI_chars || type == CMPI_charsptr) {
        return CMPI_string;
    }
    if (type == CMPI_charsA || type == CMPI_charsptrA) {
        return CMPI_stringA;
    }
    return type;
}

size_t scalar_size(CMPIType type) {
    switch (type) {
    case CMPI_boolean:
        return sizeof(CMPIBoolean);
    case CMPI_char16:
        return sizeof(CMPIChar16);
    case CMPI_real32:
        return sizeof(CMPIReal32);
    case CMPI_real64:
        return sizeof(CMPIReal64);
    case CMPI_uint8:
    case CMPI_sint8:
        return 1;
    case CMPI_uint16:
    case CMPI_sint16:
        return 2;
    case CMPI_uint32:
    case CMPI_sint32:
        return 4;
    case CMPI_uint64:
    case CMPI_sint64:
        return 8;
    default:
        return sizeof(CMPIValuePtr);
    }
}

} // namespace

Value::Value(const Value &other) {
    copy_from(other);
}

Value &Value::operator=(const Value &other) {
    if (this != &other) {
        reset();
        copy_from(other);
    }
    return *this;
}

Value::~Value() {
    reset();
}

void Value::reset() {
    if (state_ == CMPI_goodValue || state_ == CMPI_keyValue) {
        if (is_array(type_)) {
            destroy(impl_of<ArrayImpl>(value_.array));
        } else if (type_ == CMPI_string) {
            destroy(impl_of<StringImpl>(value_.string));
        } else if (type_ == CMPI_ref) {
            destroy(impl_of<ObjectPathImpl>(value_.ref));
        } else if (type_ == CMPI_instance) {
            destroy(impl_of<InstanceImpl>(value_.inst));
        } else if (type_ == CMPI_args) {
            destroy(impl_of<ArgsImpl>(value_.args));
        } else if (type_ == CMPI_dateTime) {
            destroy(impl_of<DateTimeImpl>(value_.dateTime));
        }
    }
    type_ = CMPI_null;
    state_ = CMPI_nullValue;
    value_ = CMPIValue{};
}

void Value::copy_from(const Value &other) {
    type_ = other.type_;
    state_ = other.state_;
    value_ = other.value_;
    if (state_ != CMPI_goodValue && state_ != CMPI_keyValue) {
        return;
    }
    if (is_array(type_)) {
        value_.array = &clone_array(*impl_of<ArrayImpl>(other.value_.array))->enc;
    } else if (type_ == CMPI_string) {
        value_.string = &make_string(impl_of<StringImpl>(other.value_.string)->text, false)->enc;
    } else if (type_ == CMPI_ref) {
        value_.ref = &clone_path(*impl_of<ObjectPathImpl>(other.value_.ref))->enc;
    } else if (type_ == CMPI_instance) {
        value_.inst = &clone_instance(*impl_of<InstanceImpl>(other.value_.inst))->enc;
    } else if (type_ == CMPI_args) {
        value_.args = &clone_args(*impl_of<ArgsImpl>(other.value_.args))->enc;
    } else if (type_ == CMPI_dateTime) {
        const DateTimeImpl *dt = impl_of<DateTimeImpl>(other.value_.dateTime);
        value_.dateTime = &make_datetime(dt->microseconds, dt->interval, false)->enc;
    }
}

Value Value::null_of(CMPIType type) {
    Value v;
    v.type_ = stored_type(type);
    v.state_ = CMPI_nullValue;
    return v;
}

Value Value::from(const CMPIValue *value, CMPIType type) {
    Value v = null_of(type);
    if (value == nullptr) {
        return v;
    }
    if (is_array(type)) {
        if (value->array == nullptr) {
            return v;
        }
        v.value_.array = &clone_array(*impl_of<ArrayImpl>(value->array))->enc;
    } else if (type == CMPI_chars || type == CMPI_charsptr) {
        // The value is the character pointer itself.
        const char *chars = reinterpret_cast<const char *>(value);
        v.value_.string = &make_string(chars, false)->enc;
    } else if (type == CMPI_string) {
        const StringImpl *s = impl_of<StringImpl>(value->string);
        if (s == nullptr) {
            return v;
        }
        v.value_.string = &make_string(s->text, false)->enc;
    } else if (type == CMPI_ref) {
        if (value->ref == nullptr) {
            return v;
        }
        v.value_.ref = &clone_path(*impl_of<ObjectPathImpl>(value->ref))->enc;
    } else if (type == CMPI_instance) {
        if (value->inst == nullptr) {
            return v;
        }
        v.value_.inst = &clone_instance(*impl_of<InstanceImpl>(value->inst))->enc;
    } else if (type == CMPI_args) {
        if (value->args == nullptr) {
            return v;
        }
        v.value_.args = &clone_args(*impl_of<ArgsImpl>(value->args))->enc;
    } else if (type == CMPI_dateTime) {
        const DateTimeImpl *dt = impl_of<DateTimeImpl>(value->dateTime);
        if (dt == nullptr) {
            return v;
        }
        v.value_.dateTime = &make_datetime(dt->microseconds, dt->interval, false)->enc;
    } else {
        // Scalars: copy only the bytes the type needs (every member starts at the union's
        // first byte). Callers pass the address of a variable of the exact type, which need not
        // be aligned as a CMPIValue is.
        std::memcpy(&v.value_, value, scalar_size(type));
    }
    v.state_ = CMPI_goodValue;
    return v;
}

CMPIData Value::data() const {
    CMPIData d{};
    d.type = type_;
    d.state = state_;
    d.value = value_;
    return d;
}

void NamedValues::set(const char *name, Value value) {
    for (auto &entry : entries_) {
        if (strcasecmp(entry.first.c_str(), name) == 0) {
            entry.second = std::move(value);
            return;
        }
    }
    entries_.emplace_back(name, std::move(value));
}

const Value *NamedValues::find(const char *name) const {
    for (const auto &entry : entries_) {
        if (name != nullptr && strcasecmp(entry.first.c_str(), name) == 0) {
            return &entry.second;
        }
    }
    return nullptr;
}

CMPIData data_named(const NamedValues &values, const char *name, CMPIStatus *rc) {
    const Value *value = values.find(name);
    if (value == nullptr) {
        set_rc(rc, CMPI_RC_ERR_NOT_FOUND);
        return null_data(CMPI_notFound);
    }
    set_rc(rc, CMPI_RC_OK);
    return value->data();
}

CMPIData data_at(const NamedValues &values, CMPICount index, CMPIString **name, CMPIStatus *rc) {
    if (index >= values.size()) {
        set_rc(rc, CMPI_RC_ERR_NO_SUCH_PROPERTY);
        return null_data(CMPI_notFound);
    }
    const auto &entry = values.at(index);
    if (name != nullptr) {
        *name = &tracked(make_string(entry.first, false))->enc;
    }
    set_rc(rc, CMPI_RC_OK);
    return entry.second.data();
}

} // namespace hostsim::detail
