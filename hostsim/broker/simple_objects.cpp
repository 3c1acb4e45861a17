// Strings, arrays, argument lists and date-times: their function tables and factories.
#include <ctime>
#include <sys/time.h>

#include "object_model.h"

namespace hostsim::detail {

namespace {

// ---- CMPIString ----
CMPIStatus string_release(CMPIString *s) {
    destroy(impl_of<StringImpl>(s));
    return status_ok();
}
CMPIString *string_clone(const CMPIString *s, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return &make_string(impl_of<StringImpl>(s)->text, false)->enc;
}
const char *string_chars(const CMPIString *s, CMPIStatus *rc) {
    set_rc(rc, s ? CMPI_RC_OK : CMPI_RC_ERR_INVALID_HANDLE);
    return s ? impl_of<StringImpl>(s)->text.c_str() : nullptr;
}
CMPIStringFT stringFT = {CMPICurrentVersion, string_release, string_clone, string_chars};

// ---- CMPIArray ----
CMPIStatus array_release(CMPIArray *a) {
    destroy(impl_of<ArrayImpl>(a));
    return status_ok();
}
CMPIArray *array_clone(const CMPIArray *a, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return &clone_array(*impl_of<ArrayImpl>(a))->enc;
}
CMPICount array_size(const CMPIArray *a, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return static_cast<CMPICount>(impl_of<ArrayImpl>(a)->elements.size());
}
CMPIType array_type(const CMPIArray *a, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return impl_of<ArrayImpl>(a)->elementType;
}
CMPIData array_get(const CMPIArray *a, CMPICount index, CMPIStatus *rc) {
    const ArrayImpl *array = impl_of<ArrayImpl>(a);
    if (index >= array->elements.size()) {
        set_rc(rc, CMPI_RC_ERR_NO_SUCH_PROPERTY);
        return null_data(CMPI_badValue);
    }
    set_rc(rc, CMPI_RC_OK);
    CMPIData d = array->elements[index].data();
    d.type = array->elementType;
    return d;
}
CMPIStatus array_set(CMPIArray *a, CMPICount index, const CMPIValue *value, CMPIType type) {
    ArrayImpl *array = impl_of<ArrayImpl>(a);
    if (index >= array->elements.size()) {
        return status_of(CMPI_RC_ERR_NO_SUCH_PROPERTY);
    }
    CMPIType given = (type == CMPI_chars || type == CMPI_charsptr) ? CMPI_string : type;
    if (given != array->elementType && type != CMPI_null) {
        return status_of(CMPI_RC_ERR_TYPE_MISMATCH);
    }
    array->elements[index] = Value::from(value, type == CMPI_null ? array->elementType : type);
    return status_ok();
}
CMPIArrayFT arrayFT = {CMPICurrentVersion, array_release, array_clone, array_size,
                       array_type,         array_get,     array_set};

// ---- CMPIArgs ----
CMPIStatus args_release(CMPIArgs *a) {
    destroy(impl_of<ArgsImpl>(a));
    return status_ok();
}
CMPIArgs *args_clone(const CMPIArgs *a, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return &clone_args(*impl_of<ArgsImpl>(a))->enc;
}
CMPIStatus args_add(const CMPIArgs *a, const char *name, const CMPIValue *value, CMPIType type) {
    if (a == nullptr || name == nullptr) {
        return status_of(CMPI_RC_ERR_INVALID_PARAMETER);
    }
    impl_of<ArgsImpl>(a)->args.set(name, Value::from(value, type));
    return status_ok();
}
CMPIData args_get(const CMPIArgs *a, const char *name, CMPIStatus *rc) {
    return data_named(impl_of<ArgsImpl>(a)->args, name, rc);
}
CMPIData args_get_at(const CMPIArgs *a, CMPICount index, CMPIString **name, CMPIStatus *rc) {
    return data_at(impl_of<ArgsImpl>(a)->args, index, name, rc);
}
CMPICount args_count(const CMPIArgs *a, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return static_cast<CMPICount>(impl_of<ArgsImpl>(a)->args.size());
}
CMPIArgsFT argsFT = {CMPICurrentVersion, args_release, args_clone, args_add,
                     args_get,           args_get_at,  args_count};

// ---- CMPIDateTime ----
CMPIStatus datetime_release(CMPIDateTime *d) {
    destroy(impl_of<DateTimeImpl>(d));
    return status_ok();
}
CMPIDateTime *datetime_clone(const CMPIDateTime *d, CMPIStatus *rc) {
    const DateTimeImpl *dt = impl_of<DateTimeImpl>(d);
    set_rc(rc, CMPI_RC_OK);
    return &make_datetime(dt->microseconds, dt->interval, false)->enc;
}
CMPIUint64 datetime_binary(const CMPIDateTime *d, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return impl_of<DateTimeImpl>(d)->microseconds;
}
// CIM datetime text: yyyymmddhhmmss.mmmmmm+000 (UTC), or ddddddddhhmmss.mmmmmm:000 for intervals.
CMPIString *datetime_string(const CMPIDateTime *d, CMPIStatus *rc) {
    const DateTimeImpl *dt = impl_of<DateTimeImpl>(d);
    char text[64];
    CMPIUint64 micro = dt->microseconds % 1000000;
    CMPIUint64 seconds = dt->microseconds / 1000000;
    if (dt->interval) {
        snprintf(text, sizeof text, "%08llu%02llu%02llu%02llu.%06llu:000", seconds / 86400,
                 seconds / 3600 % 24, seconds / 60 % 60, seconds % 60, micro);
    } else {
        time_t t = static_cast<time_t>(seconds);
        struct tm utc {};
        gmtime_r(&t, &utc);
        snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d.%06llu+000", utc.tm_year + 1900,
                 utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, micro);
    }
    set_rc(rc, CMPI_RC_OK);
    return &make_string(text)->enc;
}
CMPIBoolean datetime_interval(const CMPIDateTime *d, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return impl_of<DateTimeImpl>(d)->interval ? 1 : 0;
}
CMPIDateTimeFT datetimeFT = {CMPICurrentVersion, datetime_release, datetime_clone,
                             datetime_binary,    datetime_string,  datetime_interval};

} // namespace

CMPIStatus status_with_text(CMPIrc code, const std::string &text) {
    return CMPIStatus{code, &make_string(text)->enc};
}

StringImpl::StringImpl(std::string value) : text(std::move(value)) {
    cell.owner = this;
    enc.hdl = const_cast<char *>(text.c_str());
    enc.ft = &stringFT;
}

ArrayImpl::ArrayImpl(CMPIType type, CMPICount size)
    : elementType(type), elements(size, Value::null_of(type)) {
    cell.owner = this;
    enc.hdl = this;
    enc.ft = &arrayFT;
}

ArgsImpl::ArgsImpl() {
    cell.owner = this;
    enc.hdl = this;
    enc.ft = &argsFT;
}

DateTimeImpl::DateTimeImpl(CMPIUint64 us, bool isInterval)
    : microseconds(us), interval(isInterval) {
    cell.owner = this;
    enc.hdl = this;
    enc.ft = &datetimeFT;
}

StringImpl *make_string(const std::string &text, bool track) {
    return maybe_track(new StringImpl(text), track);
}

ArrayImpl *make_array(CMPIType elementType, CMPICount size, bool track) {
    // The array bit is dropped and character strings are stored as CMPIString.
    CMPIType type = static_cast<CMPIType>(elementType & ~CMPI_ARRAY);
    if (type == CMPI_chars || type == CMPI_charsptr) {
        type = CMPI_string;
    }
    return maybe_track(new ArrayImpl(type, size), track);
}

ArgsImpl *make_args(bool track) {
    return maybe_track(new ArgsImpl, track);
}

DateTimeImpl *make_datetime(CMPIUint64 microseconds, bool interval, bool track) {
    return maybe_track(new DateTimeImpl(microseconds, interval), track);
}

ArrayImpl *clone_array(const ArrayImpl &array) {
    ArrayImpl *copy = new ArrayImpl(array.elementType, 0);
    copy->elements = array.elements;
    return copy;
}

ArgsImpl *clone_args(const ArgsImpl &args) {
    ArgsImpl *copy = new ArgsImpl;
    copy->args = args.args;
    return copy;
}

} // namespace hostsim::detail
