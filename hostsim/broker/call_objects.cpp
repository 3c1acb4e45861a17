// The objects of one provider call: context, result and enumeration.
#include "hostsim_broker.h"
#include "object_model.h"

namespace hostsim::detail {

namespace {

// ---- CMPIContext ----
ContextImpl *context(const CMPIContext *ctx) {
    return impl_of<ContextImpl>(ctx);
}

CMPIStatus context_release(CMPIContext *ctx) {
    destroy(context(ctx));
    return status_ok();
}
CMPIContext *context_clone(const CMPIContext *ctx, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    const ContextImpl *source = context(ctx);
    ContextImpl *copy = make_context(false);
    std::lock_guard<std::mutex> guard(source->lock);
    copy->entries = source->entries;
    return &copy->enc;
}
CMPIData context_get(const CMPIContext *ctx, const char *name, CMPIStatus *rc) {
    std::lock_guard<std::mutex> guard(context(ctx)->lock);
    return data_named(context(ctx)->entries, name, rc);
}
CMPIData context_get_at(const CMPIContext *ctx, CMPICount index, CMPIString **name,
                        CMPIStatus *rc) {
    std::lock_guard<std::mutex> guard(context(ctx)->lock);
    return data_at(context(ctx)->entries, index, name, rc);
}
CMPICount context_count(const CMPIContext *ctx, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    std::lock_guard<std::mutex> guard(context(ctx)->lock);
    return static_cast<CMPICount>(context(ctx)->entries.size());
}
CMPIStatus context_add(const CMPIContext *ctx, const char *name, const CMPIValue *value,
                       CMPIType type) {
    if (ctx == nullptr || name == nullptr) {
        return status_of(CMPI_RC_ERR_INVALID_PARAMETER);
    }
    Value stored = Value::from(value, type);
    std::lock_guard<std::mutex> guard(context(ctx)->lock);
    context(ctx)->entries.set(name, std::move(stored));
    return status_ok();
}
CMPIContextFT contextFT = {CMPICurrentVersion, context_release, context_clone, context_get,
                           context_get_at,     context_count,   context_add};

// ---- CMPIResult ----
ResultImpl *result(const CMPIResult *rs) {
    return impl_of<ResultImpl>(rs);
}

CMPIStatus result_release(CMPIResult *rs) {
    destroy(result(rs));
    return status_ok();
}
CMPIResult *result_clone(const CMPIResult *, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_ERR_NOT_SUPPORTED);
    return nullptr;
}
CMPIStatus result_add(const CMPIResult *rs, Value value) {
    if (rs == nullptr) {
        return status_of(CMPI_RC_ERR_INVALID_HANDLE);
    }
    ResultImpl *target = result(rs);
    std::lock_guard<std::mutex> guard(target->lock);
    target->data.push_back(std::move(value));
    return status_ok();
}
CMPIStatus result_data(const CMPIResult *rs, const CMPIValue *value, CMPIType type) {
    return result_add(rs, Value::from(value, type));
}
CMPIStatus result_instance(const CMPIResult *rs, const CMPIInstance *ci) {
    if (ci == nullptr) {
        return status_of(CMPI_RC_ERR_INVALID_PARAMETER);
    }
    CMPIValue v{};
    v.inst = const_cast<CMPIInstance *>(ci);
    return result_add(rs, Value::from(&v, CMPI_instance));
}
CMPIStatus result_path(const CMPIResult *rs, const CMPIObjectPath *op) {
    if (op == nullptr) {
        return status_of(CMPI_RC_ERR_INVALID_PARAMETER);
    }
    CMPIValue v{};
    v.ref = const_cast<CMPIObjectPath *>(op);
    return result_add(rs, Value::from(&v, CMPI_ref));
}
CMPIStatus result_done(const CMPIResult *rs) {
    if (rs == nullptr) {
        return status_of(CMPI_RC_ERR_INVALID_HANDLE);
    }
    std::lock_guard<std::mutex> guard(result(rs)->lock);
    result(rs)->done = true;
    return status_ok();
}
CMPIStatus result_error(const CMPIResult *, const CMPIError *) {
    return status_of(CMPI_RC_ERR_NOT_SUPPORTED);
}
CMPIResultFT resultFT = {CMPICurrentVersion, result_release, result_clone, result_data,
                         result_instance,    result_path,    result_done,  result_error};

// ---- CMPIEnumeration ----
EnumerationImpl *enumeration(const CMPIEnumeration *en) {
    return impl_of<EnumerationImpl>(en);
}

CMPIStatus enumeration_release(CMPIEnumeration *en) {
    destroy(enumeration(en));
    return status_ok();
}
CMPIEnumeration *enumeration_clone(const CMPIEnumeration *en, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    const EnumerationImpl *source = enumeration(en);
    std::lock_guard<std::mutex> guard(source->lock);
    EnumerationImpl *copy = make_enumeration(source->items, false);
    copy->cursor = source->cursor;
    return &copy->enc;
}
CMPIData enumeration_next(const CMPIEnumeration *en, CMPIStatus *rc) {
    const EnumerationImpl *source = enumeration(en);
    std::lock_guard<std::mutex> guard(source->lock);
    if (source->cursor >= source->items.size()) {
        set_rc(rc, CMPI_RC_ERR_NOT_FOUND);
        return null_data(CMPI_nullValue);
    }
    set_rc(rc, CMPI_RC_OK);
    return source->items[source->cursor++].data();
}
CMPIBoolean enumeration_has_next(const CMPIEnumeration *en, CMPIStatus *rc) {
    const EnumerationImpl *source = enumeration(en);
    std::lock_guard<std::mutex> guard(source->lock);
    set_rc(rc, CMPI_RC_OK);
    return source->cursor < source->items.size() ? 1 : 0;
}
CMPIArray *enumeration_to_array(const CMPIEnumeration *en, CMPIStatus *rc) {
    const EnumerationImpl *source = enumeration(en);
    std::lock_guard<std::mutex> guard(source->lock);
    CMPIType type = source->items.empty() ? CMPI_instance : source->items.front().type();
    ArrayImpl *array = make_array(type, 0);
    array->elements = source->items;
    set_rc(rc, CMPI_RC_OK);
    return &array->enc;
}
CMPIEnumerationFT enumerationFT = {CMPICurrentVersion, enumeration_release,  enumeration_clone,
                                   enumeration_next,   enumeration_has_next, enumeration_to_array};

} // namespace

ContextImpl::ContextImpl() {
    cell.owner = this;
    enc.hdl = this;
    enc.ft = &contextFT;
}

ResultImpl::ResultImpl() {
    cell.owner = this;
    enc.hdl = this;
    enc.ft = &resultFT;
}

EnumerationImpl::EnumerationImpl() {
    cell.owner = this;
    enc.hdl = this;
    enc.ft = &enumerationFT;
}

ContextImpl *make_context(bool track) {
    return maybe_track(new ContextImpl, track);
}

ResultImpl *make_result(bool track) {
    return maybe_track(new ResultImpl, track);
}

EnumerationImpl *make_enumeration(std::vector<Value> items, bool track) {
    EnumerationImpl *en = new EnumerationImpl;
    en->items = std::move(items);
    return maybe_track(en, track);
}

} // namespace hostsim::detail

namespace hostsim {

CMPIContext *new_context() {
    detail::ContextImpl *ctx = detail::make_context(false);
    const char *nameSpace = "root/cimv2";
    CMPIFlags flags = 0;
    ctx->entries.set(
        CMPIInitNameSpace,
        detail::Value::from(reinterpret_cast<const CMPIValue *>(nameSpace), CMPI_chars));
    ctx->entries.set(CMPIInvocationFlags,
                     detail::Value::from(reinterpret_cast<const CMPIValue *>(&flags), CMPI_uint32));
    return &ctx->enc;
}

Result::Result() : result_(&detail::make_result(false)->enc) {}

Result::~Result() {
    detail::destroy(detail::impl_of<detail::ResultImpl>(result_));
}

const CMPIResult *Result::get() const {
    return result_;
}

std::vector<CMPIData> Result::data() const {
    const detail::ResultImpl *impl = detail::impl_of<detail::ResultImpl>(result_);
    std::lock_guard<std::mutex> guard(impl->lock);
    std::vector<CMPIData> all;
    for (const auto &value : impl->data) {
        all.push_back(value.data());
    }
    return all;
}

std::vector<const CMPIInstance *> Result::instances() const {
    std::vector<const CMPIInstance *> found;
    for (const CMPIData &d : data()) {
        if (d.type == CMPI_instance && d.value.inst) {
            found.push_back(d.value.inst);
        }
    }
    return found;
}

std::vector<const CMPIObjectPath *> Result::objectPaths() const {
    std::vector<const CMPIObjectPath *> found;
    for (const CMPIData &d : data()) {
        if (d.type == CMPI_ref && d.value.ref) {
            found.push_back(d.value.ref);
        }
    }
    return found;
}

bool Result::done() const {
    const detail::ResultImpl *impl = detail::impl_of<detail::ResultImpl>(result_);
    std::lock_guard<std::mutex> guard(impl->lock);
    return impl->done;
}

} // namespace hostsim

extern "C" CMPIContext *native_clone_CMPIContext(const CMPIContext *ctx) {
    if (ctx == nullptr) {
        return nullptr;
    }
    return ctx->ft->clone(ctx, nullptr);
}
